#!/usr/bin/python3
"""Texts, names and colours of a DXF as CAD programs read them: a workbook made here with
openpyxl (one row per case) is drawn with `tbln build-cell --dxf` and read back by ezdxf,
strictly and with its recovering loader, and drawn by ezdxf's drawing add-on.

usage: check_dxf_strings.py TBLN OUT_DIR"""
import os
import re
import subprocess
import sys

import ezdxf
import openpyxl
from ezdxf import recover
from ezdxf.addons.drawing import Frontend, RenderContext
from ezdxf.addons.drawing.debug_backend import BasicBackend
from openpyxl.styles import Alignment, Border, Color, Font, PatternFill, Side

GERMAN = ("Maße prüfen, Stöße abdichten; " * 14)[:400]
# value, font, fill, the text CAD shows (None: no text at all), the row's height (a long
# text wraps in a row high enough for all its lines: CAD gets only what fits)
CASES = [
    (r"C:\temp\new\Pump{A}", None, None, r"C:\temp\new\Pump{A}", None),
    (" ", None, None, None, None),
    (GERMAN, None, None, GERMAN, 160),
    ("ß" * 60, None, None, "ß" * 60, None),
    ("Eins\r\nZwei\tDrei", None, None, "Eins\nZwei Drei", 30),
    ("宋体 Text", "宋体", None, "宋体 Text", None),
    ("red fill", None, "FF0000", "red fill", None),
    ("black fill", None, "FF000000", "black fill", None),
    # Colours as the spreadsheet shows them: a theme colour with its tint, a pattern's
    # automatic black mixed into white at its density, the font's colour and a border's;
    # white fills are the paper's and left out.
    ("grey fill", None, PatternFill("solid", fgColor=Color(theme=0, tint=-0.25)), "grey fill", None),
    ("dotted fill", None, PatternFill("gray125"), "dotted fill", None),
    ("white fill", None, "FFFFFF", "white fill", None),
    ("blue text", Font(color="0000FF"), None, "blue text", None),
    ("green border", Border(bottom=Side("thin", color="00FF00")), None, "green border", None),
]


def main():
    tbln, out = sys.argv[1:3]
    os.makedirs(out, exist_ok=True)
    book = os.path.join(out, "strings.xlsx")
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "S"
    ws.column_dimensions["A"].width = 80
    for row, (value, font, fill, _, height) in enumerate(CASES, 1):
        cell = ws.cell(row, 1, value)
        if isinstance(font, str):
            cell.font = Font(name=font)
        elif isinstance(font, Font):
            cell.font = font
        elif font:
            cell.border = font
        if isinstance(fill, str):
            cell.fill = PatternFill(fill_type="solid", fgColor=fill)
        elif fill:
            cell.fill = fill
        if height:
            ws.row_dimensions[row].height = height
            cell.alignment = Alignment(wrap_text=len(value) > 100)
    wb.save(book)
    path = os.path.join(out, "strings.dxf")
    env = dict(os.environ, QUORVEX_ROOT=os.path.join(out, "strings_root"))
    run = subprocess.run([tbln, "build-cell", "--file", book, "--sheet", "S", "--dxf", path],
                         env=env, capture_output=True, text=True)
    if run.returncode != 0:
        sys.exit("tbln failed: " + run.stderr)
    problems = []
    raw = open(path, "rb").read()
    if any(b < 0x20 and b != 0x0A or b > 0x7E for b in raw):
        problems.append("bytes other than printable ASCII in the file")
    lines = raw.decode("ascii", "replace").split("\n")
    pieces = [v for c, v in zip(lines[0::2], lines[1::2]) if c.strip() in ("1", "3")]
    for piece in pieces:
        if "\\" in re.sub(r"\\U\+[0-9A-F]{4}|\\[^U]", "", piece):
            problems.append(f"a text piece cuts an escape: ...{piece[-12:]!r}")

    doc = ezdxf.readfile(path)
    if doc.header.get("$DWGCODEPAGE") != "ANSI_1252":
        problems.append(f"code page {doc.header.get('$DWGCODEPAGE')}")
    fixes = doc.audit().fixes
    doc, auditor = recover.readfile(path)
    fixes += auditor.fixes + auditor.errors
    problems += ["repaired: " + f.message for f in fixes]
    msp = doc.modelspace()

    # Texts top to bottom: one per case that shows something, black as ACI 7 alone.
    texts = sorted(msp.query("MTEXT"), key=lambda t: -t.dxf.insert.y)
    want = [c for c in CASES if c[3] is not None]
    # A wrapped text's lines are broken at spaces.
    got = [t.plain_text().replace("\n", " ") if len(t.plain_text()) > 100 else t.plain_text()
           for t in texts]
    if got != [c[3] for c in want]:
        problems.append(f"texts {got}")
    for t, (_, font, _, _, _) in zip(texts, want):
        colour = (5, (0, 0, 255)) if isinstance(font, Font) else (7, None)
        if (t.dxf.color, t.rgb) != colour:
            problems.append(f"text {t.plain_text()[:20]!r}: ACI {t.dxf.color}, {t.rgb}")
        style = doc.styles.get(t.dxf.style)
        if isinstance(font, str) and (t.dxf.style != font or style.dxf.font != font + ".ttf"):
            problems.append(f"style {t.dxf.style!r} font {style.dxf.font!r}, not {font!r}")

    # Fills: a colour as true colour beside the nearest ACI, black as ACI 7 alone.
    fills = sorted(msp.query("HATCH"), key=lambda h: -max(v[1] for v in h.paths[0].vertices))
    colours = [(h.dxf.color, h.rgb) for h in fills]
    # Theme 0 (white) darkened by a quarter; gray125 covers an eighth of its tile.
    if colours != [(1, (255, 0, 0)), (7, None), (9, (191, 191, 191)), (9, (223, 223, 223))]:
        problems.append(f"fill colours {colours}")
    borders = [(line.dxf.color, line.rgb) for line in msp.query("LINE")]
    if borders != [(3, (0, 255, 0))]:
        problems.append(f"border colours {borders}")

    # Our own line type names; the view opens on the table.
    names = {lt.dxf.name for lt in doc.linetypes}
    if names & {"DASHED", "DOT", "DASHDOT", "DIVIDE"} or "TBLN_DASHED" not in names:
        problems.append(f"line types {sorted(names)}")
    lo, hi = doc.header["$EXTMIN"], doc.header["$EXTMAX"]
    vp = doc.viewports.get("*Active")[0].dxf
    centre = ((lo[0] + hi[0]) / 2, (lo[1] + hi[1]) / 2)
    if abs(vp.center[0] - centre[0]) > 1e-6 or abs(vp.center[1] - centre[1]) > 1e-6 or \
            vp.height < hi[1] - lo[1] or vp.height * vp.aspect_ratio < hi[0] - lo[0]:
        problems.append(f"view at {vp.center} height {vp.height} on extents {lo} {hi}")

    try:
        Frontend(RenderContext(doc), BasicBackend()).draw_layout(msp, finalize=True)
    except Exception as e:  # the renderer's own failure is the finding
        problems.append(f"ezdxf's drawing add-on fails: {e!r}")
    if problems:
        sys.exit("\n".join(problems))
    print("strings: ok")


if __name__ == "__main__":
    main()
