// tbln cells FILE [--sheet NAME] [--range A1:D9]: what the spreadsheet engine sees in
// a workbook, as one JSON object. A user's inspection tool and our window into the
// engine: sheets, the used area, row heights and column widths with their hidden
// flags, and every cell's displayed text, value type, font, alignment, borders,
// fill and merged area; the sheet's shapes and pictures.
#include <algorithm>
#include <iostream>
#include <string>
#include <string_view>
#include <unordered_map>

#include "adapters/workbook/a1.hpp"
#include "adapters/workbook/cell_format.hpp"
#include "adapters/workbook/sheet_geometry.hpp"
#include "adapters/workbook/workbook_model.hpp"
#include "apps/host/cells_drawing.hpp"
#include "apps/host/host.hpp"
#include "apps/host/streamed_json.hpp"
#include "core/collection.hpp"

namespace tbln::host {

namespace {

using namespace workbook;

const char* TypeName(ValueType t) {
    switch (t) {
        case ValueType::Empty:
            return "empty";
        case ValueType::Number:
            return "number";
        case ValueType::Text:
            return "text";
        case ValueType::Boolean:
            return "boolean";
        case ValueType::Error:
            return "error";
    }
    return "empty";
}

json Edge(const CellBorderEdge& e) {
    json j = {{"style", e.style}};
    if (!e.color.empty()) j["color"] = e.color;
    return j;
}

// The members of a cell's JSON that its format decides, from "numberFormat" to "fill".
json FormatJson(const CellView& v) {
    json font = {{"name", v.fontName},       {"size", v.fontSize},
                 {"bold", v.bold},           {"italic", v.italic},
                 {"underline", v.underline}, {"strikethrough", v.strikethrough}};
    if (!v.fontColor.empty()) font["color"] = v.fontColor;
    json fill = {{"pattern", v.fillPattern}};
    if (!v.fillColor.empty()) fill["color"] = v.fillColor;
    if (!v.patternBackground.empty()) fill["background"] = v.patternBackground;
    return {{"numberFormat", v.numberFormat},
            {"font", font},
            {"alignment",
             {{"horizontal", v.horizontalAlignment},
              {"vertical", v.verticalAlignment},
              {"wrapText", v.wrapText},
              {"orientation", v.orientation},
              {"indent", v.indent},
              {"shrinkToFit", v.shrinkToFit}}},
            {"borders",
             {{"top", Edge(v.top)},
              {"bottom", Edge(v.bottom)},
              {"left", Edge(v.left)},
              {"right", Edge(v.right)}}},
            {"fill", fill}};
}

// Cells as the JSON library would write each one, made as text: a sheet holds hundreds
// of thousands of cells but few formats, so the format's members are written once per
// format and each cell adds only its address, value and merged area.
class CellWriter {
  public:
    CellWriter(const WorkbookModel& book, std::string indent)
        : book_(book), indent_(std::move(indent)) {}

    const std::string& Cell(const SheetModel& sheet, Long row, Long column) {
        const CellContent c = DescribeContent(book_, sheet, row, column);
        text_ = "{\n";
        Member("address");
        AppendJsonString(text_, CellReference(row, column));
        Member("row");
        AppendInteger(text_, row);
        Member("column");
        AppendInteger(text_, column);
        Member("text");
        AppendJsonString(text_, c.text);
        Member("type");
        AppendJsonString(text_, TypeName(c.type));
        if (c.type == ValueType::Number) {
            Member("value");
            AppendJsonNumber(text_, c.number);
        }
        text_ += ",\n";
        text_ += FormatMembers(c.style);
        Member("mergeArea", false);
        if (c.merged) {
            AppendJsonString(text_, AreaReference(c.mergeArea.top, c.mergeArea.left,
                                                  c.mergeArea.bottom, c.mergeArea.right));
        } else {
            text_ += "null";
        }
        text_ += "\n" + indent_ + "}";
        return text_;
    }

  private:
    // The separator before a member (none before the first) and its name.
    void Member(const char* name, bool separated = true) {
        if (separated && text_.back() != '\n') text_ += ",\n";
        text_ += indent_ + "  \"" + name + "\": ";
    }

    // The format's members as their lines in the cell, each line ending with a line feed.
    const std::string& FormatMembers(std::uint32_t style) {
        auto [it, added] = formats_.try_emplace(style);
        if (added) {
            const std::string dumped = DumpJson(FormatJson(FormatView(book_, style)));
            // Between "{\n" and "\n}": the members' lines, moved in to the cell's place.
            std::string_view inner(dumped);
            inner = inner.substr(2, inner.size() - 4);
            std::size_t start = 0;
            while (start <= inner.size()) {
                const auto nl = std::min(inner.find('\n', start), inner.size());
                it->second += indent_;
                it->second.append(inner.substr(start, nl - start));
                it->second += nl == inner.size() ? ",\n" : "\n";
                start = nl + 1;
            }
        }
        return it->second;
    }

