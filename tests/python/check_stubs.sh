#!/bin/sh
# usage: check_stubs.sh MODULE_DIR SOURCE_DIR. The stubs beside the built module against
# the module itself (stubtest), then the examples that use the module with mypy --strict.
# Exits 77 (skipped) without Debian's mypy.
set -eu
module="$1"
source="$2"
if ! /usr/bin/python3 -c "import mypy" 2>/dev/null; then
    echo "skipped: no mypy (Debian's mypy)"
    exit 77
fi
export MYPYPATH="$module"
cd "$module"
/usr/bin/python3 -m mypy.stubtest tbln --allowlist "$source/apps/python/stubtest_allowlist.txt"
cd "$source"
/usr/bin/python3 -m mypy --strict --no-incremental --cache-dir=/dev/null \
    examples/draw_table_ezdxf.py examples/schedule_svg.py
