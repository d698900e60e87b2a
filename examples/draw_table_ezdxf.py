#!/usr/bin/python3
"""Draws the bundled door schedule into a DXF drawing, as a CAD macro does.

The macro asks tbln for the cells of the schedule (BuildCell, its range dialog answered
by a script), then draws every visible cell: a merged area once, with its borders as
lines of their weight and its text as MTEXT aligned as in the workbook. Lengths come
in points and are drawn in millimetres.

    python3 examples/draw_table_ezdxf.py [BOOK [SHEET [OUT.dxf]]]
"""
import os
import sys
from types import SimpleNamespace

import ezdxf
from ezdxf.document import Drawing
from ezdxf.enums import MTextEntityAlignment
from ezdxf.layouts.layout import Modelspace

import tbln

MM_PER_POINT = 25.4 / 72
HERE = os.path.dirname(os.path.abspath(__file__))

ATTACHMENT = {
    ("TOP", "LEFT"): MTextEntityAlignment.TOP_LEFT,
    ("TOP", "MID"): MTextEntityAlignment.TOP_CENTER,
    ("TOP", "RIGHT"): MTextEntityAlignment.TOP_RIGHT,
    ("MID", "LEFT"): MTextEntityAlignment.MIDDLE_LEFT,
    ("MID", "MID"): MTextEntityAlignment.MIDDLE_CENTER,
    ("MID", "RIGHT"): MTextEntityAlignment.MIDDLE_RIGHT,
    ("BOTTOM", "LEFT"): MTextEntityAlignment.BOTTOM_LEFT,
    ("BOTTOM", "MID"): MTextEntityAlignment.BOTTOM_CENTER,
    ("BOTTOM", "RIGHT"): MTextEntityAlignment.BOTTOM_RIGHT,
}


def import_range(book: str, sheet: str) -> SimpleNamespace:
    """The cells of the sheet's used area, as the range dialog captures them."""
    app = tbln.Application()
    app.range_dialog(book, sheet)
    r = app.BuildCell()
    if not r.result:
        messages = "; ".join(text.strip() for _, text in app.messages)
        sys.exit(f"{book}: the import of sheet {sheet} did not complete ({messages})")
    return r


def draw_cell(msp: Modelspace, cell: tbln.MyCell) -> None:
    width = (cell.mergedColWidth if cell.isMerged else cell.colWidth) * MM_PER_POINT
    height = (cell.mergedRowHeight if cell.isMerged else cell.rowHeight) * MM_PER_POINT
    left, top = cell.deltaX * MM_PER_POINT, -cell.deltaY * MM_PER_POINT
    right, bottom = left + width, top - height
    edges = [(cell.bdUp, cell.bdUpWeight, (left, top), (right, top)),
             (cell.bdBottom, cell.bdBottomWeight, (left, bottom), (right, bottom)),
             (cell.bdLeft, cell.bdLeftWeight, (left, top), (left, bottom)),
             (cell.bdRight, cell.bdRightWeight, (right, top), (right, bottom))]
    for present, weight, start, end in edges:
        if present:
            msp.add_line(start, end, dxfattribs={
                "layer": "TABLE-BORDERS", "lineweight": 50 if weight == "bold" else 18})
    if not cell.Value:
        return
    ver = cell.verAlign or "BOTTOM"
    hor = cell.horAlign or "LEFT"
    x = {"LEFT": left + 1, "MID": (left + right) / 2, "RIGHT": right - 1}[hor]
    y = {"TOP": top - 0.5, "MID": (top + bottom) / 2, "BOTTOM": bottom + 0.5}[ver]
    text = msp.add_mtext(cell.Value, dxfattribs={
        "layer": "TABLE-TEXT", "char_height": max(cell.fontsize, 1) * MM_PER_POINT * 0.7,
        "style": "TABLE"})
    if cell.isWrapCell:
        text.dxf.width = width - 2
    text.set_location((x, y), attachment_point=ATTACHMENT[(ver, hor)])


def draw_table(r: SimpleNamespace, out: str) -> int:
    doc: Drawing = ezdxf.new("R2010", setup=True, units=ezdxf.units.MM)  # type: ignore[attr-defined]
    doc.layers.add("TABLE-BORDERS", color=7)
    doc.layers.add("TABLE-TEXT", color=3)
    doc.styles.add("TABLE", font="LiberationSans-Regular.ttf")
    msp = doc.modelspace()
    cells = r.dgnCell0
    drawn = 0
    for row in range(r.startRow0, r.endRow0 + 1):
        for col in range(r.startCol0, r.endCol0 + 1):
            cell = cells[row, col]
            # A merged area is drawn once, from its first cell.
            if cell is None or cell.hidden or (cell.isMerged and (cell.rowFrom, cell.colFrom) != (row, col)):
                continue
            draw_cell(msp, cell)
            drawn += 1
    auditor = doc.audit()
    if auditor.has_errors:
        sys.exit(f"{out}: the drawing does not audit clean: {auditor.errors}")
    doc.saveas(out)
    return drawn


def main(argv: list[str]) -> None:
    book = argv[1] if len(argv) > 1 else os.path.join(HERE, "door_schedule.xlsx")
    sheet = argv[2] if len(argv) > 2 else "Doors"
    out = argv[3] if len(argv) > 3 else "door_schedule.dxf"
    r = import_range(os.path.abspath(book), sheet)
    drawn = draw_table(r, out)
    print(f"{out}: {drawn} cells of {sheet} ({r.totalWidth0 * MM_PER_POINT:.1f} x "
          f"{r.totalHeight0 * MM_PER_POINT:.1f} mm)")


if __name__ == "__main__":
    main(sys.argv)
