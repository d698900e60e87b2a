// The drawings of a legacy workbook: the input is a workbook stream (BIFF records, no
// container around them). Its drawing group is read as the picture store and every
// sheet's drawing records as one sheet's drawing, placed on an empty sheet.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "adapters/workbook/embedded_shapes.hpp"
#include "adapters/workbook/workbook_model.hpp"
#include "adapters/workbook/xls/biff_records.hpp"
#include "adapters/workbook/xls/xls_drawing.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tbln::workbook;
    static const WorkbookModel book = [] {
        WorkbookModel b;
        b.path = "fuzz.xls";
        return b;
    }();
    const std::string_view stream(reinterpret_cast<const char*>(data), size);
    std::string group;
    SheetDrawingRecords records;
    std::uint16_t previous = 0;
    try {
        biff::RecordStream rs(stream);
        while (rs.Next()) {
            const auto id = rs.Id();
            if (id == biff::kMsoDrawingGroup ||
                (id == biff::kContinue && previous == biff::kMsoDrawingGroup)) {
                group.append(rs.Data());
            } else {
                records.Add(id, previous, rs.Data());
            }
            if (id != biff::kContinue) previous = id;
        }
    } catch (const biff::CutShort&) {
    }
    const PictureStore store = ReadPictureStore(group);
    SheetModel sheet;
    sheet.name = "Sheet1";
    ReadLegacySheetDrawing(records, store, std::vector<std::uint32_t>(64, 0), book, sheet);
    std::size_t seen = 0;
    for (const auto& o : sheet.drawing.objects) {
        const auto frame = FrameOf(book, sheet, o);
        seen += o.name.size() + o.text.size() + static_cast<std::size_t>(frame.row);
        if (o.mediaBytes) seen += o.mediaBytes->size();
    }
    volatile std::size_t sink = seen;
    (void)sink;
    return 0;
}
