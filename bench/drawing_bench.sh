#!/usr/bin/env bash
# An import drawn to DXF beside the capture alone: writes a styled 100,000-cell sheet
# (bench/make_bench_workbook.py, 5,000 rows by 20 columns), has tbln-reader write its
# output.txt, and runs the Google Benchmark bench/drawing_bench.cpp on it (the capture;
# the capture and the DXF as `tbln build-cell --dxf` draws it; the DXF alone). Then
# tbln build-cell --dxf end to end beside build-cell alone. ROWS and COLUMNS change the size;
# further arguments go to the benchmark (--benchmark_filter=..., --benchmark_repetitions=N).
set -euo pipefail
cd "$(dirname "$0")/.."
rows=${ROWS:-5000}
cols=${COLUMNS:-20}
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTBLN_TESTS=OFF -DTBLN_BENCH=ON >/dev/null
cmake --build build-bench --target tbln tbln-reader drawing_bench >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
book="$work/bench.xlsx"
/usr/bin/python3 bench/make_bench_workbook.py "$book" "$rows" "$cols"
mkdir -p "$work/reader"
(cd "$work/reader" && "$OLDPWD/build-bench/apps/reader/tbln-reader" "$book" Data >/dev/null)
build-bench/bench/drawing_bench "$book" Data "$work/reader/output.txt" "$@"
for args in "" "--dxf $work/end.dxf"; do
    /usr/bin/time -f "tbln build-cell ${args:+--dxf }: %e s, peak %M KiB" \
        build-bench/apps/host/tbln --root "$work/root" build-cell --file "$book" --sheet Data \
        $args >/dev/null
done
