#!/usr/bin/env bash
# Times tbln update-word (open, lay out and scan a document; JSON to /dev/null) on the
# documents given, default the shared corpus's 170-page bug65649.docx, in a Release
# build. Each document runs ROUNDS times (default 3); the best wall time is printed
# with that run's CPU time and peak memory (maximum resident set), since a loaded
# machine stretches wall time but not CPU time. TBLN=path runs that binary instead of
# building one.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${ROUNDS:-3}
corpus=${TBLN_CORPUS:-/work/shared/corpus}
files=("$@")
[ ${#files[@]} -gt 0 ] || files=("$corpus/docx/bug65649.docx")
tbln=${TBLN:-}
if [ -z "$tbln" ]; then
    cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTBLN_TESTS=OFF >/dev/null
    cmake --build build-bench --target tbln >/dev/null
    tbln=build-bench/apps/host/tbln
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for file in "${files[@]}"; do
    best=""
    for _ in $(seq "$rounds"); do
        /usr/bin/time -f "%e %U %S %M" "$tbln" update-word --file "$file" \
            >/dev/null 2>"$work/time.txt"
        read -r wall user sys peak < <(tail -n 1 "$work/time.txt")
        if [ -z "$best" ] || awk "BEGIN{exit !($wall < ${best%% *})}"; then
            best="$wall $(awk "BEGIN{print $user + $sys}") $peak"
        fi
    done
    read -r wall cpu peak <<<"$best"
    printf '%-40s wall %6.2f s  cpu %6.2f s  peak %7.1f MiB\n' "$(basename "$file")" \
        "$wall" "$cpu" "$(awk "BEGIN{print $peak / 1024}")"
done
