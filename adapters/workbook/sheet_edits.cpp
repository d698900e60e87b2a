#include "adapters/workbook/sheet_edits.hpp"

#include <pugixml.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>

#include "adapters/workbook/dom_parts.hpp"
#include "adapters/workbook/package.hpp"
#include "adapters/workbook/sheet_geometry.hpp"
#include "adapters/workbook/xml_parts.hpp"
#include "core/error.hpp"

namespace tbln::workbook {

namespace {

Long Span(Long first, Long last) {
    return last - first + 1;
}

[[noreturn]] void RaiseMergedCut() {
    Raise(err::kApplicationDefined,
          "Delete method of Range class failed: cannot change part of a merged cell");
}

std::string Prefixed(const pugi::xml_node& root, const char* local) {
    const std::string_view name = root.name();
    const auto colon = name.find(':');
    return (colon == std::string_view::npos ? std::string()
                                            : std::string(name.substr(0, colon + 1))) +
           local;
}

Long LongAttribute(const pugi::xml_node& n, const char* name, Long fallback) {
    const auto a = n.attribute(name);
    if (!a) return fallback;
    return static_cast<Long>(std::strtol(a.value(), nullptr, 10));
}

std::string NumberText(double v) {
    char buf[32];
    return std::string(buf,
                       std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15).ptr);
}

bool ParseRefArea(std::string_view ref, Area& a) {
    const auto colon = ref.find(':');
    if (!ParseCellRef(ref.substr(0, colon), a.top, a.left)) return false;
    a.bottom = a.top;
    a.right = a.left;
    if (colon == std::string_view::npos) return true;
    return ParseCellRef(ref.substr(colon + 1), a.bottom, a.right);
}

std::string AreaReference(const Area& a) {
    return workbook::AreaReference(a.top, a.left, a.bottom, a.right);
}

// The file format's escape for text that XML cannot carry (control characters) and
// for literal text that would otherwise read as an escape ("_x0041_").
std::string EncodeEscapes(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto ch = static_cast<unsigned char>(text[i]);
        if (ch < 0x20 && ch != '\t' && ch != '\n' && ch != '\r') {
            char buf[8];
            std::snprintf(buf, sizeof buf, "_x%04X_", ch);
            out += buf;
            continue;
        }
        if (ch == '_' && i + 6 < text.size() && text[i + 1] == 'x' && text[i + 6] == '_' &&
            std::all_of(text.begin() + static_cast<std::ptrdiff_t>(i) + 2,
                        text.begin() + static_cast<std::ptrdiff_t>(i) + 6,
                        [](char h) { return std::isxdigit(static_cast<unsigned char>(h)) != 0; })) {
            out += "_x005F_";
            continue;
        }
        out += text[i];
    }
    return out;
}

// The worksheet's XML with an index of its rows.
class SheetXml {
  public:
    SheetXml(const std::string& path, const std::string& part, const std::string& xml)
        : path_(path), part_(part) {
        const auto result =
            doc_.load_buffer(xml.data(), xml.size(),
                             pugi::parse_default | pugi::parse_declaration | pugi::parse_ws_pcdata |
                                 pugi::parse_comments | pugi::parse_pi);
        if (!result) {
            RaiseBadWorkbook(path, "the part " + part + " is not well-formed XML (at byte " +
                                       std::to_string(result.offset) + ": " + result.description() +
                                       ")");
        }
        root_ = doc_.document_element();
        sheetData_ = Child(root_, "sheetData");
        if (!sheetData_) RaiseBadWorkbook(path, "the part " + part + " has no cell data");
        Normalize();
    }

    void Apply(const SheetEdit& e) {
        switch (e.kind) {
            case SheetEdit::Kind::SetText:
                for (Long r = e.area.top; r <= e.area.bottom; ++r) {
                    for (Long c = e.area.left; c <= e.area.right; ++c) SetText(r, c, e.text);
                }
                break;
            case SheetEdit::Kind::SetColumnWidth:
                SetWidth(e.area.left, e.area.right, e.width);
                break;
            case SheetEdit::Kind::Delete:
                Delete(e);
                break;
        }
    }

