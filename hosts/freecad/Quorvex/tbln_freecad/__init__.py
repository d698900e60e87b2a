"""Quorvex in FreeCAD: workbook ranges and Word documents drawn on TechDraw pages.

The headless half of the Quorvex workbench, usable from macros and freecadcmd:

- import_range(document, book, sheet, cells, page=None) draws a range of a workbook on
  a TechDraw page as one symbol view and returns the view, which remembers the
  workbook, the sheet and the range; with as_draft=True it builds Draft objects in the
  3D document instead (lines for the borders, texts, faces for the fills);
- update(view) captures that range again and redraws the view in place, marking the
  changed cells, and writes a summary to the report view;
- import_word(document, path) draws a Word document page by page, one symbol view a page;
- link_block(template, book, sheet, links) binds a TechDraw template's editable texts to
  cells, and insert_block(template) fills them from the sheet;
- populate(template, book, sheet, first, second, last, output) makes one FreeCAD
  document per drawing name of the sheet from a template document, and
  export_drawing_names(book, sheet, start, drawings) writes drawings' file names into a
  sheet, both through the Populate and Export dialogs of the module, answered.

The functions that read a workbook take progress=callable: it is called with the share
done (0 to 1) as the import goes; an exception it raises (KeyboardInterrupt too) cancels
the import and reaches the caller, and nothing is left half-made in the document.

The drawings are the tbln module's own (Table.to_svg, the host's --svg picture); this
package only places them. Lengths on the page are millimetres; the records' lengths
are points (1/72 inch).
"""
import json
import os
import re
import shutil
import sys

import FreeCAD


def _find_module():
    """Puts the folder of the tbln module the installer named first on sys.path."""
    note = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                        "tbln_module_folder.txt")
    try:
        with open(note, encoding="utf-8") as f:
            folder = f.read().strip()
    except OSError:
        return
    if folder and folder not in sys.path:
        sys.path.insert(0, folder)


_find_module()
import tbln  # noqa: E402

__all__ = ["import_range", "import_word", "update", "link_block", "insert_block", "new_page",
           "populate", "export_drawing_names", "Cancelled", "next_free_spot", "symbol_svg",
           "QUORVEX_GROUP"]

class Cancelled(Exception):
    """Raised by a progress callback to cancel the work, as the dialogs' Cancel does."""


# The property group of everything Quorvex keeps on a view.
QUORVEX_GROUP = "Quorvex"
# Kept free around the tables at the page's edges, in millimetres.
PAGE_MARGIN = 10.0
# Millimetres per point, and the pixels per point of the SVG renderer TechDraw uses
# (96 pixels per inch): a symbol is drawn one pixel to 1/96 inch.
MM_PER_POINT = 25.4 / 72.0
PIXELS_PER_POINT = 96.0 / 72.0
# The page a range goes on when the caller gives none: a blank template of FreeCAD's.
DEFAULT_TEMPLATE = "A3_Landscape_blank.svg"


def symbol_svg(svg):
    """The SVG of the tbln drawing as a TechDraw symbol shows it at its true size.

    TechDraw's renderer (Qt's SVG Tiny renderer) draws neither glyphs kept as <symbol>
    elements nor sizes in points: the glyphs become groups and the size becomes pixels of
    1/96 inch, the viewBox (in points) unchanged."""
    svg = svg.replace('<symbol overflow="visible" id=', "<g id=").replace("</symbol>", "</g>")

    def pixels(match):
        return '%s="%.4f"' % (match.group(1), float(match.group(2)) * PIXELS_PER_POINT)

    head, sep, rest = svg.partition(">\n<defs>") if "<defs>" in svg else svg.partition(">")
    start = head.find("<svg")
    head = head[:start] + re.sub(r'\b(width|height)="([0-9.]+)pt"', pixels, head[start:])
    return head + sep + rest


def symbol_size(svg):
    """The width and height in millimetres of a tbln SVG drawing (its size in points)."""
    match = re.search(r'viewBox="0 0 ([0-9.]+) ([0-9.]+)"', svg)
    if not match:
        raise ValueError("the drawing has no viewBox")
    return float(match.group(1)) * MM_PER_POINT, float(match.group(2)) * MM_PER_POINT


