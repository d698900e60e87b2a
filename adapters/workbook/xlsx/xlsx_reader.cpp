// Reading a workbook package into the engine's model.
#include "adapters/workbook/xlsx/xlsx_reader.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <map>

#include "adapters/opc/dom.hpp"
#include "adapters/opc/relationships.hpp"
#include "adapters/opc/xml_part.hpp"
#include "adapters/workbook/a1.hpp"
#include "adapters/workbook/package.hpp"
#include "adapters/workbook/workbook_model.hpp"
#include "adapters/workbook/xlsx/drawing_reader.hpp"
#include "adapters/workbook/xlsx/escapes.hpp"
#include "adapters/workbook/xlsx/styles.hpp"
#include "core/error.hpp"

namespace tbln::workbook {

using opc::Attr;
using opc::Child;
using opc::FlagAttr;
using opc::Is;
using opc::NumberAttr;

namespace {

// The relationships to parts of the package, by Id.
std::map<std::string, opc::Relationship> InternalRelationships(const Package& pkg,
                                                               const std::string& part) {
    auto rels = opc::ReadRelationships(pkg, part);
    std::erase_if(rels, [](const auto& r) { return r.second.external; });
    return rels;
}

bool ParseDouble(std::string_view text, double& out) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '+')) text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (text.empty()) return false;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), out);
    return r.ec == std::errc() && r.ptr == text.data() + text.size() && std::isfinite(out);
}

long long ParseInteger(const char* text, long long fallback) {
    if (!text) return fallback;
    const std::string_view s(text);
    long long v = 0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (r.ec != std::errc()) {
        double d = 0;
        return ParseDouble(s, d) && std::fabs(d) < 9e18 ? static_cast<long long>(d) : fallback;
    }
    return v;
}

bool FlagValue(const char* v) {
    return v && opc::OnOff(v).value_or(false);
}

void ReadSharedStrings(const Package& pkg, const std::string& part, WorkbookModel& model) {
    std::string current;
    bool inItem = false, inText = false;
    int phonetic = 0;
    opc::StreamXml(pkg, part, pkg.Read(part),
                   opc::XmlHandlers{[&](std::string_view name, const char**) {
                                        if (name == "si") {
                                            inItem = true;
                                            current.clear();
                                        } else if (name == "rPh") {
                                            ++phonetic;
                                        } else if (name == "t" && inItem && phonetic == 0) {
                                            inText = true;
                                        }
                                    },
                                    [&](std::string_view name) {
                                        if (name == "si") {
                                            // The count the file claims is never trusted: the
                                            // table grows with the strings actually present.
                                            if (model.strings.size() >= kMaxStrings) {
                                                RaiseBadWorkbook(
                                                    model.path,
                                                    "the shared strings part holds more "
                                                    "strings than the limit of " +
                                                        std::to_string(kMaxStrings));
                                            }
                                            model.strings.push_back(DecodeEscapes(current));
                                            inItem = false;
                                        } else if (name == "rPh") {
                                            --phonetic;
                                        } else if (name == "t") {
                                            inText = false;
                                        }
                                    },
                                    [&](std::string_view text) {
                                        if (inText) current.append(text);
                                    }});
    model.sharedStringCount = model.strings.size();
}

class WorksheetReader {
  public:
    WorksheetReader(WorkbookModel& model, SheetModel& sheet) : model_(model), sheet_(sheet) {}

    void Read(const Package& pkg) {
        const opc::XmlHandlers handlers{[this](std::string_view n, const char** a) { Start(n, a); },
                                        [this](std::string_view n) { End(n); },
                                        [this](std::string_view t) {
                                            if (inValue_ || inInlineText_) value_.append(t);
                                        }};
        // The sheet is parsed as it is unpacked, never held whole in memory.
        opc::XmlStream xml(pkg, sheet_.part, handlers);
        pkg.ReadChunks(sheet_.part, [&](std::string_view chunk) { xml.Feed(chunk, false); });
        xml.Feed({}, true);
        Finish();
    }

  private:
    [[noreturn]] void Bad(const std::string& problem) {
        RaiseBadWorkbook(model_.path, "the sheet " + sheet_.name + " " + problem);
    }