    std::string Finish() {
        UpdateDimension();
        std::ostringstream out;
        doc_.save(out, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
        return out.str();
    }

    bool formulasMoved = false;

  private:
    std::string Name(const char* local) const { return Prefixed(root_, local); }

    // Gives every row and cell its explicit reference, so edits can find them, and
    // indexes the rows.
    void Normalize() {
        Long row = 0;
        for (auto r : sheetData_.children()) {
            if (!Is(r, "row")) continue;
            row = LongAttribute(r, "r", row + 1);
            if (row < 1 || row > kMaxRows)
                RaiseBadWorkbook(path_, "the part " + part_ + " has a row outside the sheet");
            if (!r.attribute("r")) r.append_attribute("r") = row;
            rows_[row] = r;
            Long col = 0;
            for (auto c : r.children()) {
                if (!Is(c, "c")) continue;
                Long rr = row, cc = col + 1;
                if (const auto ref = c.attribute("r")) {
                    if (!ParseCellRef(ref.value(), rr, cc)) {
                        RaiseBadWorkbook(path_, "the part " + part_ +
                                                    " has a cell with the bad reference " +
                                                    ref.value());
                    }
                } else {
                    c.append_attribute("r") = CellReference(row, cc).c_str();
                }
                col = cc;
            }
        }
    }

    pugi::xml_node RowNode(Long row) {
        auto it = rows_.lower_bound(row);
        if (it != rows_.end() && it->first == row) return it->second;
        auto node = it == rows_.end()
                        ? sheetData_.append_child(Name("row").c_str())
                        : sheetData_.insert_child_before(Name("row").c_str(), it->second);
        node.append_attribute("r") = row;
        rows_[row] = node;
        return node;
    }

    // The cell's element; a new one takes its row's or column's style, as a cell the
    // user types into does.
    pugi::xml_node CellNode(pugi::xml_node row, Long r, Long c) {
        pugi::xml_node cell;
        for (auto n : row.children()) {
            if (!Is(n, "c")) continue;
            Long rr = 0, cc = 0;
            ParseCellRef(n.attribute("r").value(), rr, cc);
            if (cc == c) return n;
            if (cc > c) {
                cell = row.insert_child_before(Name("c").c_str(), n);
                break;
            }
        }
        if (!cell) cell = row.append_child(Name("c").c_str());
        cell.append_attribute("r") = CellReference(r, c).c_str();
        const std::string style = LineStyle(row, c);
        if (!style.empty() && style != "0") cell.append_attribute("s") = style.c_str();
        return cell;
    }

    // The style of the row (when it has one of its own) or else of the column.
    std::string LineStyle(pugi::xml_node row, Long c) {
        const std::string custom = row.attribute("customFormat").value();
        if (custom == "1" || custom == "true") return row.attribute("s").value();
        for (const auto& run : ReadColumns(ColsNode(false))) {
            if (run.first <= c && c <= run.last) return run.proto.attribute("style").value();
        }
        return {};
    }

    void ClearValue(pugi::xml_node cell) {
        for (auto n = cell.first_child(); n;) {
            auto next = n.next_sibling();
            if (Is(n, "f")) formulasMoved = true;
            if (Is(n, "f") || Is(n, "v") || Is(n, "is")) cell.remove_child(n);
            n = next;
        }
        cell.remove_attribute("t");
    }

    void SetText(Long r, Long c, const std::string& text) {
        auto row = RowNode(r);
        row.remove_attribute("spans");  // a hint for readers; it may no longer hold
        auto cell = CellNode(row, r, c);
        ClearValue(cell);
        if (text.empty()) return;
        cell.append_attribute("t") = "inlineStr";
        const auto ext = Child(cell, "extLst");
        auto is = ext ? cell.insert_child_before(Name("is").c_str(), ext)
                      : cell.append_child(Name("is").c_str());
        auto t = is.append_child(Name("t").c_str());
        const auto isSpace = [](char ch) {
            return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r';
        };
        if (isSpace(text.front()) || isSpace(text.back()))
            t.append_attribute("xml:space") = "preserve";
        t.text().set(EncodeEscapes(text).c_str());
    }

    struct ColumnRun {
        Long first, last;
        pugi::xml_node proto;  // the element whose attributes the run keeps
        bool setWidth = false;
    };

    std::vector<ColumnRun> ReadColumns(pugi::xml_node cols) {
        std::vector<ColumnRun> runs;
        for (auto c : cols.children()) {
            if (!Is(c, "col")) continue;
            const Long lo = LongAttribute(c, "min", 0), hi = LongAttribute(c, "max", lo);
            if (lo < 1 || hi < lo || hi > kMaxCols) continue;
            runs.push_back(ColumnRun{lo, hi, c});
        }
        std::sort(runs.begin(), runs.end(),
                  [](const ColumnRun& a, const ColumnRun& b) { return a.first < b.first; });
        return runs;
    }

    // Rewrites the <cols> element from runs; the prototypes' attributes are copied.
    void WriteColumns(pugi::xml_node cols, const std::vector<ColumnRun>& runs, double width) {
        std::vector<pugi::xml_node> fresh;
        for (const auto& run : runs) {
            auto node = cols.append_child(Name("col").c_str());
            node.append_attribute("min") = run.first;
            node.append_attribute("max") = run.last;
            if (run.proto) {
                for (auto a : run.proto.attributes()) {
                    const std::string_view n = a.name();
                    if (n != "min" && n != "max") node.append_attribute(a.name()) = a.value();
                }
            }
            if (run.setWidth) {
                if (width > 0) {
                    if (!node.attribute("width")) node.append_attribute("width");
                    node.attribute("width") = NumberText(width).c_str();
                    if (!node.attribute("customWidth")) node.append_attribute("customWidth");
                    node.attribute("customWidth") = "1";
                    node.remove_attribute("hidden");
                } else {
                    if (!node.attribute("hidden")) node.append_attribute("hidden");
                    node.attribute("hidden") = "1";
                }
            }
            fresh.push_back(node);
        }
        for (auto n = cols.first_child(); n;) {
            auto next = n.next_sibling();
            if (std::find(fresh.begin(), fresh.end(), n) == fresh.end()) cols.remove_child(n);
            n = next;
        }
        if (!cols.first_child()) cols.parent().remove_child(cols);
    }

    pugi::xml_node ColsNode(bool create) {
        auto cols = Child(root_, "cols");
        if (!cols && create) cols = root_.insert_child_before(Name("cols").c_str(), sheetData_);
        return cols;
    }

    void SetWidth(Long first, Long last, double width) {
        auto cols = ColsNode(true);
        const auto runs = ChangeColumnRuns(
            ReadColumns(cols), first, last,
            [](Long lo, Long hi) {
                return ColumnRun{lo, hi, {}, false};
            },
            [](ColumnRun& run) { run.setWidth = true; });
        WriteColumns(cols, runs, width);
    }

    void DeleteColumns(Long first, Long last) {
        auto cols = ColsNode(false);
        if (!cols) return;
        std::vector<ColumnRun> runs;
        for (auto run : ReadColumns(cols)) {
            if (MoveInterval(first, last, run.first, run.last)) runs.push_back(run);
        }
        WriteColumns(cols, runs, 0);
    }

    void Delete(const SheetEdit& d) {
        std::map<Long, pugi::xml_node> moved;
        for (auto& [r, row] : rows_) {
            Long newRow = r;
            if (d.shiftUp && !MovePosition(d.area.top, d.area.bottom, newRow)) {
                if (HasFormula(row)) formulasMoved = true;
                sheetData_.remove_child(row);
                continue;
            }
            if (newRow != r) row.attribute("r") = newRow;
            for (auto c = row.first_child(); c;) {
                auto next = c.next_sibling();
                if (Is(c, "c")) {
                    Long rr = 0, cc = 0;
                    ParseCellRef(c.attribute("r").value(), rr, cc);
                    rr = r;
                    const bool hasFormula = static_cast<bool>(Child(c, "f"));
                    if (!MoveCell(d, rr, cc)) {
                        if (hasFormula) formulasMoved = true;
                        row.remove_child(c);
                    } else {
                        const auto ref = CellReference(newRow, cc);
                        if (ref != c.attribute("r").value()) {
                            if (hasFormula) formulasMoved = true;
                            c.attribute("r") = ref.c_str();
                        }
                    }
                }
                c = next;
            }
            if (!d.shiftUp && r >= d.area.top && r <= d.area.bottom) row.remove_attribute("spans");
            moved[newRow] = row;
        }
        rows_ = std::move(moved);
        if (!d.shiftUp && WholeColumns(d.area)) DeleteColumns(d.area.left, d.area.right);
        MoveAreas("mergeCells", "mergeCell", d, true);
        MoveAreas("hyperlinks", "hyperlink", d, false);
    }

    static bool HasFormula(const pugi::xml_node& row) {
        for (auto c : row.children()) {
            if (Is(c, "c") && Child(c, "f")) return true;
        }
        return false;
    }

    // Moves the areas of a list (merged cells, hyperlinks) with a deletion; an area
    // that is left with nothing (or, for merges, with one cell) is removed.
    void MoveAreas(const char* list, const char* item, const SheetEdit& d, bool merges) {
        auto parent = Child(root_, list);
        if (!parent) return;
        for (auto n = parent.first_child(); n;) {
            auto next = n.next_sibling();
            Area a;
            if (Is(n, item) && ParseRefArea(n.attribute("ref").value(), a)) {
                if (merges && CutsThrough(d, a)) RaiseMergedCut();
                if (!MoveArea(d, a) || (merges && a.top == a.bottom && a.left == a.right)) {
                    parent.remove_child(n);
                } else {
                    n.attribute("ref") = AreaReference(a).c_str();
                }
            }
            n = next;
        }
        std::size_t count = 0;
        for (auto n : parent.children()) count += Is(n, item) ? 1 : 0;
        if (count == 0) {
            root_.remove_child(parent);
        } else if (auto c = parent.attribute("count")) {
            c = static_cast<unsigned long long>(count);
        }
    }

    void UpdateDimension() {
        auto dim = Child(root_, "dimension");
        if (!dim) return;
        Area used{kMaxRows, kMaxCols, 0, 0};
        for (auto& [r, row] : rows_) {
            for (auto c : row.children()) {
                if (!Is(c, "c")) continue;
                Long rr = 0, cc = 0;
                ParseCellRef(c.attribute("r").value(), rr, cc);
                used.top = std::min(used.top, r);
                used.bottom = std::max(used.bottom, r);
                used.left = std::min(used.left, cc);
                used.right = std::max(used.right, cc);
            }
        }
        if (used.bottom == 0) used = Area{};
        if (!dim.attribute("ref")) dim.append_attribute("ref");
        dim.attribute("ref") = AreaReference(used).c_str();
    }

    std::string path_, part_;
    pugi::xml_document doc_;
    pugi::xml_node root_, sheetData_;
    std::map<Long, pugi::xml_node> rows_;
};

}  // namespace

