#!/usr/bin/env bash
# Makes the Wine prefix the Windows tests run in, once: build-windows/wineprefix (or the
# folder given), 64-bit, with the office fonts replaced by Debian's metric-compatible
# ones, as fontconfig replaces them on Linux (Wine's GDI finds the fonts fontconfig knows
# but does not take fontconfig's aliases).
#   tests/windows/wine_prefix.sh [WINDOWS_BUILD]
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
WIN="$(realpath "${1:-$ROOT/build-windows}")"
export WINEARCH=win64 WINEPREFIX="$WIN/wineprefix" WINEDEBUG=-all
WINE=/usr/lib/wine/wine64
if [ ! -f "$WINEPREFIX/.tbln-ready" ]; then
    "$WINE" wineboot -i >/dev/null 2>&1
    for pair in "Calibri=Carlito" "Cambria=Caladea" "Arial=Liberation Sans" \
                "Times New Roman=Liberation Serif" "Courier New=Liberation Mono"; do
        "$WINE" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "${pair%%=*}" /d "${pair#*=}" \
            /f >/dev/null 2>&1
    done
    /usr/lib/wine/wineserver -w
    touch "$WINEPREFIX/.tbln-ready"
fi
