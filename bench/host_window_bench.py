#!/usr/bin/python3
"""The host window's cost of a large import beside the command line's.

    bench/host_window_bench.py TBLN FILE [RUNS]

TBLN is a Release build of the host, FILE a workbook whose whole first sheet is
imported (corpus/xls/bug66319.xls: 1,261 rows by 27 columns) or a document
(bench/make_long_document.py writes one of 18,371 lines). Each run, on a display server
of its own (Xvfb, driven with xdotool), measures with wait4's resource use (what
/usr/bin/time -v reports: the process and the reader it waited for):

  bare     tbln --help: the program loaded, nothing done
  cli      tbln build-cell --file FILE (update-word for a document), JSON to /dev/null
  window   tbln gui (the host and sheet windows, no workbook), then File > Exit
  book     tbln gui --file FILE (a workbook), idle, then File > Exit
  import   tbln gui, Import Range of the whole sheet (the workbook open) or Import
           Document, then File > Exit; "start to closed" runs from the click on Start
           (the document chosen) until the dialog has closed itself, "closed to shown"
           from then until the host has put the records in their tables and drawn the
           import (its CPU time stops growing)

and prints each one's peak memory, CPU time (user + system) and wall time, the lowest of
RUNS runs (default 3). With WRAP set (WRAP="heaptrack -o /tmp/host"), each gui run is
started under that command instead, to see where its memory goes."""
import os
import subprocess
import sys
import tempfile
import time

TBLN, FILE = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
DOCUMENT = FILE.endswith(".docx")
RUNS = int(sys.argv[3]) if len(sys.argv) > 3 else 3
HOST_WINDOW = "tbln - drawing host"


sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "tools"))
from xvfb import start_xvfb  # noqa: E402


class Run:
    """One process of the host, its resource use taken when it ends."""

    def __init__(self, args, env):
        self.started = time.monotonic()
        self.process = subprocess.Popen(args, env=env, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.PIPE)

    def ended(self):
        """Whether the process has ended, leaving it to end() to collect."""
        return os.waitid(os.P_PID, self.process.pid,
                         os.WEXITED | os.WNOHANG | os.WNOWAIT) is not None

    def end(self, seconds=300):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            pid, status, usage = os.wait4(self.process.pid, os.WNOHANG)
            if pid:
                self.process.returncode = os.waitstatus_to_exitcode(status)
                wall = time.monotonic() - self.started
                if self.process.returncode != 0:
                    sys.exit("tbln ended with %d: %s" % (self.process.returncode,
                                                         self.process.stderr.read().decode()))
                return {"peak MB": usage.ru_maxrss / 1024,
                        "cpu s": usage.ru_utime + usage.ru_stime, "wall s": wall}
            time.sleep(0.05)
        self.process.kill()
        sys.exit("tbln did not end")