    const WorkbookModel& book_;
    std::string indent_;
    std::string text_;
    std::unordered_map<std::uint32_t, std::string> formats_;
};

Area ParseRangeOption(const std::string& text) {
    const auto colon = text.find(':');
    Area a;
    const bool ok =
        ParseCellRef(text.substr(0, colon), a.top, a.left) &&
        (colon == std::string::npos ? (a.bottom = a.top, a.right = a.left, true)
                                    : ParseCellRef(text.substr(colon + 1), a.bottom, a.right));
    if (!ok) throw UsageError("--range " + text + " is not a range such as A1:D9");
    if (a.bottom < a.top) std::swap(a.top, a.bottom);
    if (a.right < a.left) std::swap(a.left, a.right);
    return a;
}

}  // namespace

json CellsCommand(Host&, const Options& options) {
    const std::string file =
        options.Positional().empty() ? options.Get("file") : options.Positional().front();
    const auto book = LoadWorkbook(file);

    std::size_t index = book->activeTab;
    if (options.Has("sheet")) {
        const std::string& name = options.Get("sheet");
        index = book->sheets.size();
        for (std::size_t i = 0; i < book->sheets.size(); ++i) {
            if (KeysEqual(book->sheets[i].name, name)) index = i;
        }
        if (index == book->sheets.size())
            throw UsageError(file + " has no sheet named \"" + name + "\"");
    }
    const SheetModel& sheet = book->sheets.at(index);
    const Area used = UsedArea(sheet);
    const Area range = options.Has("range") ? ParseRangeOption(options.Get("range")) : used;

    json out;
    out["file"] = book->path;
    json sheets = json::array();
    for (const auto& s : book->sheets) sheets.push_back({{"name", s.name}, {"state", s.state}});
    out["sheets"] = sheets;
    out["activeSheet"] = book->sheets.at(book->activeTab).name;
    out["date1904"] = book->date1904;
    out["sheet"] = sheet.name;
    out["usedRange"] = AreaReference(used.top, used.left, used.bottom, used.right);
    out["range"] = AreaReference(range.top, range.left, range.bottom, range.right);
    out["activeCell"] = CellReference(sheet.activeRow, sheet.activeCol);
    std::string selection;
    for (const auto& a : sheet.selection)
        selection +=
            (selection.empty() ? "" : ",") + AreaReference(a.top, a.left, a.bottom, a.right);
    out["selection"] = selection;

    // Rows, columns and cells are written as they are described: a sheet of a million
    // cells is never held as one JSON tree.
    const ItemSource rows = [&](const ItemSink& sink) {
        for (Long r = range.top; r <= range.bottom; ++r) {
            sink({{"row", r},
                  {"height", RowHeightPoints(*book, sheet, r)},
                  {"hidden", RowHidden(sheet, r)}});
        }
    };
    out["rows"] = nullptr;
    const ItemSource columns = [&](const ItemSink& sink) {
        for (Long c = range.left; c <= range.right; ++c) {
            sink({{"column", c},
                  {"letters", CellReference(1, c).substr(0, CellReference(1, c).size() - 1)},
                  {"width", ColumnWidthPoints(*book, sheet, c)},
                  {"columnWidth", ColumnWidthCharacters(*book, sheet, c)},
                  {"hidden", ColumnHidden(sheet, c)}});
        }
    };
    out["columns"] = nullptr;
    json merges = json::array();
    for (const auto& m : sheet.merges) {
        if (m.bottom < range.top || m.top > range.bottom || m.right < range.left ||
            m.left > range.right)
            continue;
        merges.push_back(AreaReference(m.top, m.left, m.bottom, m.right));
    }
    out["merges"] = merges;
    // The cells the sheet holds inside the range (a value or a format of their own).
    const ItemSource cells = [&](const ItemSink& sink) {
        CellWriter writer(*book, sink.Indent());
        const auto first =
            std::lower_bound(sheet.cells.begin(), sheet.cells.end(), CellKey(range.top, 0),
                             [](const SheetModel::Entry& e, std::uint64_t k) { return e.key < k; });
        for (auto it = first; it != sheet.cells.end(); ++it) {
            const auto row = static_cast<Long>(it->key >> 32);
            const auto col = static_cast<Long>(it->key & 0xFFFFFFFFu);
            if (row > range.bottom) break;
            if (col < range.left || col > range.right) continue;
            sink.Text(writer.Cell(sheet, row, col));
        }
    };
    out["cells"] = nullptr;
    // A drawing that cannot be read leaves the cells listed; the user is told why.
    if (!sheet.drawing.error.empty())
        std::cerr << "Warning: " << sheet.drawing.error
                  << ". The sheet's shapes and pictures are left out.\n";
    out["shapes"] = ShapesJson(*book, sheet);
    out["pictures"] = PicturesJson(*book, sheet);
    PrintWithArrays(std::cout, out, {{"/rows", rows}, {"/columns", columns}, {"/cells", cells}});
    return AlreadyPrinted();
}

}  // namespace tbln::host
