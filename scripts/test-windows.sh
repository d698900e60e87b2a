#!/usr/bin/env bash
# Builds the Windows deliverables (scripts/build-windows.sh) and tests tbln.dll under Wine
# as a CAD macro uses it:
#   - regsvr32 registers the classes (machine-wide, then for the current user only with
#     /n /i:user) and /u removes every key again;
#   - typelib_check.exe reads the type library back and checks its identities and members;
#   - the VBScript suite (tests/windows/suite.vbs) run by cscript creates every class,
#     round-trips every record property and calls the eleven entry points with answers
#     files through TBLN_ANSWERS;
#   - compare_records.py compares the records the macro got with what the Linux host
#     (build-asan/apps/host/tbln, built when missing) prints for the same import;
#   - a macro calling BuildCell with no answers file gets the real range dialog, which
#     is left with Esc and with its close box, and False back; played by
#     tbln-range-dialog-driver as a drafter beside the sheet window, it hands back the same
#     records as the Linux host;
#   - tbln-reader.exe and Tabulon.exe are compared with their Linux twins, and the
#     Windows adapters' window calls, the sheet window (clicks at measured places, its
#     paint) and compound files checked;
#   - the dialog scenarios every user interface plays (tbln-ui-conformance.exe) and the
#     library's dialogs opened through the entry points (tbln-dialogs-check.exe) run on
#     the Win32 dialogs; the dialogs' pictures are written to
#     build-windows/tests/windows/screenshots (and to docs/screenshots/windows with
#     TBLN_UPDATE_SCREENSHOTS=1).
# Windows need a display: the caller's DISPLAY, else an Xvfb started here on a free
# display and stopped at the end (by its process id).
# The Wine prefix (tests/windows/wine_prefix.sh) lives in build-windows/wineprefix; its
# drive C holds the install root.
# With TBLN_SKIP_WINDOWS_BUILD=1 the build step is skipped (the files must be there).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
OUT="$ROOT/build-windows"
cd "$ROOT"

start=$SECONDS
if [ "${TBLN_SKIP_WINDOWS_BUILD:-0}" != 1 ]; then scripts/build-windows.sh; fi
built=$SECONDS
for f in tbln.dll tests/typelib_check.exe; do
    [ -f "$OUT/$f" ] || { echo "test-windows: $OUT/$f was not built" >&2; exit 1; }
done

export WINEARCH=win64 WINEPREFIX="$OUT/wineprefix" WINEDEBUG=-all
WINE=/usr/lib/wine/wine64

# A display for the windows: the caller's, else a private Xvfb on the first free display.
XVFB_PID=""
stop_xvfb() { if [ -n "$XVFB_PID" ]; then kill "$XVFB_PID" 2>/dev/null || true; wait "$XVFB_PID" 2>/dev/null || true; fi; }
trap stop_xvfb EXIT
if [ -z "${DISPLAY:-}" ] && command -v Xvfb >/dev/null; then
    displayfile="$(mktemp)"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$displayfile" 2>/dev/null &
    XVFB_PID=$!
    for _ in $(seq 100); do [ -s "$displayfile" ] && break; sleep 0.1; done
    [ -s "$displayfile" ] && export DISPLAY=":$(head -n 1 "$displayfile")"
    rm -f "$displayfile"
fi
# A Wine server still running in this prefix from an earlier run talks to that run's
# display: let it end first.
/usr/lib/wine/wineserver -w
tests/windows/wine_prefix.sh "$OUT"
win() { "$WINE" winepath -w "$1" 2>/dev/null; }
# The examples the pictured dialogs open, in a folder of the prefix's drive C, so the
# pictures show C:\Drawings\... rather than where this checkout lies.
rm -rf "$WINEPREFIX/drive_c/Drawings" && cp -r examples "$WINEPREFIX/drive_c/Drawings"
DRAWINGS='C:\Drawings'
DLL="$(win "$OUT/tbln.dll")"
RESULTS="$OUT/tests/windows"
rm -rf "$RESULTS" && mkdir -p "$RESULTS"
failed=0
fail() { echo "FAIL $*"; failed=1; }

# The Linux programs the Windows ones are compared with (the sanitizer build's).
LINUX="$ROOT/build-asan/apps"
HOST="$LINUX/host/tbln"
if [ ! -x "$HOST" ] || [ ! -x "$LINUX/reader/tbln-reader" ] || [ ! -x "$LINUX/installer/Tabulon" ]; then
    cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTBLN_SANITIZE=ON >/dev/null
    cmake --build build-asan --target tbln tbln-reader Tabulon >/dev/null
fi
"$HOST" --root "$RESULTS/linux-root" build-cell --file examples/door_schedule.xlsx --range A1:H10 \
    >"$RESULTS/build_cell.json"
