// A .docx document: read it, lay out its main story and scan the lines as the line
// import does (each line's characters and their positions).
#include <cstddef>
#include <cstdint>

#include "adapters/document/document_model.hpp"
#include "adapters/document/layout.hpp"
#include "core/error.hpp"
#include "fuzz/fuzz_input.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static tbln::fuzz::InputFile file(".docx");
    static tbln::fonts::FontMetrics metrics;
    try {
        const auto model = tbln::document::ReadDocx(file.Write(data, size));
        const auto layout = tbln::document::LayOut(model, metrics);
        double seen = 0;
        for (const auto& line : layout.lines) {
            for (std::size_t i = line.start; i < line.end && i < model.text.size(); ++i) {
                seen += static_cast<double>(model.text[i]) +
                        static_cast<double>(model.FormatAt(i).size);
            }
            // The position of the line's last character, measured again along the line.
            seen +=
                tbln::document::CharX(model, metrics, line, line.end - 1) + line.y + line.height;
        }
        volatile double sink = seen;
        (void)sink;
    } catch (const tbln::RuntimeError&) {
    }
    return 0;
}