    void Start(std::string_view name, const char** attrs) {
        if (name == "c") {
            StartCell(attrs);
        } else if (name == "v" && inCell_) {
            inValue_ = true;
        } else if (name == "row") {
            StartRow(attrs);
        } else if (name == "is" && inCell_) {
            inInline_ = sawInline_ = true;
        } else if (name == "rPh") {
            ++phonetic_;
        } else if (name == "t" && inInline_ && phonetic_ == 0) {
            inInlineText_ = true;
        } else if (name == "mergeCell") {
            if (const char* ref = opc::Attr(attrs, "ref")) {
                for (const auto& a : ParseAreaList(ref)) {
                    if (sheet_.merges.size() >= kMaxMerges)
                        Bad("has more merged areas than the limit");
                    if (a.top != a.bottom || a.left != a.right) sheet_.merges.push_back(a);
                }
            }
        } else if (name == "col") {
            ColumnInfo c;
            c.first = static_cast<Long>(
                std::clamp<long long>(ParseInteger(opc::Attr(attrs, "min"), 0), 0, kMaxCols));
            c.last = static_cast<Long>(
                std::clamp<long long>(ParseInteger(opc::Attr(attrs, "max"), 0), 0, kMaxCols));
            if (c.first < 1 || c.last < c.first) return;
            double w = 0;
            if (const char* width = opc::Attr(attrs, "width"); width && ParseDouble(width, w))
                c.width = std::clamp(w, 0.0, 255.0);
            c.hidden = FlagValue(opc::Attr(attrs, "hidden"));
            c.style = static_cast<std::uint32_t>(ParseInteger(opc::Attr(attrs, "style"), 0));
            if (sheet_.columns.size() < static_cast<std::size_t>(kMaxCols))
                sheet_.columns.push_back(c);
        } else if (name == "sheetFormatPr") {
            double v = 0;
            if (const char* h = opc::Attr(attrs, "defaultRowHeight"); h && ParseDouble(h, v))
                sheet_.defaultRowHeight = std::clamp(v, 0.0, 409.5);
            if (const char* w = opc::Attr(attrs, "defaultColWidth"); w && ParseDouble(w, v))
                sheet_.defaultColumnWidth = std::clamp(v, 0.0, 255.0);
            sheet_.baseColumnWidth = static_cast<Long>(
                std::clamp<long long>(ParseInteger(opc::Attr(attrs, "baseColWidth"), 8), 0, 255));
            sheet_.rowsHiddenByDefault = FlagValue(opc::Attr(attrs, "zeroHeight"));
        } else if (name == "pane") {
            if (const char* p = opc::Attr(attrs, "activePane")) activePane_ = p;
        } else if (name == "selection" && !selectionSeen_) {
            const char* pane = opc::Attr(attrs, "pane");
            const std::string_view paneName = pane ? pane : "topLeft";
            if (!activePane_.empty() && paneName != activePane_) return;
            selectionSeen_ = true;
            if (const char* ac = opc::Attr(attrs, "activeCell")) {
                ParseCellRef(ac, sheet_.activeRow, sheet_.activeCol);
            }
            if (const char* sq = opc::Attr(attrs, "sqref")) {
                auto areas = ParseAreaList(sq);
                if (!areas.empty()) sheet_.selection = std::move(areas);
            }
        } else if (name == "sheetView") {
            if (views_++ > 0) {
                selectionSeen_ = true;  // only the first view counts
            } else if (const char* tl = opc::Attr(attrs, "topLeftCell")) {
                ParseCellRef(tl, sheet_.topRow, sheet_.leftCol);
            }
        } else if (name == "dimension") {
            if (const char* ref = opc::Attr(attrs, "ref")) {
                sheet_.dimension = ref;
                ReserveCells(ref);
            }
        }
    }

    // Room for the cells the writer says the sheet spans, so a large sheet's cell list
    // is not copied as it grows. Only address space is taken until cells arrive, and
    // the claim is capped: a whole-sheet dimension reserves no more than a large sheet.
    void ReserveCells(std::string_view ref) {
        const auto areas = ParseAreaList(ref);
        if (areas.size() != 1) return;
        const Area& a = areas.front();
        if (a.bottom < a.top || a.right < a.left) return;
        const auto rows = static_cast<std::size_t>(a.bottom - a.top + 1);
        const auto cols = static_cast<std::size_t>(a.right - a.left + 1);
        constexpr std::size_t kMostReserved = 4'000'000;
        sheet_.cells.reserve(std::min(rows * cols, kMostReserved));
    }

    void StartRow(const char** attrs) {
        const char* r = opc::Attr(attrs, "r");
        const long long rr = r ? ParseInteger(r, -1) : row_ + 1;
        if (rr < 1 || rr > kMaxRows)
            Bad("has a row outside the sheet (" + std::string(r ? r : "") + ")");
        row_ = static_cast<Long>(rr);
        col_ = 0;
        RowInfo info;
        info.row = row_;
        double h = 0;
        if (const char* ht = opc::Attr(attrs, "ht"); ht && ParseDouble(ht, h))
            info.height = std::clamp(h, 0.0, 409.5);
        info.hidden = FlagValue(opc::Attr(attrs, "hidden"));
        info.customFormat = FlagValue(opc::Attr(attrs, "customFormat"));
        if (info.customFormat)
            info.style = static_cast<std::uint32_t>(ParseInteger(opc::Attr(attrs, "s"), 0));
        // Under zeroHeight every row not listed is hidden; a listed row shows
        // unless it says otherwise.
        if (info.height >= 0 || info.hidden || info.customFormat || sheet_.rowsHiddenByDefault) {
            if (!sheet_.rows.empty() && sheet_.rows.back().row >= row_) rowsSorted_ = false;
            sheet_.rows.push_back(info);
        }
    }

