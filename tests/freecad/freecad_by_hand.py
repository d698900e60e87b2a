#!/usr/bin/python3
"""An import by hand in FreeCAD's window: FreeCAD runs on an X display of its own (Xvfb)
with the workbench Tabulon installed, and xdotool plays the user: the Quorvex menu,
Import Range, the dialog filled in from the keyboard, a click on the page where the
table's top-left corner goes. The screen is saved with the menu open, with the dialog
filled in and with the table drawn, and the table must lie where the user clicked.

usage: freecad_by_hand.py TABULON BOOK SHOTS_DIR DISPLAY   (e.g. :94)
Exits 77 (skipped) without freecad, Xvfb, xdotool, pdftoppm or tesseract."""
import html
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

import openpyxl
from PIL import ImageGrab

HERE = os.path.dirname(os.path.abspath(__file__))
# The door schedule's B4 as shipped and as edited before the update.
ORIGINAL, EDITED = "Single leaf timber door", "Oak door, oiled"
# Rows (of 26 columns) of the import cancelled midway: long enough for its progress
# dialog to be seen and clicked (about five seconds' reading).
LONG_ROWS = 32000


def wait_for(what, condition, seconds=120):
    """Polls `condition` until it gives something true; fails naming `what`."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        found = condition()
        if found:
            return found
        time.sleep(0.25)
    sys.exit("by hand: no %s after %d s" % (what, seconds))


def page_pdf(ask, path, texts, absent=()):
    """Has FreeCAD export the page to `path` and reads the PDF as a reader would: TechDraw
    draws a symbol's texts as outlines (Qt's SVG renderer does so for any text), so the
    PDF holds no text to extract and the page, rendered by pdftoppm, is read by OCR
    (tesseract). Checks that the words read hold `texts` and not `absent`, and returns
    where the title's top and column A's heading lie and the distances in pixels from
    them to row 10's text and to column D's heading (C is hidden)."""
    ask("pdf", path=path)
    picture = path[:-4]
    subprocess.run(["pdftoppm", "-png", "-r", "200", "-singlefile", path, picture], check=True)
    print("by hand: saved", path, picture + ".png")
    read = subprocess.run(["tesseract", picture + ".png", "-", "tsv"], check=True,
                          capture_output=True, text=True).stdout.splitlines()
    head = read[0].split("\t")
    words = [dict(zip(head, line.split("\t"))) for line in read[1:]]
    words = [w for w in words if w.get("text", "").strip()]
    text = " ".join(w["text"] for w in words)
    for t in texts:
        if t not in text:
            sys.exit("by hand: no %r in %s, which reads %r" % (t, path, text))
    for t in absent:
        if t in text:
            sys.exit("by hand: %r still in %s" % (t, path))

    def where(word, key):
        return min(int(w[key]) for w in words if w["text"] == word)

    return {"top": where("DOOR", "top"), "left": where("Mark", "left"),
            "height": where("structural", "top") - where("DOOR", "top"),
            "width": where("Width", "left") - where("Mark", "left")}


def main():
    tabulon, book, shots, display = sys.argv[1:5]
    for tool in ("freecad", "Xvfb", "xdotool", "pdftoppm", "tesseract"):
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

        asked = [0]

        def ask(do, **what):
            """Has FreeCAD do what a user does outside the Quorvex menu (see the setup)."""
            asked[0] += 1
            with open(state_file + ".ask.part", "w", encoding="utf-8") as f:
                json.dump(dict(what, id=asked[0], do=do), f)
            os.replace(state_file + ".ask.part", state_file + ".ask")
            wait_for(do, lambda: (s := state()) and s["done"] == asked[0])

        def menu(line):
            xdo("mousemove", str(mx), str(my), "click", "1")
            time.sleep(0.5)
            xdo("key", *["Down"] * line, "Return")

        def fill(*fields):
            """Types into the dialog's fields, Tab by Tab: None skips a widget."""
            for i, text in enumerate(fields):
                if i:
                    xdo("key", "Tab")
                if text is not None:
                    xdo("key", "ctrl+a")
                    xdo("type", "--delay", "10", text)

        # The page in PDF as drawn, then after the workbook was edited and saved by
        # another program and the table updated from the menu.
        before = page_pdf(ask, os.path.join(os.path.dirname(book), "table.pdf"), ["DOOR SCHEDULE", ORIGINAL])
        wb = openpyxl.load_workbook(book)
        wb["Doors"]["B4"] = EDITED
        wb["Doors"].row_dimensions[4].height = 30
        wb["Doors"].column_dimensions["B"].width = 45
        wb.save(book)
        symbol = view["symbol"]
        menu(2)
        wait_for("the table updated", lambda: (s := state()) and s["dialog"] is None
                 and s["views"][0]["symbol"] != symbol)
        after = page_pdf(ask, os.path.join(os.path.dirname(book), "table_updated.pdf"), ["DOOR SCHEDULE", EDITED],
                         [ORIGINAL])
        # Row 4 is 15 pt taller and column B about 100 pt wider, drawn at 0.8 at 200 dpi;
        # the table's top-left corner stays where it was clicked.
        if not (after["height"] - before["height"] > 25 and after["width"] - before["width"] > 150
                and abs(after["top"] - before["top"]) < 4 and abs(after["left"] - before["left"]) < 4):
            sys.exit("by hand: the updated PDF keeps the old geometry: %r then %r"
                     % (before, after))
        print("by hand: the page in PDF shows %r, then after the update %r" % (ORIGINAL, EDITED))

        # A long import cancelled from its progress dialog leaves nothing in the document.
        long_book = os.path.join(os.path.dirname(book), "long_list.xlsx")
        wb = openpyxl.Workbook(write_only=True)
        rows = wb.create_sheet("List")
        for r in range(1, LONG_ROWS + 1):
            rows.append(["Item %d" % r] + [r * c for c in range(1, 26)])
        wb.save(long_book)
        objects = state()["objects"]
        menu(1)
        wait_for("Import Range dialog",
                 lambda: (s := state()) and s["dialog"] == "Quorvex - Import Range")
        time.sleep(0.5)
        fill(long_book, None, "", "A1:Z%d" % LONG_ROWS, "1")
        xdo("key", "Tab", "Down", "Return")  # Place: at the page's next free spot
        wait_for("the progress dialog", lambda: (s := state()) and s.get("progress"))
        shot("freecad_progress.png")
        # Cancel clicked: the progress dialog is a window of its own, found by its title.
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Quorvex$",
                                "getwindowgeometry", "--shell"], env=env, check=True,
                               capture_output=True, text=True).stdout
        box = dict(line.split("=") for line in found.split() if "=" in line)
        at = state()
        cx, cy = at["cancel"]
        xdo("mousemove", str(int(box["X"]) + cx), str(int(box["Y"]) + cy), "click", "1")
        gone = wait_for("the import's end", lambda: (s := state()) and s["dialog"] is None and s)
        if gone["objects"] != objects:
            sys.exit("by hand: the cancelled import left %r"
                     % sorted(set(gone["objects"]) - set(objects)))
        print("by hand: the import of %d rows cancelled from its progress dialog at %d/%d "
              "left nothing" % (LONG_ROWS, *at["progress"]))

        # Populate: a template document named in a sheet of drawing names gives the others.
        folder = os.path.dirname(book)
        names_book = os.path.join(folder, "drawings.xlsx")
        wb = openpyxl.Workbook()
        wb.active.title = "Drawings"
        for row in [("Name", "Title"), ("P-101", "Ground floor"), ("P-102", "First floor"),
                    ("P-103", "Roof"), ("P-104", "Sections")]:
            wb.active.append(row)
        wb.save(names_book)
        template = os.path.join(folder, "P-101.FCStd")
        ask("template", path=template)
        menu(6)
        wait_for("Populate dialog", lambda: (s := state()) and s["dialog"] == "Quorvex - Populate")
        time.sleep(0.5)
        output = os.path.join(folder, "drawings")
        fill(template, None, names_book, None, "Drawings", "A2", "A3", "A5", output)
        shot("freecad_populate.png")
        xdo("key", "Return")
        wait_for("Populate's message", lambda: (s := state()) and s["dialog"] == "Populate")
        xdo("key", "Return")
        written = sorted(os.listdir(output))
        if written != ["P-101.FCStd", "P-102.FCStd", "P-103.FCStd", "P-104.FCStd"]:
            sys.exit("by hand: Populate wrote %r" % written)
        # Export Drawing Names: the drawings open in FreeCAD are listed at first.
        ask("open", paths=[os.path.join(output, name) for name in written])
        menu(7)
        wait_for("Export dialog",
                 lambda: (s := state()) and s["dialog"] == "Quorvex - Export Drawing Names")
        time.sleep(0.5)
        fill(None, None, None, names_book, None, "Drawings", "D2")
        shot("freecad_export.png")
        xdo("key", "Return")
        wait_for("the Export dialog closed", lambda: (s := state()) and s["dialog"] is None)
        column = [c.value for c in openpyxl.load_workbook(names_book)["Drawings"]["D"]][1:]
        if sorted(column) != written:
            sys.exit("by hand: Export Drawing Names wrote %r" % column)
        print("by hand: Populate wrote %s, Export Drawing Names listed them in column D"
              % ", ".join(written))
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
