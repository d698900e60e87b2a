#!/usr/bin/env bash
# Builds the Windows programs and library from this tree with mingw-w64:
#   build-windows/tbln-reader.exe, build-windows/Tabulon.exe, build-windows/tbln.dll
# It installs what it needs with apt-get (as root, or through sudo), builds the libraries
# the engines use from Debian's own source packages into build-windows/prefix (kept between
# runs: delete the folder to start again), then configures and builds every target of the
# Windows configuration. Everything linked is static, so the results need only Windows'
# own DLLs.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
OUT="$ROOT/build-windows"
PREFIX="$OUT/prefix"
SOURCES="$OUT/sources"
TOOLCHAIN="$ROOT/cmake/mingw-w64.cmake"
JOBS="${JOBS:-$(nproc)}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

# The Debian packages: the cross compilers and Windows' zlib, Wine to run the results
# (on Xvfb, with Pillow for the dialogs' pictures), the header-only libraries, and the
# fonts the layout measures with.
PACKAGES=(cmake ninja-build pkg-config dpkg-dev g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
          mingw-w64-tools libz-mingw-w64-dev wine64 libwine-dev xvfb python3-pil nlohmann-json3-dev libcli11-dev
          fonts-liberation2 fonts-crosextra-carlito)
missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
# The libraries the engines use, built from the archive's own sources.
LIBRARIES=(expat libzip pugixml)
need_sources=0
for lib in "${LIBRARIES[@]}"; do [ -f "$PREFIX/.$lib.done" ] || need_sources=1; done

if [ "${#missing[@]}" -gt 0 ] || [ "$need_sources" -eq 1 ]; then
    # Source entries for the same archives and suites as the binary ones.
    if ! grep -rqs '^Types:.*deb-src\|^deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        if [ -f /etc/apt/sources.list.d/debian.sources ]; then
            sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
                $SUDO tee /etc/apt/sources.list.d/debian-src.sources >/dev/null
        else
            sed -n 's/^deb /deb-src /p' /etc/apt/sources.list | $SUDO tee /etc/apt/sources.list.d/debian-src.list >/dev/null
        fi
    fi
    $SUDO apt-get update -qq
    if [ "${#missing[@]}" -gt 0 ]; then
        $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    fi
fi

mkdir -p "$PREFIX/include" "$SOURCES"
# Source folder of a package fetched by apt-get source (the folder dpkg-source unpacked).
fetch_source() {
    local pkg="$1"
    if ! ls -d "$SOURCES/$pkg"-*/ >/dev/null 2>&1; then
        # The newest version first; a mirror without the security archive's sources
        # serves the release's own (its point releases carry the security fixes too).
        local suite
        suite="$(sed -n 's/^Suites: *\([^ ]*\).*/\1/p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -n 1)"
        (cd "$SOURCES" && { apt-get source -qq "$pkg" >/dev/null 2>&1 ||
            { rm -rf "./$pkg"[-_]*; apt-get source -qq "$pkg/${suite:-bookworm}" >/dev/null 2>&1; }; })
    fi
    ls -d "$SOURCES/$pkg"-*/ | head -n 1
}
# Configures, builds and installs a CMake project into the prefix for Windows.
build_library() {
    local name="$1" src="$2"
    shift 2
    cmake -S "$src" -B "$SOURCES/build-$name" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
        -DTBLN_WIN_PREFIX="$PREFIX" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$PREFIX" \
        -DBUILD_SHARED_LIBS=OFF "$@" >/dev/null
    # Debian's patches to expat test "#if XML_DTD == 1", as its autotools configuration
    # defines it; the CMake one defines it empty.
    if [ -f "$SOURCES/build-$name/expat_config.h" ]; then
        sed -i 's/^#define XML_DTD$/#define XML_DTD 1/; s/^#define XML_NS$/#define XML_NS 1/' \
            "$SOURCES/build-$name/expat_config.h"
    fi
    nice cmake --build "$SOURCES/build-$name" -j "$JOBS" >/dev/null
    cmake --install "$SOURCES/build-$name" >/dev/null
    touch "$PREFIX/.$name.done"
}

if [ ! -f "$PREFIX/.expat.done" ]; then
    src="$(fetch_source expat)"
    # The Debian source keeps the library in its own folder in some releases.
    if [ -f "$src/expat/CMakeLists.txt" ]; then src="$src/expat"; fi
    build_library expat "$src" -DEXPAT_BUILD_TOOLS=OFF -DEXPAT_BUILD_EXAMPLES=OFF -DEXPAT_BUILD_TESTS=OFF \
        -DEXPAT_BUILD_DOCS=OFF -DEXPAT_SHARED_LIBS=OFF -DEXPAT_BUILD_PKGCONFIG=ON
fi
if [ ! -f "$PREFIX/.pugixml.done" ]; then
    build_library pugixml "$(fetch_source pugixml)" -DPUGIXML_BUILD_TESTS=OFF
fi
if [ ! -f "$PREFIX/.libzip.done" ]; then
    build_library libzip "$(fetch_source libzip)" -DENABLE_COMMONCRYPTO=OFF -DENABLE_GNUTLS=OFF \
        -DENABLE_MBEDTLS=OFF -DENABLE_OPENSSL=OFF -DENABLE_WINDOWS_CRYPTO=OFF -DENABLE_BZIP2=OFF \
        -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_OSSFUZZ=OFF \
        -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF
fi
# The header-only libraries, from Debian's packages (their headers need no system headers).
for dir in nlohmann CLI; do
    if [ ! -d "$PREFIX/include/$dir" ]; then cp -r "/usr/include/$dir" "$PREFIX/include/"; fi
done

# The project itself; every runtime output lands in build-windows/.
cmake -S "$ROOT" -B "$OUT/cmake" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DTBLN_WIN_PREFIX="$PREFIX" \
    -DCMAKE_BUILD_TYPE=Release -DTBLN_GUI=OFF -DTBLN_TESTS=OFF -DTBLN_BENCH=OFF -DTBLN_FUZZ=OFF \
    -DCMAKE_RUNTIME_OUTPUT_DIRECTORY="$OUT" -DCMAKE_LIBRARY_OUTPUT_DIRECTORY="$OUT" >/dev/null
nice cmake --build "$OUT/cmake" -j "$JOBS"

# The results need nothing but Windows' own DLLs.
SYSTEM_DLLS='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comctl32|comdlg32|shlwapi|uxtheme|version|msvcrt|bcrypt|ws2_32|winmm|imm32|rpcrt4|msimg32|windowscodecs|api-ms-win-.*)\.dll$'
status=0
for f in "$OUT"/*.exe "$OUT"/*.dll; do
    [ -e "$f" ] || continue
    for dll in $(x86_64-w64-mingw32-objdump -p "$f" | sed -n 's/^\s*DLL Name: //p'); do
        if ! [[ "${dll,,}" =~ $SYSTEM_DLLS ]]; then
            echo "$(basename "$f") needs $dll, which is not one of Windows' own DLLs" >&2
            status=1
        fi
    done
done
exit $status
