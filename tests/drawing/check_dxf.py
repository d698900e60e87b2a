#!/usr/bin/python3
"""Imports a workbook range with `tbln build-cell --dxf`, reads the DXF back with ezdxf
(an independent reader), audits it and checks its entities against the records the
command printed: one text per visible cell or merged area that shows characters, inside its box,
border segments exactly where the records have borders, one fill per run of side-by-side
boxes of a row with the same fill but none white (white is the paper's), pictures and shapes at their frames; and all fills before all
borders before all texts before shapes and pictures, so nothing covers a text.

usage: check_dxf.py TBLN OUT_DIR BOOK SHEET [RANGE]"""
import json
import os
import subprocess
import sys

import ezdxf
from ezdxf import bbox
from PIL import Image

MM = 72 / 25.4  # points per millimetre
TOL = 0.05      # points


def main():
    tbln, out_dir, book, sheet = sys.argv[1:5]
    rng = sys.argv[5] if len(sys.argv) > 5 else None
    os.makedirs(out_dir, exist_ok=True)
    name = os.path.splitext(os.path.basename(book))[0] + "_" + sheet + ("_" + rng.replace(":", "_") if rng else "")
    dxf_path = os.path.join(out_dir, name + ".dxf")
    env = dict(os.environ, QUORVEX_ROOT=os.path.join(out_dir, name + "_root"))
    args = [tbln, "build-cell", "--file", book, "--sheet", sheet, "--dxf", dxf_path]
    if rng:
        args += ["--range", rng]
    run = subprocess.run(args, env=env, capture_output=True, text=True)
    if run.returncode != 0:
        fail("tbln failed: " + run.stderr)
    rec = json.loads(run.stdout)
    doc = ezdxf.readfile(dxf_path)
    auditor = doc.audit()
    if auditor.errors:
        fail("audit errors: " + "; ".join(e.message for e in auditor.errors))
    msp = doc.modelspace()
    problems = []
    check_texts(rec, msp, problems)
    check_borders(rec, msp, problems)
    check_fills(rec, msp, problems)
    check_pictures(rec, msp, dxf_path, problems)
    check_shapes(rec, msp, problems)
    check_order(msp, problems)
    if problems:
        fail("\n".join(problems[:40]))
    print(name + ": ok")


def fail(message):
    print(message)
    sys.exit(1)


class Grid:
    """The records as the host macro reads them: heads of merged areas, visible rows
    and columns, and where each row and column lies."""

    def __init__(self, rec):
        cells = rec["dgnCell0"]
        self.r0, self.r1 = cells["rows"]
        self.c0, self.c1 = cells["cols"]
        self.items = cells["items"]
        self.range = (rec["startRow0"], rec["endRow0"], rec["startCol0"], rec["endCol0"])
        self.rows = [r for r in range(self.r0, self.r1 + 1)
                     if any(self.real(r, c) for c in range(self.c0, self.c1 + 1))]
        self.cols = [c for c in range(self.c0, self.c1 + 1)
                     if any(self.real(r, c) for r in range(self.r0, self.r1 + 1))]
        # Shapes and pictures are measured from the sheet's corner, cells from the walk's:
        # the size records before the walk say how far apart the two are.
        def size(r, c, name):
            x = self.at(r, c)
            return x[name] if x and not x["hidden"] else 0
        self.origin = (sum(size(self.r0, c, "colWidth") for c in range(self.c0, self.cols[0])),
                       sum(size(r, self.c0, "rowHeight") for r in range(self.r0, self.rows[0])))

    def at(self, r, c):
        if r < self.r0 or r > self.r1 or c < self.c0 or c > self.c1:
            return None
        return self.items[r - self.r0][c - self.c0]

    def real(self, r, c):
        x = self.at(r, c)
        return x if x and not x["hidden"] and x["row"] != 0 else None

    def head(self, r, c):
        x = self.real(r, c)
        if x and x["isMerged"]:
            return self.real(x["rowFrom"], x["colFrom"])
        return x

    def prev(self, seq, i):
        before = [x for x in seq if x < i]
        return before[-1] if before else None

    def next(self, seq, i):
        after = [x for x in seq if x > i]
        return after[0] if after else None

    def box(self, r, c):
        h = self.head(r, c)
        merged = h["isMerged"]
        w = h["mergedColWidth"] if merged else h["colWidth"]
        ht = h["mergedRowHeight"] if merged else h["rowHeight"]
        return (h["deltaX"], h["deltaY"], h["deltaX"] + w, h["deltaY"] + ht)

    def heads_in_range(self):
        sr, er, sc, ec = self.range
        for r in range(sr, er + 1):
            for c in range(sc, ec + 1):
                h = self.real(r, c)
                if h and (not h["isMerged"] or (h["rowFrom"], h["colFrom"]) == (r, c)):
                    yield r, c, h


