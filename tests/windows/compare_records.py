#!/usr/bin/env python3
"""Compares the records a macro got from tbln.dll with what the Linux host printed.

Usage: compare_records.py HOST.json MACRO.records

HOST.json is `tbln build-cell` output; MACRO.records is what the macro suite wrote: one
line per value, "PATH<TAB>TypeName<TAB>text" (or "PATH<TAB>Nothing" for an unset
element), UTF-16. Every field of every record must be there on both sides and equal
(file names by their last part: the two hosts see different folders). Prints each
difference; exits 1 when there is one.
"""
import json
import math
import os
import struct
import sys


def flatten(host):
    """The host's JSON as {path: value}, in the macro's path notation."""
    out = {}
    for key in ("result", "sheetName0", "totalHeight0", "totalWidth0", "startRow0", "endRow0",
                "startCol0", "endCol0"):
        out[key] = host[key]
    out["fileName0"] = os.path.basename(host["fileName0"])
    for i, font in enumerate(host["excelFonts0"] or [], 1):
        out[f"excelFonts0({i})"] = font
    out["excelFonts0.Count"] = len(host["excelFonts0"] or [])

    def record(path, rec):
        if rec is None:
            out[path] = None
            return
        for field, value in rec.items():
            out[f"{path}.{field}"] = value

    cells = host["dgnCell0"]
    if cells:
        for r, row in zip(range(cells["rows"][0], cells["rows"][1] + 1), cells["items"]):
            for c, rec in zip(range(cells["cols"][0], cells["cols"][1] + 1), row):
                record(f"dgnCell0({r},{c})", rec)
    for name in ("xlsShape0", "xlsImage0"):
        array = host[name]
        if array:
            for i, rec in zip(range(array["lower"], array["upper"] + 1), array["items"]):
                record(f"{name}({i})", rec)
    return out


def unescape(text):
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text):
            out.append({"t": "\t", "r": "\r", "n": "\n", "\\": "\\"}.get(text[i + 1], text[i + 1]))
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


def single(x):
    return struct.unpack("f", struct.pack("f", x))[0]


def same(expected, type_name, text):
    """Whether the macro's value (its type and text) is the host's value."""
    if expected is None:
        return type_name == "Nothing"
    if isinstance(expected, bool):
        return type_name == "Boolean" and text == ("True" if expected else "False")
    if isinstance(expected, str):
        return type_name == "String" and unescape(text) == expected
    if type_name in ("Integer", "Long"):
        return isinstance(expected, int) and int(text) == expected
    if type_name == "Single":
        return single(float(text)) == single(float(expected))
    if type_name == "Double":
        return math.isclose(float(text), float(expected), rel_tol=1e-14, abs_tol=0.0)
    return False


def main():
    host_path, macro_path = sys.argv[1], sys.argv[2]
    with open(host_path, encoding="utf-8") as f:
        expected = flatten(json.load(f))
    got = {}
    with open(macro_path, encoding="utf-16") as f:
        for line in f.read().splitlines():
            path, type_name, *text = line.split("\t")
            got[path] = (type_name, text[0] if text else "")
    differences = []
    for path, value in expected.items():
        if path not in got:
            differences.append(f"{path}: missing from the macro's records (host: {value!r})")
        elif not same(value, *got[path]):
            differences.append(f"{path}: macro {got[path]!r}, host {value!r}")
    differences += [f"{path}: only in the macro's records" for path in got if path not in expected]
    for d in differences[:50]:
        print("FAIL", d)
    print(f"{os.path.basename(macro_path)}: {len(expected)} values, {len(differences)} differ")
    return 1 if differences else 0


if __name__ == "__main__":
    sys.exit(main())
