#include "apps/host/streamed_json.hpp"

#include <type_traits>

#include "core/text.hpp"

namespace tbln::host {

namespace {

// One record on one line, fields in the record's order, numbers as RecordJson writes them.
template <class R>
void WriteRecord(std::ostream& out, const std::shared_ptr<R>& record) {
    if (!record) {
        out << "null";
        return;
    }
    out << '{';
    bool first = true;
    R::Visit([&](const char* name, auto member) {
        if (!first) out << ", ";
        first = false;
        out << '"' << name << "\": ";
        const auto& v = (*record).*member;
        using T = std::remove_cv_t<std::remove_reference_t<decltype(v)>>;
        if constexpr (std::is_same_v<T, std::string>) {
            out << json(v).dump();
        } else if constexpr (std::is_same_v<T, bool>) {
            out << (v ? "true" : "false");
        } else if constexpr (std::is_same_v<T, float>) {
            out << NumberToText(v);
        } else if constexpr (std::is_floating_point_v<T>) {
            out << json(v).dump();
        } else {
            out << static_cast<long long>(v);
        }
    });
    out << '}';
}

}  // namespace

void PrintWithCells(std::ostream& out, const json& object, const std::string& name,
                    const MyCellArray& cells) {
    // The member's place in the indented text is found by a marker value.
    const std::string marker =
        "\x01"
        "cells"
        "\x01";
    json copy = object;
    copy[name] = marker;
    const std::string text = copy.dump(2);
    const std::string quoted = json(marker).dump();
    const auto at = text.find(quoted);
    out << text.substr(0, at);
    if (!cells.IsAllocated()) {
        out << "null";
    } else {
        out << "{\"rows\": [" << cells.RowLower() << ", " << cells.RowUpper() << "], \"cols\": ["
            << cells.ColLower() << ", " << cells.ColUpper() << "], \"items\": [\n";
        for (Long r = cells.RowLower(); r <= cells.RowUpper(); ++r) {
            out << "    [";
            for (Long c = cells.ColLower(); c <= cells.ColUpper(); ++c) {
                if (c > cells.ColLower()) out << ",\n     ";
                WriteRecord(out, cells(r, c));
            }
            out << (r < cells.RowUpper() ? "],\n" : "]\n");
        }
        out << "  ]}";
    }
    out << text.substr(at + quoted.size()) << "\n";
}

json AlreadyPrinted() {
    return json(json::value_t::discarded);
}

json CaptureArgumentsJson(Boolean result, const std::string& fileName0,
                          const std::string& sheetName0,
                          const std::shared_ptr<Collection>& excelFonts0,
                          const MyShapeArray& xlsShape0, const MyImageArray& xlsImage0,
                          Single totalHeight0, Single totalWidth0, Integer startRow0,
                          Integer endRow0, Integer startCol0, Integer endCol0) {
    return {{"result", result != False},
            {"fileName0", fileName0},
            {"sheetName0", sheetName0},
            {"excelFonts0", CollectionJson(excelFonts0)},
            {"dgnCell0", nullptr},
            {"xlsShape0", ArrayJson(xlsShape0)},
            {"xlsImage0", ArrayJson(xlsImage0)},
            {"totalHeight0", SingleJson(totalHeight0)},
            {"totalWidth0", SingleJson(totalWidth0)},
            {"startRow0", startRow0},
            {"endRow0", endRow0},
            {"startCol0", startCol0},
            {"endCol0", endCol0}};
}

}  // namespace tbln::host
