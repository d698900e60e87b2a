"""Run by freecadcmd for check_freecad.py: one step of the FreeCAD workbench's test.

QUORVEX_STEP=import: a new document with a TechDraw page, the range imported onto it,
the view's symbol checked against the records, the document saved.
QUORVEX_STEP=update: the saved document reopened, the view updated, checked again and
its change lines written out, the document saved.
QUORVEX_STEP=batch: documents made from a template for the drawing names of a sheet,
their title blocks read back, and their names exported into the sheet.
The outcome goes to QUORVEX_RESULT as JSON ({"problems": [...], ...})."""
import json
import os
import re
import traceback
import xml.etree.ElementTree as ET

import FreeCAD

XLINK = "{http://www.w3.org/1999/xlink}href"
SVG = "{http://www.w3.org/2000/svg}"


def glyphs_and_lines(svg):
    """The glyphs drawn with an outline ((href, x, y) in points; spaces have none) and the
    straight strokes ((x1, y1, x2, y2))."""
    root = ET.fromstring(svg)
    blank = {"#" + g.get("id") for g in root.iter() if g.get("id", "").startswith("glyph")
             and not any(p.get("d") for p in g.iter(SVG + "path"))}
    glyphs, lines = [], []
    for use in root.iter(SVG + "use"):
        if use.get(XLINK, "").startswith("#glyph") and use.get(XLINK) not in blank:
            glyphs.append((use.get(XLINK), float(use.get("x", 0)), float(use.get("y", 0))))
    for path in root.iter(SVG + "path"):
        style = path.get("style") or ""
        m = re.fullmatch(r"\s*M ([-0-9.e]+) ([-0-9.e]+) L ([-0-9.e]+) ([-0-9.e]+)\s*",
                         path.get("d") or "")
        if m and "stroke:none" not in style and "fill:none" in style:
            lines.append(tuple(float(v) for v in m.groups()))
    return root, glyphs, lines