class Desk:
    def __init__(self, display):
        self.env = dict(os.environ, DISPLAY=display)

    def x(self, *args):
        return subprocess.run(["xdotool", *args], env=self.env, capture_output=True,
                              text=True, timeout=60).stdout

    def find(self, caption, seconds=120):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            found = self.x("search", "--onlyvisible", "--name", "^" + caption + "$").split()
            if found:
                return found[0]
            time.sleep(0.05)
        return None

    def window(self, caption):
        found = self.find(caption)
        if not found:
            sys.exit("no window " + caption + " (windows: " +
                     self.x("search", "--onlyvisible", "--name", ".", "getwindowname", "%@")
                     + ")")
        return found

    def gone(self, caption):
        while self.x("search", "--onlyvisible", "--name", "^" + caption + "$").strip():
            time.sleep(0.05)

    def keys(self, window, *keys):
        self.x("windowraise", window)
        self.x("windowfocus", window)
        self.x("key", "--delay", "100", *keys)

    def click(self, window, left, top, width, height):
        """A control of a form, placed in twips (15 a pixel, no window frames)."""
        place = dict(line.split("=") for line in
                     self.x("getwindowgeometry", "--shell", window).split())
        self.x("windowraise", window)
        self.x("mousemove", str(int(place["X"]) + (left + width // 2) // 15),
               str(int(place["Y"]) + (top + height // 2) // 15), "click", "1")

    def menu_until(self, keys, caption):
        """Presses keys on the host window until the window `caption` shows (without a
        window manager the first keys can reach a window still being mapped)."""
        for _ in range(10):
            self.keys(self.window(HOST_WINDOW), *keys)
            found = self.find(caption, 10)
            if found:
                return found
        sys.exit("no window " + caption)

    def exit_host(self, run):
        """File > Exit, again until the host has ended."""
        for _ in range(10):
            window = self.find(HOST_WINDOW, 10)
            if window:
                self.keys(window, "alt+f", "x")
            deadline = time.monotonic() + 10
            while time.monotonic() < deadline:
                if run.ended():
                    return
                time.sleep(0.05)
        sys.exit("File > Exit did not end the host")


def cpu_idle(pid, quiet=1.0):
    """When the process was last busy, once it has been quiet for `quiet` seconds: busy is
    more than one clock tick of CPU time in 0.1 s (the sheet window's polling of the
    engine takes less)."""
    def cpu():
        with open("/proc/%d/stat" % pid) as stat:
            fields = stat.read().rpartition(")")[2].split()
        return int(fields[11]) + int(fields[12])  # utime, stime in clock ticks
    samples = [(time.monotonic(), cpu())]
    busy = samples[0][0]
    while samples[-1][0] - busy < quiet:
        time.sleep(0.01)
        samples.append((time.monotonic(), cpu()))
        while samples[-1][0] - samples[0][0] > 0.1:
            samples.pop(0)
        if samples[-1][1] - samples[0][1] > 1:
            busy = samples[-1][0]
    return busy


def measure(display, root, kind):
    env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb")
    if kind == "bare":
        return Run([TBLN, "--help"], env).end()
    if kind == "cli":
        command = ["update-word"] if DOCUMENT else ["build-cell"]
        return Run([TBLN, "--root", root, *command, "--file", FILE], env).end()
    me = Desk(display)
    args = os.environ.get("WRAP", "").split() + [TBLN, "--root", root, "gui"]
    if kind != "window" and not DOCUMENT:
        args += ["--file", FILE]
    run = Run(args, env)
    me.window(HOST_WINDOW)
    if kind != "import":
        return run, me, None
    if DOCUMENT:
        # Import Document: the file chosen, then the scan's progress dialog.
        me.menu_until(["alt+f", "Right", "Down", "Down", "Return"], "Open")
        dialog = "  Processing Word Data ..."
    else:
        form = me.menu_until(["alt+f", "Right", "Return"], "Import Excel Data")
        me.click(form, 5640, 555, 1095, 345)  # Browse
        dialog = "Import Excel Data"
    me.x("windowfocus", me.window("Open"))
    me.x("key", "ctrl+a")
    me.x("type", "--delay", "5", FILE)
    started = time.monotonic()
    me.x("key", "Return")
    me.gone("Open")
    if not DOCUMENT:
        # No corners: the whole sheet. Start.
        started = time.monotonic()
        me.click(me.window(dialog), 4200, 4215, 1215, 375)
    else:
        me.window(dialog)  # the document is read before the scan's dialog shows
    me.gone(dialog)
    closed = time.monotonic()
    # Shown: the records in their tables and the import drawn, when the host's CPU time
    # stops growing.
    idle = cpu_idle(run.process.pid)
    return run, me, {"start to closed s": closed - started, "closed to shown s": idle - closed}


def main():
    xvfb, display = start_xvfb()
    best = {}
    try:
        for _ in range(RUNS):
            for kind in ("bare", "cli", "window") + (("import",) if DOCUMENT else ("book", "import")):
                with tempfile.TemporaryDirectory() as root:
                    if kind in ("bare", "cli"):
                        figures = measure(display, root, kind)
                    else:
                        run, me, shown = measure(display, root, kind)
                        me.exit_host(run)
                        figures = run.end()
                        figures.update(shown or {})
                for key, value in figures.items():
                    old = best.setdefault(kind, {}).get(key)
                    best[kind][key] = value if old is None else min(old, value)
    finally:
        xvfb.terminate()
        xvfb.wait()
    columns = ["peak MB", "cpu s", "wall s", "start to closed s", "closed to shown s"]
    print("%-8s" % "run" + "".join("%19s" % c for c in columns))
    for kind, f in best.items():
        print("%-8s" % kind + "".join("%19.2f" % f[c] if c in f else "%19s" % "" for c in columns))
    bare, cli, imported = best["bare"], best["cli"], best["import"]
    book = best["window" if DOCUMENT else "book"]
    print("whole process, import / cli: peak %.2fx" % (imported["peak MB"] / cli["peak MB"]))
    print("the import's own memory: %.1f MB in the window (import - idle), %.1f MB in the "
          "command (cli - bare)" % (imported["peak MB"] - book["peak MB"],
                                    cli["peak MB"] - bare["peak MB"]))


main()
