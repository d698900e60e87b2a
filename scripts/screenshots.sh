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
