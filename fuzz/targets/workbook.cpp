// A workbook package: open it, describe every cell of every sheet (its text as shown,
// its merged area, its row and column) and list the drawings' objects.
#include <cstddef>
#include <cstdint>

#include "adapters/workbook/workbook_model.hpp"
#include "core/error.hpp"
#include "fuzz/describe_workbook.hpp"
#include "fuzz/fuzz_input.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static tbln::fuzz::InputFile file(".xlsx");
    try {
        const auto book = tbln::workbook::LoadWorkbook(file.Write(data, size));
        volatile std::size_t sink = tbln::fuzz::DescribeWorkbook(*book);
        (void)sink;
    } catch (const tbln::RuntimeError&) {
    }
    return 0;
}
