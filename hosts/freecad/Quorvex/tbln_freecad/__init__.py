"""Quorvex in FreeCAD: workbook ranges and Word documents drawn on TechDraw pages.

The headless half of the Quorvex workbench, usable from macros and freecadcmd:

- import_range(document, book, sheet, cells, page=None) draws a range of a workbook on
  a TechDraw page as one symbol view and returns the view, which remembers the
  workbook, the sheet and the range;
- update(view) captures that range again and redraws the view in place, marking the
  changed cells, and writes a summary to the report view;
- import_word(document, path) draws a Word document page by page, one symbol view a page;
- link_block(template, book, sheet, links) binds a TechDraw template's editable texts to
  cells, and insert_block(template) fills them from the sheet.

The drawings are the tbln module's own (Table.to_svg, the host's --svg picture); this
package only places them. Lengths on the page are millimetres; the records' lengths
are points (1/72 inch).
"""
import json
import os
import re
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
           "symbol_svg", "QUORVEX_GROUP"]

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


def _next_free_spot(page, width, height):
    """The centre of a view width x height millimetres at the page's top left, below the
    Quorvex views already on it."""
    page_width, page_height = _page_size(page)
    top = page_height - PAGE_MARGIN
    for view in page.Views:
        if hasattr(view, "QuorvexRecords"):
            _, h = symbol_size(view.Symbol) if view.Symbol else (0.0, 0.0)
            top = min(top, float(view.Y) - h * float(view.Scale) / 2 - PAGE_MARGIN / 2)
    return PAGE_MARGIN + width / 2, top - height / 2


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
    svg = table.to_svg(revisions=list(revisions))
    view.Symbol = symbol_svg(svg)
    view.QuorvexRecords = json.dumps(_records(table), sort_keys=True)
    return symbol_size(svg)


def import_range(document, book, sheet, cells, page=None, scale=1.0, position=None):
    """Draws the range `cells` (e.g. "A1:H10") of the sheet `sheet` (None: the active one)
    of the workbook `book` on a TechDraw page, as one symbol view, and returns the view.

    `page` is a TechDraw page of `document` (None: a new page on a blank A3 template);
    `scale` is the view's scale (1: the range's true size on paper); `position` is the
    view's centre (x, y) in millimetres on the page (None: the page's next free spot at
    its top left). The view keeps Workbook, Sheet and Range (the range as captured: a
    merged area cut by `cells` widens it). Raises what tbln.read_range raises."""
    table = tbln.read_range(book, sheet, cells)
    if page is None:
        page = new_page(document)
    view = document.addObject("TechDraw::DrawViewSymbol", "QuorvexTable")
    _add_property(view, "App::PropertyFile", "Workbook", "The workbook the table comes from")
    _add_property(view, "App::PropertyString", "Sheet", "The sheet of the workbook")
    _add_property(view, "App::PropertyString", "Range", "The range of the sheet, e.g. A1:H10")
    _add_property(view, "App::PropertyString", "QuorvexRecords",
                  "What the last import or update captured", hidden=True)
    view.Workbook, view.Sheet, view.Range = table.path, table.sheet, table.range
    width, height = _draw(view, table)
    view.ScaleType = "Custom"
    view.Scale = scale
    x, y = position if position else _next_free_spot(page, width * scale, height * scale)
    page.addView(view)
    view.X, view.Y = x, y
    view.Label = "%s %s!%s" % (os.path.basename(table.path), table.sheet, table.range)
    document.recompute()
    return view


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


def update(view):
    """Captures the view's range again from its workbook (as the update of an imported
    range does), redraws the view in place with the changed cells marked, writes a
    summary to the report view and returns its lines (one per change; empty when nothing
    changed)."""
    if hasattr(view, "WordPage"):
        word = tbln.read_document(view.WordDocument)
        view.Symbol = symbol_svg(word.to_svg(min(view.WordPage, word.pages)))
        view.recompute()
        FreeCAD.Console.PrintMessage("Quorvex update of %s: redrawn\n" % view.Label)
        return []
    table = tbln.update_range(view.Workbook, view.Sheet, view.Range)
    try:
        before = json.loads(view.QuorvexRecords or "{}")
    except ValueError:
        before = {}
    lines, revisions = _changes(before, _records(table))
    _draw(view, table, revisions)
    view.recompute()
    name = "%s (%s!%s)" % (view.Label, view.Sheet, view.Range)
    if lines:
        FreeCAD.Console.PrintMessage("Quorvex update of %s: %d change(s)\n  %s\n"
                                     % (name, len(lines), "\n  ".join(lines)))
    else:
        FreeCAD.Console.PrintMessage("Quorvex update of %s: no change\n" % name)
    return lines
