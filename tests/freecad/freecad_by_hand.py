#!/usr/bin/python3
"""An import by hand in FreeCAD's window: FreeCAD runs on an X display of its own (Xvfb)
with the workbench Tabulon installed, and xdotool plays the user: the Quorvex menu,
Import Range, the dialog filled in from the keyboard, a click on the page where the
table's top-left corner goes. The screen is saved with the menu open, with the dialog
filled in and with the table drawn, and the table must lie where the user clicked.

usage: freecad_by_hand.py TABULON BOOK SHOTS_DIR DISPLAY   (e.g. :94)
Exits 77 (skipped) without freecad, Xvfb or xdotool."""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

from PIL import ImageGrab

HERE = os.path.dirname(os.path.abspath(__file__))


def wait_for(what, condition, seconds=120):
    """Polls `condition` until it gives something true; fails naming `what`."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        found = condition()
        if found:
            return found
        time.sleep(0.25)
    sys.exit("by hand: no %s after %d s" % (what, seconds))


def main():
    tabulon, book, shots, display = sys.argv[1:5]
    for tool in ("freecad", "Xvfb", "xdotool"):
        if not shutil.which(tool):
            print("skipped: no " + tool)
            return 77
    work = tempfile.mkdtemp(prefix="quorvex-by-hand-")
    user = os.path.join(work, "data", "FreeCAD")
    subprocess.run([tabulon, "--host", "freecad", "--user-dir", user], check=True,
                   capture_output=True)
    state_file = os.path.join(work, "state.json")
    env = {k: v for k, v in os.environ.items() if k not in ("LD_PRELOAD", "WAYLAND_DISPLAY")}
    env.update(DISPLAY=display, QT_QPA_PLATFORM="xcb", XDG_DATA_HOME=os.path.join(work, "data"),
               XDG_CONFIG_HOME=os.path.join(work, "config"), QUORVEX_STATE=state_file,
               QTWEBENGINE_DISABLE_SANDBOX="1", QUORVEX_ROOT=os.path.join(work, "root"))
    server = subprocess.Popen(["Xvfb", display, "-screen", "0", "1500x950x24", "-nolisten", "tcp"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    freecad = None
    try:
        wait_for("X display " + display,
                 lambda: os.path.exists("/tmp/.X11-unix/X" + display.lstrip(":")), 30)
        freecad = subprocess.Popen(["freecad", os.path.join(HERE, "freecad_gui_setup.py")],
                                   env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        def state():
            try:
                with open(state_file, encoding="utf-8") as f:
                    return json.load(f)
            except (OSError, ValueError):
                return None

        def xdo(*args):
            subprocess.run(["xdotool", *args], env=env, check=True)

        def shot(name):
            time.sleep(1.0)  # the last repaint
            path = os.path.join(shots, name)
            screen = ImageGrab.grab(xdisplay=display)
            screen.save(path)
            print("by hand: saved", path)
            return screen

        ready = wait_for("FreeCAD window with the page",
                         lambda: (s := state()) and s["menu"] and s["page"] and s)
        time.sleep(3)  # the page fitted into its view
        # Where X put FreeCAD's main window: the report's points are in its coordinates.
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^FreeCAD",
                                "getwindowgeometry", "--shell"], env=env, check=True,
                               capture_output=True, text=True).stdout
        geometry = dict(line.split("=") for line in found.split() if "=" in line)
        wx, wy = int(geometry["X"]), int(geometry["Y"])
        mx, my = ready["menu"][0] + wx, ready["menu"][1] + wy
        xdo("mousemove", str(mx), str(my), "click", "1")
        shot("freecad_menu.png")
        # The first line of the menu is Import Range.
        xdo("key", "Down", "Return")
        wait_for("Import Range dialog",
                 lambda: (s := state()) and s["dialog"] == "Quorvex - Import Range")
        time.sleep(0.5)
        # Workbook, Browse, Sheet, Range, Scale, Place: Tab goes from one to the next.
        xdo("type", "--delay", "20", book)
        xdo("key", "Tab", "Tab")
        xdo("type", "--delay", "20", "Doors")
        xdo("key", "Tab", "ctrl+a")
        xdo("type", "--delay", "20", "A1:H10")
        xdo("key", "Tab", "ctrl+a")
        xdo("type", "--delay", "20", "0.8")
        shot("freecad_dialog.png")
        xdo("key", "Return")
        wait_for("the dialog closed", lambda: (s := state()) and s["dialog"] is None)
        px, py, pw, ph = state()["page"]
        px, py = px + wx, py + wy
        click = (px + pw * 30 // 100, py + ph * 25 // 100)
        xdo("mousemove", str(click[0]), str(click[1]), "click", "1")
        drawn = wait_for("a table on the page", lambda: (s := state()) and s["views"] and s)
        xdo("mousemove", str(px + pw - 5), str(py + ph - 5))
        screen = shot("freecad_table.png")
        view = drawn["views"][0]
        if view["range"] != "A1:H10" or abs(view["scale"] - 0.8) > 1e-9:
            sys.exit("by hand: the table is %r" % view)
        # As the user sees it: the range's top and left borders (dark lines) meet within
        # two pixels of the pixel clicked.
        grey = screen.convert("L")

        def dark(x, y):
            return grey.getpixel((x, y)) < 100

        corners = [(x, y) for x in range(click[0] - 2, click[0] + 3)
                   for y in range(click[1] - 2, click[1] + 3)
                   if all(dark(x + k, y) for k in range(60))
                   and all(dark(x, y + k) for k in range(15))]
        if not corners:
            sys.exit("by hand: no table corner at the pixel clicked %r" % (click,))
        print("by hand: %s drawn at scale %s, its top-left corner at the pixel clicked %r"
              % (view["label"], view["scale"], click))
        return 0
    finally:
        if freecad is not None:
            freecad.kill()
            freecad.wait()
        server.terminate()
        server.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
