#!/usr/bin/python3
"""openpyxl doing the engine benchmark's reads: every cell's value and format (number
format, font, alignment, borders, fill), merged areas, row heights and column widths.
openpyxl has no number-format renderer, so it reads the value where the engine renders
the displayed text. Prints one JSON line: seconds, peak memory, cells read.
"""
import json
import resource
import sys
import time

import openpyxl


def main(path):
    start = time.perf_counter()
    wb = openpyxl.load_workbook(path)
    cells = 0
    checksum = 0
    for ws in wb.worksheets:
        merged = {}
        for rng in ws.merged_cells.ranges:
            for row in range(rng.min_row, rng.max_row + 1):
                for col in range(rng.min_col, rng.max_col + 1):
                    merged[(row, col)] = rng
        for r in range(1, ws.max_row + 1):
            dim = ws.row_dimensions.get(r)
            checksum += int((dim.height or 15) if dim else 15)
        for row in ws.iter_rows():
            for c in row:
                if c.value is None and not c.has_style:
                    continue
                f, a, b, fill = c.font, c.alignment, c.border, c.fill
                parts = (c.value, c.number_format, f.name, f.sz, f.b, f.i, f.u, a.horizontal,
                         a.vertical, a.wrap_text, a.text_rotation, b.top.style, b.bottom.style,
                         b.left.style, b.right.style, fill.fill_type, fill.fgColor.rgb,
                         merged.get((c.row, c.column)))
                checksum += len(str(parts[0])) + len(parts)
                cells += 1
    seconds = time.perf_counter() - start
    usage = resource.getrusage(resource.RUSAGE_SELF)
    peak = usage.ru_maxrss / 1024.0
    cpu = usage.ru_utime + usage.ru_stime
    print(json.dumps({"program": "openpyxl", "seconds": round(seconds, 3), "cpu_seconds": round(cpu, 3), "peak_mib": round(peak, 1),
                      "cells": cells, "checksum": checksum}))


if __name__ == "__main__":
    main(sys.argv[1])