bool WholeRows(const Area& a) {
    return a.left == 1 && a.right == kMaxCols;
}
bool WholeColumns(const Area& a) {
    return a.top == 1 && a.bottom == kMaxRows;
}

bool MovePosition(Long first, Long last, Long& pos) {
    if (pos < first) return true;
    if (pos <= last) return false;
    pos -= Span(first, last);
    return true;
}

bool MoveInterval(Long first, Long last, Long& lo, Long& hi) {
    const Long n = Span(first, last);
    const Long newLo = lo < first ? lo : lo > last ? lo - n : first;
    const Long newHi = hi < first ? hi : hi > last ? hi - n : first - 1;
    lo = newLo;
    hi = newHi;
    return lo <= hi;
}

bool MoveCell(const SheetEdit& d, Long& row, Long& col) {
    const Area& b = d.area;
    if (d.shiftUp) return MovePosition(b.top, b.bottom, row);
    if (row < b.top || row > b.bottom) return true;
    return MovePosition(b.left, b.right, col);
}

bool CutsThrough(const SheetEdit& d, const Area& a) {
    if (d.shiftUp) return false;
    const Area& b = d.area;
    if (a.bottom < b.top || a.top > b.bottom) return false;
    if (a.top >= b.top && a.bottom <= b.bottom) return false;
    return a.right >= b.left;
}

