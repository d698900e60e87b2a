// The reader's exchange files: the input parsed as output.txt (the grid, its sizes and
// every cell's 25 fields) and as image.txt (the pictures, measured on a sheet with
// three pictures).
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "capture/capture_support.hpp"
#include "capture/fake_sheet.hpp"
#include "capture/reader_exchange.hpp"
#include "capture/shape_capture.hpp"
#include "common/paths.hpp"
#include "core/error.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static tbln::testing::CaptureModule t;
    static const auto sheet = [] {
        auto s = tbln::testing::MakeFakeSheet();
        for (int i = 1; i <= 3; ++i) {
            s->data.pictures.push_back(
                std::make_shared<tbln::testing::FakePicture>(i, 2 * i, 3 * i, 4 * i, i, i));
        }
        return s;
    }();
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        tbln::ParseReaderOutput(t.m, text, "output.txt");
    } catch (const tbln::RuntimeError&) {
    }
    t.m.xlSheet = sheet;
    auto& sys = t.p.sys;
    static const std::string imageFile = [&] {
        const std::string file = tbln::paths::ReaderFile(sys, "image.txt");
        std::filesystem::create_directories(std::filesystem::path(file).parent_path());
        return file;
    }();
    sys.WriteFile(imageFile, std::string(text));
    try {
        tbln::CapturePictures(t.m);
    } catch (const tbln::RuntimeError&) {
    }
    return 0;
}
