#!/usr/bin/python3
"""deep-update --since against two later versions of the door schedule: one edited with
openpyxl, one saved again by LibreOffice (tests/fixtures/make_since_fixtures.py). The
report names exactly the cells that differ, the DXF marks exactly those on its revision
layer (read back by ezdxf), and a workbook compared with itself reports nothing.

usage: check_since.py TBLN OUT_DIR EXAMPLES_DIR FIXTURES_DIR"""
import json
import os
import subprocess
import sys

import ezdxf


def run(tbln, env, *args):
    p = subprocess.run([tbln, *args], env=env, capture_output=True, text=True)
    if p.returncode != 0:
        sys.exit("tbln failed: " + p.stderr)
    return json.loads(p.stdout), p.stderr


def main():
    tbln, out, examples, fixtures = sys.argv[1:5]
    os.makedirs(out, exist_ok=True)
    env = dict(os.environ, QUORVEX_ROOT=os.path.join(out, "since_root"))
    first, _ = run(tbln, env, "build-cell", "--file", os.path.join(examples, "door_schedule.xlsx"),
                   "--sheet", "Doors")
    earlier = os.path.join(out, "since_v1.json")
    with open(earlier, "w") as f:
        json.dump(first, f)
    problems = []

    def update(book, dxf=None):
        args = ["deep-update", "--file", book, "--sheet", "Doors", "--whole", "--since", earlier]
        if dxf:
            args += ["--dxf", dxf]
        return run(tbln, env, *args)

    def cells(changes):
        return {c["address"]: c for c in changes if "address" in c}

    # The same workbook again: nothing changed.
    same, summary = update(os.path.join(examples, "door_schedule.xlsx"))
    if same["changes"] != [] or "no changes" not in summary:
        problems.append(f"unchanged workbook reports {same['changes']} / {summary!r}")

    # openpyxl: B5 text, E6 value, A7 fill; openpyxl also drops the drawing objects and
    # the cached result of the total's formula in F8, which the capture sees as well.
    dxf = os.path.join(out, "since_openpyxl.dxf")
    edited, summary = update(os.path.join(fixtures, "since_openpyxl.xlsx"), dxf)
    got = cells(edited["changes"])
    if set(got) != {"B5", "E6", "A7", "F8"}:
        problems.append(f"openpyxl version: changed cells {sorted(got)}")
    else:
        if got["B5"]["changed"] != ["text"] or got["B5"]["after"]["Value"] != \
                "Double leaf steel door, fire rated 90 min":
            problems.append(f"B5: {got['B5']}")
        if got["A7"]["changed"] != ["fill"] or got["A7"]["after"]["bgColor"] != "FFFF00":
            problems.append(f"A7: {got['A7']}")
    removed = [c for c in edited["changes"] if c.get("change") == "removed"]
    if len(removed) != 4:
        problems.append(f"openpyxl version: {len(removed)} shapes and pictures removed, not 4")
    if "cells changed: 4" not in summary:
        problems.append(f"summary: {summary!r}")
    doc = ezdxf.readfile(dxf)
    if doc.audit().errors:
        problems.append("revision DXF does not audit clean")
    marks = doc.modelspace().query("LWPOLYLINE[layer=='TBLN-REVISIONS']")
    if len(marks) != 4:
        problems.append(f"{len(marks)} revision marks for 4 changed cells")

    # LibreOffice rewrites pattern fills as solid ones and rounds two row heights.
    saved, _ = update(os.path.join(fixtures, "since_libreoffice.xlsx"))
    got = cells(saved["changes"])
    if set(got) != {"B5", "E6", "A7", "G7", "H6"}:
        problems.append(f"LibreOffice version: changed cells {sorted(got)}")
    rows = sorted(c["row"] for c in saved["changes"] if "row" in c)
    if rows != [1, 3]:
        problems.append(f"LibreOffice version: row heights changed {rows}")
    if problems:
        sys.exit("\n".join(problems))
    print("since: ok")


if __name__ == "__main__":
    main()