def new_page(document, name="QuorvexPage"):
    """A new TechDraw page on FreeCAD's blank A3 landscape template."""
    page = document.addObject("TechDraw::DrawPage", name)
    template = document.addObject("TechDraw::DrawSVGTemplate", name + "Template")
    folder = os.path.join(FreeCAD.getResourceDir(), "Mod", "TechDraw", "Templates")
    template.Template = os.path.join(folder, DEFAULT_TEMPLATE)
    page.Template = template
    return page


def _page_size(page):
    template = page.Template
    if template is None:
        return 420.0, 297.0
    return float(template.Width), float(template.Height)


def _symbol_boxes(page):
    """(left, bottom, right, top) in millimetres of the page's symbol views."""
    boxes = []
    for view in page.Views:
        if view.TypeId != "TechDraw::DrawViewSymbol" or not view.Symbol:
            continue
        try:
            w, h = symbol_size(view.Symbol)
        except ValueError:
            continue
        w, h = w * float(view.Scale), h * float(view.Scale)
        x, y = float(view.X), float(view.Y)
        boxes.append((x - w / 2, y - h / 2, x + w / 2, y + h / 2))
    return boxes


def next_free_spot(page, width, height):
    """The centre of a view width x height millimetres at the page's first free spot:
    its top left when nothing is drawn there, else below or to the right of a view
    already drawn, the highest and leftmost spot where the view fits inside the page's
    margins without covering another view; when none is free, below the lowest view."""
    page_width, page_height = _page_size(page)
    boxes = _symbol_boxes(page)
    gap = PAGE_MARGIN / 2
    # Top-left corners to try: the page's, and under and beside every view.
    corners = [(PAGE_MARGIN, page_height - PAGE_MARGIN)]
    for left, bottom, right, top in boxes:
        corners += [(left, bottom - gap), (right + gap, top)]

    def fits(x, y):
        if x + width > page_width - PAGE_MARGIN + 1e-6 or y - height < PAGE_MARGIN - 1e-6:
            return False
        return all(x + width <= l or x >= r or y - height >= t or y <= b
                   for l, b, r, t in boxes)

    for x, y in sorted(corners, key=lambda c: (-round(c[1], 3), c[0])):
        if fits(x, y):
            return x + width / 2, y - height / 2
    lowest = min((b for _, b, _, _ in boxes), default=page_height - PAGE_MARGIN + gap)
    return PAGE_MARGIN + width / 2, lowest - gap - height / 2


def _records(table):
    """What an update compares: each cell's shown text, row heights and column widths."""
    cells = {}
    for cell in table:
        if not cell.hidden and cell.col > 0:
            cells["%d,%d" % (cell.row, cell.col)] = cell.Value
    return {
        "cells": cells,
        "rows": {str(table.first_row + i): h for i, h in enumerate(table.row_heights)},
        "cols": {str(table.first_col + i): w for i, w in enumerate(table.column_widths)},
    }


def _cell_name(row, col):
    letters = ""
    while col > 0:
        col, rest = divmod(col - 1, 26)
        letters = chr(65 + rest) + letters
    return "%s%d" % (letters, row)


def _add_property(view, kind, name, doc, hidden=False):
    if not hasattr(view, name):
        view.addProperty(kind, name, QUORVEX_GROUP, doc)
    if hidden:
        view.setEditorMode(name, 2)


def _draw(view, table, revisions=()):
    svg = table.to_svg(revisions=list(revisions), clip=False)
    view.Symbol = symbol_svg(svg)
    view.QuorvexRecords = json.dumps(_records(table), sort_keys=True)
    return symbol_size(svg)


def _range_properties(obj, table):
    _add_property(obj, "App::PropertyFile", "Workbook", "The workbook the table comes from")
    _add_property(obj, "App::PropertyString", "Sheet", "The sheet of the workbook")
    _add_property(obj, "App::PropertyString", "Range", "The range of the sheet, e.g. A1:H10")
    _add_property(obj, "App::PropertyString", "QuorvexRecords",
                  "What the last import or update captured", hidden=True)
    obj.Workbook, obj.Sheet, obj.Range = table.path, table.sheet, table.range
    obj.Label = "%s %s!%s" % (os.path.basename(table.path), table.sheet, table.range)


