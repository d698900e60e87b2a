#!/usr/bin/env bash
# The compound file of legacy workbooks rewritten by tbln-compound-check.exe under Wine
# (OLE structured storage) reads back in python3-xlrd as the original does: every sheet,
# cell and format, and a digest of every other stream.
#   tests/windows/compound_file_roundtrip.sh [WINDOWS_BUILD]
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
WIN="$(realpath "${1:-$ROOT/build-windows}")"
CORPUS="$(realpath -m "$ROOT/../shared/corpus")"
export WINEARCH=win64 WINEPREFIX="$WIN/wineprefix" WINEDEBUG=-all LC_ALL=C.UTF-8
"$ROOT/tests/windows/wine_prefix.sh" "$WIN"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
status=0
for book in "$ROOT/tests/fixtures/biff8.xls" "$ROOT/tests/fixtures/drawing_formats.xls" \
    "$CORPUS/xls/WithEmbeddedObjects.xls" "$CORPUS/xls/SimpleMacro.xls" "$CORPUS/xls/57925.xls"; do
    [ -f "$book" ] || { echo "skipped (absent): $book"; continue; }
    out="$work/$(basename "$book")"
    if ! /usr/lib/wine/wine64 "$WIN/tbln-compound-check.exe" "Z:${book//\//\\}" "Z:${out//\//\\}"; then
        echo "FAILED: $(basename "$book") was not rewritten"
        status=1
        continue
    fi
    if diff <(/usr/bin/python3 "$ROOT/tests/tools/xls_read_back.py" "$book") \
        <(/usr/bin/python3 "$ROOT/tests/tools/xls_read_back.py" "$out") >"$work/diff.txt"; then
        echo "same: $(basename "$book")"
    else
        echo "DIFFERENT: $(basename "$book")"
        cut -c1-300 "$work/diff.txt" | head -n 10
        status=1
    fi
done
exit $status
