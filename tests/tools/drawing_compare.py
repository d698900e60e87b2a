#!/usr/bin/python3
"""Compares the host's pictures of imported ranges with LibreOffice's printout of the same cells.

Each range is imported with `tbln build-cell --png` (144 pixels per inch). LibreOffice
(driven through python3-uno) opens the same workbook, prints only that sheet with its print
range set to the same cells, on a page without margins, headers or grid at 100 %, to PDF;
pdftoppm renders that at 144 pixels per inch too. Both pictures then have the same scale,
but not the same cell boxes: LibreOffice sizes columns by its own rule, so each picture is
cut along its own program's boxes (ours from the records, LibreOffice's from its column
widths and row heights) and the boxes are compared one by one, which is robust against
that and against small differences of glyph shapes:

- fill: the colour most of a box shows, per channel, at most FILL_TOL apart;
- ink: the share of a box's inside that differs from that colour (its text), at most
  INK_TOL apart — a text cut short, running on where it should stop, or "###" instead of
  a number, moves it by more (a box we fill with "#" is left out: LibreOffice shows three
  where the spreadsheet fills the cell);
- borders: for every piece of the grid between two boxes (and around the range), whether a
  line shows (pixels unlike the colours of both boxes beside it, unbroken over LINE_RUN of
  its length): the same in both;
- widths: the ratio of LibreOffice's range width and height to ours, reported only.

The built-in ranges are the door schedule of examples/ and three workbooks written here with
python3-xlsxwriter: a form filled white with labels running over empty cells, the spreadsheet's
text display rules (overflow and its stops, "###", General numbers shortened to the column,
long words broken in wrapped cells) and coloured borders, fills, patterns and fonts.
`--book BOOK SHEET [RANGE]` compares another range instead (none: tbln's default range);
`--docx DOC` renders a Word document with `tbln parse-word --pdf` beside LibreOffice's PDF of
it (pictures only). `--pictures DIR` writes each comparison as a picture at 72 pixels per inch
in few colours (small enough to keep): ours, LibreOffice's, and for a range ezdxf's drawing of
our DXF of it (python3-ezdxf, python3-matplotlib), left to right.

usage: drawing_compare.py TBLN [--book BOOK SHEET [RANGE]]... [--docx DOC]... [--pictures DIR]
                          [--keep DIR]
Prints a line per range and exits 1 when any range is out of tolerance.
Needs: libreoffice-calc-nogui and -writer-nogui, python3-uno, poppler-utils, python3-numpy,
python3-pil, python3-xlsxwriter.
"""
import argparse
import json
import os
import re
import subprocess
import sys
import tempfile
import time

import numpy as np
from PIL import Image

PX = 2.0                 # pixels per point at 144 pixels per inch
OUR_MARGIN = 14 * PX     # the white margin around the host's pictures
INSET = 4                # pixels kept off a box's edges (its border lines) when reading it
FILL_TOL = 24            # per channel, of 255
INK_TOL = 0.08           # share of a box's inside
LINE_RUN = 0.8           # share of a grid edge's length a line runs unbroken
INK_STEP = 96            # how far a pixel must be from the box's colour to count as ink


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("tbln")
    parser.add_argument("--book", nargs="+", action="append", default=[], metavar="ARG")
    parser.add_argument("--docx", action="append", default=[])
    parser.add_argument("--pictures")
    parser.add_argument("--keep")
    args = parser.parse_args()
    here = os.path.dirname(os.path.abspath(__file__))
    work = args.keep or tempfile.mkdtemp(prefix="tbln-compare-")
    os.makedirs(work, exist_ok=True)
    if args.pictures:
        os.makedirs(args.pictures, exist_ok=True)
    cases = []
    for b in args.book:
        if len(b) not in (2, 3):
            parser.error("--book takes BOOK SHEET [RANGE]")
        cases.append((os.path.abspath(b[0]), b[1], b[2] if len(b) == 3 else None))
    if not cases and not args.docx:
        cases.append((os.path.join(here, "..", "..", "examples", "door_schedule.xlsx"), "Doors", None))
        for make in (make_form, make_display_rules, make_colours):
            path = os.path.join(work, make.__name__[5:] + ".xlsx")
            cases.append((path, make(path), None))
    office = Office(work)
    failed = False
    try:
        print(f"{'range':44} {'boxes':>5} {'fill>':>5} {'ink mean/max':>13} {'ink>':>4} "
              f"{'edges':>5} {'edge>':>5} {'LO/ours w,h':>11}")
        for book, sheet, rng in cases:
            failed |= not compare_range(args.tbln, office, work, book, sheet, rng, args.pictures)
        for doc in args.docx:
            compare_document(args.tbln, office, work, os.path.abspath(doc), args.pictures)
    finally:
        office.close()
    print(f"tolerances: fill {FILL_TOL}/255 a channel, ink {INK_TOL:.0%} of a box, "
          f"borders the same on every edge; {'FAILED' if failed else 'all within'}")
    sys.exit(1 if failed else 0)