bool MoveArea(const SheetEdit& d, Area& a) {
    const Area& b = d.area;
    if (d.shiftUp) return MoveInterval(b.top, b.bottom, a.top, a.bottom);
    if (a.bottom < b.top || a.top > b.bottom) return true;
    return MoveInterval(b.left, b.right, a.left, a.right);
}

double ColumnWidthAttribute(double characters, int digit) {
    if (characters <= 0) return 0;
    const double maxDigitWidth = digit;
    const double pixels = characters < 1 ? std::trunc(characters * (maxDigitWidth + 5) + 0.5)
                                         : std::trunc(characters * maxDigitWidth + 0.5) + 5;
    return std::trunc(pixels / maxDigitWidth * 256) / 256;
}

void SetCellsText(WorkbookModel& book, SheetModel& sheet, const std::vector<Area>& areas,
                  const std::string& text) {
    std::size_t total = 0;
    for (const auto& a : areas) {
        total += static_cast<std::size_t>(a.Rows()) * static_cast<std::size_t>(a.Columns());
    }
    if (total > kMaxCellsPerWrite) {
        Raise(err::kApplicationDefined, "Cannot set the value of " + std::to_string(total) +
                                            " cells at once; the limit is " +
                                            std::to_string(kMaxCellsPerWrite));
    }
    const std::uint32_t index = text.empty() ? 0 : book.AddString(text);
    for (const auto& a : areas) {
        for (Long r = a.top; r <= a.bottom; ++r) {
            for (Long c = a.left; c <= a.right; ++c) {
                if (text.empty()) {
                    const auto key = CellKey(r, c);
                    const auto it = std::lower_bound(
                        sheet.cells.begin(), sheet.cells.end(), key,
                        [](const SheetModel::Entry& e, std::uint64_t k) { return e.key < k; });
                    if (it == sheet.cells.end() || it->key != key) continue;
                    // A cell in the default style goes, unless it stands in front of
                    // its row's or column's style.
                    if (it->cell.style == 0 && sheet.LineStyle(r, c) == 0) {
                        sheet.cells.erase(it);
                    } else {
                        it->cell = Cell{0, 0, it->cell.style, CellType::Empty};
                    }
                    continue;
                }
                const bool isNew = !sheet.Find(r, c);
                Cell& cell = sheet.At(r, c);
                if (isNew) cell.style = sheet.LineStyle(r, c);
                cell.type = CellType::Text;
                cell.number = 0;
                cell.text = index;
            }
        }
        SheetEdit e;
        e.area = a;
        e.text = text;
        sheet.edits.push_back(std::move(e));
    }
}

