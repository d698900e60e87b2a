#!/usr/bin/env bash
# Times tbln-reader alone, ReadReaderOutput + CaptureRange alone, and tbln build-cell of
# the whole sheet end to end (JSON to /dev/null) on the engine benchmark's styled
# 1,000,000-cell sheet (bench/make_bench_workbook.py), beside the expat streaming
# floor and openpyxl (bench/openpyxl_read.py) in the same run. Prints the best wall
# time of three runs and that run's peak memory (maximum resident set), then the
# capture benchmark's own split into reading, capture, CPU and page faults.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTBLN_TESTS=OFF -DTBLN_BENCH=ON >/dev/null
cmake --build build-bench --target tbln tbln-reader expat_floor capture_bench >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
book="$work/bench_1m.xlsx"
/usr/bin/python3 bench/make_bench_workbook.py "$book"
measure() {  # label, command...: the best wall time of three runs, with that run's peak
    local label=$1 best="" line wall
    shift
    for _ in 1 2 3; do
        /usr/bin/time -f "%e %M" "$@" >/dev/null 2>"$work/time.txt" || {
            cat "$work/time.txt"
            return 1
        }
        line=$(tail -n 1 "$work/time.txt")
        wall=${line%% *}
        if [ -z "$best" ] || awk "BEGIN{exit !($wall < ${best%% *})}"; then best=$line; fi
    done
    echo "$label: ${best%% *} s, peak ${best##* } KiB (best of 3)"
}
measure "expat floor          " build-bench/bench/expat_floor "$book"
measure "openpyxl             " /usr/bin/python3 bench/openpyxl_read.py "$book"
mkdir -p "$work/reader"
(cd "$work/reader" && measure "tbln-reader          " "$OLDPWD/build-bench/apps/reader/tbln-reader" "$book" Data)
measure "capture_bench (whole)" build-bench/bench/capture_bench "$book" Data "$work/reader/output.txt"
build-bench/bench/capture_bench "$book" Data "$work/reader/output.txt"
measure "tbln build-cell      " build-bench/apps/host/tbln --root "$work/root" build-cell --file "$book" --sheet Data
