// How long saving a changed workbook takes: copies WORKBOOK into a fresh folder, opens
// the copy, writes one cell's text and saves it in place (the changed sheet rewritten,
// every other part copied), best of three. Prints one JSON line.
//
//     save_bench WORKBOOK
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "adapters/workbook/save.hpp"
#include "adapters/workbook/sheet_edits.hpp"
#include "adapters/workbook/workbook_model.hpp"

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    using namespace tbln::workbook;
    if (argc != 2) {
        std::fprintf(stderr, "usage: save_bench WORKBOOK\n");
        return 2;
    }
    const fs::path folder = fs::temp_directory_path() / "tbln-save-bench";
    fs::create_directories(folder);
    const fs::path copy = folder / fs::path(argv[1]).filename();
    double best = 1e300, open = 0;
    for (int run = 0; run < 3; ++run) {
        fs::copy_file(argv[1], copy, fs::copy_options::overwrite_existing);
        const auto t0 = std::chrono::steady_clock::now();
        auto book = LoadWorkbook(copy.string());
        const auto t1 = std::chrono::steady_clock::now();
        SetCellsText(*book, book->sheets.front(), {Area{1, 1, 1, 1}}, "saved by the engine");
        SaveWorkbook(*book);
        const auto t2 = std::chrono::steady_clock::now();
        const double save = std::chrono::duration<double>(t2 - t1).count();
        if (save < best) {
            best = save;
            open = std::chrono::duration<double>(t1 - t0).count();
        }
    }
    std::printf(
        "{\"program\": \"save\", \"bytes\": %llu, \"open_seconds\": %.3f, \"save_seconds\": "
        "%.3f}\n",
        static_cast<unsigned long long>(fs::file_size(copy)), open, best);
    fs::remove_all(folder);
    return 0;
}