def check_symbol(tbln, view, table, problems):
    """The symbol's texts and borders where the records put them."""
    MARGIN = tbln.DRAWING_MARGIN_POINTS
    root, glyphs, lines = glyphs_and_lines(view.Symbol)
    # TechDraw's renderer draws pixels of 1/96 inch: the size is the viewBox's in pixels.
    box = [float(v) for v in root.get("viewBox").split()]
    if abs(float(root.get("width")) - box[2] * 96 / 72) > 0.01:
        problems.append("symbol width %s is not %s pt in pixels" % (root.get("width"), box[2]))
    if root.find(".//" + SVG + "symbol") is not None:
        problems.append("the symbol keeps <symbol> elements, which TechDraw does not draw")
    left = [MARGIN]
    for w in table.column_widths:
        left.append(left[-1] + w)
    top = [MARGIN]
    for h in table.row_heights:
        top.append(top[-1] + h)

    def edges(cell):
        r, c = cell.row - table.first_row, cell.col - table.first_col
        r2 = (cell.rowTo if cell.isMerged and cell.rowTo else cell.row) - table.first_row
        c2 = (cell.colTo if cell.isMerged and cell.colTo else cell.col) - table.first_col
        return left[c], top[r], left[min(c2 + 1, len(left) - 1)], top[min(r2 + 1, len(top) - 1)]

    def covered(a, b, at, segments):
        spans = sorted((min(s, e), max(s, e)) for p, s, e in segments if abs(p - at) < 0.6)
        reach = a
        for s, e in spans:
            if s <= reach + 0.6:
                reach = max(reach, e)
        return reach >= b - 0.6

    horizontal = [(y1, x1, x2) for x1, y1, x2, y2 in lines if abs(y1 - y2) < 0.01]
    vertical = [(x1, y1, y2) for x1, y1, x2, y2 in lines if abs(x1 - x2) < 0.01]
    cells = [c for c in table if not c.hidden and c.col > 0]
    for cell in cells:
        x0, y0, x1, y1 = edges(cell)
        if x1 - x0 < 0.01 or y1 - y0 < 0.01:
            continue
        name = "%s%d" % (chr(64 + cell.col), cell.row)
        for flag, (a, b, at, segs) in (
                (cell.bdUp, (x0, x1, y0, horizontal)), (cell.bdBottom, (x0, x1, y1, horizontal)),
                (cell.bdLeft, (y0, y1, x0, vertical)), (cell.bdRight, (y0, y1, x1, vertical))):
            if flag and not covered(a, b, at, segs):
                problems.append("%s: no border from %.2f to %.2f at %.2f" % (name, a, b, at))

    # Texts, row by row where no cell of the row or the one above wraps or is turned: the
    # glyphs on the row's band, left to right, are the row's characters in column order,
    # one glyph for each character of a font style everywhere in the drawing.
    skip = set()
    for cell in cells:
        if cell.isWrapCell or cell.fontOrient:
            skip.update({cell.row, cell.row + 1})
    glyph_of = {}
    for r in range(table.first_row, table.last_row + 1):
        if r in skip:
            continue
        i = r - table.first_row
        chars = []
        for cell in sorted((c for c in cells if c.row == r), key=lambda c: c.col):
            for ch in cell.Value:
                if not ch.isspace():
                    chars.append(((cell.FontName, cell.fontsize, cell.fontBold, cell.fontItalic, ch),
                                  cell))
        # The shapes beside the range have texts of their own.
        band = sorted((x, href) for href, x, y in glyphs
                      if top[i] < y <= top[i + 1] + 0.01 and left[0] <= x < left[-1])
        if len(band) != len(chars):
            problems.append("row %d: %d glyphs for the records' %d characters %r" % (
                r, len(band), len(chars), "".join(k[-1] for k, _ in chars)))
            continue
        for (key, cell), (x, href) in zip(chars, band):
            if glyph_of.setdefault(key, href) != href:
                problems.append("row %d: %r drawn as %s and as %s" % (
                    r, key[-1], glyph_of[key], href))
    if len(set(glyph_of.values())) != len(glyph_of):
        problems.append("two characters share one glyph")
    return {"glyphs": len(glyphs), "lines": len(lines), "checked_characters": len(glyph_of)}


def placed_and_cancelled(tbln_freecad, doc, page, book, problems):
    """More tables on the page: below the first when no place is given, at a place and
    scale given; imports cancelled by their progress callback leave nothing behind."""
    tbln_freecad.import_range(doc, book, "Doors", "A1:C4", page=page)
    there = tbln_freecad.import_range(doc, book, "Doors", "A1:B2", page=page, scale=0.5,
                                      position=(380.0, 40.0))
    boxes = tbln_freecad._symbol_boxes(page)
    (l1, b1, _, _), (l2, b2, _, t2) = boxes[0], boxes[1]
    if not (abs(l1 - l2) < 0.01 and t2 < b1 and t2 > b1 - 10 and b2 > 10):
        problems.append("the second table is not under the first: %r" % boxes[:2])
    if (float(there.X), float(there.Y), float(there.Scale)) != (380.0, 40.0, 0.5):
        problems.append("the third table is at %r" % ([there.X, there.Y, there.Scale],))
    names = sorted(o.Name for o in doc.Objects)
    shares = []

    def cancel_at(limit):
        def progress(share):
            shares.append(share)
            if share >= limit:
                raise tbln_freecad.Cancelled("cancelled at %.2f" % share)
        return progress

    for limit, draft in ((0.3, False), (0.9, True)):
        try:
            tbln_freecad.import_range(doc, book, "Doors", "A1:H10", as_draft=draft,
                                      progress=cancel_at(limit))
            problems.append("an import cancelled at %s went on" % limit)
        except tbln_freecad.Cancelled:
            pass
        if sorted(o.Name for o in doc.Objects) != names:
            problems.append("a cancelled import (draft %s) left %r" % (
                draft, sorted(set(o.Name for o in doc.Objects) - set(names))))
    if not any(0 < s < 0.3 for s in shares):
        problems.append("no progress before the cancel: %r" % shares[:5])