def pt(x, y):
    """Drawing millimetres, y up, to sheet points from the walk's corner, y down."""
    return x * MM, -y * MM


def check_texts(rec, msp, problems):
    g = Grid(rec)
    texts = [pt(t.dxf.insert.x, t.dxf.insert.y) for t in msp.query("MTEXT[layer=='TBLN-TEXTS']")]
    expected = [(r, c, g.box(r, c)) for r, c, h in g.heads_in_range() if h["Value"].strip() != ""]
    if len(texts) != len(expected):
        problems.append(f"{len(texts)} texts for {len(expected)} non-empty cells")
    for r, c, (x0, y0, x1, y1) in expected:
        inside = [p for p in texts if x0 - TOL <= p[0] <= x1 + TOL and y0 - TOL <= p[1] <= y1 + TOL]
        if not inside:
            problems.append(f"no text inside the box of cell ({r}, {c})")


def side(h, name):
    return bool(h) and h["bd" + name] == 1


def expected_edges(g):
    """Unit pieces of the grid lines that must carry a border: (x0, y0, x1, y1)."""
    sr, er, sc, ec = g.range
    rows = [r for r in g.rows if sr <= r <= er]
    cols = [c for c in g.cols if sc <= c <= ec]
    xs, ys = {}, {}
    for r in rows:
        for c in cols:
            x = g.real(r, c)
            if x and not x["isMerged"]:
                xs.setdefault(c, (x["deltaX"], x["deltaX"] + x["colWidth"]))
                ys.setdefault(r, (x["deltaY"], x["deltaY"] + x["rowHeight"]))
    # Merged cells do not carry their own offsets: fill the gaps from their neighbours.
    for seq, pos, size in ((cols, xs, "colWidth"), (rows, ys, "rowHeight")):
        for i, k in enumerate(seq):
            if k not in pos:
                prev = pos[seq[i - 1]][1] if i else 0.0
                rr, cc = (rows[0], k) if pos is xs else (k, cols[0])
                pos[k] = (prev, prev + g.at(rr, cc)[size])
    edges = set()
    for r in rows:
        for c in cols:
            here = g.head(r, c)
            if not here:
                continue
            x0, x1 = xs[c]
            y0, y1 = ys[r]
            pr, pc = g.prev(g.rows, r), g.prev(g.cols, c)
            above = g.head(pr, c) if pr else None
            left = g.head(r, pc) if pc else None
            if above is not here and (side(here, "Up") or side(above, "Bottom")):
                edges.add(key(x0, y0, x1, y0))
            if left is not here and (side(here, "Left") or side(left, "Right")):
                edges.add(key(x0, y0, x0, y1))
            if r == rows[-1]:
                nr = g.next(g.rows, r)
                below = g.head(nr, c) if nr else None
                if side(here, "Bottom") or side(below, "Up"):
                    edges.add(key(x0, y1, x1, y1))
            if c == cols[-1]:
                nc = g.next(g.cols, c)
                right = g.head(r, nc) if nc else None
                if side(here, "Right") or side(right, "Left"):
                    edges.add(key(x1, y0, x1, y1))
    edges = {e for e in edges if e[0] != e[2] or e[1] != e[3]}  # hidden rows and columns
    return edges, sorted({v for p in xs.values() for v in p}), sorted({v for p in ys.values() for v in p})


def key(x0, y0, x1, y1):
    return tuple(round(v, 2) for v in (x0, y0, x1, y1))


def check_borders(rec, msp, problems):
    g = Grid(rec)
    expected, xs, ys = expected_edges(g)
    drawn = set()
    for line in msp.query("LINE[layer=='TBLN-BORDERS']"):
        x0, y0 = pt(line.dxf.start.x, line.dxf.start.y)
        x1, y1 = pt(line.dxf.end.x, line.dxf.end.y)
        if abs(y0 - y1) < TOL:  # horizontal: cut at every column line it crosses
            cuts = [x0] + [x for x in xs if x0 + TOL < x < x1 - TOL] + [x1]
            pieces = [key(a, y0, b, y0) for a, b in zip(cuts, cuts[1:])]
        elif abs(x0 - x1) < TOL:
            cuts = [y0] + [y for y in ys if y0 + TOL < y < y1 - TOL] + [y1]
            pieces = [key(x0, a, x0, b) for a, b in zip(cuts, cuts[1:])]
        else:
            problems.append(f"slanted border line {x0, y0, x1, y1}")
            continue
        for p in pieces:
            if p[0] == p[2] and p[1] == p[3]:
                continue
            if p in drawn:
                problems.append(f"border piece drawn twice: {p}")
            drawn.add(p)
    for p in sorted(expected - drawn):
        problems.append(f"missing border piece {p}")
    for p in sorted(drawn - expected):
        problems.append(f"border piece where the records have none: {p}")


