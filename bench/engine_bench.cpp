// The embedded spreadsheet engine on a large workbook: open it and read every cell's
// displayed text and format (font, alignment, borders, fill, merged area), plus each
// row's height and each column's width, as the cell capture does.
//
//   engine_bench FILE.xlsx   -> one line: seconds, peak memory, cells read
#include <sys/resource.h>

#include <chrono>
#include <cstdio>

#include "adapters/workbook/cell_format.hpp"
#include "adapters/workbook/sheet_geometry.hpp"
#include "adapters/workbook/workbook_model.hpp"
#include "core/error.hpp"

int main(int argc, char** argv) {
    using namespace tbln;
    if (argc != 2) {
        std::fprintf(stderr, "usage: engine_bench WORKBOOK\n");
        return 2;
    }
    try {
        const auto start = std::chrono::steady_clock::now();
        const auto book = workbook::LoadWorkbook(argv[1]);
        const auto loaded = std::chrono::steady_clock::now();
        long long cells = 0, characters = 0;
        double sizes = 0;
        for (const auto& sheet : book->sheets) {
            const auto used = workbook::UsedArea(sheet);
            for (Long r = used.top; r <= used.bottom; ++r)
                sizes += workbook::RowHeightPoints(*book, sheet, r);
            for (Long c = used.left; c <= used.right; ++c)
                sizes += workbook::ColumnWidthPoints(*book, sheet, c);
            for (const auto& e : sheet.cells) {
                const auto v = workbook::DescribeCell(*book, sheet, static_cast<Long>(e.key >> 32),
                                                      static_cast<Long>(e.key & 0xFFFFFFFFu));
                characters += static_cast<long long>(v.text.size() + v.fontName.size() +
                                                     v.top.style.size() + v.fillPattern.size()) +
                              (v.merged ? 1 : 0);
                ++cells;
            }
        }
        const auto end = std::chrono::steady_clock::now();
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        const double cpu =
            static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        std::printf(
            "{\"program\": \"tbln engine\", \"seconds\": %.3f, \"cpu_seconds\": %.3f, "
            "\"peak_mib\": %.1f, \"cells\": %lld, "
            "\"open_seconds\": %.3f, \"read_seconds\": %.3f, \"checksum\": %lld}\n",
            std::chrono::duration<double>(end - start).count(), cpu,
            static_cast<double>(usage.ru_maxrss) / 1024.0, cells,
            std::chrono::duration<double>(loaded - start).count(),
            std::chrono::duration<double>(end - loaded).count(),
            characters + static_cast<long long>(sizes));
        return 0;
    } catch (const RuntimeError& e) {
        std::fprintf(stderr, "engine_bench: %s\n", e.Description().c_str());
        return 1;
    }
}
