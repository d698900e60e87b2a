// Replays inputs through a fuzz target's entry point without libFuzzer, so that the
// normal (GCC, sanitized) build checks the seed corpora and every crasher found:
//
//     replay_TARGET [--ext .xlsx,.xlsm] PATH...
//
// A PATH that is a folder is walked; --ext limits the paths after it to files of those
// extensions. A folder that does not exist is skipped (the shared corpus is optional). Each file
// is named on stderr before it runs, so a sanitizer report shows which one failed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    std::set<std::string> extensions;
    std::vector<fs::path> files;
    const auto take = [&](const fs::path& p) {
        if (extensions.empty() || extensions.count(p.extension().string())) files.push_back(p);
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--ext" && i + 1 < argc) {
            std::stringstream list(argv[++i]);
            for (std::string e; std::getline(list, e, ',');) extensions.insert(e);
            continue;
        }
        std::error_code ec;
        if (fs::is_directory(arg, ec)) {
            for (const auto& entry : fs::recursive_directory_iterator(arg, ec)) {
                if (entry.is_regular_file(ec)) take(entry.path());
            }
        } else if (fs::is_regular_file(arg, ec)) {
            files.push_back(arg);
        }
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        std::fprintf(stderr, "%s\n", file.c_str());
        std::ifstream in(file, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("%zu inputs replayed\n", files.size());
    return 0;
}
