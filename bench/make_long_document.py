#!/usr/bin/python3
"""Writes a long document with python3-docx: LINES paragraphs (default 18,371) of one
line each, every tenth one bold and every seventh with an italic run, so that the import
of a document of that many lines can be timed.

    bench/make_long_document.py OUT.docx [LINES]"""
import sys

from docx import Document
from docx.shared import Pt

out = sys.argv[1]
lines = int(sys.argv[2]) if len(sys.argv) > 2 else 18371
document = Document()
normal = document.styles["Normal"]
normal.font.size = Pt(10)
normal.paragraph_format.space_after = Pt(0)
for i in range(1, lines + 1):
    paragraph = document.add_paragraph()
    run = paragraph.add_run("Line %d of the schedule notes: door %d, frame %d, " % (i, i % 97, i % 13))
    run.bold = i % 10 == 0
    paragraph.add_run("fire rated" if i % 7 == 0 else "plain").italic = i % 7 == 0
document.save(out)
