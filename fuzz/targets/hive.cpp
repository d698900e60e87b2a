// The hive file parser: load a registry export, read back every key and value, change
// one value and write the text again.
#include <cstddef>
#include <cstdint>
#include <string>

#include "adapters/posix/file_hive.hpp"
#include "core/error.hpp"
#include "fuzz/fuzz_input.hpp"

namespace {

std::size_t Walk(tbln::posix::FileHive& hive, const std::string& key, int depth) {
    std::size_t seen = 0;
    for (std::size_t i = 0;; ++i) {
        const auto name = hive.ValueNameAt(key, i);
        if (!name) break;
        if (const auto value = hive.QueryValue(key, *name)) seen += 1;
    }
    if (depth > 64) return seen;
    for (std::size_t i = 0;; ++i) {
        const auto sub = hive.SubKeyAt(key, i);
        if (!sub) break;
        seen += Walk(hive, key.empty() ? *sub : key + "\\" + *sub, depth + 1);
    }
    return seen;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static tbln::fuzz::InputFile file(".reg");
    try {
        tbln::posix::FileHive hive(file.Write(data, size));
        std::size_t seen = Walk(hive, "SOFTWARE", 0);
        hive.SetString("SOFTWARE\\Quorvex", "Path", "C:\\Quorvex\\");
        seen += hive.Text().size();
        volatile std::size_t sink = seen;
        (void)sink;
    } catch (const tbln::posix::HiveFileError&) {
    } catch (const tbln::RuntimeError&) {
    }
    return 0;
}
