// An import drawn to DXF beside the capture alone (Google Benchmark), over an output.txt
// that tbln-reader wrote for a workbook (bench/drawing_bench.sh makes a 100,000-cell one):
//   Capture       ReadReaderOutput and CaptureRange of the whole sheet;
//   CaptureToDxf  the same, then the records drawn into a DXF file as `tbln build-cell
//                 --dxf` draws them: the workbook read again for the cells' looks, texts
//                 measured with the fonts' metrics, the file put in place;
//   Dxf           the drawing alone, from the records of one capture.
// usage: drawing_bench BOOK.xlsx SHEET OUTPUT.txt [--benchmark_... options]
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "apps/host/drawing_output.hpp"
#include "apps/host/host.hpp"
#include "capture/capture_range.hpp"
#include "capture/reader_exchange.hpp"
#include "common/paths.hpp"
#include "common/utilities.hpp"
#include "core/error.hpp"

namespace {

using namespace tbln;

struct Setup {
    std::string book, sheet, root, dxf, output, readerOutput;
    std::unique_ptr<host::Host> host;
};
Setup* setup = nullptr;

// The capture of the whole sheet; the copy of the reader's output.txt, which the capture
// removes when done, is not timed.
void Capture(Module& m, benchmark::State* timed = nullptr) {
    if (timed) timed->PauseTiming();
    std::filesystem::copy_file(setup->output, setup->readerOutput,
                               std::filesystem::copy_options::overwrite_existing);
    if (timed) timed->ResumeTiming();
    ReadReaderOutput(m);
    m.startRow = m.startCol = 1;
    m.endRow = CheckedInteger(m.rowHeights.Upper());
    m.endCol = CheckedInteger(m.colWidths.Upper());
    m.fastUpdate = false;
    CaptureRange(m);
}

void DrawDxf(host::Host& h, Module& m) {
    host::Options options;
    options.Add("dxf", setup->dxf);
    host::DrawingOutputs outputs(options, {setup->book});
    outputs.WriteCapture(h, True, setup->book, setup->sheet, m.dgnCell, m.xlsShape, m.xlsImage,
                         m.startRow, m.endRow, m.startCol, m.endCol);
    outputs.Finish();
}

void Cells(benchmark::State& state, const Module& m) {
    state.counters["cells"] = static_cast<double>(m.endRow) * m.endCol;
    state.counters["MiB"] = static_cast<double>(std::filesystem::exists(setup->dxf)
                                                    ? std::filesystem::file_size(setup->dxf)
                                                    : 0) /
                            1048576.0;
}

void BM_Capture(benchmark::State& state) {
    Module& m = setup->host->module;
    for (auto _ : state) Capture(m, &state);
    Cells(state, m);
}

void BM_CaptureToDxf(benchmark::State& state) {
    Module& m = setup->host->module;
    for (auto _ : state) {
        Capture(m, &state);
        DrawDxf(*setup->host, m);
    }
    Cells(state, m);
}

void BM_Dxf(benchmark::State& state) {
    Module& m = setup->host->module;
    Capture(m);
    for (auto _ : state) DrawDxf(*setup->host, m);
    Cells(state, m);
}

BENCHMARK(BM_Capture)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_CaptureToDxf)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_Dxf)->Unit(benchmark::kMillisecond)->MinTime(3);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: drawing_bench BOOK.xlsx SHEET OUTPUT.txt [--benchmark_...]\n");
        return 2;
    }
    namespace fs = std::filesystem;
    Setup s;
    s.book = fs::absolute(argv[1]);
    s.sheet = argv[2];
    s.root = fs::temp_directory_path() / "tbln-drawing-bench";
    s.dxf = s.root + "/bench.dxf";
    fs::create_directories(s.root);
    s.host = std::make_unique<host::Host>(s.root);
    Module& m = s.host->module;
    try {
        if (!OpenExcelFile(m.ports, s.book, false, m.xlApp, m.xlBook)) return 1;
        m.xlSheet = m.xlBook->Sheets(s.sheet);
        s.output = fs::absolute(argv[3]);
        s.readerOutput = paths::ReaderFile(s.host->sys, "output.txt");
        fs::create_directories(fs::path(s.readerOutput).parent_path());
        setup = &s;
        benchmark::RunSpecifiedBenchmarks();
    } catch (const RuntimeError& e) {
        std::fprintf(stderr, "drawing_bench: %s\n", e.Description().c_str());
        return 1;
    }
    benchmark::Shutdown();
    fs::remove_all(s.root);
    return 0;
}