    void StartCell(const char** attrs) {
        // One pass over the attributes: a sheet has a million of these.
        const char *r = nullptr, *s = nullptr, *t = nullptr;
        for (const char** a = attrs; *a; a += 2) {
            const std::string_view name = opc::LocalName(a[0]);
            if (name.size() != 1) continue;
            if (name[0] == 'r')
                r = a[1];
            else if (name[0] == 's')
                s = a[1];
            else if (name[0] == 't')
                t = a[1];
        }
        Long rr = row_ == 0 ? 1 : row_, cc = col_ + 1;
        if (r && !ParseCellRef(r, rr, cc))
            Bad("has a cell with the bad reference " + std::string(r));
        if (cc > kMaxCols || rr < 1 || rr > kMaxRows) Bad("has a cell outside the sheet");
        row_ = rr;
        col_ = cc;
        cell_ = Cell{};
        if (s) {
            const long long style = ParseInteger(s, 0);
            cell_.style = style >= 0 && static_cast<std::size_t>(style) < model_.cellFormats.size()
                              ? static_cast<std::uint32_t>(style)
                              : 0;
        }
        // n number, s shared string, i inline string, f formula text ("str"), b, e, d.
        const std::string_view kind = t ? t : "n";
        type_ = kind == "inlineStr" ? 'i' : kind == "str" ? 'f' : kind.empty() ? 'n' : kind[0];
        value_.clear();
        sawInline_ = false;
        inCell_ = true;
    }

    void End(std::string_view name) {
        if (name == "c" && inCell_) {
            FinishCell();
            inCell_ = false;
        } else if (name == "v") {
            inValue_ = false;
        } else if (name == "is") {
            inInline_ = false;
        } else if (name == "t") {
            inInlineText_ = false;
        } else if (name == "rPh") {
            --phonetic_;
        }
    }

    void FinishCell() {
        if (type_ == 's' && !sawInline_) {
            std::size_t index = 0;
            const auto r = std::from_chars(value_.data(), value_.data() + value_.size(), index);
            if (value_.empty() || r.ec != std::errc() || index >= model_.sharedStringCount)
                Bad("refers to a shared string that does not exist");
            cell_.type = CellType::Text;
            cell_.text = static_cast<std::uint32_t>(index);
        } else if (type_ == 'i' || type_ == 's' || sawInline_ ||
                   (type_ == 'd' && !value_.empty())) {
            // Inline strings; ISO dates are kept as the text the writer stored.
            if (model_.strings.size() >= kMaxStrings) Bad("has more texts than the limit");
            cell_.type = CellType::Text;
            cell_.text = model_.AddString(DecodeEscapes(value_));
        } else if (type_ == 'b') {
            if (!value_.empty()) {
                cell_.type = CellType::Boolean;
                cell_.number = value_ == "1" || value_ == "true" ? 1 : 0;
            }
        } else if (type_ == 'e') {
            if (model_.strings.size() >= kMaxStrings) Bad("has more texts than the limit");
            cell_.type = CellType::Error;
            cell_.text = model_.AddString(value_);
        } else if (type_ == 'n' && !value_.empty()) {
            if (ParseDouble(value_, cell_.number)) {
                cell_.type = CellType::Number;
            } else {
                cell_.type = CellType::Text;
                cell_.text = model_.AddString(value_);
            }
        } else if (!value_.empty()) {  // "str": the cached text of a formula
            if (model_.strings.size() >= kMaxStrings) Bad("has more texts than the limit");
            cell_.type = CellType::Text;
            cell_.text = model_.AddString(DecodeEscapes(value_));
        }
        // An empty cell in the default style matters only in front of a row's or a
        // column's own style, which it overrides.
        if (cell_.type == CellType::Empty && cell_.style == 0 && !UnderLineStyle()) return;
        if (sheet_.cells.size() >= kMaxCells) Bad("has more cells than the limit");
        const auto key = CellKey(row_, col_);
        if (!sheet_.cells.empty() && sheet_.cells.back().key >= key) cellsSorted_ = false;
        sheet_.cells.push_back(SheetModel::Entry{key, cell_});
    }