# ---------------------------------------------------------------- the workbooks written here

def make_form(path):
    """A form as many are made: every cell filled white, labels running over empty cells,
    boxed input fields, a merged centred title."""
    import xlsxwriter
    wb = xlsxwriter.Workbook(path)
    ws = wb.add_worksheet("Form")
    white = {"pattern": 1, "bg_color": "#FFFFFF", "font_name": "Arial", "font_size": 10}
    plain = wb.add_format(white)
    box = wb.add_format(dict(white, border=1))
    title = wb.add_format(dict(white, bold=True, font_size=14, align="center", valign="vcenter"))
    ws.set_column(0, 7, 11)
    for r in range(18):
        for c in range(8):
            ws.write_blank(r, c, None, plain)
    ws.merge_range(0, 0, 0, 7, "Application for a site permit", title)
    ws.set_row(0, 30)
    labels = ["Name of the applicant", "National insurance number", "Address of the site",
              "I would like to apply for the following works", "Date of the application"]
    for i, label in enumerate(labels):
        r = 2 + 2 * i
        ws.write_string(r, 0, label, plain)
        for c in range(4, 8):
            ws.write_blank(r, c, None, box)
    ws.write_string(13, 0, "Signature of the applicant, who declares the above true", plain)
    ws.write_string(15, 0, "Stops at", plain)
    ws.write_string(15, 1, "a neighbour that holds a value", plain)
    ws.write_string(16, 7, "Right-aligned runs left", wb.add_format(dict(white, align="right")))
    wb.close()
    return "Form"


def make_display_rules(path):
    """What a cell shows beyond its value: overflow left, right and both ways and its stop
    at a neighbour with content, "###" for numbers and dates too wide for their column,
    General numbers shortened to the column, long words broken in wrapped cells."""
    import xlsxwriter
    wb = xlsxwriter.Workbook(path)
    ws = wb.add_worksheet("Rules")
    ws.set_column(0, 1, 9)
    ws.set_column(2, 2, 5)
    ws.set_column(3, 7, 9)
    f = wb.add_format({"font_name": "Arial", "font_size": 10, "border": 1})
    right = wb.add_format({"font_name": "Arial", "font_size": 10, "align": "right"})
    centre = wb.add_format({"font_name": "Arial", "font_size": 10, "align": "center"})
    plain = wb.add_format({"font_name": "Arial", "font_size": 10})
    wrap = wb.add_format({"font_name": "Arial", "font_size": 10, "text_wrap": True, "border": 1})
    date = wb.add_format({"font_name": "Arial", "font_size": 10, "num_format": "dd mmmm yyyy"})
    fixed = wb.add_format({"font_name": "Arial", "font_size": 10, "num_format": "#,##0.00"})
    ws.write_string(0, 0, "A long label runs to the right over empty cells", plain)
    ws.write_string(1, 0, "This one stops at the next value", plain)
    ws.write_string(1, 2, "x", plain)
    ws.write_string(2, 7, "Aligned right, it runs to the left", right)
    ws.write_string(3, 3, "Centred, it runs both ways", centre)
    ws.write_number(4, 2, 123456789, fixed)
    ws.write_number(5, 2, 1 / 3, plain)
    ws.write_number(5, 4, 2 / 3, plain)
    ws.write_number(5, 5, 123456789012, plain)
    ws.write_number(6, 2, 45000, date)
    ws.write_number(6, 4, 45000, date)
    ws.write_string(7, 1, "Pneumonoultramicroscopic", wrap)
    ws.write_string(7, 3, "a wrapped cell with several words", wrap)
    ws.set_row(7, 54)
    for c in range(5):
        ws.write_number(9, c, (c + 1) * 1.5, f)
    ws.write_string(10, 0, "Label over bordered empties", plain)
    for c in range(1, 4):
        ws.write_blank(10, c, None, f)
    wb.close()
    return "Rules"


