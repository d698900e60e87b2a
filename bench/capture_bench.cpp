// ReadReaderOutput and CaptureRange alone, over an output.txt that tbln-reader wrote for
// a workbook, with the engine answering the row heights and column widths; with a
// fourth argument, the captured records are then drawn into that DXF file, and the
// drawing's time and the growth of peak memory while drawing are printed beside.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "adapters/dxf/dxf_drawing.hpp"
#include "adapters/posix/posix_system.hpp"
#include "adapters/scripted/scripted_ui.hpp"
#include "adapters/workbook/embedded_excel.hpp"
#include "capture/capture_range.hpp"
#include "common/utilities.hpp"
#include "core/error.hpp"
#include "library/library.hpp"

namespace {

// CPU seconds in user and kernel mode and page faults of this process so far.
struct Usage {
    double user, system;
    long faults;
};
Usage Now() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    const auto seconds = [](timeval t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return {seconds(u.ru_utime), seconds(u.ru_stime), u.ru_minflt};
}

// Peak resident memory of this process so far, in MiB.
double PeakMiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tbln;
    if (argc < 4) {
        std::fprintf(stderr, "usage: capture_bench BOOK.xlsx SHEET OUTPUT.txt [DRAWING.dxf]\n");
        return 2;
    }
    const std::string root = std::filesystem::temp_directory_path() / "tbln-capture-bench";
    std::filesystem::create_directories(root + "/JRE/bin");
    scripted::ScriptedUi ui;
    posix::PosixSystem sys(root);
    ObjectServer objects;
    workbook::RegisterEmbeddedExcel(objects, ui);
    auto module = CreateModule(Ports{ui, sys, objects});
    Module& m = *module;
    try {
        if (!OpenExcelFile(m.ports, std::filesystem::absolute(argv[1]), false, m.xlApp, m.xlBook)) {
            return 1;
        }
        m.xlSheet = m.xlBook->Sheets(argv[2]);
        std::filesystem::copy_file(argv[3], root + "/JRE/bin/output.txt",
                                   std::filesystem::copy_options::overwrite_existing);
        const Usage u0 = Now();
        const auto t0 = std::chrono::steady_clock::now();
        ReadReaderOutput(m);
        const auto t1 = std::chrono::steady_clock::now();
        m.startRow = m.startCol = 1;
        m.endRow = CheckedInteger(m.rowHeights.Upper());
        m.endCol = CheckedInteger(m.colWidths.Upper());
        m.fastUpdate = false;
        CaptureRange(m);
        const auto t2 = std::chrono::steady_clock::now();
        const Usage u2 = Now();
        const auto s = [](auto a, auto b) { return std::chrono::duration<double>(b - a).count(); };
        const double cells = static_cast<double>(m.endRow) * m.endCol;
        std::printf("read and parse %.3f s, capture %.3f s, together %.3f s per million cells\n",
                    s(t0, t1), s(t1, t2), s(t0, t2) / cells * 1e6);
        // Where the time went: work in the program, and the kernel's (mostly handing out
        // the fresh pages the records fill).
        std::printf("  of which %.3f s user CPU, %.3f s kernel CPU, %ld page faults\n",
                    u2.user - u0.user, u2.system - u0.system, u2.faults - u0.faults);
        if (argc > 4) {
            const double peakBefore = PeakMiB();
            const auto t3 = std::chrono::steady_clock::now();
            {
                std::ofstream out(argv[4], std::ios::binary);
                dxf::DxfSink sink(out);
                drawing::DrawCapture({m.dgnCell, m.xlsShape, m.xlsImage, m.startRow, m.endRow,
                                      m.startCol, m.endCol, ""},
                                     {}, sink);
            }
            const auto t4 = std::chrono::steady_clock::now();
            std::printf(
                "draw to DXF %.3f s (%.2f x capture), %.1f MiB file, peak memory %.0f -> "
                "%.0f MiB\n",
                s(t3, t4), s(t3, t4) / s(t1, t2),
                static_cast<double>(std::filesystem::file_size(argv[4])) / 1048576.0, peakBefore,
                PeakMiB());
        }
    } catch (const RuntimeError& e) {
        std::fprintf(stderr, "capture_bench: %s\n", e.Description().c_str());
        return 1;
    }
    std::filesystem::remove_all(root);
    return 0;
}
