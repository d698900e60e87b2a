"""The Python module with the real dialogs: tbln.Application(ui="qt") shows them as Qt
windows (here on the offscreen platform), played by a user's steps on the widgets;
"auto" takes them where windows can be shown and the script elsewhere; a caller who
does not choose them never loads Qt."""
import ctypes
import json
import os
import shutil
import subprocess
import sys
import textwrap
import time

import pytest

import tbln

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
import xvfb as display_server  # noqa: E402

SOURCE = os.environ["TBLN_SOURCE_DIR"]
DISPLAY_VARIABLES = ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")


def run_python(code, **env):
    """Runs code in a fresh interpreter (no Qt application yet) with env over ours."""
    environment = {k: v for k, v in os.environ.items() if k not in DISPLAY_VARIABLES}
    environment.update(env)
    done = subprocess.run([sys.executable, "-c", textwrap.dedent(code)], env=environment,
                          capture_output=True, text=True, timeout=60)
    assert done.returncode == 0, done.stderr
    return done.stdout


# A display number nobody serves (the tests skip when something does), and what the
# library and the host say without a display they can reach.
UNSERVED = ":7391"
NO_DISPLAY = [
    ({}, "QT_QPA_PLATFORM"),
    ({"DISPLAY": UNSERVED}, "could not connect to display " + UNSERVED),
    ({"DISPLAY": UNSERVED, "QT_QPA_PLATFORM": "xcb"}, "could not connect to display"),
    ({"QT_QPA_PLATFORM": "bogus"}, 'platform plugin "bogus"'),
    ({"WAYLAND_DISPLAY": "gone", "XDG_RUNTIME_DIR": "/nonexistent"}, "wayland"),
]


@pytest.fixture
def no_display():
    if os.path.exists("/tmp/.X11-unix/X" + UNSERVED[1:]):
        pytest.skip("display " + UNSERVED + " is served here")


@pytest.mark.parametrize("env, says", NO_DISPLAY)
def test_without_a_display_auto_is_the_script_and_qt_says_why(no_display, env, says):
    out = run_python("""
        import tbln
        print("qt" in tbln.ui_names())
        print(tbln.Application(ui="auto").ui)
        try:
            tbln.Application(ui="qt")
        except Exception as e:
            print(e)
    """, **env)
    listed, auto, error = out.splitlines()
    assert listed == "True"
    assert auto == "scripted"
    assert says in error


HOST = os.path.join(os.environ.get("TBLN_BUILD_DIR", ""), "apps", "host", "tbln")
BOOK = os.path.join(SOURCE, "examples", "title_block.xlsx")
TAGS = os.path.join(SOURCE, "examples", "title_block_tags.json")


def host_environment(**env):
    environment = {k: v for k, v in os.environ.items() if k not in DISPLAY_VARIABLES}
    environment.update(env)
    return environment


@pytest.mark.parametrize("env, says", NO_DISPLAY)
def test_the_host_without_a_display_says_why_in_one_line(no_display, env, says, tmp_path):
    for args in (["gui"], ["--gui", "set-luc", "--file", BOOK, "--cell", "B2"]):
        done = subprocess.run([HOST, "--root", str(tmp_path), *args], env=host_environment(**env),
                              capture_output=True, text=True, timeout=120)
        assert done.returncode == 2, done.stderr
        assert done.stdout == ""
        assert done.stderr.startswith("tbln: ") and done.stderr.count("\n") == 1, done.stderr
        assert says in done.stderr


# The display's own programs run without the sanitizers' runtime the tests preload.
PLAIN = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}


def start_xvfb():
    """A display server of our own, run without the sanitizers' runtime."""
    return display_server.start_xvfb(env=PLAIN)


