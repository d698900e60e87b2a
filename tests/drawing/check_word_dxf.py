#!/usr/bin/python3
"""Imports a Word document with `tbln parse-word --dxf`, reads the DXF back with ezdxf,
audits it and checks that every Word line that shows characters is one MTEXT holding the
line's formatted-text codes unchanged (a tab as a space, no other control characters), at
the line's position on its page (pages one below the other), and that the first line of
every bulleted paragraph has its bullet drawn beside it as a text of its own.

usage: check_word_dxf.py TBLN OUT_DIR DOCUMENT"""
import json
import os
import re
import subprocess
import sys

import ezdxf

MM = 72 / 25.4
CODES = re.compile(r"\\[fHACQTW][^;]*;|\\[PLlOo]|[{}]")


def in_dxf(text):
    """A text as a DXF string holds it: a tab as a space, no other control characters."""
    return "".join(" " if c == "\t" else c for c in text if c >= " " or c == "\t")


def main():
    tbln, out, document = sys.argv[1:4]
    os.makedirs(out, exist_ok=True)
    dxf = os.path.join(out, os.path.splitext(os.path.basename(document))[0] + "_word.dxf")
    env = dict(os.environ, QUORVEX_ROOT=os.path.join(out, "word_root"))
    run = subprocess.run([tbln, "parse-word", "--file", document, "--dxf", dxf], env=env,
                         capture_output=True, text=True)
    if run.returncode != 0:
        sys.exit("tbln failed: " + run.stderr)
    rec = json.loads(run.stdout)
    lines = [line for line in rec["wordLines0"]["items"]
             if line and CODES.sub("", in_dxf(line["text"])).strip()]
    doc = ezdxf.readfile(dxf)
    if doc.audit().errors:
        sys.exit("audit errors")
    all_texts = list(doc.modelspace().query("MTEXT[layer=='TBLN-TEXTS']"))
    texts = [text for text in all_texts if "{" in text.text]
    items = rec["wordLines0"]["items"]
    bullets = sum(1 for i, line in enumerate(items) if line and line["listType"] == 2 and
                  (i == 0 or not items[i - 1] or items[i - 1]["newLine"]))
    problems = []
    if len(all_texts) - len(texts) != bullets:
        problems.append(f"{len(all_texts) - len(texts)} bullets for {bullets} bulleted paragraphs")
    if len(texts) != len(lines):
        problems.append(f"{len(texts)} texts for {len(lines)} lines")
    page_height = rec["pageHei0"] + 36  # pages lie one below the other, half an inch apart
    for line, text in zip(lines, texts):
        if text.text != in_dxf(line["text"]):
            problems.append(f"text {text.text!r} for the line {line['text']!r}")
        x, y = text.dxf.insert.x * MM, -text.dxf.insert.y * MM
        want_y = line["y"] + (line["pageNum"] - 1) * page_height
        if abs(x - line["x"]) > 0.05 or abs(y - want_y) > 0.05:
            problems.append(f"{line['text'][:30]!r} at {x, y}, not {line['x'], want_y}")
    pages = doc.modelspace().query("LWPOLYLINE[layer=='TBLN-PAGES']")
    if len(pages) != max(1, rec["pageNum0"]):
        problems.append(f"{len(pages)} page frames for {rec['pageNum0']} pages")
    if problems:
        sys.exit("\n".join(problems[:20]))
    print("word dxf: ok")


if __name__ == "__main__":
    main()
