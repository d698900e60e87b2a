#!/usr/bin/env bash
# Times tbln-reader alone, ReadReaderOutput + CaptureRange alone, and tbln build-cell of
# the whole sheet end to end (JSON to /dev/null) on the engine benchmark's styled
# 1,000,000-cell sheet (bench/make_bench_workbook.py), beside the expat streaming
# floor and openpyxl (bench/openpyxl_read.py) in the same run.
#
# Virtual machines change speed from minute to minute, so the floor and our programs
# run in turn, round after round (ROUNDS, default 3), and each one's best wall time is
# printed with that run's peak memory (maximum resident set) and its ratio to the
# floor's best. openpyxl, which takes minutes, runs once. Last comes the capture
# benchmark's own split into reading, capture, CPU time and page faults (its fastest run).
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${ROUNDS:-3}
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTBLN_TESTS=OFF -DTBLN_BENCH=ON >/dev/null
cmake --build build-bench --target tbln tbln-reader expat_floor capture_bench >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
book="$work/bench_1m.xlsx"
/usr/bin/python3 bench/make_bench_workbook.py "$book"
mkdir -p "$work/reader"
run() {  # label, command...: appends "label wall peak" to the results
    local label=$1
    shift
    /usr/bin/time -f "%e %M" "$@" >/dev/null 2>"$work/time.txt" || {
        cat "$work/time.txt"
        return 1
    }
    echo "$label $(tail -n 1 "$work/time.txt")" >>"$work/results.txt"
}
reader="$PWD/build-bench/apps/reader/tbln-reader"
for _ in $(seq "$rounds"); do
    run floor build-bench/bench/expat_floor "$book"
    (cd "$work/reader" && run reader "$reader" "$book" Data)
    run capture build-bench/bench/capture_bench "$book" Data "$work/reader/output.txt"
    run build-cell build-bench/apps/host/tbln --root "$work/root" build-cell --file "$book" --sheet Data
done
run openpyxl /usr/bin/python3 bench/openpyxl_read.py "$book"
awk '
    !($1 in best) || $2 < best[$1] { best[$1] = $2; peak[$1] = $3 }
    END {
        split("floor openpyxl reader capture build-cell", order, " ")
        name["floor"] = "expat floor"; name["openpyxl"] = "openpyxl (one run)"
        name["reader"] = "tbln-reader"; name["capture"] = "capture_bench (whole process)"
        name["build-cell"] = "tbln build-cell"
        for (i = 1; i <= 5; ++i) {
            k = order[i]
            printf "%-30s %7.2f s  %5.1fx floor  peak %4d MiB\n", name[k], best[k],
                   best[k] / best["floor"], peak[k] / 1024
        }
    }' "$work/results.txt"
# The capture benchmark's split, from its fastest of the rounds.
for _ in $(seq "$rounds"); do
    build-bench/bench/capture_bench "$book" Data "$work/reader/output.txt" | paste -sd'\t'
done | awk -F'\t' '{ match($1, /together [0-9.]+/); t = substr($1, RSTART + 9, RLENGTH - 9) + 0
                    if (best == "" || t < best) { best = t; line = $0 } }
                  END { gsub(/\t/, "\n", line); print line }'
