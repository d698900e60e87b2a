#include "apps/host/cells_drawing.hpp"

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <unordered_map>
#include <vector>

#include "adapters/workbook/a1.hpp"
#include "adapters/workbook/cell_format.hpp"
#include "adapters/workbook/embedded_excel.hpp"
#include "adapters/workbook/embedded_shapes.hpp"
#include "platform/excel.hpp"

namespace tbln::host {

namespace {

using json = nlohmann::ordered_json;
using namespace workbook;

json FrameJson(const ShapeFrame& f) {
    return {{"top", f.top},
            {"left", f.left},
            {"height", f.height},
            {"width", f.width},
            {"topLeftCell", CellReference(f.row, f.col)}};
}

// The look of a cell of that format and kind.
drawing::CellLook LookOfFormat(const WorkbookModel& book, std::uint32_t style, CellType type) {
    const CellView& v = FormatView(book, style);
    drawing::CellLook look;
    look.pattern = v.fillPattern;
    look.patternColor = drawing::ParseRgb(v.fillColor);
    look.patternBackground = drawing::ParseRgb(v.patternBackground);
    look.fontColor = drawing::ParseRgb(v.fontColor);
    look.borderColors = {drawing::ParseRgb(v.top.color), drawing::ParseRgb(v.bottom.color),
                         drawing::ParseRgb(v.left.color), drawing::ParseRgb(v.right.color)};
    look.content = type != CellType::Empty;
    look.number = type == CellType::Number;
    look.fillAligned = v.horizontalAlignment == xlFill;
    look.shrinks = v.shrinkToFit;
    return look;
}

}  // namespace

drawing::LookOf CellLooks(const WorkbookModel& book, const SheetModel& sheet) {
    return [&book, &sheet](Integer row, Integer col) -> std::optional<drawing::CellLook> {
        // The cell's kind and format only: its displayed text is the record's.
        const Cell* cell = sheet.Find(row, col);
        return LookOfFormat(book, cell ? cell->style : sheet.LineStyle(row, col),
                            cell ? cell->type : CellType::Empty);
    };
}

drawing::LookOf KeptCellLooks(const WorkbookModel& book, const SheetModel& sheet, Long firstRow,
                              Long lastRow, Long firstCol, Long lastCol) {
    struct Kept {
        Long firstRow, firstCol, rows, cols;
        std::vector<drawing::CellLook> looks;  // each distinct look once
        std::vector<std::uint32_t> of;         // a cell's look, row by row
    };
    auto kept = std::make_shared<Kept>();
    kept->firstRow = firstRow;
    kept->firstCol = firstCol;
    kept->rows = std::max<Long>(lastRow - firstRow + 1, 0);
    kept->cols = std::max<Long>(lastCol - firstCol + 1, 0);
    kept->of.reserve(static_cast<std::size_t>(kept->rows) * static_cast<std::size_t>(kept->cols));
    // A look depends on the cell's format and on whether it holds a number, another
    // value or none.
    std::unordered_map<std::uint64_t, std::uint32_t> seen;
    for (Long r = firstRow; r <= lastRow; ++r) {
        for (Long c = firstCol; c <= lastCol; ++c) {
            const Cell* cell = sheet.Find(r, c);
            const std::uint32_t style = cell ? cell->style : sheet.LineStyle(r, c);
            const CellType type = cell ? cell->type : CellType::Empty;
            const std::uint64_t key = std::uint64_t{style} << 8 | static_cast<std::uint8_t>(type);
            auto [at, added] =
                seen.try_emplace(key, static_cast<std::uint32_t>(kept->looks.size()));
            if (added) kept->looks.push_back(LookOfFormat(book, style, type));
            kept->of.push_back(at->second);
        }
    }
    return [kept](Integer row, Integer col) -> std::optional<drawing::CellLook> {
        const Long r = row - kept->firstRow, c = col - kept->firstCol;
        if (r < 0 || c < 0 || r >= kept->rows || c >= kept->cols) return std::nullopt;
        return kept
            ->looks[kept->of[static_cast<std::size_t>(r) * static_cast<std::size_t>(kept->cols) +
                             static_cast<std::size_t>(c)]];
    };
}

std::shared_ptr<const WorkbookModel> ImportedWorkbook(ObjectServer& objects,
                                                      const std::string& path) {
    try {
        const auto app = As<excel::Application>(objects.GetObject("Excel.Application"));
        if (auto open = OpenWorkbookModel(*app, path)) return open;
    } catch (const RuntimeError&) {
        // No spreadsheet engine runs: the file is read again.
    }
    try {
        return LoadWorkbook(path);
    } catch (const RuntimeError& e) {
        std::cerr << "tbln: the drawing shows what the records hold only: " << e.Description()
                  << "\n";
        return nullptr;
    }
}

json ShapesJson(const WorkbookModel& book, const SheetModel& sheet) {
    json shapes = json::array();
    Long index = 0;
    for (const auto& o : sheet.drawing.objects) {
        const ShapeFrame f = FrameOf(book, sheet, o);
        json s = {{"index", ++index},
                  {"name", o.name},
                  {"type", o.type},
                  {"autoShapeType", o.autoShapeType}};
        s.update(FrameJson(f));
        s["rotation"] = o.rotation;
        s["horizontalFlip"] = o.flipH ? excel::msoTrue : excel::msoFalse;
        s["verticalFlip"] = o.flipV ? excel::msoTrue : excel::msoFalse;
        json nodes = json::array();
        for (const auto& [x, y] : NodePoints(o, f)) nodes.push_back({x, y});
        s["nodes"] = nodes;
        s["adjustments"] = o.adjustments;
        // A shape without a text frame has no text at all (Excel raises an error).
        s["text"] = o.hasTextFrame ? json(o.text) : json(nullptr);
        if (o.hasTextFrame) s["font"] = {{"size", o.fontSize}, {"name", o.fontName}};
        s["fillSchemeColor"] = SchemeColorOf(o.filled ? o.fillRgb : 0xFFFFFF);
        s["line"] = {{"dashStyle", o.dashStyle},
                     {"weight", o.lineWeight},
                     {"beginArrowheadStyle", o.beginArrowStyle},
                     {"beginArrowheadWidth", o.beginArrowWidth},
                     {"endArrowheadStyle", o.endArrowStyle},
                     {"endArrowheadWidth", o.endArrowWidth}};
        shapes.push_back(std::move(s));
    }
    return shapes;
}

json PicturesJson(const WorkbookModel& book, const SheetModel& sheet) {
    json pictures = json::array();
    Long index = 0;
    for (const auto& o : sheet.drawing.objects) {
        if (o.type != excel::msoPicture && o.type != 11) continue;  // 11: a linked picture
        json p = {{"index", ++index}, {"name", o.name}};
        p.update(FrameJson(FrameOf(book, sheet, o)));
        p["media"] = o.mediaPart.empty() ? json(nullptr) : json(o.mediaPart);
        pictures.push_back(std::move(p));
    }
    return pictures;
}

}  // namespace tbln::host
