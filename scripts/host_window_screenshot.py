#!/usr/bin/python3
"""The host window's screenshot for the README: `tbln gui --file examples/door_schedule.xlsx`
on a display server of its own (Xvfb, driven with xdotool), Import Range A1:H10, and the
host window's picture once the import is drawn, with its cell records beside it (grabbed
with Pillow).

    scripts/host_window_screenshot.py TBLN OUT.png"""
import os
import subprocess
import sys
import tempfile
import time

from PIL import ImageGrab

TBLN, OUT = sys.argv[1], sys.argv[2]
BOOK = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples",
                    "door_schedule.xlsx")


sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "tools"))
from xvfb import start_xvfb  # noqa: E402


xvfb, display = start_xvfb()
env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb")


def x(*args):
    return subprocess.run(["xdotool", *args], env=env, capture_output=True, text=True,
                          timeout=60).stdout


def window(caption, seconds=120):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        found = x("search", "--onlyvisible", "--name", "^" + caption + "$").split()
        if found:
            return found[0]
        time.sleep(0.1)
    return None


def gone(caption):
    while x("search", "--onlyvisible", "--name", "^" + caption + "$").strip():
        time.sleep(0.1)


def click(caption, left, top, width, height):
    """A control of a form, placed in twips (15 a pixel, no window frames)."""
    found = window(caption)
    place = dict(line.split("=") for line in x("getwindowgeometry", "--shell", found).split())
    x("windowraise", found)
    x("mousemove", str(int(place["X"]) + (left + width // 2) // 15),
      str(int(place["Y"]) + (top + height // 2) // 15), "click", "1")


with tempfile.TemporaryDirectory() as root:
    host = subprocess.Popen([TBLN, "--root", root, "gui", "--file", BOOK], env=env)
    try:
        for _ in range(10):
            host_window = window("tbln - drawing host")
            x("windowraise", host_window)
            x("windowfocus", host_window)
            x("key", "--delay", "200", "alt+f", "Right", "Return")
            if window("Import Excel Data", 10):
                break
        click("Import Excel Data", 5640, 555, 1095, 345)  # Browse
        x("windowfocus", window("Open"))
        x("key", "ctrl+a")
        x("type", "--delay", "5", os.path.abspath(BOOK))
        x("key", "Return")
        gone("Open")
        for box, text in [((2280, 1770), "A"), ((3480, 1770), "1"), ((2280, 2220), "H"),
                          ((3480, 2220), "10")]:
            click("Import Excel Data", *box, 1080, 315)
            x("key", "ctrl+a")
            x("type", "--delay", "10", text)
        click("Import Excel Data", 4200, 4215, 1215, 375)  # Start
        gone("Import Excel Data")
        host_window = window("tbln - drawing host")
        place = dict(line.split("=") for line in
                     x("getwindowgeometry", "--shell", host_window).split())
        left, top = int(place["X"]), int(place["Y"])
        # The cell records' tab, then the pointer out of the way.
        x("mousemove", str(left + 662), str(top + 58), "click", "1")
        x("mousemove", "0", "0")
        time.sleep(1)  # the drawing and the table painted
        ImageGrab.grab(bbox=(left, top, left + int(place["WIDTH"]), top + int(place["HEIGHT"])),
                       xdisplay=display).save(OUT)
        print(OUT)
    finally:
        host.kill()
        host.wait()
        xvfb.terminate()
        xvfb.wait()