def draft_table(tbln_freecad, tbln, doc, book, problems):
    """The range as Draft objects: a text inside its cell's box for every line of a cell
    that does not wrap, a line for every border edge the records set, faces for fills."""
    group = tbln_freecad.import_range(doc, book, "Doors", "A1:H10", as_draft=True,
                                      position=(100.0, 50.0))
    table = tbln.read_range(book, "Doors", "A1:H10")
    mm = 25.4 / 72
    left = [0.0]
    for w in table.column_widths:
        left.append(left[-1] + w * mm)
    top = [0.0]
    for h in table.row_heights:
        top.append(top[-1] - h * mm)
    texts = [(o.Text, o.Placement.Base) for o in group.Group if o.Label.startswith("Text")]
    borders = [o for o in group.Group if o.Label.startswith("Border")]
    fills = [o for o in group.Group if o.Label.startswith("Fill")]
    for cell in table:
        if cell.hidden or not cell.Value or cell.isWrapCell or cell.fontOrient:
            continue
        r, c = cell.row - table.first_row, cell.col - table.first_col
        c2 = (cell.colTo if cell.isMerged and cell.colTo else cell.col) - table.first_col
        r2 = (cell.rowTo if cell.isMerged and cell.rowTo else cell.row) - table.first_row
        inside = [b for t, b in texts if t == [cell.Value]
                  and left[c] - 0.1 <= b.x - 100 <= left[min(c2 + 1, len(left) - 1)] + 0.1
                  and top[min(r2 + 1, len(top) - 1)] - 0.1 <= b.y - 50 <= top[r] + 0.1]
        if not inside:
            problems.append("draft: no text %r in its cell %d,%d"
                            % (cell.Value, cell.row, cell.col))
    edges = sum(bool(f) for cell in table if not cell.hidden and cell.col > 0
                for f in (cell.bdUp, cell.bdBottom, cell.bdLeft, cell.bdRight))
    if not borders or len(borders) > edges:
        problems.append("draft: %d border lines for %d border edges" % (len(borders), edges))
    if not fills or any(abs(f.Shape.Area - float(f.Length) * float(f.Height)) > 1e-6 for f in fills):
        problems.append("draft: %d fills, not all faces" % len(fills))
    return {"draft_texts": len(texts), "draft_borders": len(borders), "draft_fills": len(fills)}


def batch(tbln_freecad, problems):
    """Populate from a template document whose title block is linked to its own row of
    the sheet, then the names of what it made exported into the sheet."""
    names_book, out_dir = os.environ["QUORVEX_NAMES_BOOK"], os.environ["QUORVEX_OUT"]
    template_path = os.path.join(out_dir, "P-101.FCStd")
    doc = FreeCAD.newDocument("P101")
    page = tbln_freecad.new_page(doc, "Sheet")
    page.Template.Template = os.path.join(FreeCAD.getResourceDir(), "Mod", "TechDraw",
                                          "Templates", "A3_LandscapeTD.svg")
    tbln_freecad.link_block(page.Template, names_book, "Drawings", {"FC-Title": "B2"})
    doc.saveAs(template_path)
    FreeCAD.closeDocument(doc.Name)
    out = {"refusals": []}
    for template, cells in ((template_path, ("A2", "A4", "A5")),
                            (os.path.join(out_dir, "Z-999.FCStd"), ("A2", "A3", "A5"))):
        if template.endswith("Z-999.FCStd"):
            import shutil
            shutil.copy(template_path, template)
        try:
            tbln_freecad.populate(template, names_book, "Drawings", *cells, out_dir)
            problems.append("populate %s %r was not refused" % (template, cells))
        except Exception as e:  # tbln.Error
            out["refusals"].append(str(e))
    written = tbln_freecad.populate(template_path, names_book, "Drawings", "A2", "A3", "A5",
                                    os.path.join(out_dir, "drawings"))
    out["written"] = [os.path.basename(w) for w in written]
    out["titles"] = {}
    for path in written:
        made = FreeCAD.openDocument(path)
        template = made.findObjects("TechDraw::DrawSVGTemplate")[0]
        out["titles"][os.path.basename(path)] = template.EditableTexts["FC-Title"]
        FreeCAD.closeDocument(made.Name)
    out["exported"] = tbln_freecad.export_drawing_names(names_book, "Drawings", "D2", written)
    return out