def make_colours(path):
    """Colours a drafter expects to keep: white separator borders on coloured fills,
    coloured borders and fonts, pattern fills (solid, gray125, lightUp, darkGrid) with and
    without their own colours."""
    import xlsxwriter
    wb = xlsxwriter.Workbook(path)
    ws = wb.add_worksheet("Colours")
    ws.set_column(0, 5, 12)
    head = wb.add_format({"bold": True, "font_color": "#FFFFFF", "bg_color": "#1F4E79",
                          "pattern": 1, "border": 2, "border_color": "#FFFFFF", "align": "center"})
    band = [wb.add_format({"bg_color": c, "pattern": 1, "bottom": 1, "bottom_color": "#FFFFFF",
                           "right": 1, "right_color": "#FFFFFF", "font_color": fc})
            for c, fc in (("#DDEBF7", "#C00000"), ("#BDD7EE", "#375623"))]
    for c, name in enumerate(["Item", "Qty", "Unit", "Rate", "Total", "Note"]):
        ws.write_string(0, c, name, head)
    for r in range(1, 7):
        for c in range(6):
            fmt = band[r % 2]
            if c in (1, 3, 4):
                ws.write_number(r, c, r * (c + 1) * 2.5, fmt)
            else:
                ws.write_string(r, c, f"row {r}" if c == 0 else ("" if c == 5 else "m"), fmt)
    patterns = [(1, "#FFC000", None), (17, None, None), (14, "#FF0000", "#FFFF00"),
                (11, "#0070C0", None), (1, "#7030A0", None)]
    for i, (pattern, fg, bg) in enumerate(patterns):
        fmt = {"pattern": pattern, "border": 1, "border_color": "#00B050"}
        if fg:
            fmt["bg_color" if pattern == 1 else "fg_color"] = fg
        if bg:
            fmt["bg_color"] = bg
        ws.write_blank(8, i, None, wb.add_format(fmt))
    ws.write_string(9, 0, "Green borders above, patterns inside", wb.add_format({"font_color": "#00B050"}))
    wb.close()
    return "Colours"


# ---------------------------------------------------------------- LibreOffice

