// The number-format renderer: the first 8 bytes are the value (a double, any bit
// pattern), the rest is the format code, rendered for a number, for a text and in the
// 1904 date system.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "adapters/workbook/numfmt/display_text.hpp"
#include "core/error.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < sizeof(double)) return 0;
    double value = 0;
    std::memcpy(&value, data, sizeof value);
    const std::string_view code(reinterpret_cast<const char*>(data) + sizeof value,
                                size - sizeof value);
    try {
        volatile std::size_t sink = tbln::workbook::FormatNumber(value, code).size() +
                                    tbln::workbook::FormatNumber(value, code, true).size() +
                                    tbln::workbook::FormatText("text", code).size();
        (void)sink;
    } catch (const tbln::RuntimeError&) {
    }
    return 0;
}
