#!/usr/bin/python3
"""Compares the engine's view of legacy .xls workbooks with two independent readers.

For each .xls: LibreOffice (headless) converts it to .xlsx, and `tbln cells` reads every
sheet of both files; fields are compared cell by cell (displayed texts, fonts, borders,
fills, alignment), with merged areas, column widths (within one pixel, as the conversion
rounds them) and row heights. Independently, python3-xlrd's formatting_info view gives
fonts, borders, fill patterns, merges, column widths and row heights straight from the
records. Prints the agreement per field over all files.

usage: xls_compare.py TBLN_BINARY XLS... [--converted DIR] [--verbose]
Needs: libreoffice (soffice), python3-xlrd.
"""
import collections
import json
import os
import subprocess
import sys
import tempfile

import xlrd

BORDERS = ["none", "thin", "medium", "dashed", "dotted", "thick", "double", "hair",
           "mediumDashed", "dashDot", "mediumDashDot", "dashDotDot", "mediumDashDotDot",
           "slantDashDot"]


def cells(tbln, path, sheet=None):
    args = [tbln, "cells", path] + (["--sheet", sheet] if sheet else [])
    r = subprocess.run(args, capture_output=True, text=True, timeout=300)
    if r.returncode != 0:
        raise RuntimeError(r.stderr.strip().splitlines()[-1] if r.stderr.strip() else "failed")
    return json.loads(r.stdout)


class Tally:
    def __init__(self):
        self.agree = collections.Counter()
        self.total = collections.Counter()
        self.examples = collections.defaultdict(list)

    def check(self, field, ours, theirs, where):
        self.total[field] += 1
        if ours == theirs:
            self.agree[field] += 1
        elif len(self.examples[field]) < 5:
            self.examples[field].append(f"{where}: ours {ours!r}, theirs {theirs!r}")

    def report(self, title, verbose):
        print(f"\n{title}")
        for field in sorted(self.total):
            a, t = self.agree[field], self.total[field]
            print(f"  {field:22} {a:7}/{t:<7} {100.0 * a / t:6.2f}%")
            if verbose and a != t:
                for e in self.examples[field]:
                    print(f"      {e}")


def cell_fields(c):
    f = c["font"]
    b = c["borders"]
    return {
        "text": c["text"],
        "font.name": f["name"], "font.size": f["size"], "font.bold": f["bold"],
        "font.italic": f["italic"], "font.underline": f["underline"], "font.color": f.get("color"),
        "border.styles": tuple(b[s]["style"] for s in ("top", "bottom", "left", "right")),
        "border.colors": tuple(b[s].get("color") for s in ("top", "bottom", "left", "right")
                               if b[s]["style"] != "none"),
        "fill.pattern": c["fill"]["pattern"], "fill.color": c["fill"].get("color"),
        "align.horizontal": c["alignment"]["horizontal"], "align.vertical": c["alignment"]["vertical"],
        "align.wrap": c["alignment"]["wrapText"], "align.orientation": c["alignment"]["orientation"],
        "align.indent": c["alignment"]["indent"],
    }


def compare_libreoffice(tbln, xls, xlsx, tally, verbose):
    ours_book = cells(tbln, xls)
    theirs_book = cells(tbln, xlsx)
    tally.check("sheets", [s["name"] for s in ours_book["sheets"]],
                [s["name"] for s in theirs_book["sheets"]], xls)
    tally.check("activeSheet", ours_book["activeSheet"], theirs_book["activeSheet"], xls)
    for s in ours_book["sheets"]:
        name = os.path.basename(xls) + "!" + s["name"]
        ours = cells(tbln, xls, s["name"])
        theirs = cells(tbln, xlsx, s["name"])
        tally.check("merges", sorted(ours["merges"] or []), sorted(theirs["merges"] or []), name)
        tally.check("activeCell", ours["activeCell"], theirs["activeCell"], name)
        ocols = {c["column"]: c for c in ours["columns"]}
        tcols = {c["column"]: c for c in theirs["columns"]}
        for k in sorted(set(ocols) & set(tcols)):
            # One pixel is 0.75 points.
            tally.check("column.width", abs(ocols[k]["width"] - tcols[k]["width"]) <= 0.75, True,
                        f"{name} col {k} ({ocols[k]['width']} vs {tcols[k]['width']})")
            tally.check("column.hidden", ocols[k]["hidden"], tcols[k]["hidden"], f"{name} col {k}")
        orows = {r["row"]: r for r in ours["rows"]}
        trows = {r["row"]: r for r in theirs["rows"]}
        for k in sorted(set(orows) & set(trows)):
            tally.check("row.height", abs(orows[k]["height"] - trows[k]["height"]) <= 0.75, True,
                        f"{name} row {k} ({orows[k]['height']} vs {trows[k]['height']})")
            tally.check("row.hidden", orows[k]["hidden"], trows[k]["hidden"], f"{name} row {k}")
        ocells = {c["address"]: c for c in ours["cells"]}
        tcells = {c["address"]: c for c in theirs["cells"]}
        for address in sorted(set(ocells) | set(tcells)):
            if address not in ocells or address not in tcells:
                continue
            of, tf = cell_fields(ocells[address]), cell_fields(tcells[address])
            for field in of:
                tally.check(field, of[field], tf[field], f"{name}!{address}")


