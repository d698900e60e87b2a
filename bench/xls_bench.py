#!/usr/bin/python3
"""The legacy .xls benchmark: the engine's read of a 65,536 x 16 styled sheet saved as
.xls, beside its read of the same sheet as .xlsx and beside xlrd with formatting info.

    /usr/bin/python3 bench/xls_bench.py BUILD_BENCH_DIR [OUT_DIR]

Makes the workbook with the benchmark generator (XlsxWriter) at the .xls format's row
limit and 16 columns, has LibreOffice (headless) save it as .xls, then runs the engine
on both files (best of three, each in its own process) and xlrd once.
Needs: python3-xlsxwriter, python3-xlrd, libreoffice. (`xls_bench.py --xlrd FILE` is
xlrd's run alone, one JSON line.)
"""
import json
import os
import resource
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def run(cmd):
    out = subprocess.run(cmd, check=True, capture_output=True, text=True).stdout
    return json.loads(out.strip().splitlines()[-1])


def best_of(cmd, times):
    return min((run(cmd) for _ in range(times)), key=lambda r: r["cpu_seconds"])


def xlrd_read(path):
    """xlrd reading every cell's value and format, the merged areas and the sizes."""
    import xlrd
    start = time.perf_counter()
    book = xlrd.open_workbook(path, formatting_info=True)
    cells = 0
    checksum = 0
    for sheet in book.sheets():
        for r in range(sheet.nrows):
            info = sheet.rowinfo_map.get(r)
            checksum += info.height if info else 0
            for c in range(sheet.ncols):
                cell = sheet.cell(r, c)
                xf = book.xf_list[cell.xf_index]
                font = book.font_list[xf.font_index]
                checksum += font.height + xf.border.top_line_style + xf.background.fill_pattern
                cells += cell.ctype != xlrd.XL_CELL_EMPTY
        checksum += len(sheet.merged_cells) + len(sheet.colinfo_map)
    print(json.dumps({"program": "xlrd", "seconds": time.perf_counter() - start,
                      "cpu_seconds": time.process_time(),
                      "peak_mib": resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024,
                      "cells": cells, "checksum": checksum}))


def main():
    if sys.argv[1] == "--xlrd":
        xlrd_read(sys.argv[2])
        return
    build = sys.argv[1]
    out = sys.argv[2] if len(sys.argv) > 2 else build
    xlsx = os.path.join(out, "bench_xls.xlsx")
    xls = os.path.join(out, "bench_xls.xls")
    if not os.path.exists(xls):
        print(f"making {xls} ...", flush=True)
        # Each program runs in its own process: a process's peak memory is its own.
        subprocess.run(["/usr/bin/python3", os.path.join(HERE, "make_bench_workbook.py"), xlsx,
                        "65536", "16"], check=True)
        profile = tempfile.mkdtemp()
        subprocess.run(["soffice", "--headless", "--norestore", "-env:UserInstallation=file://" + profile,
                        "--convert-to", "xls:MS Excel 97", "--outdir", out, xlsx],
                       check=True, capture_output=True)
    engine = os.path.join(build, "engine_bench")
    from_xlsx = best_of([engine, xlsx], 3)
    from_xls = best_of([engine, xls], 3)
    with_xlrd = run(["/usr/bin/python3", os.path.abspath(__file__), "--xlrd", xls])
    print(f"workbook: 65,536 x 16 styled; .xlsx {os.path.getsize(xlsx) / 2**20:.1f} MiB, "
          f".xls {os.path.getsize(xls) / 2**20:.1f} MiB")
    print(f"{'reader':<22}{'seconds':>10}{'cpu s':>10}{'peak MiB':>11}{'cells':>10}")
    for name, r in (("engine, .xlsx", from_xlsx), ("engine, .xls", from_xls), ("xlrd, .xls", with_xlrd)):
        print(f"{name:<22}{r['seconds']:>10.3f}{r['cpu_seconds']:>10.3f}{r['peak_mib']:>11.1f}"
              f"{r.get('cells', 0):>10}")
    print(f".xls read / .xlsx read: {from_xls['seconds'] / from_xlsx['seconds']:.2f}; "
          f"xlrd / engine on .xls: {with_xlrd['seconds'] / from_xls['seconds']:.1f}")


if __name__ == "__main__":
    main()