def check_fills(rec, msp, problems):
    """One hatch for each run of side-by-side boxes of a row with the same fill."""
    g = Grid(rec)
    want, last = [], None
    for r, c, h in g.heads_in_range():
        color = h["bgColor"]
        if len(color) == 6 and color.upper() != "FFFFFF" and h["pattern"] not in ("none", ""):
            x0, y0, x1, y1 = g.box(r, c)
            fill = (color.upper(), h["pattern"])
            if want and last == fill and abs(want[-1][2] - x0) < TOL and \
                    abs(want[-1][1] - y0) < TOL and abs(want[-1][3] - y1) < TOL:
                want[-1] = (want[-1][0], y0, x1, y1)
            else:
                want.append((x0, y0, x1, y1))
            last = fill
        else:
            last = None
    got = []
    for hatch in msp.query("HATCH[layer=='TBLN-FILLS']"):
        e = bbox.extents([hatch])
        (x0, y1), (x1, y0) = pt(e.extmin.x, e.extmin.y), pt(e.extmax.x, e.extmax.y)
        got.append((x0, y0, x1, y1))
    if len(got) != len(want):
        problems.append(f"{len(got)} fills for {len(want)} runs of filled boxes")
    for hatch in msp.query("HATCH[layer=='TBLN-FILLS']"):
        if hatch.rgb == (255, 255, 255):
            problems.append("a white fill")
    for b in want:
        if not any(all(abs(u - v) < TOL for u, v in zip(b, f)) for f in got):
            problems.append(f"no fill on box {b}")


def check_order(msp, problems):
    """Fills, then borders, then texts, then shapes and pictures."""
    rank = {"TBLN-FILLS": 0, "TBLN-BORDERS": 1, "TBLN-TEXTS": 2, "TBLN-SHAPES": 3, "TBLN-PICTURES": 3}
    ranks = [rank[e.dxf.layer] for e in msp if e.dxf.layer in rank]
    if ranks != sorted(ranks):
        problems.append("entities out of order: fills, borders, texts, shapes and pictures")


def records(rec, name):
    a = rec[name]
    items = a["items"] if a else []
    return [] if len(items) == 1 and items[0]["top"] == -1000 else items


def check_pictures(rec, msp, dxf_path, problems):
    ox, oy = Grid(rec).origin
    pictures = records(rec, "xlsImage0")
    images = list(msp.query("IMAGE"))
    if len(images) != len(pictures):
        problems.append(f"{len(images)} images for {len(pictures)} pictures")
    for p, img in zip(pictures, images):
        x, y = pt(img.dxf.insert.x, img.dxf.insert.y)
        x, y = x + ox, y + oy
        w = img.dxf.u_pixel.x * img.dxf.image_size.x * MM
        h = img.dxf.v_pixel.y * img.dxf.image_size.y * MM
        if abs(x - p["left"]) > TOL or abs(y - h - p["top"]) > TOL or abs(w - p["width"]) > TOL:
            problems.append(f"picture {p['name']} at {x, y - h, w} instead of its frame")
        # The file is named relatively to the drawing's folder, and has the size in pixels
        # that the image definition gives (where Pillow decodes it: not a metafile).
        name = img.image_def.dxf.filename if img.image_def else ""
        path = os.path.join(os.path.dirname(dxf_path), name)
        if not name or os.path.isabs(name) or not os.path.isfile(path):
            problems.append(f"picture {p['name']} has no file beside the drawing: {name!r}")
            continue
        with Image.open(path) as picture:
            size = picture.size if picture.format in ("PNG", "JPEG", "GIF", "BMP", "TIFF") else None
        if size and tuple(int(v) for v in img.image_def.dxf.image_size)[:2] != size:
            problems.append(f"picture {name}: {tuple(img.image_def.dxf.image_size)} pixels, not {size}")


def check_shapes(rec, msp, problems):
    ox, oy = Grid(rec).origin
    shapes = records(rec, "xlsShape0")
    entities = list(msp.query("*[layer=='TBLN-SHAPES']"))
    for s in shapes:
        frame = (s["left"], s["top"], s["left"] + s["width"], s["top"] + s["height"])
        found = False
        for e in entities:
            if e.dxftype() == "MTEXT":
                continue
            ext = bbox.extents([e])
            (x0, y1), (x1, y0) = pt(ext.extmin.x, ext.extmin.y), pt(ext.extmax.x, ext.extmax.y)
            x0, x1, y0, y1 = x0 + ox, x1 + ox, y0 + oy, y1 + oy
            slack = 6 if s["shapeType"] == 9 else TOL + 0.5  # arrowheads reach past a line's ends
            if s["rotation"] == 0 and all(abs(u - v) <= slack for u, v in zip(frame, (x0, y0, x1, y1))):
                found = True
        if s["rotation"] == 0 and not found:
            problems.append(f"no shape drawn at the frame {frame}")


if __name__ == "__main__":
    main()
