#!/usr/bin/env bash
# Writes the JSON the host prints for every example and corpus file into OUT_DIR, one file
# per input and command (stdout, then the exit status and stderr after a separator line), so
# two builds can be compared with `diff -r`: build-cell over the whole active sheet of every
# workbook, parse-word for every document.
#   scripts/json_snapshot.sh BUILD_DIR OUT_DIR [CORPUS_DIR]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "$1" && pwd)"
out="$2"
corpus="${3:-$here/../shared/corpus}"
tbln="$build/apps/host/tbln"
[ -x "$tbln" ] || { echo "json_snapshot: no $tbln (build the tbln target)" >&2; exit 2; }
mkdir -p "$out"
# One install root for every run, so the paths in the records are the same between builds.
root="${TMPDIR:-/tmp}/tbln-json-snapshot-root-$(id -u)"
mkdir -p "$root"

inputs=()
for f in "$here"/examples/*.xlsx "$here"/examples/*.docx; do inputs+=("$f"); done
if [ -d "$corpus" ]; then
    while IFS= read -r -d '' f; do inputs+=("$f"); done < <(
        find "$corpus" -type f \( -name '*.xls' -o -name '*.xlsx' -o -name '*.xlsm' \
            -o -name '*.docx' \) -print0 | sort -z)
fi

run_one() {
    local tbln="$1" root="$2" out="$3" f="$4"
    local name command
    name="$(basename "$(dirname "$f")")_$(basename "$f")"
    case "$f" in
        *.docx) command=parse-word ;;
        *) command=build-cell ;;
    esac
    local dest="$out/$name.$command.json"
    local status=0
    (cd "$(dirname "$f")" &&
        timeout 300 "$tbln" --root "$root" "$command" --file "$f") >"$dest" 2>"$dest.err" ||
        status=$?
    { echo "---- exit $status"; cat "$dest.err"; } >>"$dest"
    rm -f "$dest.err"
}
export -f run_one
printf '%s\0' "${inputs[@]}" |
    xargs -0 -n1 -P"${JOBS:-2}" nice bash -c 'run_one "$@"' _ "$tbln" "$root" "$out"
echo "json_snapshot: ${#inputs[@]} files into $out"