void SetColumnsWidth(const WorkbookModel& book, SheetModel& sheet, Long first, Long last,
                     double characters) {
    if (!(characters >= 0 && characters <= 255)) {
        Raise(err::kApplicationDefined,
              "Unable to set the ColumnWidth property of the Range class: the width must be "
              "between 0 and 255 characters");
    }
    SheetEdit e;
    e.kind = SheetEdit::Kind::SetColumnWidth;
    e.area = Area{1, first, kMaxRows, last};
    e.width = ColumnWidthAttribute(characters, MaxDigitWidth(book));
    // The same runs the file will have: the columns' own runs split at the edges.
    auto runs = ChangeColumnRuns(
        sheet.columns, first, last,
        [](Long lo, Long hi) {
            return ColumnInfo{lo, hi};
        },
        [&](ColumnInfo& run) {
            if (e.width > 0) {
                run.width = e.width;
                run.hidden = false;
            } else {
                run.hidden = true;
            }
        });
    sheet.columns = std::move(runs);
    sheet.edits.push_back(e);
}

void DeleteCells(SheetModel& sheet, const Area& block) {
    SheetEdit d;
    d.kind = SheetEdit::Kind::Delete;
    d.area = block;
    d.shiftUp = WholeRows(block);
    for (const auto& m : sheet.merges) {
        if (CutsThrough(d, m)) RaiseMergedCut();
    }
    std::vector<SheetModel::Entry> cells;
    cells.reserve(sheet.cells.size());
    for (const auto& e : sheet.cells) {
        Long r = static_cast<Long>(e.key >> 32), c = static_cast<Long>(e.key & 0xFFFFFFFFu);
        if (MoveCell(d, r, c)) cells.push_back(SheetModel::Entry{CellKey(r, c), e.cell});
    }
    std::sort(cells.begin(), cells.end(),
              [](const SheetModel::Entry& a, const SheetModel::Entry& b) { return a.key < b.key; });
    sheet.cells = std::move(cells);
    if (d.shiftUp) {
        std::vector<RowInfo> rows;
        for (auto info : sheet.rows) {
            if (MovePosition(block.top, block.bottom, info.row)) rows.push_back(info);
        }
        sheet.rows = std::move(rows);
    } else if (WholeColumns(block)) {
        std::vector<ColumnInfo> columns;
        for (auto run : sheet.columns) {
            if (MoveInterval(block.left, block.right, run.first, run.last)) columns.push_back(run);
        }
        sheet.columns = std::move(columns);
    }
    std::vector<Area> merges;
    for (auto m : sheet.merges) {
        if (MoveArea(d, m) && !(m.top == m.bottom && m.left == m.right)) merges.push_back(m);
    }
    sheet.merges = std::move(merges);
    sheet.MergesChanged();
    sheet.edits.push_back(d);
}

std::string PatchWorksheetXml(const std::string& workbookPath, const std::string& part,
                              const std::string& xml, const std::vector<SheetEdit>& edits,
                              bool& formulasMoved) {
    SheetXml sheet(workbookPath, part, xml);
    for (const auto& e : edits) sheet.Apply(e);
    formulasMoved = sheet.formulasMoved;
    return sheet.Finish();
}

}  // namespace tbln::workbook