def _reading(progress, share):
    """The progress callback of a read that makes `share` of the whole work."""
    if progress is None:
        return None
    return lambda done: progress(done * share)


def import_range(document, book, sheet, cells, page=None, scale=1.0, position=None,
                 as_draft=False, progress=None, corner=None):
    """Draws the range `cells` (e.g. "A1:H10") of the sheet `sheet` (None: the active one)
    of the workbook `book` on a TechDraw page, as one symbol view, and returns the view.

    `page` is a TechDraw page of `document` (None: a new page on a blank A3 template);
    `scale` is the view's scale (1: the range's true size on paper); `position` is the
    view's centre (x, y) in millimetres on the page, or `corner` where the range's
    top-left corner goes (None for both: the page's next free spot, see next_free_spot).
    The view keeps Workbook, Sheet and Range (the range as captured: a merged area cut
    by `cells` widens it).

    With as_draft=True the table becomes Draft objects in the 3D document instead, in a
    group that keeps Workbook, Sheet and Range and is returned: a Draft line for each
    border, a Draft text for each line of text, a face for each fill, lengths in
    millimetres times `scale`, the range's top-left corner at `position` (x, y) (None:
    the origin); `page` is not used.

    `progress(share)` is called as the work goes (see the package's help); an exception
    it raises cancels the import, removes what was made of it and is raised again.
    Raises what tbln.read_range raises."""
    table = tbln.read_range(book, sheet, cells,
                            progress=_reading(progress, 0.8 if as_draft else 1.0))
    if as_draft:
        return _draft_table(document, table, scale, position or (0.0, 0.0), progress)
    made = []
    try:
        if page is None:
            page = new_page(document)
            made += [page, page.Template]
        view = document.addObject("TechDraw::DrawViewSymbol", "QuorvexTable")
        made.append(view)
        _range_properties(view, table)
        width, height = _draw(view, table)
        view.ScaleType = "Custom"
        view.Scale = scale
        if corner is not None:
            margin = tbln.DRAWING_MARGIN_POINTS * MM_PER_POINT * scale
            position = (corner[0] - margin + width * scale / 2,
                        corner[1] + margin - height * scale / 2)
        x, y = position if position else next_free_spot(page, width * scale, height * scale)
        page.addView(view)
        view.X, view.Y = x, y
        if progress is not None:
            progress(1.0)
    except BaseException:
        _remove(document, made)
        raise
    document.recompute()
    return view


def _remove(document, objects):
    for obj in reversed(objects):
        try:
            document.removeObject(obj.Name)
        except Exception:  # already gone with its owner
            pass


def _draft_table(document, table, scale, position, progress, group=None):
    """Builds (or, given `group`, rebuilds) the Draft objects of a table."""
    import Draft

    primitives = table.primitives(scale)
    ox, oy = position
    made = []
    fresh = group is None
    try:
        if fresh:
            group = document.addObject("App::DocumentObjectGroup", "QuorvexDraft")
            made.append(group)
            _range_properties(group, table)
            _add_property(group, "App::PropertyFloat", "Scale",
                          "The scale (1: the true size on paper)")
            _add_property(group, "App::PropertyVector", "Corner",
                          "Where the range's top-left corner is")
            group.Scale, group.Corner = scale, FreeCAD.Vector(ox, oy, 0)
        for number, p in enumerate(primitives):
            obj = _draft_object(Draft, p, ox, oy)
            if obj is not None:
                made.append(obj)
                group.addObject(obj)
            if progress is not None and number % 16 == 0:
                progress(0.8 + 0.2 * number / len(primitives))
        if progress is not None:
            progress(1.0)
    except BaseException:
        _remove(document, made)
        raise
    group.QuorvexRecords = json.dumps(_records(table), sort_keys=True)
    document.recompute()
    return group


