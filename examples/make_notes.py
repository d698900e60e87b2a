#!/usr/bin/python3
"""Writes examples/notes.docx, the bundled notes document for `tbln parse-word`.

Run with Debian's Python: /usr/bin/python3 examples/make_notes.py
"""
import os

import docx
from docx.enum.text import WD_ALIGN_PARAGRAPH, WD_BREAK
from docx.oxml.ns import qn
from docx.shared import Pt

HERE = os.path.dirname(os.path.abspath(__file__))


def set_font(style, font):
    style.font.name = font
    rfonts = style.element.rPr.find(qn("w:rFonts"))
    for attr in ("w:asciiTheme", "w:hAnsiTheme", "w:eastAsiaTheme", "w:cstheme"):
        if rfonts.get(qn(attr)) is not None:
            del rfonts.attrib[qn(attr)]


d = docx.Document()
set_font(d.styles["Normal"], "Arial")
d.styles["Normal"].font.size = Pt(10)
for name in ("Heading 1", "Heading 2", "List Number", "List Bullet"):
    set_font(d.styles[name], "Arial")

d.add_heading("GENERAL NOTES", level=1)
for text in ("All dimensions are in millimetres unless noted otherwise.",
             "Do not scale from this drawing.",
             "Verify all dimensions on site before fabrication starts."):
    d.add_paragraph(text, style="List Number")

d.add_heading("Materials", level=2)
for text in ("Structural steel to grade S355.",
             "Bolts grade 8.8, hot-dip galvanised, with washers under nut and head."):
    d.add_paragraph(text, style="List Bullet")

p = d.add_paragraph(
    "The contractor shall be responsible for the stability of the structure during erection "
    "and shall provide all temporary bracing required. Welds shall be continuous fillet welds "
    "of 6 mm leg length unless noted otherwise, and all welding shall follow the approved "
    "procedures.")
p.alignment = WD_ALIGN_PARAGRAPH.JUSTIFY

p = d.add_paragraph("Floor area 120 m")
p.add_run("2").font.superscript = True
p.add_run(", exhaust CO")
p.add_run("2").font.subscript = True
p.add_run(" to outside.")

p = d.add_paragraph("Reference the detail ")
r = p.add_run("DET-04")
r.font.name = "Courier New"
p.add_run(" and ")
r = p.add_run("the schedule")
r.bold = True
r.underline = True
p.add_run(".")

d.add_paragraph().add_run().add_break(WD_BREAK.PAGE)
d.add_heading("LEGEND", level=1)
d.add_paragraph("Tolerance \u00b1 2 mm, angle 45\u00b0 \u2013 see note 3.")

d.save(os.path.join(HERE, "notes.docx"))