# A few workbooks of the corpus (when it is there) are imported by both hosts too: text
# beyond the 16-bit range in a file name with spaces, merged areas with hidden rows and
# columns, text boxes.
CORPUS="$ROOT/../shared/corpus/xlsx"
COMPARED=(build_cell deep_update)
: >"$RESULTS/imports.txt"
for book in "54084 - Greek - beyond BMP" FillWithoutColor textbox03; do
    [ -f "$CORPUS/$book.xlsx" ] || continue
    name="corpus_$(echo "$book" | tr -c 'A-Za-z0-9\n' _)"
    "$HOST" --root "$RESULTS/linux-root" build-cell --file "$CORPUS/$book.xlsx" --range A1:H20 \
        >"$RESULTS/$name.json"
    printf '%s\t%s\tA\t1\tH\t20\n' "$name" "$(win "$CORPUS/$book.xlsx")" >>"$RESULTS/imports.txt"
    COMPARED+=("$name")
done

# Registration: the keys appear with regsvr32 and are all gone after regsvr32 /u; the
# same under the current user's classes with /n /i:user.
KEYS=('tbln.Application\CLSID' 'tbln.MyImage\CLSID'
      'CLSID\{6CC4A1DA-2E20-49AF-B45D-A6A6693F2128}\InprocServer32'
      'TypeLib\{4AF2A03D-0E4F-4D57-9F57-263582CBD09F}\1.0\409\win64'
      'Interface\{E374A307-E3F4-422B-A5A2-935D4750B0C3}\TypeLib')
keys_are() {  # present|absent ROOT
    for key in "${KEYS[@]}"; do
        if "$WINE" reg query "$2\\$key" >/dev/null 2>&1; then
            [ "$1" = present ] || fail "$2\\$key is still there"
        else
            [ "$1" = absent ] || fail "$2\\$key was not written"
        fi
    done
}
register() {  # what, regsvr32 arguments...
    local what="$1"
    shift
    "$WINE" regsvr32 /s "$@" "$DLL" || fail "regsvr32 $* $what failed"
}
register "removal of a server that was not registered" /u
register "per-user" /n /i:user
keys_are present 'HKCU\Software\Classes'
keys_are absent 'HKCR'
register "per-user removal" /u /n /i:user
keys_are absent 'HKCU\Software\Classes'
register ""
keys_are present 'HKCR'
register "removal" /u
keys_are absent 'HKCR'
register ""

# The type library, and the record properties for the suite.
"$WINE" "$OUT/tests/typelib_check.exe" "$DLL" "$(win "$RESULTS/fields.txt")" | tr -d '\r' ||
    fail "the type library differs"

# The macro suite, then its records against the Linux host's.
/usr/bin/python3 -c 'import sys; open(sys.argv[1], "w", encoding="utf-16").write("Gr\u00fc\u00dfe \U0001d74a\n")' \
    "$RESULTS/wide.txt"
/usr/bin/python3 tests/windows/make_accessors.py "$RESULTS/fields.txt" "$RESULTS/accessors.vbs"
cat tests/windows/suite.vbs tests/windows/records.vbs "$RESULTS/accessors.vbs" >"$RESULTS/suite.vbs"
# Wine's cscript ends a script that stops on an error with status 0 and says nothing,
# so the suite's last line must be its summary.
TBLN_TEST_ROOT="$(win "$ROOT")" TBLN_TEST_OUT="$(win "$RESULTS")" TBLN_ANSWERS="$(win "$RESULTS/answers.txt")" \
    TBLN_TEST_WIDE="$(win "$RESULTS/wide.txt")" \
    "$WINE" cscript //nologo "$(win "$RESULTS/suite.vbs")" | tr -d '\r' |
    tee "$RESULTS/suite.log" || fail "the macro suite"
tail -n 1 "$RESULTS/suite.log" | grep -q '^macro suite: .* 0 failed$' ||
    fail "the macro suite did not finish (its last line is not its summary)"
for name in "${COMPARED[@]}"; do
    json="$RESULTS/$name.json"
    [ "$name" = deep_update ] && json="$RESULTS/build_cell.json"
    if [ -f "$RESULTS/$name.records" ]; then
        /usr/bin/python3 tests/windows/compare_records.py "$json" "$RESULTS/$name.records" ||
            fail "$name records differ from the Linux host's"
    else
        fail "the macro wrote no $name records"
    fi