def _gui_look(obj, p):
    """Colours, widths and fonts live in the view provider, which only FreeCAD's user
    interface has."""
    vo = getattr(obj, "ViewObject", None)
    if vo is None:
        return
    colour = tuple(c / 255.0 for c in p["color"])
    if p["kind"] == "fill":
        vo.ShapeColor, vo.LineColor, vo.LineWidth = colour, colour, 1.0
    elif p["kind"] == "text":
        vo.TextColor = colour
        vo.FontSize = p["size"]
        vo.Justification = p["h_align"].capitalize()
        if p["font"]:
            vo.FontName = p["font"]
    else:
        vo.LineColor = colour
        vo.LineWidth = max(1.0, p["pen_width"] * 96 / 25.4)
        if p.get("fill") is not None:
            vo.ShapeColor = tuple(c / 255.0 for c in p["fill"])


def _draft_object(Draft, p, ox, oy):
    V = FreeCAD.Vector
    kind = p["kind"]
    if kind == "fill":
        (x, y), w, h = p["top_left"], p["width"], p["height"]
        # Just under the borders and texts, which lie in the plane z = 0.
        where = FreeCAD.Placement(V(ox + x, oy + y - h, -0.01), FreeCAD.Rotation())
        obj = Draft.make_rectangle(w, h, where, face=True)
        obj.Label = "Fill"
    elif kind == "line" or (kind == "path" and len(p["points"]) >= 2):
        points = [V(ox + x, oy + y, 0) for x, y in p["points"]]
        obj = Draft.make_wire(points, closed=p.get("closed", False),
                              face=p.get("fill") is not None)
        obj.Label = "Border" if p["layer"] == "TBLN-BORDERS" else "Shape"
    elif kind == "text" and p["text"].strip():
        (x, y), w, h = p["top_left"], p["width"], p["height"]
        inset, size = p["inset"], p["size"]
        ax = {"left": x + inset, "center": x + w / 2, "right": x + w - inset}[p["h_align"]]
        # The baseline of the line: a capital's height (about 0.72 em) under the top, or
        # the descent (about 0.21 em) over the bottom.
        ay = {"top": y - inset - 0.72 * size, "middle": y - h / 2 - 0.26 * size,
              "bottom": y - h + inset + 0.21 * size}[p["v_align"]]
        where = FreeCAD.Placement(V(ox + ax, oy + ay, 0), FreeCAD.Rotation(V(0, 0, 1),
                                                                            p["rotation"]))
        obj = Draft.make_text(p["text"].split("\n"), where)
        obj.Label = "Text"
    else:
        return None
    _gui_look(obj, p)
    return obj


def import_word(document, path, page=None, scale=1.0):
    """Draws the Word document at `path` as one symbol view for each of its pages and
    returns the views: each on a new TechDraw page (with `page`: all on that page, side
    by side). The views keep WordDocument and WordPage. Raises what tbln.read_document
    raises."""
    word = tbln.read_document(path)
    views = []
    for number in range(1, word.pages + 1):
        target = page if page is not None else new_page(document, "QuorvexWordPage")
        view = document.addObject("TechDraw::DrawViewSymbol", "QuorvexWord")
        _add_property(view, "App::PropertyFile", "WordDocument", "The Word document")
        _add_property(view, "App::PropertyInteger", "WordPage", "The document's page shown")
        view.WordDocument, view.WordPage = word.path, number
        svg = word.to_svg(number)
        view.Symbol = symbol_svg(svg)
        view.ScaleType = "Custom"
        view.Scale = scale
        target.addView(view)
        width, height = (v * scale for v in symbol_size(svg))
        _, page_height = _page_size(target)
        offset = sum(symbol_size(v.Symbol)[0] * float(v.Scale) + PAGE_MARGIN
                     for v in views if page is not None)
        view.X = PAGE_MARGIN + offset + width / 2
        view.Y = page_height - PAGE_MARGIN - height / 2
        view.Label = "%s page %d" % (os.path.basename(word.path), number)
        views.append(view)
    document.recompute()
    return views


