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
# FreeCAD with the Quorvex workbench and a drawn table, when FreeCAD is installed: the
# workbench installed into a temporary user folder, FreeCAD run under Xvfb.
if command -v freecad >/dev/null && command -v xvfb-run >/dev/null; then
    cmake --build "$build" --target Tabulon tbln_python tbln-reader
    user="$(mktemp -d)"
    trap 'rm -rf "$user"' EXIT
    "$build/apps/installer/Tabulon" --host freecad --user-dir "$user/data/FreeCAD" >/dev/null
    QTWEBENGINE_DISABLE_SANDBOX=1 XDG_DATA_HOME="$user/data" XDG_CONFIG_HOME="$user/config" \
        QUORVEX_BOOK="$here/examples/door_schedule.xlsx" \
        QUORVEX_SHOT="$here/docs/screenshots/freecad_quorvex.png" \
        timeout 300 xvfb-run -a -s "-screen 0 1500x950x24" \
        freecad "$here/tests/freecad/freecad_screenshot.py" >/dev/null 2>&1 || true
fi
