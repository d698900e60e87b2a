#!/usr/bin/env bash
# Draws the records of the engine benchmark's styled 1,000,000-cell sheet
# (bench/make_bench_workbook.py) to DXF and prints the time beside the capture's own
# (ReadReaderOutput + CaptureRange of the same records), with the growth of peak memory
# while drawing; then tbln build-cell --dxf end to end beside build-cell alone.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTBLN_TESTS=OFF -DTBLN_BENCH=ON >/dev/null
cmake --build build-bench --target tbln tbln-reader capture_bench >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
book="$work/bench_1m.xlsx"
/usr/bin/python3 bench/make_bench_workbook.py "$book"
mkdir -p "$work/reader"
(cd "$work/reader" && "$OLDPWD/build-bench/apps/reader/tbln-reader" "$book" Data >/dev/null)
build-bench/bench/capture_bench "$book" Data "$work/reader/output.txt" "$work/bench.dxf"
for args in "" "--dxf $work/end.dxf"; do
    /usr/bin/time -f "tbln build-cell ${args:+--dxf }: %e s, peak %M KiB" \
        build-bench/apps/host/tbln --root "$work/root" build-cell --file "$book" --sheet Data \
        $args >/dev/null
done