def link_block(template, book, sheet, links):
    """Binds editable texts of a TechDraw template (the title block's fields) to cells:
    `links` maps an editable text's name to a cell of the sheet `sheet` of the workbook
    `book`, e.g. {"DrawingNumber": "B2", "FC-Title": "C2"}. Names the template does not
    have raise KeyError."""
    unknown = sorted(set(links) - set(template.EditableTexts))
    if unknown:
        raise KeyError("the template has no editable text named %s" % ", ".join(unknown))
    _add_property(template, "App::PropertyFile", "Workbook", "The workbook the fields come from")
    _add_property(template, "App::PropertyString", "Sheet", "The sheet of the workbook")
    _add_property(template, "App::PropertyMap", "Links", "Editable text name -> cell")
    template.Workbook, template.Sheet = os.path.abspath(os.fspath(book)), sheet
    template.Links = {name: cell.replace("$", "").upper() for name, cell in links.items()}


def insert_block(template):
    """Fills the template's linked editable texts with the cells' shown texts, read from
    the workbook in one import, and returns the texts set."""
    links = dict(getattr(template, "Links", {}))
    if not links:
        return {}
    places = {}
    for name, cell in links.items():
        m = re.fullmatch(r"([A-Z]{1,2})([0-9]+)", cell)
        if not m:
            raise ValueError("%s: %r is not a cell like B2" % (name, cell))
        col = 0
        for ch in m.group(1):
            col = col * 26 + ord(ch) - 64
        places[name] = (int(m.group(2)), col)
    rows = [r for r, _ in places.values()]
    cols = [c for _, c in places.values()]
    cells = "%s:%s" % (_cell_name(min(rows), min(cols)), _cell_name(max(rows), max(cols)))
    table = tbln.read_range(template.Workbook, template.Sheet or None, cells)
    shown = {(c.row, c.col): c.Value for c in table if not c.hidden}
    texts = dict(template.EditableTexts)
    filled = {name: shown.get(place, "") for name, place in places.items()}
    texts.update(filled)
    template.EditableTexts = texts
    return filled


def _changes(before, after):
    lines, revisions = [], []
    old_cells, new_cells = before.get("cells", {}), after["cells"]
    for key in sorted(set(old_cells) | set(new_cells), key=lambda k: tuple(map(int, k.split(",")))):
        if old_cells.get(key) != new_cells.get(key):
            row, col = map(int, key.split(","))
            revisions.append((row, col))
            lines.append("%s: %r -> %r" % (_cell_name(row, col), old_cells.get(key, ""),
                                           new_cells.get(key, "")))
    for what, label in (("rows", "row %s height"), ("cols", "column %s width")):
        old, new = before.get(what, {}), after[what]
        for key in sorted(set(old) | set(new), key=int):
            if old.get(key) != new.get(key):
                lines.append("%s: %s -> %s pt" % (label % key, old.get(key), new.get(key)))
    return lines, revisions


def update(view, progress=None):
    """Captures the view's range again from its workbook (as the update of an imported
    range does), redraws the view in place (its table's top-left corner kept) with the
    changed cells marked, writes a summary to the report view and returns its lines (one
    per change; empty when nothing changed). A group of Draft objects made by import_range is rebuilt in place.
    `progress` as for import_range: the update runs to its end and the exception
    follows, with the view unchanged."""
    if hasattr(view, "WordPage"):
        word = tbln.read_document(view.WordDocument)
        view.Symbol = symbol_svg(word.to_svg(min(view.WordPage, word.pages)))
        view.recompute()
        FreeCAD.Console.PrintMessage("Quorvex update of %s: redrawn\n" % view.Label)
        return []
    draft = view.TypeId == "App::DocumentObjectGroup"
    table = tbln.update_range(view.Workbook, view.Sheet, view.Range,
                              progress=_reading(progress, 0.8 if draft else 1.0))
    try:
        before = json.loads(view.QuorvexRecords or "{}")
    except ValueError:
        before = {}
    lines, revisions = _changes(before, _records(table))
    if draft:
        old = list(view.Group)
        _draft_table(view.Document, table, float(view.Scale), (view.Corner.x, view.Corner.y),
                     progress, group=view)
        _remove(view.Document, old)
    else:
        # The view is placed by its centre: moved by half the change of size, the table's
        # top-left corner stays where it was (the page's y grows upward).
        old_width, old_height = symbol_size(view.Symbol)
        width, height = _draw(view, table, revisions)
        scale = float(view.Scale)
        view.X = float(view.X) + (width - old_width) * scale / 2
        view.Y = float(view.Y) - (height - old_height) * scale / 2
        view.recompute()
    name = "%s (%s!%s)" % (view.Label, view.Sheet, view.Range)
    if lines:
        FreeCAD.Console.PrintMessage("Quorvex update of %s: %d change(s)\n  %s\n"
                                     % (name, len(lines), "\n  ".join(lines)))
    else:
        FreeCAD.Console.PrintMessage("Quorvex update of %s: no change\n" % name)
    return lines