def main():
    import tbln_freecad  # puts the module the installer named on the path

    import tbln

    step, book = os.environ["QUORVEX_STEP"], os.environ["QUORVEX_BOOK"]
    saved = os.environ["QUORVEX_DOCUMENT"]
    problems, out = [], {}
    if step == "batch":
        out = batch(tbln_freecad, problems)
        out["problems"] = problems
        return out
    if step == "import":
        doc = FreeCAD.newDocument("Schedule")
        page = tbln_freecad.new_page(doc, "Sheet1")
        view = tbln_freecad.import_range(doc, book, "Doors", "A1:H10", page=page)
        if view not in page.Views:
            problems.append("the view is not on the page")
        placed_and_cancelled(tbln_freecad, doc, page, book, problems)
        out.update(draft_table(tbln_freecad, tbln, doc, book, problems))
        # A title block on FreeCAD's own template, filled from the workbook's cells.
        titled = doc.addObject("TechDraw::DrawPage", "Titled")
        template = doc.addObject("TechDraw::DrawSVGTemplate", "TitledTemplate")
        template.Template = os.path.join(FreeCAD.getResourceDir(), "Mod", "TechDraw",
                                         "Templates", "A3_LandscapeTD.svg")
        titled.Template = template
        tbln_freecad.link_block(template, os.environ["QUORVEX_TITLE_BOOK"], "Title Block",
                                {"DrawingNumber": "B2", "FC-Title": "$C$2", "Weight": "B3"})
        out["filled"] = tbln_freecad.insert_block(template)
        out["editable"] = {k: template.EditableTexts[k] for k in out["filled"]}
        words = tbln_freecad.import_word(doc, os.environ["QUORVEX_WORD"])
        out["word"] = [[v.WordPage, len(glyphs_and_lines(v.Symbol)[1])] for v in words]
    else:
        doc = FreeCAD.openDocument(saved)
        view = [o for o in doc.Objects if o.TypeId == "TechDraw::DrawViewSymbol"][0]
        out["changes"] = tbln_freecad.update(view)
        group = doc.getObject("QuorvexDraft")
        tbln_freecad.update(group)
        out["draft_texts"] = sorted(t for o in group.Group if o.Label.startswith("Text")
                                    for t in o.Text)
    out["properties"] = [view.Workbook, view.Sheet, view.Range]
    width, height = tbln_freecad.symbol_size(view.Symbol)
    out["corner"] = [round(float(view.X) - width * float(view.Scale) / 2, 6),
                     round(float(view.Y) + height * float(view.Scale) / 2, 6)]
    table = tbln.read_range(book, "Doors", "A1:H10")
    out["values"] = {"%d,%d" % (c.row, c.col): c.Value for c in table if c.Value}
    out.update(check_symbol(tbln, view, table, problems))
    doc.saveAs(saved)
    out["problems"] = problems
    return out


try:
    result = main()
except Exception:  # the driver shows what went wrong
    result = {"problems": [traceback.format_exc()]}
with open(os.environ["QUORVEX_RESULT"], "w", encoding="utf-8") as f:
    json.dump(result, f)
