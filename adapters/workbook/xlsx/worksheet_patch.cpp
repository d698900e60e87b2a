#include "adapters/workbook/sheet_edits.hpp"

#include <pugixml.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>

#include "adapters/opc/dom.hpp"
#include "adapters/workbook/a1.hpp"
#include "adapters/workbook/package.hpp"
#include "adapters/workbook/sheet_geometry.hpp"
#include "adapters/workbook/xlsx/escapes.hpp"
#include "adapters/workbook/xlsx/worksheet_patch.hpp"
#include "core/error.hpp"

namespace tbln::workbook {

using opc::Child;
using opc::Is;

namespace {

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

std::string AreaReference(const Area& a) {
    return workbook::AreaReference(a.top, a.left, a.bottom, a.right);
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
            if (Is(n, item) && ParseArea(n.attribute("ref").value(), a)) {
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

std::string PatchWorksheetXml(const std::string& workbookPath, const std::string& part,
                              const std::string& xml, const std::vector<SheetEdit>& edits,
                              bool& formulasMoved) {
    SheetXml sheet(workbookPath, part, xml);
    for (const auto& e : edits) sheet.Apply(e);
    formulasMoved = sheet.formulasMoved;
    return sheet.Finish();
}

}  // namespace tbln::workbook