done
# The real dialog for a macro without answers, left with Esc and with the close box.
if [ -n "${DISPLAY:-}" ]; then
    for how in esc close; do
        "$WINE" "$OUT/tbln-dialogs-check.exe" --leave "Import Excel Data" "$how" >"$RESULTS/leave_$how.log" &
        leaver=$!
        got="$(env -u TBLN_ANSWERS "$WINE" cscript //nologo "$(win "$ROOT/tests/windows/real_dialog.vbs")" | tr -d '\r')"
        wait "$leaver" || fail "the range dialog was not shown to the macro without answers"
        tr -d '\r' <"$RESULTS/leave_$how.log"
        [ "$got" = "BuildCell: False Boolean" ] || fail "BuildCell left with $how gave: $got"
    done
    # Played by a drafter (tbln-range-dialog-driver) beside the sheet window: the workbook
    # chosen through the file chooser, A1 and H10 clicked in the sheet window with the two
    # Update buttons, Start; the macro's records equal the Linux host's. The screen is
    # pictured once the corners are taken (sheet_window.png). Not in a desktop of Wine's
    # own: the screen of one does not show the dialog over the sheet window.
    cat tests/windows/shown_dialog.vbs tests/windows/records.vbs "$RESULTS/accessors.vbs" \
        >"$RESULTS/shown_dialog.vbs"
    mkdir -p "$RESULTS/screenshots"
    pause="$RESULTS/screenshot.pause"
    (
        for _ in $(seq 3000); do [ -f "$pause" ] && break; sleep 0.1; done
        [ -f "$pause" ] || exit 0
        /usr/bin/python3 -c 'import sys; from PIL import ImageGrab
screen = ImageGrab.grab(xdisplay=sys.argv[1])
screen.crop(screen.getbbox()).save(sys.argv[2])' "$DISPLAY" "$RESULTS/screenshots/sheet_window.png"
        rm -f "$pause"
    ) &
    shooter=$!
    # Wine draws the windows' frames itself (the display has no window manager), so the
    # picture shows their captions, scroll bars and borders.
    X11='HKCU\Software\Wine\X11 Driver'
    "$WINE" reg add "$X11" /v Decorated /d N /f >/dev/null 2>&1 || true
    env -u TBLN_ANSWERS TBLN_TEST_OUT="$(win "$RESULTS")" "$WINE" "$OUT/tbln-range-dialog-driver.exe" \
        "$(win "$RESULTS/shown_dialog.vbs")" shown_dialog "$DRAWINGS\door_schedule.xlsx" \
        Doors "$(win "$pause")" | tr -d '\r' | tee "$RESULTS/shown_dialog.log" ||
        fail "the range dialog played by the driver beside the sheet window"
    "$WINE" reg delete "$X11" /v Decorated /f >/dev/null 2>&1 || true
    # Only the picture's shell: the display server runs in the background too.
    wait "$shooter"
    grep -qx 'BuildCell returned True' "$RESULTS/shown_dialog.log" ||
        fail "BuildCell with the range dialog shown did not return True"
    /usr/bin/python3 tests/windows/compare_records.py "$RESULTS/build_cell.json" \
        "$RESULTS/shown_dialog.records" || fail "the records of the shown dialog differ"
    if [ "${TBLN_UPDATE_SCREENSHOTS:-0}" = 1 ] && [ -f "$RESULTS/screenshots/sheet_window.png" ]; then
        cp "$RESULTS/screenshots/sheet_window.png" "$ROOT/docs/screenshots/windows/"
    fi
fi
register "removal at the end" /u

# The reader and the installer: the same files and registry as their Linux twins; the
# window calls on a real window; legacy workbooks' compound files rewritten.
tests/windows/reader_matches_linux.sh "$LINUX/reader/tbln-reader" "$OUT" ||
    fail "tbln-reader.exe differs from the Linux reader"
/usr/bin/python3 tests/windows/tabulon_matches_linux.py "$LINUX/installer/Tabulon" "$OUT" ||
    fail "Tabulon.exe differs from the Linux installer"
if [ -n "${DISPLAY:-}" ]; then  # Wine makes real windows only on a display
    "$WINE" "$OUT/tbln-window-check.exe" | tr -d '\r' || fail "the window calls"
    "$WINE" "$OUT/tbln-sheet-window-check.exe" "$(win "$ROOT/tests/fixtures/gui_sheets.xlsx")" |
        tr -d '\r' || fail "the sheet window's clicks and paint"
    "$WINE" "$OUT/tbln-ui-conformance.exe" | tr -d '\r' || fail "the dialog scenarios on Win32"
    # The library's dialogs in a desktop of Wine's own, which draws the windows' frames
    # and captions as Windows does (the pictures show them); its exit status is not the
    # program's, so the printed checks are read.
    shots="$RESULTS/screenshots"
    mkdir -p "$shots"
    "$WINE" explorer /desktop=tbln-tests,1024x768 "$(win "$OUT/tbln-dialogs-check.exe")" \
        "$(win "$shots")" "$DRAWINGS" | tr -d '\r' | tee "$RESULTS/dialogs.log"
    grep -q '^ok: every step of the driver ran$' "$RESULTS/dialogs.log" && ! grep -q '^FAILED' "$RESULTS/dialogs.log" ||
        fail "the library's dialogs on Win32"
    pictures="$shots"
    [ "${TBLN_UPDATE_SCREENSHOTS:-0}" = 1 ] && pictures="$ROOT/docs/screenshots/windows"
    /usr/bin/python3 - "$shots" "$pictures" <<'PY'
import pathlib, sys
from PIL import Image
source, target = map(pathlib.Path, sys.argv[1:])
target.mkdir(parents=True, exist_ok=True)
for bmp in sorted(source.glob("*.bmp")):
    Image.open(bmp).save(target / (bmp.stem + ".png"))
PY
else
    echo "skipped: the window calls, the sheet window and the dialogs (no display)"
fi
tests/windows/compound_file_roundtrip.sh "$OUT" || fail "the rewritten compound files"

echo "test-windows: build $((built - start)) s, Wine suite $((SECONDS - built)) s"
exit $failed
