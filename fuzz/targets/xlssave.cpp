// Saving a legacy .xls workbook: read it, make on every sheet the edits the dialogs make
// (a text, a column width, whole rows deleted, a block deleted with the cells right of
// it moving left) and write the workbook stream and compound file with them; the bytes
// written are read back. The file itself is never replaced.
#include <cstddef>
#include <cstdint>
#include <string>

#include "adapters/workbook/sheet_edits.hpp"
#include "adapters/workbook/workbook_model.hpp"
#include "adapters/workbook/xls/xls_reader.hpp"
#include "adapters/workbook/xls/xls_writer.hpp"
#include "core/error.hpp"
#include "fuzz/fuzz_input.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tbln::workbook;
    static tbln::fuzz::InputFile file(".xls");
    static tbln::fuzz::InputFile saved(".saved.xls");
    std::unique_ptr<WorkbookModel> book;
    try {
        book = LoadLegacyWorkbook(file.Write(data, size));
    } catch (const tbln::RuntimeError&) {
        return 0;
    }
    // Each edit may be refused (a merged area the deletion would cut) without the others.
    const auto edit = [](auto&& change) {
        try {
            change();
        } catch (const tbln::RuntimeError&) {
        }
    };
    for (auto& sheet : book->sheets) {
        edit([&] { SetCellsText(*book, sheet, {Area{2, 2, 2, 2}}, "fuzz"); });
        edit([&] { SetCellsText(*book, sheet, {Area{1, 1, 1, 1}}, ""); });
        edit([&] { SetColumnsWidth(*book, sheet, 3, 4, 12.5); });
        edit([&] { DeleteCells(sheet, Area{3, 1, 4, kMaxCols}); });
        edit([&] { DeleteCells(sheet, Area{1, 4, 5, 4}); });
    }
    try {
        const std::string bytes = LegacyWorkbookWithEdits(*book);
        LoadLegacyWorkbook(
            saved.Write(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    } catch (const tbln::RuntimeError&) {
    }
    return 0;
}
