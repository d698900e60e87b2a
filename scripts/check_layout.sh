#!/usr/bin/env bash
# Checks the rooms of the spreadsheet engine: the .xlsx room (adapters/workbook/xlsx) and
# the .xls room (adapters/workbook/xls) include, of the adapters, only the engine's shared
# level (adapters/workbook, numfmt included) and the package room (adapters/opc), and
# never each other. Prints every include that breaks the rule; exits 1 when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."
bad=0
check() {
    local room="$1" other="$2"
    while IFS= read -r hit; do
        echo "check_layout: $hit" >&2
        bad=1
    done < <(grep -HnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"adapters/' \
                 "adapters/workbook/$room"/*.cpp "adapters/workbook/$room"/*.hpp 2>/dev/null |
             grep -vE '"adapters/(opc|workbook)/' || true)
    while IFS= read -r hit; do
        echo "check_layout: $hit (the $room room includes the $other room)" >&2
        bad=1
    done < <(grep -HnE "^[[:space:]]*#[[:space:]]*include[[:space:]]*\"adapters/workbook/$other/" \
                 "adapters/workbook/$room"/*.cpp "adapters/workbook/$room"/*.hpp 2>/dev/null || true)
}
check xlsx xls
check xls xlsx
if [ "$bad" = 0 ]; then echo "check_layout: xlsx and xls include only the shared level and opc"; fi
exit "$bad"
