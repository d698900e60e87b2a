#!/usr/bin/python3
"""Makes the benchmark workbook: 32,000 rows x 32 columns (1,024,000 cells), styled.

Number formats, fonts, borders and fills rotate over the cells; every 40th row holds
a merged block, every 25th row is hidden and two columns are hidden; rows and columns
have custom sizes. Run with Debian's python3 (python3-xlsxwriter):
    /usr/bin/python3 bench/make_bench_workbook.py OUT.xlsx [ROWS COLUMNS]
"""
import sys

import xlsxwriter

ROWS = 32000
COLS = 32


def main(path, rows=ROWS, cols=COLS):
    wb = xlsxwriter.Workbook(path)
    ws = wb.add_worksheet("Data")
    formats = []
    number_formats = ["0.00", "#,##0", "0.0%", "yyyy-mm-dd", "0.00E+00", "# ?/?", '"$"#,##0.00_);("$"#,##0.00)', "General"]
    fonts = [("Calibri", 11), ("Arial", 10), ("Times New Roman", 12), ("Courier New", 9)]
    for i in range(32):
        name, size = fonts[i % len(fonts)]
        formats.append(wb.add_format({
            "num_format": number_formats[i % len(number_formats)],
            "font_name": name,
            "font_size": size,
            "bold": i % 3 == 0,
            "italic": i % 5 == 0,
            "border": i % 4,
            "bg_color": ["#FFFFFF", "#FFFF00", "#DDEEFF", "#FFE0E0"][i % 4] if i % 2 else None,
            "pattern": 1 if i % 2 else 0,
            "align": ["left", "center", "right", "general"][i % 4],
            "valign": ["top", "vcenter", "bottom"][i % 3],
            "text_wrap": i % 7 == 0,
        }))
    words = ["bolt", "nut", "washer", "flange", "gasket", "valve", "pipe", "elbow"]
    for row in range(rows):
        if row % 40 == 39:
            ws.merge_range(row, 0, row, 3, f"section {row // 40}", formats[row % 32])
            first = 4
        else:
            first = 0
        for col in range(first, cols):
            fmt = formats[(row + col) % 32]
            if col % 4 == 3:
                ws.write_string(row, col, f"{words[(row + col) % 8]} {row % 97}", fmt)
            else:
                ws.write_number(row, col, (row * 31 + col * 7) % 100000 / 7.0, fmt)
        if row % 25 == 24:
            ws.set_row(row, None, None, {"hidden": True})
        elif row % 10 == 0:
            ws.set_row(row, 21.75)
    ws.set_column(0, 0, 24)
    ws.set_column(5, 5, None, None, {"hidden": True})
    ws.set_column(9, 9, None, None, {"hidden": True})
    ws.set_column(10, 20, 12.5)
    wb.close()


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "bench.xlsx",
         *(int(a) for a in sys.argv[2:4]))