def _cell(text):
    """(row, column) of a cell like "B2" or "$B$2"."""
    m = re.fullmatch(r"\$?([A-Za-z]{1,2})\$?([0-9]+)", text.strip())
    if not m:
        raise ValueError("%r is not a cell like B2" % text)
    col = 0
    for ch in m.group(1).upper():
        col = col * 26 + ord(ch) - 64
    return int(m.group(2)), col


def _answered(book, sheet):
    """An Application whose dialogs are answered by a script, the workbook opened in
    the Populate or Export dialog's own way."""
    app = tbln.Application(ui="scripted")
    app.open_workbook(os.path.abspath(os.fspath(book)), sheet or "", "btnBrowseExcel")
    return app


def _raise_for(app, what):
    shown = app.messages
    raise tbln.Error(shown[-1][1] if shown else "%s did not finish" % what)


def _populate_dialog(book, sheet, cells, template, output):
    app = _answered(book, sheet)
    for line, cell in zip("12n", cells):
        row, col = _cell(cell)
        app.set_text("tbCol" + line, _cell_name(1, col)[:-1])
        app.set_text("tbRow" + line, str(row))
    app.file_choice(template)
    app.click("btnBrowseDGN")
    app.folder_choice(output)
    app.click("btnBrowseOutput")
    app.click("btnPopulate")
    return app, app.Populate(dwgdgn="dwg")


def populate(template, book, sheet, first, second, last, output, progress=None):
    """Makes one FreeCAD document per drawing name from the template document
    `template` (an .FCStd file), as the Populate dialog prepares it: the names are the
    displayed texts of the cells `first`, `second`, ... up to `last` of the sheet `sheet`
    of the workbook `book` (all in one column or one row, the step being second - first),
    and the template must be one of them (its file name, or its name without .FCStd).
    Each document is `output`/NAME.FCStd (".FCStd" added to a name without it); the
    template itself is not written over. In each, the page templates' editable texts
    linked to cells (link_block) are filled from the cells shifted by the distance from
    the template's own name cell to this drawing's name cell, so a title block linked to
    the template's row of the sheet is filled from each drawing's row.

    Returns the paths written. A refusal of the dialog raises tbln.Error with its message
    (e.g. "The template file plan7.FCStd is not in the Excel drawing name list");
    FileNotFoundError for a missing template or workbook. `progress` as for
    import_range; a cancel leaves the documents already written."""
    template = os.path.abspath(os.fspath(template))
    output = os.path.abspath(os.fspath(output))
    for path in (template, os.fspath(book)):
        if not os.path.isfile(path):
            raise FileNotFoundError(2, "No such file", path)
    app, r = _populate_dialog(book, sheet, (first, second, last), template, output)
    stem = os.path.splitext(template)[0]
    if not r.result:
        # A name cell may leave out the extension: the dialog matches a drawing's
        # name with and without the extension of the host's drawings.
        again, r2 = _populate_dialog(book, sheet, (first, second, last), stem + ".dwg", output)
        if not r2.result:
            _raise_for(app, "Populate")
        r = r2
    rows = range(r.row10, r.rown0 + (1 if r.row20 >= r.row10 else -1), (r.row20 - r.row10) or 1)
    cols = range(r.col10, r.coln0 + (1 if r.col20 >= r.col10 else -1), (r.col20 - r.col10) or 1)
    cells = [(row, r.col10) for row in rows] if r.col10 == r.col20 else \
        [(r.row10, col) for col in cols]
    table = tbln.read_range(r.excelPath0, r.sheetName0, "%s:%s" % (
        _cell_name(min(c[0] for c in cells), min(c[1] for c in cells)),
        _cell_name(max(c[0] for c in cells), max(c[1] for c in cells))))
    shown = {(c.row, c.col): c.Value.strip() for c in table if not c.hidden}
    names = [(cell, shown.get(cell, "")) for cell in cells]
    # The template's own name cell, as the dialog found it.
    known = {os.path.basename(template).lower(), os.path.basename(stem).lower() + ".dwg"}
    home = next(cell for cell, name in names
                if known & {name.lower() + ext for ext in ("", ".fcstd", ".dwg", ".dgn")})
    os.makedirs(output, exist_ok=True)
    written = []
    for number, (cell, name) in enumerate(names):
        if not name:
            continue
        target = os.path.join(output, name if name.lower().endswith(".fcstd")
                              else name + ".FCStd")
        if os.path.abspath(target) == template:
            continue
        _write_drawing(template, target, (cell[0] - home[0], cell[1] - home[1]), name)
        written.append(target)
        if progress is not None:
            progress((number + 1) / len(names))
    return written


