#!/usr/bin/env bash
# tbln-reader.exe under Wine writes the same exchange files as the Linux tbln-reader for
# the same workbooks: output.txt, image.txt, error.txt, flag.txt and the picture files.
#   tests/windows/reader_matches_linux.sh LINUX_READER [WINDOWS_BUILD]
# LINUX_READER is the Linux build's tbln-reader; WINDOWS_BUILD the folder
# scripts/build-windows.sh filled (default build-windows). Workbooks of the shared corpus
# are skipped when it is absent.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
LINUX_READER="$(realpath "$1")"
WIN="$(realpath "${2:-$ROOT/build-windows}")"
CORPUS="$(realpath -m "$ROOT/../shared/corpus")"
FIXTURES="$ROOT/tests/fixtures"
export WINEARCH=win64 WINEPREFIX="$WIN/wineprefix" WINEDEBUG=-all LC_ALL=C.UTF-8
WINE=/usr/lib/wine/wine64
"$ROOT/tests/windows/wine_prefix.sh" "$WIN"

# Workbook | sheet: the bundled example, fixtures made by independent tools and real
# workbooks (legacy BIFF8 and BIFF5 streams, code pages, a password-protected stream,
# pictures, sheet names with spaces and letters outside ASCII, column widths in several
# fonts).
CASES=(
    "$ROOT/examples/door_schedule.xlsx|Doors"
    "$FIXTURES/drawing_formats.xlsx|Pictures"
    "$FIXTURES/drawing_formats.xls|Pictures"
    "$FIXTURES/encrypted_default.xls|Opened"
    "$FIXTURES/encrypted_other.xls|Opened"
    "$FIXTURES/fonts_calibri11.xlsx|Widths"
    "$FIXTURES/fonts_times12.xlsx|Widths"
    "$CORPUS/xls/SampleSS.xls|First Sheet"
    "$CORPUS/xls/57925.xls|Доходы"
    "$CORPUS/xls/12561-1.xls|作業リスト"
    "$CORPUS/xls/testEXCEL_95.xls|Feuil1"
    "$CORPUS/xls/SheetWithDrawing.xls|Sheet1"
    "$CORPUS/xls/colwidth.xls|Sheet1"
    "$CORPUS/xls/51832.xls|Sheet1"
)

# The reader's argument: spaces and ampersands written as run.bat writes them.
encode() {
    local s="${1// /*mervik*}"
    printf '%s' "${s//&/*kivrem*}"
}

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
status=0 compared=0
for c in "${CASES[@]}"; do
    book="${c%%|*}" sheet="${c#*|}"
    [ -f "$book" ] || { echo "skipped (absent): $book"; continue; }
    for side in linux windows; do
        rm -rf "$work/$side"
        mkdir -p "$work/$side/JRE/bin" "$work/$side/pics"
    done
    (cd "$work/linux/JRE/bin" &&
        "$LINUX_READER" -jar lumo.zip "$(encode "$book")" "$(encode "$sheet")" mervik) || true
    winbook="Z:${book//\//\\}"
    (cd "$work/windows/JRE/bin" &&
        "$WINE" "$WIN/tbln-reader.exe" -jar lumo.zip "$(encode "$winbook")" "$(encode "$sheet")" mervik) \
        >/dev/null 2>&1 || true
    # A message names the workbook by its path, which Windows writes with its drive.
    if [ -f "$work/windows/JRE/bin/error.txt" ]; then
        sed -i "s|$(printf '%s' "$winbook" | sed 's/[\\.*^$[]/\\&/g')|$book|g" "$work/windows/JRE/bin/error.txt"
    fi
    compared=$((compared + 1))
    if diff -r "$work/linux" "$work/windows" >"$work/diff.txt"; then
        echo "same: $(basename "$book") [$sheet] ($(ls "$work/linux/JRE/bin" | tr '\n' ' '))"
    else
        echo "DIFFERENT: $(basename "$book") [$sheet]"
        head -n 20 "$work/diff.txt"
        status=1
    fi
done
echo "$compared workbooks compared"
exit $status
