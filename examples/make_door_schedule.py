#!/usr/bin/python3
"""Makes door_schedule.xlsx, the bundled example of the range import: a drafting
table with merged headers, borders of several weights, fills, wrapped and rotated
text, a hidden column, a centred note, a text box, a picture, and a door tag (a rounded
rectangle) with a leader line pointing at its row.

XlsxWriter writes text boxes and pictures but no other shapes, so the tag and the
leader are added to the drawing part XlsxWriter wrote, as DrawingML anchors.

Run with Debian's python3 (python3-xlsxwriter):
    /usr/bin/python3 examples/make_door_schedule.py
"""
import os
import shutil
import struct
import tempfile
import zipfile
import zlib

import xlsxwriter

HERE = os.path.dirname(os.path.abspath(__file__))


def png(width, height, rgb):
    """A plain one-colour PNG, written without any imaging library."""
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    rows = b"".join(b"\x00" + bytes(rgb) * width for _ in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


# The sheet's column widths in characters (C is hidden) and its row heights in points,
# from the first column and row; the others keep Calibri 11's 64 pixels and 15 points.
COLUMNS = [(7, False), (24, False), (10, True), (9, False), (9, False), (5, False), (12, False),
           (12, False)]
ROWS = {0: 28, 2: 40}
EMU_PER_PIXEL, EMU_PER_POINT = 9525, 12700


def column_left(col):
    """EMU from the sheet's left edge to column col (from 0)."""
    pixels = 0
    for c in range(col):
        chars, hidden = COLUMNS[c] if c < len(COLUMNS) else (None, False)
        pixels += 0 if hidden else 64 if chars is None else int(chars * 7 + 0.5) + 5
    return pixels * EMU_PER_PIXEL


def row_top(row):
    """EMU from the sheet's top edge to row row (from 0)."""
    return sum(ROWS.get(r, 15) for r in range(row)) * EMU_PER_POINT


def anchor(c1, x1, r1, y1, c2, x2, r2, y2, body):
    """A two-cell anchor (offsets in EMU) around a shape whose body holds {xfrm}: the
    frame in EMU that readers placing shapes by their frame rather than their anchor use."""
    def corner(tag, c, x, r, y):
        return ("<xdr:%s><xdr:col>%d</xdr:col><xdr:colOff>%d</xdr:colOff><xdr:row>%d</xdr:row>"
                "<xdr:rowOff>%d</xdr:rowOff></xdr:%s>" % (tag, c, x, r, y, tag))
    left, top = column_left(c1) + x1, row_top(r1) + y1
    frame = '<a:off x="%d" y="%d"/><a:ext cx="%d" cy="%d"/>' % (
        left, top, column_left(c2) + x2 - left, row_top(r2) + y2 - top)
    return ("<xdr:twoCellAnchor>" + corner("from", c1, x1, r1, y1) + corner("to", c2, x2, r2, y2)
            + body.replace("{xfrm}", frame) + "<xdr:clientData/></xdr:twoCellAnchor>")


BLACK_LINE = '<a:ln w="%d"><a:solidFill><a:srgbClr val="000000"/></a:solidFill>%s</a:ln>'

# The door tag: a rounded rectangle over J7:J8 holding the mark of the door it points at.
DOOR_TAG = anchor(9, 0, 6, 0, 10, 0, 8, 0, (
    '<xdr:sp macro="" textlink=""><xdr:nvSpPr><xdr:cNvPr id="10" name="Door tag"/>'
    '<xdr:cNvSpPr/></xdr:nvSpPr><xdr:spPr><a:xfrm>{xfrm}</a:xfrm>'
    '<a:prstGeom prst="roundRect"><a:avLst><a:gd name="adj" fmla="val 25000"/>'
    '</a:avLst></a:prstGeom><a:noFill/>' + BLACK_LINE % (12700, "") + '</xdr:spPr>'
    '<xdr:txBody><a:bodyPr anchor="ctr"/><a:lstStyle/><a:p><a:pPr algn="ctr"/><a:r>'
    '<a:rPr lang="en-US" sz="900" b="1"><a:latin typeface="Arial"/></a:rPr><a:t>D02</a:t>'
    '</a:r></a:p></xdr:txBody></xdr:sp>'))

# The leader: from the tag's left edge up to the D02 row, with an arrowhead at the table.
# Both flips make the line start at the lower right corner of its box.
LEADER = anchor(8, 95250, 4, 95250, 9, 0, 7, 0, (
    '<xdr:cxnSp macro=""><xdr:nvCxnSpPr><xdr:cNvPr id="11" name="Leader"/><xdr:cNvCxnSpPr/>'
    '</xdr:nvCxnSpPr><xdr:spPr><a:xfrm flipH="1" flipV="1">{xfrm}</a:xfrm>'
    '<a:prstGeom prst="line"><a:avLst/></a:prstGeom>'
    + BLACK_LINE % (9525, '<a:tailEnd type="triangle" w="med" len="med"/>') +
    '</xdr:spPr></xdr:cxnSp>'))


def add_shapes(path, drawing, anchors):
    """Appends anchors to a drawing part of the workbook at path; every other part is
    copied as it is."""
    fd, temp = tempfile.mkstemp(suffix=".xlsx", dir=os.path.dirname(path))
    os.close(fd)
    with zipfile.ZipFile(path) as src, zipfile.ZipFile(temp, "w", zipfile.ZIP_DEFLATED) as dst:
        for info in src.infolist():
            data = src.read(info.filename)
            if info.filename == drawing:
                data = data.replace(b"</xdr:wsDr>", "".join(anchors).encode() + b"</xdr:wsDr>")
            dst.writestr(info, data)
    shutil.move(temp, path)


def main():
    logo = os.path.join(HERE, "logo.png")
    with open(logo, "wb") as f:
        f.write(png(48, 24, (30, 80, 160)))
    book = os.path.join(HERE, "door_schedule.xlsx")
    wb = xlsxwriter.Workbook(book)
    ws = wb.add_worksheet("Doors")
    base = {"font_name": "Arial", "font_size": 9, "valign": "vcenter"}
    title = wb.add_format({**base, "bold": True, "font_size": 14, "align": "center",
                           "border": 5, "bg_color": "#D9E1F2"})
    group = wb.add_format({**base, "bold": True, "align": "center", "border": 2,
                           "bg_color": "#FCE4D6"})
    head = wb.add_format({**base, "bold": True, "align": "center", "text_wrap": True,
                          "border": 1, "bottom": 2})
    vertical = wb.add_format({**base, "bold": True, "rotation": 90, "align": "center",
                              "border": 1, "bottom": 2})
    cell = wb.add_format({**base, "border": 1})
    number = wb.add_format({**base, "border": 1, "num_format": "0.00"})
    wrap = wb.add_format({**base, "border": 1, "text_wrap": True, "valign": "top"})
    note = wb.add_format({**base, "italic": True, "center_across": True})
    hatched = wb.add_format({**base, "border": 1, "pattern": 6, "fg_color": "#C0C0C0"})

    ws.set_column("A:A", 7)
    ws.set_column("B:B", 24)
    ws.set_column("C:C", 10, None, {"hidden": True})  # internal cost code
    ws.set_column("D:E", 9)
    ws.set_column("F:F", 5)
    ws.set_column("G:H", 12)
    ws.set_row(0, 28)
    ws.set_row(2, 40)

    ws.merge_range("A1:H1", "DOOR SCHEDULE", title)
    ws.merge_range("A2:C2", "Door", group)
    ws.merge_range("D2:F2", "Size (m)", group)
    ws.merge_range("G2:H2", "Hardware", group)
    for col, text in enumerate(["Mark", "Description", "Cost code", "Width", "Height"]):
        ws.write(2, col, text, head)
    ws.write(2, 5, "Leaves", vertical)
    ws.write(2, 6, "Lock", head)
    ws.write(2, 7, "Closer", head)
    doors = [
        ("D01", "Single leaf timber door", "C-110", 0.9, 2.1, 1, "Mortice", "Overhead"),
        ("D02", "Double leaf steel door\nfire rated 60 min", "C-220", 1.8, 2.1, 2, "Panic bar",
         "Overhead"),
        ("D03", "Sliding glass door", "C-310", 2.4, 2.2, 2, "Hook", None),
        ("D04", "Access panel", "C-400", 0.6, 0.6, 1, None, None),
    ]
    for i, (mark, desc, code, w, h, leaves, lock, closer) in enumerate(doors):
        r = 3 + i
        ws.write(r, 0, mark, cell)
        ws.write(r, 1, desc, wrap if "\n" in desc else cell)
        ws.write(r, 2, code, cell)
        ws.write(r, 3, w, number)
        ws.write(r, 4, h, number)
        ws.write(r, 5, leaves, cell)
        ws.write(r, 6, lock or "", cell if lock else hatched)
        ws.write(r, 7, closer or "", cell if closer else hatched)
    ws.merge_range("G7:H7", "none (service door)", hatched)
    ws.write("A8", "Total", wb.add_format({**base, "bold": True, "top": 5}))
    for col in range(1, 8):
        ws.write_blank(7, col, None, wb.add_format({**base, "top": 5}))
    ws.write_formula("F8", "=SUM(F4:F7)", wb.add_format({**base, "bold": True, "top": 5}), 6)
    ws.write("B10", "All sizes are structural openings", note)
    ws.write_blank("C10", None, note)
    ws.write_blank("D10", None, note)
    ws.insert_textbox("J2", "Revision B: D02 fire rating",
                      {"width": 160, "height": 40, "font": {"name": "Arial", "size": 9}})
    ws.insert_image("J5", logo)
    wb.close()
    os.remove(logo)
    add_shapes(book, "xl/drawings/drawing1.xml", [DOOR_TAG, LEADER])


if __name__ == "__main__":
    main()
