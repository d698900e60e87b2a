#!/usr/bin/env bash
# Times tbln-reader alone, ReadReaderOutput + CaptureRange alone, and tbln build-cell of
# the whole sheet end to end (JSON to /dev/null) on the styled 1,000,000-cell sheet,
# beside the expat streaming floor and openpyxl reading the cells, in the same run.
# Prints wall time and peak memory (maximum resident set) of each.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTBLN_TESTS=OFF -DTBLN_BENCH=ON >/dev/null
cmake --build build-bench --target tbln tbln-reader expat_floor capture_bench >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
book="$work/styled.xlsx"
/usr/bin/python3 bench/make_styled_sheet.py "$book"
measure() {  # label, command...
    local label=$1
    shift
    /usr/bin/time -f "$label: %e s, peak %M KiB" "$@" >/dev/null 2>"$work/time.txt" || {
        cat "$work/time.txt"
        return 1
    }
    tail -n 1 "$work/time.txt"
}
measure "expat floor          " build-bench/bench/expat_floor "$book"
measure "openpyxl (read-only) " /usr/bin/python3 -c "
import openpyxl, sys
wb = openpyxl.load_workbook(sys.argv[1], read_only=True)
n = sum(1 for row in wb['Data'].iter_rows() for c in row)
" "$book"
mkdir -p "$work/reader"
(cd "$work/reader" && measure "tbln-reader          " "$OLDPWD/build-bench/apps/reader/tbln-reader" "$book" Data)
measure "parse + capture      " build-bench/bench/capture_bench "$book" Data "$work/reader/output.txt"
build-bench/bench/capture_bench "$book" Data "$work/reader/output.txt"
measure "tbln build-cell      " build-bench/apps/host/tbln --root "$work/root" build-cell --file "$book" --sheet Data
