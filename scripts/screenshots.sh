#!/usr/bin/env bash
# Makes the screenshots of every dialog and of the sheet window into docs/screenshots,
# on the offscreen platform (no display needed). Usage: scripts/screenshots.sh [BUILD_DIR]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
if [ ! -d "$build" ]; then
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" --target qt_screenshots
QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" "$build/tests/qt_screenshots" "$here/docs/screenshots"
# The host window with the door schedule drawn, on a display server of its own.
if command -v Xvfb >/dev/null && command -v xdotool >/dev/null; then
    cmake --build "$build" --target tbln tbln-reader
    /usr/bin/python3 "$here/scripts/host_window_screenshot.py" "$build/apps/host/tbln" \
        "$here/docs/screenshots/host_window.png"
fi
# FreeCAD with the Quorvex workbench, an import done by hand (xdotool) on an X display
# of its own (TBLN_FREECAD_DISPLAY, default :94): the menu, the dialog and the drawn table,
# the page in PDF before and after an update, the progress dialog of an import cancelled
# midway, the Populate and Export Drawing Names dialogs. The workbook is a copy in a
# folder whose name says nothing of this machine (shown in the dialog's screenshot); the
# PDFs and their pictures stay there to look at.
if command -v freecad >/dev/null && command -v Xvfb >/dev/null && command -v xdotool >/dev/null; then
    cmake --build "$build" --target Tabulon tbln_python tbln-reader
    books=/tmp/quorvex
    rm -rf "$books"
    mkdir -p "$books"
    cp "$here/examples/door_schedule.xlsx" "$books/"
    /usr/bin/python3 "$here/tests/freecad/freecad_by_hand.py" "$build/apps/installer/Tabulon" \
        "$books/door_schedule.xlsx" "$here/docs/screenshots" "${TBLN_FREECAD_DISPLAY:-:94}"
fi
