#!/bin/sh
# Builds one libFuzzer target with clang and runs it:
#     scripts/fuzz.sh TARGET SECONDS [LIBFUZZER OPTIONS...]
# TARGET is a file name of fuzz/targets without .cpp. The seeds listed for it in
# fuzz/seeds.txt are copied into build-fuzz/seeds/TARGET at each run (the shared corpus
# is never committed); the inputs that grow coverage stay in build-fuzz/corpus/TARGET
# between runs; a crash is written to build-fuzz/artifacts/TARGET/ (commit it, minimised,
# under fuzz/crashers/TARGET/ with its fix, so the replay test keeps it fixed).
set -eu
[ $# -ge 2 ] || { echo "usage: $0 TARGET SECONDS [LIBFUZZER OPTIONS...]" >&2; exit 2; }
target=$1 seconds=$2
shift 2
src=$(cd "$(dirname "$0")/.." && pwd)
build=${TBLN_FUZZ_BUILD:-$src/build-fuzz}
corpus=$(cd "$src/.." && pwd)/shared/corpus
line=$(grep "^$target " "$src/fuzz/seeds.txt") || { echo "$0: no fuzz target $target" >&2; exit 2; }

if [ ! -f "$build/build.ninja" ]; then
    CC=clang-14 CXX=clang++-14 cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DTBLN_FUZZ=ON -DTBLN_TESTS=OFF -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
fi
nice cmake --build "$build" --target "fuzz_$target" -j2

seeds=$build/seeds/$target
rm -rf "$seeds"
mkdir -p "$seeds" "$build/corpus/$target" "$build/artifacts/$target"
cp "$src/fuzz/seeds/$target/"* "$seeds/" 2>/dev/null || true
cp "$src/fuzz/crashers/$target/"* "$seeds/" 2>/dev/null || true
set -- "$@"
extensions=$(echo "$line" | cut -d' ' -f2)
for folder in $(echo "$line" | cut -d' ' -f3-); do
    case $folder in CORPUS/*) folder=$corpus/${folder#CORPUS/} ;; *) folder=$src/$folder ;; esac
    [ -d "$folder" ] || continue
    for ext in $(echo "$extensions" | tr ',' ' '); do
        find "$folder" -type f -name "*$ext" -exec cp {} "$seeds/" \;
    done
done

cd "$build/artifacts/$target"
export LSAN_OPTIONS="suppressions=$src/fuzz/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
# Whole stacks through the system libraries, so that a suppression can name the library
# function a leak comes from.
export ASAN_OPTIONS="fast_unwind_on_malloc=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
exec "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len=1048576 -print_final_stats=1 "$@" "$build/corpus/$target" "$seeds"
