#!/usr/bin/python3
"""Reads the bundled door schedule with tbln.read_range and writes it as an SVG picture,
as the host's --svg draws it, with the rows' heights and the merged areas on the way.

    python3 examples/schedule_svg.py [BOOK [SHEET [RANGE [OUT.svg]]]]
"""
import os
import sys

import tbln

HERE = os.path.dirname(os.path.abspath(__file__))


def main(argv: list[str]) -> None:
    book = argv[1] if len(argv) > 1 else os.path.join(HERE, "door_schedule.xlsx")
    sheet = argv[2] if len(argv) > 2 else "Doors"
    cells = argv[3] if len(argv) > 3 else "A1:H10"
    out = argv[4] if len(argv) > 4 else "door_schedule.svg"
    try:
        table = tbln.read_range(book, sheet, cells)
    except (FileNotFoundError, KeyError, ValueError, tbln.Error) as e:
        sys.exit(f"{book}: {e}")
    texts = sum(1 for cell in table if cell.Value)
    with open(out, "w", encoding="utf-8") as f:
        f.write(table.to_svg())
    rows = ", ".join(f"{h:g}" for h in table.row_heights)
    print(f"{out}: {table.sheet}!{table.range}, {texts} texts, rows {rows} pt, "
          f"merged {' '.join(table.merges)}")


if __name__ == "__main__":
    main(sys.argv)
