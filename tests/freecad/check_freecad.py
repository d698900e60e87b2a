#!/usr/bin/python3
"""The FreeCAD workbench, headless in freecadcmd, as a user would meet it.

Tabulon --host freecad installs the workbench into a new FreeCAD user folder (a second
run changes nothing); a document gets the door schedule's A1:H10 on a TechDraw page as
one symbol view, whose texts and borders must be where the records put them; a
template's editable texts are linked to cells of the title block workbook and filled;
the Word notes become a view for each of their two pages; more tables go under the first
or where asked, at a scale, imports cancelled from their progress callback leave nothing
behind, and the range as Draft objects has its texts in their cells; the document is saved. The workbook is then edited and saved by openpyxl, the document
reopened in a new FreeCAD and the view updated: the change lines name the edited cells
and the redrawn symbol shows the new texts. Last, documents are made from a template
for each drawing name of a sheet, their title blocks filled from their rows, and their
names exported back into the sheet.

usage: check_freecad.py TABULON EXAMPLES OUT_DIR [--sanitized]
Exits 77 (skipped) without freecadcmd, or when the module is built with the sanitizers,
whose runtime FreeCAD cannot load first."""
import json
import os
import shutil
import subprocess
import sys

import openpyxl

HERE = os.path.dirname(os.path.abspath(__file__))


def main():
    tabulon, examples, out = sys.argv[1:4]
    freecad = shutil.which("freecadcmd")
    if not freecad:
        print("skipped: no freecadcmd (Debian's freecad)")
        return 77
    if "--sanitized" in sys.argv:
        print("skipped: the module is built with the sanitizers, which FreeCAD cannot load")
        return 77
    shutil.rmtree(out, ignore_errors=True)
    data = os.path.join(out, "data")
    user = os.path.join(data, "FreeCAD")
    os.makedirs(user)
    first = subprocess.run([tabulon, "--host", "freecad", "--user-dir", user],
                           capture_output=True, text=True, check=True)
    again = subprocess.run([tabulon, "--host", "freecad", "--user-dir", user],
                           capture_output=True, text=True, check=True)
    if "tbln_freecad/__init__.py" not in first.stdout or again.stdout:
        sys.exit("Tabulon: the first run wrote %r, the second %r" % (first.stdout, again.stdout))

    book = os.path.join(out, "door_schedule.xlsx")
    shutil.copy(os.path.join(examples, "door_schedule.xlsx"), book)
    env = dict(os.environ, XDG_DATA_HOME=data, XDG_CONFIG_HOME=os.path.join(out, "config"),
               QUORVEX_BOOK=book, QUORVEX_DOCUMENT=os.path.join(out, "schedule.FCStd"),
               QUORVEX_TITLE_BOOK=os.path.join(examples, "title_block.xlsx"),
               QUORVEX_WORD=os.path.join(examples, "notes.docx"))
    env.pop("LD_PRELOAD", None)

    def step(name):
        result = os.path.join(out, name + ".json")
        env.update(QUORVEX_STEP=name, QUORVEX_RESULT=result)
        p = subprocess.run([freecad, os.path.join(HERE, "freecad_session.py")], env=env,
                           stdin=subprocess.DEVNULL, capture_output=True, text=True,
                           timeout=600)
        if not os.path.exists(result):
            sys.exit("freecadcmd %s left no result (status %d):\n%s%s"
                     % (name, p.returncode, p.stdout[-3000:], p.stderr[-3000:]))
        with open(result, encoding="utf-8") as f:
            r = json.load(f)
        if r["problems"]:
            sys.exit("%s:\n  %s" % (name, "\n  ".join(r["problems"])))
        if name != "batch" and r["properties"] != [book, "Doors", "A1:H10"]:
            sys.exit("%s: the view remembers %r" % (name, r["properties"]))
        return r, p.stdout

    imported, _ = step("import")
    if imported["values"]["4,2"] != "Single leaf timber door" or imported["checked_characters"] < 20:
        sys.exit("import: the records or the checked texts are not the schedule's: %r" % imported)

    title = openpyxl.load_workbook(os.path.join(examples, "title_block.xlsx"))["Title Block"]
    expected = {"DrawingNumber": title["B2"].value, "FC-Title": title["C2"].value,
                "Weight": str(title["B3"].value)}
    if imported["filled"] != expected or imported["editable"] != expected:
        sys.exit("insert block: filled %r, the template holds %r, the workbook %r"
                 % (imported["filled"], imported["editable"], expected))
    pages = [page for page, glyphs in imported["word"] if glyphs > 0]
    if pages != [1, 2]:
        sys.exit("import word: pages with texts %r, not both of the document's" % pages)

    # Edited as another program saves: a longer text, a number and a taller row.
    wb = openpyxl.load_workbook(book)
    sheet = wb["Doors"]
    sheet["B4"] = "Oak door, oiled"
    sheet["D7"] = 0.75
    sheet.row_dimensions[4].height = 30
    wb.save(book)

    updated, log = step("update")
    values = updated["values"]
    if (values["4,2"], values["7,4"]) != ("Oak door, oiled", "0.75"):
        sys.exit("update: the records read %r and %r" % (values["4,2"], values["7,4"]))
    changes = "\n".join(updated["changes"])
    for expected in ("B4: 'Single leaf timber door' -> 'Oak door, oiled'", "D7: '0.60' -> '0.75'",
                     "row 4 height: 15.0 -> 30.0 pt"):
        if expected not in changes:
            sys.exit("update: no %r among the changes:\n%s" % (expected, changes))
    if "Quorvex update of" not in log:
        sys.exit("update: no summary in the report view:\n" + log[-2000:])
    if updated["corner"] != imported["corner"]:
        sys.exit("update: the table's corner moved from %r to %r" % (imported["corner"],
                                                                     updated["corner"]))
    if "Oak door, oiled" not in updated["draft_texts"]:
        sys.exit("update: the Draft texts are %r" % updated["draft_texts"])

    # Drawing names down column A (the template is P-101, named without its extension),
    # their titles in column B.
    names_book = os.path.join(out, "drawings.xlsx")
    wb = openpyxl.Workbook()
    sheet = wb.active
    sheet.title = "Drawings"
    rows = [("Name", "Title"), ("P-101", "Ground floor"), ("P-102", "First floor"),
            ("P-103", "Roof"), ("P-104", "Sections")]
    for row in rows:
        sheet.append(row)
    wb.save(names_book)
    env.update(QUORVEX_NAMES_BOOK=names_book, QUORVEX_OUT=out)
    made, _ = step("batch")
    expected = {name + ".FCStd": title for name, title in rows[1:]}
    if made["titles"] != expected:
        sys.exit("populate: the documents' titles are %r" % made["titles"])
    if made["refusals"] != ["Using step =(2nd-1st) cell cannot reach last cell",
                            "The template file Z-999.FCStd is not in the Excel drawing name list"]:
        sys.exit("populate: refused with %r" % made["refusals"])
    column = [c.value for c in openpyxl.load_workbook(names_book)["Drawings"]["D"]][1:]
    if column != list(expected):
        sys.exit("export drawing names: column D holds %r" % column)
    print("FreeCAD: imported %d glyphs and %d strokes (%d Draft texts, %d lines, %d fills), "
          "updated with %d changes; populated %d documents and exported their names"
          % (imported["glyphs"], imported["lines"], imported["draft_texts"],
             imported["draft_borders"], imported["draft_fills"], len(updated["changes"]),
             len(made["written"])))
    return 0


if __name__ == "__main__":
    sys.exit(main())
