// A legacy .xls workbook (a compound file of BIFF records): read it and describe every
// cell of every sheet.
#include <cstddef>
#include <cstdint>

#include "adapters/workbook/workbook_model.hpp"
#include "adapters/workbook/xls/xls_reader.hpp"
#include "core/error.hpp"
#include "fuzz/describe_workbook.hpp"
#include "fuzz/fuzz_input.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static tbln::fuzz::InputFile file(".xls");
    try {
        const auto book = tbln::workbook::LoadLegacyWorkbook(file.Write(data, size));
        volatile std::size_t sink = tbln::fuzz::DescribeWorkbook(*book);
        (void)sink;
    } catch (const tbln::RuntimeError&) {
    }
    return 0;
}