    // Column runs sorted; a run overlapping an earlier one is cut to what is left.
    void SortColumns() {
        if (columnsSorted_ == sheet_.columns.size()) return;
        std::stable_sort(
            sheet_.columns.begin(), sheet_.columns.end(),
            [](const ColumnInfo& a, const ColumnInfo& b) { return a.first < b.first; });
        std::vector<ColumnInfo> columns;
        for (auto c : sheet_.columns) {
            if (!columns.empty() && c.first <= columns.back().last)
                c.first = columns.back().last + 1;
            if (c.first <= c.last) columns.push_back(c);
        }
        sheet_.columns = std::move(columns);
        columnsSorted_ = sheet_.columns.size();
    }

    // Whether the current cell's row or column has a style of its own (the columns,
    // listed before the cells, are sorted by then; rows out of order keep every cell).
    bool UnderLineStyle() {
        if (!rowsSorted_) return true;
        SortColumns();
        return sheet_.LineStyle(row_, col_) != 0;
    }

    void Finish() { SortSheet(sheet_, cellsSorted_, rowsSorted_); }

    WorkbookModel& model_;
    SheetModel& sheet_;
    Long row_ = 0, col_ = 0;
    Cell cell_;
    char type_ = 'n';
    std::string value_;
    std::string activePane_;
    bool inCell_ = false, inValue_ = false, inInline_ = false, inInlineText_ = false,
         sawInline_ = false, selectionSeen_ = false, cellsSorted_ = true, rowsSorted_ = true;
    int phonetic_ = 0;
    std::size_t columnsSorted_ = 0;  // the number of column runs when last sorted
    int views_ = 0;
};

}  // namespace

std::unique_ptr<WorkbookModel> LoadPackageWorkbook(const std::string& path,
                                                   opc::PackageLimits limits) {
    Package pkg(path, limits);
    auto model = std::make_unique<WorkbookModel>();
    model->path = path;

    std::string workbookPart;
    for (const auto& [id, rel] : InternalRelationships(pkg, "")) {
        if (rel.type == "officeDocument") workbookPart = rel.target;
    }
    if (workbookPart.empty() && pkg.Has("xl/workbook.xml")) workbookPart = "xl/workbook.xml";
    if (workbookPart.empty() || !pkg.Has(workbookPart)) {
        RaiseBadWorkbook(path, "the package has no workbook part" +
                                   (workbookPart.empty() ? "" : " (" + workbookPart + ")"));
    }
    opc::CheckMainPartKind(pkg, workbookPart);
    model->workbookPart = workbookPart;
    const auto rels = InternalRelationships(pkg, workbookPart);
    // The theme before the styles (styles refer to theme colours), the shared strings
    // before the sheets. A strings or styles part the workbook names but the package lacks
    // is reported as missing when read: without it the cells would lose their texts or
    // looks unseen (a missing or damaged theme gives way to the default one).
    for (const auto& [id, rel] : rels) {
        if (rel.type == "theme") ReadTheme(pkg, rel.target, *model);
    }
    for (const auto& [id, rel] : rels) {
        if (rel.type == "sharedStrings") ReadSharedStrings(pkg, rel.target, *model);
        if (rel.type == "styles") ReadStyles(pkg, rel.target, *model);
    }

    const auto doc = pkg.ReadXml(workbookPart);
    const auto root = doc->document_element();
    model->date1904 = FlagAttr(Child(root, "workbookPr"), "date1904", false);
    const auto activeTab = static_cast<std::size_t>(
        std::max(0.0, NumberAttr(Child(Child(root, "bookViews"), "workbookView"), "activeTab", 0)));
    std::size_t tab = 0;
    for (auto s : Child(root, "sheets").children()) {
        if (!Is(s, "sheet")) continue;
        const bool isActive = tab++ == activeTab;
        const char* name = Attr(s, "name");
        const char* id = Attr(s, "id");
        const auto rel = id ? rels.find(id) : rels.end();
        if (!name || rel == rels.end())
            RaiseBadWorkbook(path, "a sheet of the workbook has no name or no part");
        // Chart sheets and dialog sheets have no cells; they are not worksheets.
        if (rel->second.type != "worksheet") continue;
        SheetModel sheet;
        sheet.name = name;
        if (const char* state = Attr(s, "state")) sheet.state = state;
        sheet.part = rel->second.target;
        if (isActive) model->activeTab = model->sheets.size();
        model->sheets.push_back(std::move(sheet));
    }
    if (model->sheets.empty()) RaiseBadWorkbook(path, "the workbook has no worksheet");
    for (auto& sheet : model->sheets) {
        if (!pkg.Has(sheet.part))
            RaiseBadWorkbook(path, "the part of the sheet " + sheet.name + " is missing");
        WorksheetReader(*model, sheet).Read(pkg);
    }
    for (auto& sheet : model->sheets) ReadSheetDrawing(pkg, *model, sheet);
    return model;
}

}  // namespace tbln::workbook
