#!/usr/bin/python3
"""Tabulon.exe under Wine registers the profiles in Wine's registry (HKEY_CURRENT_USER) and
rewrites the customization file as the Linux Tabulon does with its hive file, and a second
run changes nothing.

    tests/windows/tabulon_matches_linux.py LINUX_TABULON [WINDOWS_BUILD]
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
LINUX = os.path.abspath(sys.argv[1])
WIN = os.path.abspath(sys.argv[2] if len(sys.argv) > 2 else os.path.join(ROOT, "build-windows"))
ENV = dict(os.environ, WINEARCH="win64", WINEPREFIX=os.path.join(WIN, "wineprefix"),
           WINEDEBUG="-all", LC_ALL="C.UTF-8")
WINE = "/usr/lib/wine/wine64"
KEY = "HKEY_CURRENT_USER\\Software\\Autodesk"
CUI = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<CustSection>\r\n" \
      "  <MenuGroup Name=\"ACAD\"/>\r\n  </CommonItems>\r\n</CustSection>\r\n"


def hive(menu_file):
    """Releases, products and profiles as a user's hive holds them; menu_file is the R16.2
    profiles' main customization file (without its extension)."""
    k = "[HKEY_CURRENT_USER\\SOFTWARE\\Autodesk\\AutoCAD\\"
    esc = menu_file.replace("\\", "\\\\")
    return ("Windows Registry Editor Version 5.00\r\n\r\n"
            f"{k}R15.0\\ACAD-1:409\\Profiles\\Old\\General]\r\n\"ACAD\"=\"C:\\\\A\"\r\n\r\n"
            f"{k}R16.0\\ACAD-201:409\\Profiles\\<<Unnamed Profile>>\\General]\r\n"
            "\"ACAD\"=\"C:\\\\B;C:\\\\C\"\r\n\r\n"
            f"{k}R16.0\\ACAD-201:409\\Profiles\\<<Unnamed Profile>>\\Menus]\r\n"
            "\"Group1\"=\"ACAD acad\"\r\n\"Pop1\"=\"ACAD POP1\"\r\n\r\n"
            f"{k}R16.0\\ACAD-201:409\\Profiles\\Drafting\\General]\r\n"
            "\"ACAD\"=\"C:\\\\QUORVEX\\\\ACAD;C:\\\\B\"\r\n\r\n"
            f"{k}R16.1\\ACAD-202:409\\Profiles\\Only\\Menus]\r\n"
            "\"Group3\"=\"ACAD acad\"\r\n\"Pop12\"=\"ACAD POP12\"\r\n\r\n"
            f"{k}R16.2\\ACAD-301:409\\Profiles\\A\\General Configuration]\r\n"
            f"\"MenuFile\"=\"{esc}\"\r\n\r\n"
            f"{k}R16.2\\ACAD-301:409\\Profiles\\B\\General Configuration]\r\n"
            f"\"MenuFile\"=\"{esc}\"\r\n")


def values(text):
    """The (key, name, data) triples of an export, keys and names in lower case, sorted."""
    out, key = [], None
    for line in text.replace("\r\n", "\n").split("\n"):
        m = re.match(r"^\[(.*)\]$", line)
        if m:
            key = m.group(1).lower()
        elif line.startswith("\"") and key:
            name, data = re.match(r'^"((?:[^"\\]|\\.)*)"=(.*)$', line).groups()
            out.append((key, name.lower(), data))
    return sorted(out)


def wine(*args, **kw):
    return subprocess.run([WINE, *args], env=ENV, capture_output=True, **kw)


def main():
    failures = []
    prefix_c = os.path.join(ENV["WINEPREFIX"], "drive_c")
    subprocess.run([os.path.join(ROOT, "tests/windows/wine_prefix.sh"), WIN], check=True)
    with tempfile.TemporaryDirectory() as tmp:
        # Linux: an install root with the shipped acad folder and a hive file.
        root = os.path.join(tmp, "root")
        shutil.copytree(os.path.join(ROOT, "install/acad"), os.path.join(root, "acad"))
        os.makedirs(os.path.join(root, "registry"))
        linux_cui = os.path.join(tmp, "acad")
        with open(os.path.join(root, "registry/current_user.reg"), "w", newline="") as f:
            f.write(hive(linux_cui))
        with open(linux_cui + ".cui", "w", newline="") as f:
            f.write(CUI)
        linux = subprocess.run([LINUX, "--root", root], capture_output=True, text=True)

        # Windows: the fixed install folder and the same profiles in the real registry.
        quorvex = os.path.join(prefix_c, "Quorvex")
        shutil.rmtree(quorvex, ignore_errors=True)
        shutil.copytree(os.path.join(ROOT, "install/acad"), os.path.join(quorvex, "acad"))
        win_cui = "C:\\tbln-test\\acad"
        os.makedirs(os.path.join(prefix_c, "tbln-test"), exist_ok=True)
        with open(os.path.join(prefix_c, "tbln-test/acad.cui"), "w", newline="") as f:
            f.write(CUI)
        wine("reg", "delete", KEY, "/f")
        reg_in = os.path.join(tmp, "in.reg")
        with open(reg_in, "w", newline="") as f:
            f.write(hive(win_cui))
        wine("reg", "import", "Z:" + reg_in.replace("/", "\\"))
        windows = wine(os.path.join(WIN, "Tabulon.exe"), text=True)
        again = wine(os.path.join(WIN, "Tabulon.exe"), text=True)
        reg_out = os.path.join(tmp, "out.reg")
        wine("reg", "export", KEY, "Z:" + reg_out.replace("/", "\\"), "/y")
        with open(reg_out, encoding="utf-16") as f:
            exported = f.read()
        with open(os.path.join(root, "registry/current_user.reg"), encoding="utf-8") as f:
            linux_hive = f.read()

        esc = lambda p: p.replace("\\", "\\\\")
        if linux.returncode != 0 or windows.returncode != 0:
            failures.append(f"status {linux.returncode} on Linux, {windows.returncode} under Wine: "
                            f"{linux.stderr}{windows.stderr}")
        lines_linux = linux.stdout.replace(linux_cui, win_cui)
        if lines_linux != windows.stdout:
            failures.append(f"the reports differ:\n{lines_linux}---\n{windows.stdout}")
        want = values(linux_hive.replace(esc(linux_cui), esc(win_cui)))
        got = values(exported)
        if want != got:
            failures.append("the registry differs from the Linux hive:\n" +
                            "\n".join(f"- {v}" for v in want if v not in got) + "\n" +
                            "\n".join(f"+ {v}" for v in got if v not in want))
        with open(linux_cui + ".cui", "rb") as f, \
                open(os.path.join(prefix_c, "tbln-test/acad.cui"), "rb") as g:
            if f.read() != g.read():
                failures.append("the customization files differ")
        if again.returncode != 0 or again.stdout or "nothing to change" not in again.stderr:
            failures.append(f"a second run changed something: {again.stdout}{again.stderr}")
        wine("reg", "delete", KEY, "/f")
        shutil.rmtree(quorvex, ignore_errors=True)
        shutil.rmtree(os.path.join(prefix_c, "tbln-test"), ignore_errors=True)
    for f in failures:
        print("FAILED:", f)
    if not failures:
        print(f"same: {len(got)} registry values and the customization file; "
              f"{len(windows.stdout.splitlines())} changes reported; a second run changed nothing")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