class Office:
    """One headless LibreOffice for all the conversions, on a profile of its own."""

    def __init__(self, work):
        import uno
        self.uno = uno
        pipe = f"tbln_compare_{os.getpid()}"
        self.process = subprocess.Popen(
            ["soffice", "-env:UserInstallation=file://" + os.path.join(work, "profile"), "--headless",
             "--invisible", "--norestore", "--nologo", f"--accept=pipe,name={pipe};urp;"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
        for _ in range(240):
            try:
                remote = resolver.resolve(f"uno:pipe,name={pipe};urp;StarOffice.ComponentContext")
                break
            except Exception:  # not listening yet
                time.sleep(0.5)
        else:
            raise SystemExit("LibreOffice did not start")
        self.desktop = remote.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", remote)

    def prop(self, name, value):
        p = self.uno.createUnoStruct("com.sun.star.beans.PropertyValue")
        p.Name, p.Value = name, value
        return p

    def load(self, path):
        return self.desktop.loadComponentFromURL(self.uno.systemPathToFileUrl(path), "_blank", 0,
                                                 (self.prop("Hidden", True),))

    def range_pdf(self, book, sheet_name, rows, cols, pdf):
        """Prints rows x cols (0-based, inclusive) of the sheet alone to `pdf` and returns
        LibreOffice's column widths and row heights over them, in points (0: hidden)."""
        doc = self.load(book)
        try:
            sheets = doc.Sheets
            sheet = sheets.getByName(sheet_name)
            sheet.IsVisible = True
            for name in sheets.ElementNames:
                if name != sheet_name:
                    sheets.getByName(name).IsVisible = False  # hidden sheets are not printed
            cells = sheet.getCellRangeByPosition(cols[0], rows[0], cols[1], rows[1])
            sheet.setPrintAreas((cells.RangeAddress,))
            sheet.setPrintTitleRows(False)
            sheet.setPrintTitleColumns(False)
            style = doc.StyleFamilies.getByName("PageStyles").getByName(sheet.PageStyle)
            size = cells.Size
            for key, value in (("HeaderIsOn", False), ("FooterIsOn", False), ("LeftMargin", 0),
                               ("RightMargin", 0), ("TopMargin", 0), ("BottomMargin", 0),
                               ("ScaleToPagesX", 0), ("ScaleToPagesY", 0), ("ScaleToPages", 0),
                               ("PageScale", 100), ("PrintGrid", False), ("PrintHeaders", False),
                               ("PrintCharts", True), ("PrintDrawing", True), ("PrintObjects", True),
                               ("CenterHorizontally", False), ("CenterVertically", False),
                               ("Width", size.Width + 2000), ("Height", size.Height + 2000)):
                style.setPropertyValue(key, value)
            to_pt = 72 / 2540
            widths = [sheet.Columns.getByIndex(c).Width * to_pt if sheet.Columns.getByIndex(c).IsVisible else 0
                      for c in range(cols[0], cols[1] + 1)]
            heights = [sheet.Rows.getByIndex(r).Height * to_pt if sheet.Rows.getByIndex(r).IsVisible else 0
                       for r in range(rows[0], rows[1] + 1)]
            doc.storeToURL(self.uno.systemPathToFileUrl(pdf), (self.prop("FilterName", "calc_pdf_Export"),))
            return widths, heights
        finally:
            doc.close(True)

    def document_pdf(self, path, pdf):
        doc = self.load(path)
        try:
            doc.storeToURL(self.uno.systemPathToFileUrl(pdf), (self.prop("FilterName", "writer_pdf_Export"),))
        finally:
            doc.close(True)

    def close(self):
        try:
            self.desktop.terminate()
        except Exception:  # the bridge goes away as it ends
            pass
        try:
            self.process.wait(timeout=60)
        except subprocess.TimeoutExpired:
            self.process.kill()


def render_pdf(pdf, stem, dpi=144, first=1, last=1):
    subprocess.run(["pdftoppm", "-r", str(dpi), "-f", str(first), "-l", str(last), "-png", pdf, stem],
                   check=True, timeout=300)
    pages = sorted(p for p in os.listdir(os.path.dirname(stem)) if p.startswith(os.path.basename(stem) + "-"))
    return [os.path.join(os.path.dirname(stem), p) for p in pages]


# ---------------------------------------------------------------- the comparison

class Boxes:
    """Where a program put each visible box of the range, in pixels of its picture."""

    def __init__(self, xs, ys, x0, y0):
        self.xs = [x0 + v * PX for v in xs]  # column edges, one more than the columns
        self.ys = [y0 + v * PX for v in ys]

    def box(self, r0, c0, r1, c1):
        return self.xs[c0], self.ys[r0], self.xs[c1 + 1], self.ys[r1 + 1]


def edges_of(sizes):
    out = [0.0]
    for s in sizes:
        out.append(out[-1] + s)
    return out


def our_sizes(rec):
    """Column widths and row heights of the range in the records (0: hidden), the boxes
    (first row, col, last row, col; 0-based in the range) and where the range starts in
    our picture."""
    cells = rec["dgnCell0"]
    items = cells["items"]
    r_lo, c_lo = cells["rows"][0], cells["cols"][0]
    sr, er, sc, ec = rec["startRow0"], rec["endRow0"], rec["startCol0"], rec["endCol0"]

    def at(r, c):
        x = items[r - r_lo][c - c_lo]
        return x if x and not x["hidden"] and x["row"] != 0 else None

    widths = []
    for c in range(sc, ec + 1):
        found = [at(r, c) for r in range(sr, er + 1) if at(r, c)]
        widths.append(found[0]["colWidth"] if found else 0)
    heights = []
    for r in range(sr, er + 1):
        found = [at(r, c) for c in range(sc, ec + 1) if at(r, c)]
        heights.append(found[0]["rowHeight"] if found else 0)
    boxes, values = [], {}
    for r in range(sr, er + 1):
        for c in range(sc, ec + 1):
            x = at(r, c)
            if not x:
                continue
            if x["isMerged"]:
                if (x["rowFrom"], x["colFrom"]) != (r, c):
                    continue
                boxes.append((r - sr, c - sc, min(x["rowTo"], er) - sr, min(x["colTo"], ec) - sc))
            else:
                boxes.append((r - sr, c - sc, r - sr, c - sc))
            values[boxes[-1]] = x["Value"]
    # Shapes and pictures up or left of the range move it right and down in the picture.
    min_x = min_y = 0.0
    ox = sum(at(r_lo, c)["colWidth"] for c in range(c_lo, sc) if at(r_lo, c))
    oy = sum(at(r, c_lo)["rowHeight"] for r in range(r_lo, sr) if at(r, c_lo))
    for name in ("xlsShape0", "xlsImage0"):
        for s in (rec.get(name) or {}).get("items", []):
            if s and s.get("top", -1000) != -1000:
                min_x, min_y = min(min_x, s["left"] - ox), min(min_y, s["top"] - oy)
    return widths, heights, boxes, values, (OUR_MARGIN - min_x * PX, OUR_MARGIN - min_y * PX)


def inside(img, box, inset=INSET):
    x0, y0, x1, y1 = (int(round(v)) for v in box)
    if x1 - x0 <= 2 * inset + 1 or y1 - y0 <= 2 * inset + 1:
        return None
    return img[y0 + inset:y1 - inset, x0 + inset:x1 - inset]


def background(part):
    return np.median(part.reshape(-1, 3), axis=0)


def ink(part, bg):
    return float((np.abs(part.astype(int) - bg).max(axis=2) > INK_STEP).mean())


def edge_share(img, a, b, bg_a, bg_b, vertical):
    """Whether a line shows along the grid edge from a to b (pixels): on one of the pixel
    lines within 2 of the edge, a run over at least LINE_RUN of its length of pixels unlike
    both boxes' colours. A text running over the edge crosses it in short pieces only."""
    (x0, y0), (x1, y1) = a, b
    h, w, _ = img.shape
    if vertical:
        x = int(round(x0))
        lo, hi = int(round(y0)) + INSET, int(round(y1)) - INSET
        strip = img[max(lo, 0):min(hi, h), max(x - 2, 0):min(x + 3, w)]
    else:
        y = int(round(y0))
        lo, hi = int(round(x0)) + INSET, int(round(x1)) - INSET
        strip = img[max(y - 2, 0):min(y + 3, h), max(lo, 0):min(hi, w)].transpose(1, 0, 2)
    if hi - lo < 4 or strip.size == 0:
        return None
    s = strip.astype(int)
    unlike = (np.abs(s - bg_a).max(axis=2) > INK_STEP) & (np.abs(s - bg_b).max(axis=2) > INK_STEP)
    best = 0
    for line in unlike.T:
        run = longest = 0
        for v in line:
            run = run + 1 if v else 0
            longest = max(longest, run)
        best = max(best, longest)
    return best >= LINE_RUN * (hi - lo)


def compare_range(tbln, office, work, book, sheet, rng, pictures):
    name = re.sub(r"[^A-Za-z0-9.-]+", "_", os.path.splitext(os.path.basename(book))[0] + "_" + sheet).strip("_")
    ours_png = os.path.join(work, name + "_ours.png")
    env = dict(os.environ, QUORVEX_ROOT=os.path.join(work, name + "_root"))
    args = [tbln, "build-cell", "--file", book, "--sheet", sheet, "--png", ours_png]
    dxf = os.path.join(work, name + "_ours.dxf")
    if pictures:
        args += ["--dxf", dxf]
    if rng:
        args += ["--range", rng]
    run = subprocess.run(args, env=env, capture_output=True, text=True, timeout=600)
    if run.returncode != 0:
        print(f"{name}: tbln failed: {run.stderr.strip()}")
        return False
    rec = json.loads(run.stdout)
    widths, heights, boxes, values, (ox, oy) = our_sizes(rec)
    rows = (rec["startRow0"] - 1, rec["endRow0"] - 1)
    cols = (rec["startCol0"] - 1, rec["endCol0"] - 1)
    lo_pdf = os.path.join(work, name + "_lo.pdf")
    lo_widths, lo_heights = office.range_pdf(book, sheet, rows, cols, lo_pdf)
    lo_png = render_pdf(lo_pdf, os.path.join(work, name + "_lo"))[0]
    ours = np.asarray(Image.open(ours_png).convert("RGB"))
    lo = np.asarray(Image.open(lo_png).convert("RGB"))
    our_boxes = Boxes(edges_of(widths), edges_of(heights), ox, oy)
    lo_boxes = Boxes(edges_of(lo_widths), edges_of(lo_heights), 0, 0)

    fills_off, inks, inks_off, edges, edges_off, notes, hashes = 0, [], 0, 0, 0, [], 0
    colour = {}
    for b in boxes:
        a, l = inside(ours, our_boxes.box(*b)), inside(lo, lo_boxes.box(*b))
        if a is None or l is None:
            continue
        bg_a, bg_l = background(a), background(l)
        colour[b] = (bg_a, bg_l)
        if np.abs(bg_a - bg_l).max() > FILL_TOL:
            fills_off += 1
            notes.append(f"fill {cell_name(rows, cols, b)}: ours {bg_a.astype(int)}, LO {bg_l.astype(int)}")
        d = ink(a, bg_a) - ink(l, bg_l)
        if values[b] and set(values[b]) == {"#"}:
            # The spreadsheet fills a cell too narrow for its number with "#"; LibreOffice
            # shows three only.
            hashes += 1
            continue
        inks.append(abs(d))
        if abs(d) > INK_TOL:
            inks_off += 1
            notes.append(f"ink {cell_name(rows, cols, b)}: ours {ink(a, bg_a):.2f}, LO {ink(l, bg_l):.2f}")
    # Grid edges: each box's top and left side against the box before it, and the range's
    # bottom and right edges against the paper.
    white = np.array([255, 255, 255])
    owner = {}
    for b in boxes:
        for r in range(b[0], b[2] + 1):
            for c in range(b[1], b[3] + 1):
                owner[(r, c)] = b
    n_rows, n_cols = len(heights), len(widths)
    for r in range(n_rows + 1):
        for c in range(n_cols + 1):
            for vertical in (False, True):
                here = owner.get((r, c))
                before = owner.get((r - 1, c) if not vertical else (r, c - 1))
                if here is None and before is None or here is before:
                    continue
                if vertical and r >= n_rows or not vertical and c >= n_cols:
                    continue
                shares = []
                for img, bx in ((ours, our_boxes), (lo, lo_boxes)):
                    i = 0 if img is ours else 1
                    bg_h = colour[here][i] if here in colour else white
                    bg_b = colour[before][i] if before in colour else white
                    if vertical:
                        a, b2 = (bx.xs[c], bx.ys[r]), (bx.xs[c], bx.ys[r + 1])
                    else:
                        a, b2 = (bx.xs[c], bx.ys[r]), (bx.xs[c + 1], bx.ys[r])
                    shares.append(edge_share(img, a, b2, bg_h, bg_b, vertical))
                if None in shares:
                    continue
                edges += 1
                if shares[0] != shares[1]:
                    edges_off += 1
                    side = "left" if vertical else "top"
                    notes.append(f"border {side} of {cell_name(rows, cols, (r, c, r, c))}: "
                                 f"ours {'a' if shares[0] else 'no'} line, LO {'a' if shares[1] else 'no'} line")
    ratio_w = sum(lo_widths) / max(sum(widths), 1e-9)
    ratio_h = sum(lo_heights) / max(sum(heights), 1e-9)
    ok = fills_off == 0 and inks_off == 0 and edges_off == 0
    label = f"{name} {a1(rows, cols)}"
    print(f"{label[:44]:44} {len(inks):5} {fills_off:5} {np.mean(inks) if inks else 0:6.3f}/"
          f"{max(inks) if inks else 0:5.3f} {inks_off:4} {edges:5} {edges_off:5} "
          f"{ratio_w:5.3f},{ratio_h:5.3f}{'' if ok else '  OUT'}")
    if hashes:
        print(f"    {hashes} boxes of '#' left out: the spreadsheet fills the cell, LibreOffice shows ###")
    for n in notes[:12]:
        print("    " + n)
    if len(notes) > 12:
        print(f"    ... {len(notes) - 12} more")
    if pictures:
        side_by_side([ours_png, lo_png, dxf_picture(dxf)], os.path.join(pictures, name + ".png"))
    return ok


def dxf_picture(dxf):
    """ezdxf's drawing of our DXF (its matplotlib backend), at 144 pixels per inch."""
    import logging
    import ezdxf
    from ezdxf.addons.drawing import matplotlib as backend
    logging.getLogger("matplotlib.font_manager").setLevel(logging.ERROR)
    png = os.path.splitext(dxf)[0] + "_ezdxf.png"
    backend.qsave(ezdxf.readfile(dxf).modelspace(), png, bg="#FFFFFF", dpi=144)
    return png


def compare_document(tbln, office, work, doc, pictures):
    name = os.path.splitext(os.path.basename(doc))[0]
    ours_pdf = os.path.join(work, name + "_ours.pdf")
    env = dict(os.environ, QUORVEX_ROOT=os.path.join(work, name + "_root"))
    run = subprocess.run([tbln, "parse-word", "--file", doc, "--pdf", ours_pdf], env=env,
                         capture_output=True, text=True, timeout=600)
    if run.returncode != 0:
        print(f"{name}: tbln failed: {run.stderr.strip()}")
        return
    lo_pdf = os.path.join(work, name + "_lo.pdf")
    office.document_pdf(doc, lo_pdf)
    pages = lambda pdf: int(next(l.split()[-1] for l in subprocess.run(
        ["pdfinfo", pdf], capture_output=True, text=True).stdout.splitlines() if l.startswith("Pages")))
    print(f"{name}: pages ours {pages(ours_pdf)}, LibreOffice {pages(lo_pdf)}")
    if pictures:
        a = render_pdf(ours_pdf, os.path.join(work, name + "_ours"), 72, 1, 2)
        b = render_pdf(lo_pdf, os.path.join(work, name + "_lo"), 72, 1, 2)
        for i, (x, y) in enumerate(zip(a, b), start=1):
            side_by_side([x, y], os.path.join(pictures, f"{name}-{i}.png"), scale=1)


def side_by_side(paths, out, scale=0.5):
    """The pictures next to each other on a grey ground, scaled, in few colours: left to
    right, or top to bottom when they are wide."""
    images = [Image.open(p).convert("RGB") for p in paths]
    images = [i.resize((max(1, int(i.width * scale)), max(1, int(i.height * scale))), Image.LANCZOS)
              for i in images]
    gap = 12
    wide = sum(i.width for i in images) > 2 * sum(i.height for i in images)
    if wide:
        size = (max(i.width for i in images) + 2 * gap, sum(i.height for i in images) + gap * (len(images) + 1))
    else:
        size = (sum(i.width for i in images) + gap * (len(images) + 1), max(i.height for i in images) + 2 * gap)
    sheet = Image.new("RGB", size, (150, 150, 150))
    at = gap
    for i in images:
        sheet.paste(i, (gap, at) if wide else (at, gap))
        at += (i.height if wide else i.width) + gap
    sheet.quantize(colors=16, dither=Image.Dither.NONE).save(out, optimize=True)


def a1(rows, cols):
    return f"{col_name(cols[0])}{rows[0] + 1}:{col_name(cols[1])}{rows[1] + 1}"


def cell_name(rows, cols, b):
    return f"{col_name(cols[0] + b[1])}{rows[0] + b[0] + 1}"


def col_name(c):
    s = ""
    c += 1
    while c:
        c, m = divmod(c - 1, 26)
        s = chr(65 + m) + s
    return s


if __name__ == "__main__":
    main()