def test_the_host_ends_with_a_status_when_its_display_goes_away(tmp_path):
    if not shutil.which("Xvfb") or not shutil.which("xwininfo"):
        pytest.skip("needs Xvfb and xwininfo")
    plain = PLAIN
    xvfb, display = start_xvfb()
    # Insert Block cannot open its workbook: its message box waits for the user.
    host = subprocess.Popen(
        [HOST, "--root", str(tmp_path), "--gui", "insert-block", "--file",
         str(tmp_path / "gone.xlsx"), "--tags", TAGS, "--block-id", "A1"],
        env=host_environment(DISPLAY=display, QT_QPA_PLATFORM="xcb",
                             ASAN_OPTIONS="detect_leaks=0:handle_segv=0"),
        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        deadline = time.monotonic() + 120
        while host.poll() is None and time.monotonic() < deadline:
            tree = subprocess.run(["xwininfo", "-display", display, "-root", "-tree"],
                                  capture_output=True, text=True, env=plain).stdout
            if '"Error On Opening Excel File"' in tree:
                break
            time.sleep(0.1)
        if host.poll() is not None:
            err = host.stderr.read()
            # The server may refuse the host before any window (a loaded machine): then
            # the host must still end with its status and one line, and the case the
            # test is about, a display lost under a dialog, was not reached.
            assert host.returncode == 2 and err.count("tbln: ") == 1, err
            pytest.skip("the display server refused the host before its dialog: " + err)
    finally:
        xvfb.kill()
        xvfb.wait()
    out, err = host.communicate(timeout=120)
    assert host.returncode in (0, 1, 2), err  # a negative status is a signal


DOOR = os.path.join(SOURCE, "examples", "door_schedule.xlsx")


class Desk:
    """A drafter at a display of our own, acting on the host's windows from outside
    through xdotool: windows found by their captions, controls clicked where the form
    places them (15 twips a pixel at 96 dots an inch, no window frames without a window
    manager)."""

    def __init__(self, display):
        self.env = dict(PLAIN, DISPLAY=display)
        self.found = {}  # window: the caption and host it was found by

    def x(self, *args):
        return subprocess.run(["xdotool", *args], env=self.env, capture_output=True,
                              text=True, timeout=60).stdout

    def window(self, caption, host, seconds=120):
        found = self.find(caption, host, seconds)
        if not found:
            host.kill()  # its output ends with it
            pytest.fail("no window " + caption + ": " + host.communicate()[1])
        return found

    def find(self, caption, host, seconds):
        """The window with the caption once it shows, else None after `seconds`."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline and host.poll() is None:
            found = self.x("search", "--onlyvisible", "--name", "^" + caption + "$").split()
            if found:
                self.found[found[0]] = (caption, host)
                return found[0]
            time.sleep(0.2)
        return None

    def gone(self, caption, host):
        """Waits until no window with the caption shows (a chooser closed by its answer;
        the host window keeps its chooser, hidden, for the next time)."""
        deadline = time.monotonic() + 120
        while time.monotonic() < deadline and host.poll() is None:
            if not self.x("search", "--onlyvisible", "--name", "^" + caption + "$").split():
                return
            time.sleep(0.2)
        pytest.fail("the window " + caption + " stayed open")

    def click(self, window, left, top, width, height):
        """Clicks once the pointer is over the window: a handler may have brought another
        window over it, or replaced it (then the one with its caption that shows now)."""
        for _ in range(100):
            place = dict(line.split("=") for line in
                         self.x("getwindowgeometry", "--shell", window).split())
            if "X" in place:
                self.x("windowraise", window)
                self.x("mousemove", str(int(place["X"]) + (left + width // 2) // 15),
                       str(int(place["Y"]) + (top + height // 2) // 15))
                if "WINDOW=%s\n" % window in self.x("getmouselocation", "--shell"):
                    self.x("click", "1")
                    self.clicked = (window, left, top, width, height)
                    time.sleep(0.3)
                    return
            time.sleep(0.2)
            window = self.window(*self.found[window])
        pytest.fail("the window " + self.found[window][0] + " stayed under others")

    def type(self, text):
        self.x("key", "ctrl+a")
        self.x("type", "--delay", "10", text)

    def act(self, caption, host, do, *what):
        """One step of answering the dialog `caption` (see ANSWERED)."""
        if do == "click":
            self.click(self.window(caption, host), *what)
        elif do in ("type", "keys"):
            # The handler that ran when the chooser closed may bring the sheet window
            # forward after the click: then the control is clicked again.
            for _ in range(10):
                if self.x("getwindowfocus").strip() == self.clicked[0]:
                    break
                self.click(*self.clicked)
            if do == "type":
                self.type(*what)
            else:
                self.x("key", "--delay", "100", *what)
        elif do == "cell":
            sheet = self.window("Excel - .*", host)
            self.click(sheet, 44 * 15, 20 * 15, 150, 150)  # past the headers
            self.x("windowfocus", sheet)
            self.x("key", "--delay", "100", *["Down"] * what[0], *["Right"] * what[1])
        else:  # "choose" a path in a chooser, or "answer" a message box
            window = self.window(what[0], host)
            self.x("windowfocus", window)
            time.sleep(1)
            if do == "choose":
                self.type(what[1])
            self.x("key", "Return")
            self.gone(what[0], host)

    def close(self, window):
        """The window's close box clicked, as a window manager passes it on: a
        WM_DELETE_WINDOW message of the WM_PROTOCOLS kind sent to the window."""
        x11 = ctypes.CDLL("libX11.so.6")
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XInternAtom.restype = ctypes.c_ulong
        x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                                   ctypes.c_void_p]
        x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        display = x11.XOpenDisplay(self.env["DISPLAY"].encode())
        event = XEvent()
        event.xclient.type = 33  # ClientMessage
        event.xclient.window = int(window)
        event.xclient.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
        event.xclient.format = 32
        event.xclient.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
        x11.XSendEvent(display, int(window), 0, 0, ctypes.byref(event))
        x11.XCloseDisplay(display)  # sends it


class XClientMessageEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class XEvent(ctypes.Union):
    _fields_ = [("xclient", XClientMessageEvent), ("pad", ctypes.c_long * 24)]


def run_host(tmp_path, args, display):
    return subprocess.Popen([HOST, "--root", str(tmp_path / "gui"), "--gui", *args],
                            env=host_environment(DISPLAY=display, QT_QPA_PLATFORM="xcb",
                                                 ASAN_OPTIONS="detect_leaks=0"),
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def cli(tmp_path, args, root="cli"):
    done = subprocess.run([HOST, "--root", str(tmp_path / root), *args],
                          env=host_environment(ASAN_OPTIONS="detect_leaks=0"),
                          capture_output=True, text=True, timeout=300)
    assert done.returncode == 0, done.stderr
    return json.loads(done.stdout)


@pytest.fixture
def desk():
    if not shutil.which("Xvfb") or not shutil.which("xdotool"):
        pytest.skip("needs Xvfb and xdotool")
    xvfb, display = start_xvfb()
    yield display
    xvfb.kill()
    xvfb.wait()


NOTES = os.path.join(SOURCE, "examples", "notes.docx")
# Each command's dialog, left with Esc or with its close box: the command ends with status
# 0 and prints its JSON, with a result of False where the entry point returns one. The
# progress dialogs have no Cancel: Esc leaves them to finish; closed, the update ends as a
# failed one and the document scan hands back the lines read so far.
CANCELLED = [
    (["build-cell", "--file", DOOR], "Import Excel Data", False, False),
    (["deep-update", "--file", DOOR, "--sheet", "Doors", "--range", "A1:H10"],
     "Processing Excel Data", True, False),
    (["parse-word", "--file", NOTES], "Open", False, False),
    (["update-word", "--file", NOTES], "  Processing Word Data ...", True, True),
    (["make-block", "--file", BOOK, "--tags", TAGS, "--block-id", "A1"], "Link Block", False,
     False),
    (["insert-block", "--file", BOOK, "--tags", TAGS, "--block-id", "A1"], "Insert Block", False,
     False),
    (["populate", "--file", DOOR, "--first", "A2", "--second", "A3", "--last", "A4",
      "--template", "a.dwg", "--output", "out"], "Populate Excel Data", False, False),
    (["set-luc", "--file", DOOR, "--cell", "B2"], "Reset Last Used Cell", None, None),
    (["export-dgn-name", "--file", DOOR, "--start", "A20", "a.dwg"],
     " Export Drawing Names to Excel", None, None),
]


@pytest.mark.parametrize("args, caption, escaped, closed", CANCELLED)
@pytest.mark.parametrize("leave", ["Escape", "close box"])
def test_a_gui_command_left_ends_with_its_result(desk, tmp_path, leave, args, caption, escaped,
                                                 closed):
    me = Desk(desk)
    host = run_host(tmp_path, args, desk)
    window = me.window(caption, host)
    deadline = time.monotonic() + 120
    while host.poll() is None and time.monotonic() < deadline:
        if leave == "Escape":
            me.x("windowraise", window)
            me.x("windowfocus", window)
            me.x("key", "Escape")
        else:
            me.close(window)
        time.sleep(0.5)
    out, err = host.communicate(timeout=120)
    assert host.returncode == 0, err
    assert json.loads(out).get("result") is (escaped if leave == "Escape" else closed), out


# Each command's dialog answered by a drafter, and the options that give the command line
# the same answers. A step clicks a control of the dialog at its form geometry, types into
# the control clicked, presses keys, picks a cell in the sheet window (its first cell
# clicked, then the arrow keys; Doors hides column C), answers a chooser with a path or a
# message box with Enter. A progress dialog is left to finish. {book} is a copy of the
# door schedule, {drawing} a drawing named in its column A.
TAG_CELLS = [(1, 1), (1, 2), (1, 4), (2, 1), (2, 2), (3, 1)]  # B2 C2 E2 B3 C3 B4
ANSWERED = [
    (["build-cell", "--file", DOOR], "Import Excel Data",
     [("click", 5640, 555, 1095, 345), ("choose", "Open", DOOR),  # Browse
      ("click", 2280, 1770, 1080, 315), ("type", "A"), ("click", 3480, 1770, 1080, 315),
      ("type", "1"), ("click", 2280, 2220, 1080, 315), ("type", "H"),
      ("click", 3480, 2220, 1080, 315), ("type", "10"), ("click", 4200, 4215, 1215, 375)],
     ["build-cell", "--file", DOOR, "--range", "A1:H10"]),
    (["deep-update", "--file", DOOR, "--sheet", "Doors", "--range", "A1:H10"], None, [],
     ["deep-update", "--file", DOOR, "--sheet", "Doors", "--range", "A1:H10"]),
    (["parse-word", "--file", NOTES], None, [("choose", "Open", NOTES)],
     ["parse-word", "--file", NOTES]),
    (["update-word", "--file", NOTES], None, [], ["update-word", "--file", NOTES]),
    (["make-block", "--file", BOOK, "--tags", TAGS, "--block-id", "A1"], "Link Block",
     [("click", 5640, 555, 1215, 345), ("choose", "Open", BOOK),  # btnBrowseExcel
      ("click", 1200, 990, 4320, 315), ("keys", "alt+Down", "Home", "Return"),  # Title Block
      ("cell", 1, 1), ("click", 5640, 1755, 1215, 345),  # the Block ID, btnUpdate1
      # each tag's line picked in lbTags, its cell, btnUpdate; then btnMake
      *[step for line, cell in enumerate(TAG_CELLS) for step in (
          ("click", 120, 2580, 6735, 150), ("keys", "Home", *["Down"] * line),
          ("cell", *cell), ("click", 1440, 5160, 1215, 375))],
      ("click", 4320, 5160, 1215, 375)],
     ["make-block", "--file", BOOK, "--sheet", "Title Block", "--tags", TAGS, "--block-id", "B2",
      *[a for tag, cell in zip(["DWGNO", "TITLE", "REV", "SHEETS", "SCALE", "APPROVED"],
                               ["B2", "C2", "E2", "B3", "C3", "B4"]) for a in ("--bind", tag + "=" + cell)]]),
    (["insert-block", "--file", BOOK, "--tags", TAGS, "--block-id", "A1"], "Insert Block",
     [("click", 1200, 990, 4320, 315), ("keys", "alt+Down", "Home", "Return"),  # Title Block
      ("cell", 1, 1), ("click", 5640, 1755, 1215, 345), ("click", 4320, 5160, 1215, 375)],
     ["insert-block", "--file", BOOK, "--sheet", "Title Block", "--tags", TAGS, "--block-id",
      "B2"]),
    (["populate", "--file", DOOR, "--first", "A2", "--second", "A3", "--last", "A4",
      "--template", "a.dwg", "--output", "out"], "Populate Excel Data",
     [("click", 5520, 855, 1215, 345), ("choose", "Open an Excel file", DOOR),
      ("cell", 3, 0), ("click", 4320, 1950, 1095, 345),  # A4, btnUpdate1
      ("cell", 4, 0), ("click", 4320, 2340, 1095, 345),  # A5, btnUpdate2
      ("cell", 6, 0), ("click", 4320, 2730, 1095, 345),  # A7, btnUpdaten
      ("click", 5520, 3615, 1215, 345), ("choose", "Open a DGN file", "{drawing}"),
      ("click", 5520, 4005, 1215, 345),
      ("choose", "Select a folder to output drawing files", "{tmp}"),
      ("click", 4320, 4560, 1215, 375)],  # Start
     ["populate", "--file", DOOR, "--first", "A4", "--second", "A5", "--last", "A7",
      "--template", "{drawing}", "--output", "{tmp}"]),
    (["set-luc", "--file", "{book}", "--cell", "B2"], "Reset Last Used Cell",
     [("click", 5640, 555, 1215, 345), ("choose", "Open", "{book}"),  # Browse
      ("cell", 7, 2), ("click", 4320, 2310, 1215, 375),  # D8, Reset
      ("answer", "Warning"), ("answer", "Reset Excel Sheet Last Used Cell")],
     ["set-luc", "--file", "{book}", "--cell", "D8", "--yes"]),
    (["export-dgn-name", "--file", "{book}", "--start", "A20", "a.dwg"],
     " Export Drawing Names to Excel",
     [("click", 5520, 840, 1215, 375), ("choose", "Open File", "{drawing}"),  # btnAdd
      ("click", 5520, 3555, 1215, 345), ("choose", "Open an Excel file", "{book}"),
      ("cell", 11, 0), ("click", 4320, 4650, 1095, 345),  # A12, btnUpdate1
      ("click", 4320, 5220, 1215, 375)],  # Export
     ["export-dgn-name", "--file", "{book}", "--start", "A12", "{drawing}"]),
]


def book_content(path):
    """What a command may write into a workbook: every sheet's values and column widths."""
    import openpyxl
    return [(s.title, [[c.value for c in row] for row in s.iter_rows()],
             {k: d.width for k, d in s.column_dimensions.items()})
            for s in openpyxl.load_workbook(path)]


@pytest.mark.parametrize("args, caption, steps, same", ANSWERED, ids=[r[0][0] for r in ANSWERED])
def test_a_gui_command_answered_prints_what_the_command_line_prints(desk, tmp_path, args, caption,
                                                                   steps, same):
    me = Desk(desk)
    names = {"book": str(tmp_path / "book.xlsx"), "drawing": str(tmp_path / "D02.dwg"),
             "tmp": str(tmp_path)}
    fill = lambda items: [i.format(**names) if isinstance(i, str) else i for i in items]
    (tmp_path / "D02.dwg").write_bytes(b"")
    shutil.copy(DOOR, names["book"])
    host = run_host(tmp_path, fill(args), desk)
    for step in steps:
        me.act(caption, host, *fill(step))
    out, err = host.communicate(timeout=300)
    assert host.returncode == 0, err
    written = book_content(names["book"])
    shutil.copy(DOOR, names["book"])
    # The command line in an install root as fresh, at the same place (QVPath).
    shutil.rmtree(tmp_path / "gui", ignore_errors=True)
    assert json.loads(out) == cli(tmp_path, fill(same), root="gui")
    assert written == book_content(names["book"])


def test_a_caller_who_does_not_choose_qt_never_loads_it():
    out = run_python("""
        import tbln
        app = tbln.Application(ui="scripted")
        app.click("btnCancel")
        app.SetLUC()
        print(any("libQt6" in line for line in open("/proc/self/maps")))
    """, QT_QPA_PLATFORM="offscreen")
    assert out.strip() == "False"


def test_with_a_display_auto_is_qt():
    out = run_python("""
        import tbln
        print(tbln.Application(ui="auto").ui)
    """, QT_QPA_PLATFORM="offscreen")
    assert out.strip() == "qt"


class User:
    """A user at the desktop while an entry point's dialog runs: each step waits until
    its window is there, then acts on the real widgets. Each round is a new single-shot
    timer scheduled before the step acts: a step that opens a modal chooser acts inside
    the chooser's own event loop, where a repeating timer whose round is still running
    would not fire again."""

    def __init__(self):
        self.steps = []
        self.deadline = time.monotonic() + 60
        self._next()

    def when(self, find, act):
        self.steps.append((find, act))

    def _next(self):
        from PyQt6.QtCore import QTimer
        QTimer.singleShot(30, self._tick)

    def _tick(self):
        from PyQt6.QtWidgets import QApplication
        if not self.steps:
            return
        self._next()
        if time.monotonic() > self.deadline:
            # Stuck: close everything so the entry point returns and the test fails.
            self.steps.clear()
            for w in QApplication.topLevelWidgets():
                w.close()
            return
        find, act = self.steps[0]
        found = find()
        if found is not None:
            self.steps.pop(0)
            act(found)


def window(name, ready=lambda w: True):
    """Finds the visible window of the form `name` once no chooser or message box is up
    over it (the forms are modal themselves) and `ready` holds for it."""
    from PyQt6.QtWidgets import QApplication, QFileDialog, QMessageBox
    def find():
        if isinstance(QApplication.activeModalWidget(), (QFileDialog, QMessageBox)):
            return None
        for w in QApplication.topLevelWidgets():
            if w.objectName() == name and w.isVisible() and ready(w):
                return w
        return None
    return find


def chooser():
    from PyQt6.QtWidgets import QApplication, QFileDialog
    w = QApplication.activeModalWidget()
    return w if isinstance(w, QFileDialog) else None


def click(form, name):
    from PyQt6.QtCore import Qt
    from PyQt6.QtTest import QTest
    from PyQt6.QtWidgets import QPushButton
    QTest.mouseClick(form.findChild(QPushButton, name), Qt.MouseButton.LeftButton)


def type_into(form, name, text):
    from PyQt6.QtTest import QTest
    from PyQt6.QtWidgets import QLineEdit
    edit = form.findChild(QLineEdit, name)
    edit.setFocus()
    edit.selectAll()
    QTest.keyClicks(edit, text)


def choose(dialog, path):
    from PyQt6.QtCore import Qt
    from PyQt6.QtTest import QTest
    from PyQt6.QtWidgets import QDialogButtonBox, QLineEdit
    dialog.findChild(QLineEdit, "fileNameEdit").setText(path)
    ok = dialog.findChild(QDialogButtonBox, "buttonBox").button(QDialogButtonBox.StandardButton.Open)
    QTest.mouseClick(ok, Qt.MouseButton.LeftButton)


@pytest.fixture
def desktop(tmp_path, monkeypatch):
    monkeypatch.setenv("QT_QPA_PLATFORM", "offscreen")
    app = tbln.Application(root=str(tmp_path / "quorvex"), ui="qt")
    assert app.ui == "qt"
    return app


def test_the_range_dialog_is_a_real_window_beside_the_workbook(desktop):
    from PyQt6.QtWidgets import QApplication, QComboBox
    book = os.path.join(SOURCE, "examples", "door_schedule.xlsx")
    user = User()
    seen = {}
    user.when(window("CellRangeForm"), lambda form: click(form, "btnBrowse"))
    user.when(chooser, lambda dialog: choose(dialog, book))

    def fill_in(form):
        seen["sheet"] = form.findChild(QComboBox, "cbSheetName").currentText()
        seen["windows"] = sorted(w.objectName() for w in QApplication.topLevelWidgets()
                                 if w.isVisible())
        for name, text in [("topLeftCol", "A"), ("topLeftRow", "3"),
                           ("botRightCol", "C"), ("botRightRow", "5")]:
            type_into(form, name, text)
        click(form, "btnOK")
    user.when(window("CellRangeForm",
                     lambda form: form.findChild(QComboBox, "cbSheetName").currentText()),
              fill_in)
    r = desktop.BuildCell()
    assert user.steps == []
    assert r.result is True
    assert seen["sheet"] == "Doors"
    assert "SheetWindow" in seen["windows"], "the workbook is shown beside the dialog"
    assert (r.sheetName0, r.startRow0, r.endRow0, r.startCol0, r.endCol0) == ("Doors", 3, 5, 1, 3)
    assert r.dgnCell0[3, 2].Value == "Description"


def test_a_qt6_callers_window_owns_the_dialogs_and_the_sheet_window_closes_on_return(tmp_path):
    # A caller with its own Qt 6 application and main window (PyQt6, as Debian has no
    # PySide6): the dialog is modal to that window, and the workbook's window goes away
    # when the call returns.
    out = run_python("""
        import os, sys
        sys.path.insert(0, %r)
        from PyQt6.QtWidgets import QApplication, QLineEdit, QMainWindow
        from PyQt6.QtCore import Qt
        import tbln
        from test_desktop import User, window, chooser, choose, click
        qapp = QApplication([])
        main = QMainWindow()
        main.setObjectName("CallerWindow")
        main.show()
        main.activateWindow()
        qapp.processEvents()
        app = tbln.Application(root=%r, ui="qt")
        user, seen = User(), {}
        user.when(window("CellRangeForm"), lambda form: click(form, "btnBrowse"))
        user.when(chooser, lambda dialog: choose(dialog, %r))
        def look(form):
            seen["parent"] = form.parentWidget().objectName()
            seen["modal"] = form.windowModality() == Qt.WindowModality.WindowModal
            seen["sheet"] = [w.isVisible() for w in qapp.topLevelWidgets()
                             if w.objectName() == "SheetWindow"]
            click(form, "btnCancel")
        user.when(window("CellRangeForm", lambda f: f.findChild(QLineEdit, "tbPath").text()), look)
        r = app.BuildCell()
        print(r.result, seen["parent"], seen["modal"], seen["sheet"],
              [w.isVisible() for w in qapp.topLevelWidgets() if w.objectName() == "SheetWindow"])
    """ % (os.path.dirname(os.path.abspath(__file__)), str(tmp_path / "quorvex"),
           os.path.join(SOURCE, "examples", "door_schedule.xlsx")), QT_QPA_PLATFORM="offscreen")
    assert out.splitlines()[-1] == "False CallerWindow True [True] [False]", out


def test_the_script_is_for_the_scripted_user_interface_only(desktop):
    with pytest.raises(RuntimeError, match="only the scripted user interface"):
        desktop.click("btnOK")


class HostWindow:
    """`tbln gui --file BOOK` at a display of our own, driven from its menus' keys."""

    def __init__(self, desk, tmp_path, book):
        self.me = Desk(desk)
        self.host = subprocess.Popen(
            [HOST, "--root", str(tmp_path / "gui"), "gui", "--file", book],
            env=host_environment(DISPLAY=desk, QT_QPA_PLATFORM="xcb",
                                 ASAN_OPTIONS="detect_leaks=0"),
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)

    def menu(self, *keys):
        """Keys pressed on the host window: Alt+F opens File, Right the system's menu.
        Without a window manager the focus can miss a window that is still being mapped,
        so callers that can see the outcome press the keys again when it does not come."""
        window = self.me.window("tbln - drawing host", self.host)
        self.me.x("windowraise", window)
        self.me.x("windowfocus", window)
        time.sleep(0.3)
        self.me.x("key", "--delay", "200", "alt+f", *keys)

    def import_range(self, book, corners=None):
        """Import Range: the workbook chosen, then the corners typed and Start, or Cancel."""
        me = self.me
        for _ in range(5):
            self.menu("Right", "Return")
            if me.find("Import Excel Data", self.host, 10):
                break
        me.click(me.window("Import Excel Data", self.host), 5640, 555, 1095, 345)  # Browse
        me.x("windowfocus", me.window("Open", self.host))
        me.type(book)
        me.x("key", "Return")
        me.gone("Open", self.host)
        if corners:
            for box, text in zip([(2280, 1770), (3480, 1770), (2280, 2220), (3480, 2220)],
                                 corners):
                me.click(me.window("Import Excel Data", self.host), *box, 1080, 315)
                me.type(text)
            me.click(me.window("Import Excel Data", self.host), 4200, 4215, 1215, 375)
        while me.x("search", "--onlyvisible", "--name", "^Import Excel Data$").strip():
            if not corners:
                me.x("windowfocus", me.window("Import Excel Data", self.host))
                me.x("key", "Escape")
            time.sleep(0.5)

    def update(self):
        """Update Range, once its progress dialog has come and gone."""
        for _ in range(5):
            self.menu("Right", "Down", "Return")
            if self.me.find("Processing Excel Data", self.host, 10):
                break
        self.me.gone("Processing Excel Data", self.host)

    def save(self, key, path):
        """File > Save Result as JSON (s) or Save Drawing (d), to `path`."""
        caption = {"s": "Save Result as JSON", "d": "Save Drawing"}[key]
        for _ in range(5):
            self.menu(key)
            if self.me.find(caption, self.host, 10):
                break
        self.me.x("windowfocus", self.me.window(caption, self.host))
        time.sleep(1)
        self.me.type(str(path))
        self.me.x("key", "Return")
        deadline = time.monotonic() + 60
        while not path.exists() and time.monotonic() < deadline:
            time.sleep(0.2)
        time.sleep(0.5)

    def exit(self):
        for _ in range(5):
            self.menu("x")
            try:
                out, err = self.host.communicate(timeout=20)
                break
            except subprocess.TimeoutExpired:
                continue
        else:
            self.host.kill()
            pytest.fail("File > Exit did not end the host: " + self.host.communicate()[1])
        assert self.host.returncode == 0, err


def test_the_host_window_updates_no_range_after_a_cancelled_import(desk, tmp_path):
    window = HostWindow(desk, tmp_path, DOOR)
    window.import_range(DOOR)
    window.menu("Right", "Down", "Return")  # Update Range
    time.sleep(2)
    window.save("s", tmp_path / "result.json")
    window.exit()
    # The cancelled import's workbook and range are not the macro's: there is nothing to
    # update yet.
    assert json.loads((tmp_path / "result.json").read_text()) == {
        "error": "Import a range first: Update Range captures it again.", "messages": []}


def test_the_host_window_saves_the_import_as_the_command_line_writes_it(desk, tmp_path):
    window = HostWindow(desk, tmp_path, DOOR)
    window.import_range(DOOR, ["A", "1", "H", "10"])
    window.save("s", tmp_path / "result.json")
    window.save("d", tmp_path / "drawing.png")
    window.exit()
    printed = cli(tmp_path, ["build-cell", "--file", DOOR, "--range", "A1:H10", "--png",
                             str(tmp_path / "cli.png")])
    saved = json.loads((tmp_path / "result.json").read_text())
    # The workbook was open already in the window: its capture may be the fast one.
    for result in (saved, printed):
        result.pop("fastUpdate0")
    assert saved == printed
    # One import on the drawing, at its origin: the picture the command draws.
    assert (tmp_path / "drawing.png").read_bytes() == (tmp_path / "cli.png").read_bytes()


def test_the_host_window_marks_the_cells_an_update_changed(desk, tmp_path):
    import openpyxl
    book = tmp_path / "marks.xlsx"
    sheet = openpyxl.Workbook().active
    sheet.title = "Data"
    for row in range(1, 5):
        sheet.append(["r%d c%d" % (row, col) for col in range(1, 4)])
    sheet.parent.save(book)
    window = HostWindow(desk, tmp_path, str(book))
    window.import_range(str(book), ["A", "1", "C", "4"])
    window.save("s", tmp_path / "import.json")
    # Changed by another program between the import and its update.
    edited = openpyxl.load_workbook(book)
    edited["Data"]["B2"] = "new text"
    edited["Data"]["C4"] = 42
    edited.save(book)
    window.update()
    window.save("s", tmp_path / "update.json")
    window.save("d", tmp_path / "update.png")
    window.exit()
    changes = json.loads((tmp_path / "update.json").read_text())["changes"]
    assert [c["address"] for c in changes] == ["B2", "C4"], changes
    # The marks drawn as the command line draws the changes since the import.
    printed = cli(tmp_path, ["deep-update", "--file", str(book), "--sheet", "Data", "--range",
                             "A1:C4", "--since", str(tmp_path / "import.json"), "--png",
                             str(tmp_path / "cli.png")])
    assert printed["changes"] == changes
    assert (tmp_path / "update.png").read_bytes() == (tmp_path / "cli.png").read_bytes()
