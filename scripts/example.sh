#!/usr/bin/env bash
# Sets everything up, builds tbln and fills a title block's tags from the bundled
# example workbook, printing the records as JSON.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build-example -G Ninja -DCMAKE_BUILD_TYPE=Release -DTBLN_TESTS=OFF >/dev/null
cmake --build build-example --target tbln >/dev/null
build-example/apps/host/tbln --root "${QUORVEX_ROOT:-$PWD/build-example/quorvex}" insert-block-pop \
    --file examples/title_block.xlsx --sheet "Title Block" --row 2 --col 2 \
    --tags examples/title_block_tags.json
