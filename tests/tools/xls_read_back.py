#!/usr/bin/python3
"""Prints what python3-xlrd (formatting_info=True) reads from a legacy .xls workbook, as
JSON, so tests can check that a workbook the engine saved reads back in another program:
per sheet its cells (value, and font of the cell's format), merged areas, hyperlinks,
column widths and hidden columns, row heights and hidden rows; and a digest of every
stream of the compound file other than the workbook stream.

    /usr/bin/python3 xls_read_back.py book.xls
"""
import hashlib
import json
import sys

import xlrd
from xlrd import compdoc


def cell_text(cell):
    if cell.ctype == xlrd.XL_CELL_NUMBER:
        return repr(cell.value)
    if cell.ctype == xlrd.XL_CELL_BOOLEAN:
        return "TRUE" if cell.value else "FALSE"
    if cell.ctype == xlrd.XL_CELL_ERROR:
        return "#ERR%d" % cell.value
    return cell.value


def main(path):
    book = xlrd.open_workbook(path, formatting_info=True)
    out = {"sheets": {}, "streams": {}}
    for sheet in book.sheets():
        cells, fonts = {}, {}
        for r in range(sheet.nrows):
            for c in range(sheet.ncols):
                cell = sheet.cell(r, c)
                name = xlrd.cellname(r, c)
                if cell.ctype not in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                    cells[name] = cell_text(cell)
                font = book.font_list[book.xf_list[cell.xf_index].font_index]
                if font.bold or font.italic or font.colour_index not in (0x7FFF, 8):
                    fonts[name] = [font.bold, font.italic, font.colour_index]
        out["sheets"][sheet.name] = {
            "cells": cells,
            "fonts": fonts,
            "merges": sorted(list(m) for m in sheet.merged_cells),
            "widths": {str(c): i.width for c, i in sorted(sheet.colinfo_map.items())},
            "hiddenColumns": sorted(c for c, i in sheet.colinfo_map.items() if i.hidden),
            "heights": {str(r): i.height for r, i in sorted(sheet.rowinfo_map.items())
                        if i.has_default_height == 0},
            "hiddenRows": sorted(r for r, i in sheet.rowinfo_map.items() if i.hidden),
            "size": [sheet.nrows, sheet.ncols],
            "links": sorted([h.frowx, h.lrowx, h.fcolx, h.lcolx, h.url_or_path]
                            for h in sheet.hyperlink_list),
        }
    with open(path, "rb") as f:
        doc = compdoc.CompDoc(f.read())
    for entry in doc.dirlist:
        if entry.etype == 2 and entry.name.lower() != "workbook":
            out["streams"][entry.name] = hashlib.sha1(doc.get_named_stream(entry.name) or b"").hexdigest()
    json.dump(out, sys.stdout, sort_keys=True)


if __name__ == "__main__":
    main(sys.argv[1])
