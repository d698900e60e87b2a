#!/usr/bin/python3
"""Makes the styled 1,000,000-cell sheet of the benchmarks (32,000 rows x 32 columns):
numbers and texts with borders of several weights, fills, bold and wrapped cells and a
merged header, written by xlsxwriter in constant-memory mode.

    /usr/bin/python3 bench/make_styled_sheet.py OUT.xlsx
"""
import sys

import xlsxwriter


def main(path):
    wb = xlsxwriter.Workbook(path, {"constant_memory": True})
    ws = wb.add_worksheet("Data")
    styles = [
        wb.add_format({"border": 1}),
        wb.add_format({"border": 2, "bold": True}),
        wb.add_format({"border": 5, "bg_color": "#FFFF00"}),
        wb.add_format({"top": 1, "bottom": 2, "num_format": "0.00"}),
        wb.add_format({"italic": True, "align": "center", "text_wrap": True}),
        wb.add_format({"pattern": 6, "fg_color": "#C0C0C0", "left": 1, "right": 1}),
    ]
    ws.merge_range(0, 0, 0, 31, "Styled benchmark sheet", styles[2])
    for r in range(1, 32000):
        for c in range(32):
            style = styles[(r + c) % len(styles)]
            if (r * 7 + c) % 3 == 0:
                ws.write_string(r, c, "R%dC%d text" % (r, c), style)
            else:
                ws.write_number(r, c, r * 0.5 + c, style)
    wb.close()


if __name__ == "__main__":
    main(sys.argv[1])