def _write_drawing(template, target, shift, name):
    """Copies the template to a temporary document beside `target`, fills its linked
    texts from the shifted cells, saves it as a second temporary file and renames that to
    `target`. The template is opened as the copy, so a template open in FreeCAD stays as
    the user has it; saving to a new file rather than over the copy keeps FreeCAD from
    leaving a backup of the copy (NAME.FCStd1) in the output folder."""
    folder = os.path.dirname(target)
    stem = os.path.join(folder, ".%s.%d" % (os.path.basename(target), os.getpid()))
    copy, saved = stem + ".template.FCStd", stem + ".FCStd"
    shutil.copyfile(template, copy)
    try:
        document = FreeCAD.openDocument(copy)
        try:
            for obj in document.Objects:
                links = dict(getattr(obj, "Links", {}) or {})
                if not links or not hasattr(obj, "EditableTexts"):
                    continue
                obj.Links = {key: _cell_name(*(a + b for a, b in zip(_cell(cell), shift)))
                             for key, cell in links.items()}
                insert_block(obj)
            document.Label = os.path.splitext(name)[0]
            document.recompute()
            document.saveAs(saved)
        finally:
            FreeCAD.closeDocument(document.Name)
        os.replace(saved, target)
    finally:
        for path in (copy, saved):
            if os.path.exists(path):
                os.remove(path)


def export_drawing_names(book, sheet, start, drawings):
    """Writes the file names of `drawings` (paths, e.g. of .FCStd documents) into the
    sheet `sheet` of the workbook `book`, one a row downwards from the cell `start`, as
    the Export dialog does (the column widened to fit, the workbook saved), and returns
    the names written. Several drawings are listed by bare file name, in the order given.
    Raises tbln.Error with the dialog's message when the dialog refuses the start cell."""
    if not os.path.isfile(os.fspath(book)):
        raise FileNotFoundError(2, "No such file", os.fspath(book))
    app = _answered(book, sheet)
    names = [os.path.basename(os.fspath(d)) for d in drawings]
    if names:
        # The file chooser's answer for several files: the folder, then each name.
        app.file_choice("\0".join([os.path.dirname(os.path.abspath(os.fspath(drawings[0])))]
                                   + names))
        app.click("btnAdd")
    row, col = _cell(start)
    app.set_text("tbCol1", _cell_name(1, col)[:-1])
    app.set_text("tbRow1", str(row))
    app.click("btnExport")
    app.ExportDGNName(fileFormat0="dwg")
    if app.messages:
        _raise_for(app, "Export Drawing Names")
    return names
