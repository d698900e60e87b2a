#!/usr/bin/env bash
# Prints how large the tests are against the code they test: the lines of C++ under tests/
# divided by the lines of C++ in src/, adapters/ and apps/. The fixture generators and the
# test tools (Python and shell scripts under tests/) are counted apart, as is each room.
#   scripts/test_ratio.sh [--rooms]
set -euo pipefail
cd "$(dirname "$0")/.."
cxx_lines() {
    find "$@" -type f \( -name '*.cpp' -o -name '*.hpp' -o -name '*.h' -o -name '*.inc' \) \
        -print0 2>/dev/null | xargs -0 cat 2>/dev/null | wc -l || true
}
script_lines() {
    find "$@" -type f \( -name '*.py' -o -name '*.sh' \) -print0 2>/dev/null |
        xargs -0 cat 2>/dev/null | wc -l || true
}
code=$(cxx_lines src adapters apps)
tests=$(cxx_lines tests)
extra=$(script_lines tests)
percent() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", b ? 100 * a / b : 0 }'; }
echo "C++ code (src, adapters, apps): $code lines"
echo "C++ tests: $tests lines = $(percent "$tests" "$code") % of the code"
echo "fixture generators and test tools (Python, shell): $extra lines;" \
    "with them $(percent $((tests + extra)) "$code") %"
if [ "${1:-}" = "--rooms" ]; then
    for dir in tests/*/; do
        room=$(basename "$dir")
        [ "$room" = fixtures ] || [ "$room" = tools ] || [ "$room" = support ] && continue
        t=$(cxx_lines "$dir")
        [ "$t" -gt 0 ] || continue
        c=$(cxx_lines "src/$room" "adapters/$room" "apps/$room")
        if [ "$c" -gt 0 ]; then
            echo "  $room: $t test lines, $c code lines, $(percent "$t" "$c") %"
        else
            echo "  $room: $t test lines"
        fi
    done
fi
