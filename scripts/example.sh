#!/usr/bin/env bash
# Sets everything up, builds tbln and tbln-reader and imports the bundled door
# schedule as the records a CAD host draws a table from, printing them as JSON.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build-example -G Ninja -DCMAKE_BUILD_TYPE=Release -DTBLN_TESTS=OFF >/dev/null
cmake --build build-example --target tbln >/dev/null
build-example/apps/host/tbln --root "${QUORVEX_ROOT:-$PWD/build-example/quorvex}" build-cell \
    --file examples/door_schedule.xlsx --sheet Doors
