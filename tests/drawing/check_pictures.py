#!/usr/bin/python3
"""Pictures in every drawing the host writes, checked with independent readers.

The pictures.xlsx fixture has one picture of each format the engine decodes (JPEG, GIF,
BMP, PNG), each split into two colours. One import draws it as DXF, PDF, SVG and PNG:
- the PNG shows each picture's two colours at its frame (Pillow reads the PNG);
- the PDF embeds each picture at its own pixel size (poppler's pdfimages lists them);
- the SVG embeds each picture as a data URI and names no picture file;
- the DXF (ezdxf) names each picture relatively, in NAME-pics beside it, a copy of the
  workbook's own picture readable as any new file is, with its true size in pixels.
Then the pictures must outlive later imports: a drawing made before keeps its copies
while other workbooks are imported into the same install root; drawing the same DXF
again from a workbook without pictures removes its NAME-pics, and nothing beside it.

usage: check_pictures.py TBLN OUT_DIR FIXTURES EXAMPLES"""
import json
import os
import re
import shutil
import stat
import subprocess
import sys
import zipfile

import ezdxf
from PIL import Image

from check_dxf import Grid, records

HERE = os.path.dirname(os.path.abspath(__file__))


def main():
    tbln, out, fixtures, examples = sys.argv[1:5]
    sys.path.insert(0, fixtures)
    from make_picture_fixtures import PICTURES

    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    os.umask(0o027)
    root = os.path.join(out, "root")
    book = os.path.join(fixtures, "pictures.xlsx")
    problems = []

    def run(workbook, sheet, *drawings):
        args = [tbln, "--root", root, "build-cell", "--file", workbook, "--sheet", sheet]
        for d in drawings:
            args += ["--" + os.path.splitext(d)[1][1:], os.path.join(out, d)]
        p = subprocess.run(args, capture_output=True, text=True)
        if p.returncode != 0:
            sys.exit(f"tbln failed on {workbook}: {p.stderr}")
        return json.loads(p.stdout)

    rec = run(book, "Pictures", "p.dxf", "p.pdf", "p.svg", "p.png")
    pictures = records(rec, "xlsImage0")
    if len(pictures) != len(PICTURES):
        sys.exit(f"{len(pictures)} pictures for {len(PICTURES)}")
    media = media_of(book)
    ox, oy = Grid(rec).origin
    png = Image.open(os.path.join(out, "p.png")).convert("RGB")
    pdf_images = subprocess.run(["pdfimages", "-list", os.path.join(out, "p.pdf")],
                                capture_output=True, text=True, check=True).stdout
    pdf_sizes = [tuple(int(v) for v in line.split()[3:5]) for line in pdf_images.splitlines()[2:]]
    svg = open(os.path.join(out, "p.svg")).read()
    defs = {d.dxf.filename: d for d in ezdxf.readfile(os.path.join(out, "p.dxf")).objects.query("IMAGEDEF")}
    for (fmt, size, left, right, cell), p in zip(PICTURES, pictures):
        # 14 points of margin, 2 pixels a point; each half's middle.
        y = 2 * (14 + p["top"] - oy + p["height"] / 2)
        for colour, quarter in ((left, 0.25), (right, 0.75)):
            x = 2 * (14 + p["left"] - ox + p["width"] * quarter)
            got = png.getpixel((int(x), int(y)))
            if max(abs(a - b) for a, b in zip(got, colour)) > 40:
                problems.append(f"{fmt}: PNG shows {got} at ({x:.0f}, {y:.0f}) instead of {colour}")
        if size not in pdf_sizes:
            problems.append(f"{fmt}: no {size} image in the PDF ({pdf_sizes})")
        name = "p-pics/" + p["name"]
        d = defs.get(name)
        if d is None:
            problems.append(f"{fmt}: no image definition named {name} ({list(defs)})")
            continue
        if tuple(int(v) for v in d.dxf.image_size)[:2] != size:
            problems.append(f"{fmt}: DXF size {tuple(d.dxf.image_size)} instead of {size}")
        problems += copy_problems(os.path.join(out, name), media[p["name"].split(".")[0]], 0o640)
    embedded = re.findall(r'href="data:image/png;base64,', svg)
    if len(embedded) != len(PICTURES) or "pics/" in svg:
        problems.append(f"SVG: {len(embedded)} embedded pictures, names a file: {'pics/' in svg}")

    # A drawing keeps its pictures through later imports into the same root.
    door = os.path.join(examples, "door_schedule.xlsx")
    run(door, "Doors", "d1.dxf")
    open(os.path.join(out, "beside.txt"), "w").close()
    run(book, "Pictures")
    run(os.path.join(fixtures, "capture.xlsx"), "Schedule", "p.dxf")
    if os.listdir(os.path.join(root, "pics")):
        problems.append("the last import left pictures in the root's pictures folder")
    d1 = ezdxf.readfile(os.path.join(out, "d1.dxf")).objects.query("IMAGEDEF")
    if [d.dxf.filename for d in d1] != ["d1-pics/image1.png"]:
        problems.append(f"d1.dxf names {[d.dxf.filename for d in d1]}")
    problems += copy_problems(os.path.join(out, "d1-pics", "image1.png"), media_of(door)["image1"], 0o640)
    left = sorted(os.listdir(out))
    if left != ["beside.txt", "d1-pics", "d1.dxf", "p.dxf", "p.pdf", "p.png", "p.svg", "root"]:
        problems.append(f"beside the drawings: {left}")
    if problems:
        sys.exit("\n".join(problems))
    print("pictures: ok")


def media_of(book):
    """The workbook's picture files by name without extension (image1, image2...)."""
    with zipfile.ZipFile(book) as z:
        return {os.path.splitext(os.path.basename(n))[0]: z.read(n)
                for n in z.namelist() if n.startswith("xl/media/")}


def copy_problems(path, data, mode):
    if not os.path.isfile(path):
        return [f"{path} is missing"]
    problems = []
    if open(path, "rb").read() != data:
        problems.append(f"{path} is not the workbook's picture")
    if stat.S_IMODE(os.stat(path).st_mode) != mode:
        problems.append(f"{path} has mode {oct(os.stat(path).st_mode)}")
    return problems


if __name__ == "__main__":
    main()
