#!/usr/bin/env bash
# Builds the Debian package as the README builds it (Release, no tests), installs it with
# apt-get so that its declared dependencies are resolved for real, and runs the main job
# from the installed files only: tbln build-cell on the bundled door schedule, from a
# folder outside the tree, as a new user with an empty home. Fails when any step fails or
# the import does not hand back the schedule's table. Needs root (CI runs as root); a
# package this script installed is removed again at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
tree=$PWD
if [ "$(id -u)" -ne 0 ]; then
    echo "check_package.sh: run as root: it installs the package" >&2
    exit 2
fi
build=build-release
# Warnings are errors here too: the Release build's optimiser finds some the Debug one does not.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTBLN_TESTS=OFF -DTBLN_WERROR=ON >/dev/null
cmake --build "$build"
rm -f "$build"/tbln_*.deb
(cd "$build" && cpack -G DEB -B "$PWD" >/dev/null)
deb=$(echo "$PWD/$build"/tbln_*.deb)

export DEBIAN_FRONTEND=noninteractive
work=$(mktemp -d)
installed_before=$(dpkg-query -W -f '${Status}' tbln 2>/dev/null || true)
cleanup() {
    if [ "$installed_before" != "install ok installed" ]; then
        apt-get purge -y -qq tbln >/dev/null 2>&1 || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
# --reinstall: a package of the same version installed earlier is replaced by this one.
apt-get install -y -qq --reinstall --no-install-recommends -o DPkg::Lock::Timeout=600 \
    "$deb" >/dev/null

# Nothing of the tree or the build is reachable: an empty home, the system's PATH.
mkdir "$work/home"
cd "$work"
env -i HOME="$work/home" PATH=/usr/bin:/bin LANG=C.UTF-8 \
    tbln build-cell --file /usr/share/tbln/examples/door_schedule.xlsx --sheet Doors \
    >"$work/door_schedule.json"
/usr/bin/python3 - "$work/door_schedule.json" <<'EOF'
import json, sys
out = json.load(open(sys.argv[1]))
cells = out["dgnCell0"]
assert out["result"] is True, out["messages"]
assert cells["rows"] == [1, 10] and cells["cols"] == [1, 8], (cells["rows"], cells["cols"])
assert cells["items"][0][0]["Value"] == "DOOR SCHEDULE", cells["items"][0][0]
print("check_package.sh: the installed tbln imported the door schedule:",
      f"{cells['rows'][1]} rows, {cells['cols'][1]} columns")
EOF

# FreeCAD as a host, from the installed files: Tabulon --host freecad into a new user
# folder, then the workbench's import, title block, Word pages and update in freecadcmd;
# then the same by hand in FreeCAD's window on an X display of its own
# (TBLN_FREECAD_DISPLAY, default :94): the page exported to PDF and read back before and
# after an update, a cancelled import, Populate and Export Drawing Names (about a minute;
# its screenshots stay in the temporary folder, scripts/screenshots.sh makes the README's).
if command -v freecadcmd >/dev/null; then
    env -i HOME="$work/home" PATH=/usr/bin:/bin LANG=C.UTF-8 /usr/bin/python3 \
        "$tree/tests/freecad/check_freecad.py" /usr/bin/Tabulon /usr/share/tbln/examples \
        "$work/freecad"
fi
if command -v freecad >/dev/null && command -v Xvfb >/dev/null && command -v xdotool >/dev/null \
    && command -v tesseract >/dev/null; then
    mkdir -p "$work/by-hand/books" "$work/by-hand/shots"
    cp /usr/share/tbln/examples/door_schedule.xlsx "$work/by-hand/books/"
    env -i HOME="$work/home" PATH=/usr/bin:/bin LANG=C.UTF-8 /usr/bin/python3 \
        "$tree/tests/freecad/freecad_by_hand.py" /usr/bin/Tabulon \
        "$work/by-hand/books/door_schedule.xlsx" "$work/by-hand/shots" \
        "${TBLN_FREECAD_DISPLAY:-:94}"
fi
