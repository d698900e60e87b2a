// Saving an .xlsx sheet: the input is a worksheet part's XML, into which the edits the
// dialogs make (texts, a column width, whole rows deleted, a block deleted with the
// cells right of it moving left) are written.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "adapters/workbook/workbook_model.hpp"
#include "adapters/workbook/xlsx/worksheet_patch.hpp"
#include "core/error.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tbln::workbook;
    static const std::vector<SheetEdit> edits = [] {
        std::vector<SheetEdit> e(6);
        e[0].area = Area{2, 2, 2, 2};
        e[0].text = "fuzz";
        e[1].area = Area{1, 1, 3, 2};  // emptied
        e[2].kind = SheetEdit::Kind::SetColumnWidth;
        e[2].area = Area{1, 3, kMaxRows, 4};
        e[2].width = 12.7109375;
        e[3].kind = SheetEdit::Kind::Delete;
        e[3].area = Area{3, 1, 4, kMaxCols};
        e[3].shiftUp = true;
        e[4].kind = SheetEdit::Kind::Delete;
        e[4].area = Area{1, 4, 5, 4};
        e[5].area = Area{70000, 200, 70000, 200};
        e[5].text = "far";
        return e;
    }();
    const std::string xml(reinterpret_cast<const char*>(data), size);
    try {
        bool formulasMoved = false;
        const std::string out =
            PatchWorksheetXml("fuzz.xlsx", "xl/worksheets/sheet1.xml", xml, edits, formulasMoved);
        volatile std::size_t sink = out.size();
        (void)sink;
    } catch (const tbln::RuntimeError&) {
    }
    return 0;
}