def compare_xlrd(tbln, xls, tally):
    book = xlrd.open_workbook(xls, formatting_info=True, on_demand=True)
    for sheet in book.sheets():
        name = os.path.basename(xls) + "!" + sheet.name
        ours = cells(tbln, xls, sheet.name)
        tally.check("merges", sorted(ours["merges"] or []),
                    sorted(xlrd.cellnameabs(r0, c0).replace("$", "") + ":" +
                           xlrd.cellnameabs(r1 - 1, c1 - 1).replace("$", "")
                           for r0, r1, c0, c1 in sheet.merged_cells
                           if (r1 - r0, c1 - c0) != (1, 1)), name)
        rows = {r["row"]: r for r in ours["rows"]}
        for r, info in sheet.rowinfo_map.items():
            if r + 1 in rows:
                tally.check("row.hidden", rows[r + 1]["hidden"], bool(info.hidden), f"{name} row {r + 1}")
                if not info.hidden:
                    tally.check("row.height", rows[r + 1]["height"], info.height / 20, f"{name} row {r + 1}")
        for c in ours["cells"]:
            r, k = c["row"] - 1, c["column"] - 1
            if r >= sheet.nrows or k >= sheet.ncols:
                continue
            xf = book.xf_list[sheet.cell_xf_index(r, k)]
            font = book.font_list[xf.font_index]
            where = f"{name}!{c['address']}"
            tally.check("font.name", c["font"]["name"], font.name, where)
            tally.check("font.size", c["font"]["size"], font.height / 20, where)
            tally.check("font.bold", c["font"]["bold"], font.weight >= 700, where)
            tally.check("font.italic", c["font"]["italic"], bool(font.italic), where)
            b = xf.border
            tally.check("border.styles",
                        tuple(c["borders"][s]["style"] for s in ("top", "bottom", "left", "right")),
                        tuple(BORDERS[v] if v < len(BORDERS) else "thin" for v in
                              (b.top_line_style, b.bottom_line_style, b.left_line_style,
                               b.right_line_style)), where)
            tally.check("fill.solid", c["fill"]["pattern"] == "solid", xf.background.fill_pattern == 1, where)
            tally.check("align.wrap", c["alignment"]["wrapText"], bool(xf.alignment.text_wrapped), where)
            cell = sheet.cell(r, k)
            if cell.ctype == xlrd.XL_CELL_TEXT:
                tally.check("text (strings)", c["text"], cell.value, where)


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    verbose = "--verbose" in sys.argv
    converted = None
    if "--converted" in sys.argv:
        converted = sys.argv[sys.argv.index("--converted") + 1]
        args.remove(converted)
    tbln, files = args[0], args[1:]
    if converted is None:
        converted = tempfile.mkdtemp()
        subprocess.run(["soffice", "--headless", "--convert-to", "xlsx", "--outdir", converted]
                       + files, capture_output=True, timeout=3600)
    lo, xl = Tally(), Tally()
    outcome = collections.Counter()
    for xls in files:
        base = os.path.splitext(os.path.basename(xls))[0]
        xlsx = os.path.join(converted, base + ".xlsx")
        try:
            cells(tbln, xls)
        except Exception as e:
            outcome["refused"] += 1
            print(f"{os.path.basename(xls)}: refused: {e}")
            continue
        outcome["opened"] += 1
        if os.path.exists(xlsx):
            try:
                compare_libreoffice(tbln, xls, xlsx, lo, verbose)
            except Exception as e:
                print(f"{os.path.basename(xls)}: LibreOffice comparison skipped: {e}")
        try:
            compare_xlrd(tbln, xls, xl)
        except Exception as e:
            print(f"{os.path.basename(xls)}: xlrd comparison skipped: {e}")
    print(f"\n{outcome['opened']} opened, {outcome['refused']} refused")
    lo.report("Agreement with LibreOffice's conversion (both read by the engine):", verbose)
    xl.report("Agreement with xlrd (formatting_info=True):", verbose)


if __name__ == "__main__":
    main()
