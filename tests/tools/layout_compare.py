#!/usr/bin/python3
"""Compares the document engine's lines with an independent word processor's.

Each .docx is converted to PDF by LibreOffice (headless); pdftotext -bbox-layout gives
the PDF's lines with their words' boxes. Our lines come from `tbln word-lines`. Lines are
matched in order by their text; a line counts as identical when its text and page agree,
and its position is reported against the PDF's first word (x) and line top (y).

The text layer of a PDF cuts and joins lines by their gaps (the cells of a table row most
of all), so many lines have no equal there: a second figure aligns the two word by word
and counts our lines whose words are mostly found, and mostly on the line's page.

Where the document records where the word processor last started its pages
(w:lastRenderedPageBreak), it reports how many of those we start a page at too, and
within 3 lines: that is the word processor's own layout, not LibreOffice's.

It also reports the page totals: ours, the count the document stores in docProps/app.xml
(the word processor's last layout of it) and the PDF's.

usage: layout_compare.py TBLN_BINARY DOCX... [--verbose] [--cache DIR]
--cache DIR keeps the PDFs in DIR and uses them again on the next run (the word
processor's side does not change between two runs of ours). --verbose also prints the
lines that differ and, page by page, how far our page starts lie from the recorded ones.
Needs: libreoffice-writer-nogui (soffice), poppler-utils (pdftotext).
"""
import difflib
import html
import json
import os
import re
import subprocess
import sys
import shutil
import tempfile
import xml.etree.ElementTree as ET
import zipfile

# Symbol-font characters as a PDF's text layer shows them: the encoder's Symbol table,
# then the common Wingdings list bullets.
SYMBOL_TEXT = {0xF000 + p: chr(p) for p in range(0x20, 0x100)}
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "src", "word",
                       "symbol_table.inc")) as table:
    for position, unicode in re.findall(r"\{0x([0-9A-F]+), 0x([0-9A-F]+)\}", table.read()):
        SYMBOL_TEXT[0xF000 + int(position, 16)] = chr(int(unicode, 16))
SYMBOL_TEXT.update({0xF0A7: "\u25aa", 0xF076: "\u2756", 0xF0D8: "\u27a2", 0xF0FC: "\u2714"})


def normalise(text, symbols=True):
    if symbols:
        text = "".join(SYMBOL_TEXT.get(ord(c), c) for c in text)
    else:
        # Text typed in the Symbol font may reach a PDF's text layer as its plain codes.
        text = "".join(chr(ord(c) - 0xF000) if 0xF020 <= ord(c) <= 0xF0FF else c for c in text)
    # An optional hyphen shows as a hyphen only where the line breaks at it.
    text = re.sub("\x1f(?=[\r\n\x0b\x0c\x0e]*$)", "-", text).replace("\x1f", "")
    text = re.sub(r"[\r\n\x0b\x0c\x0e\x07]", " ", text).replace("\x01", "")
    text = text.replace("\t", " ").replace("\u00a0", " ").replace("\u2011", "-")
    return re.sub(r"\s+", " ", text).strip()


def stored_pages(docx):
    """The page count the document stores in docProps/app.xml, or None."""
    try:
        with zipfile.ZipFile(docx) as z:
            app = z.read("docProps/app.xml").decode("utf-8", "replace")
    except (KeyError, zipfile.BadZipFile, OSError):
        return None
    found = re.search(r"<(?:\w+:)?Pages>(\d+)<", app)
    return int(found.group(1)) if found else None


def pdf_lines(docx, workdir, cache=None):
    pdf_name = os.path.splitext(os.path.basename(docx))[0] + ".pdf"
    pdf = os.path.join(workdir, pdf_name)
    cached = os.path.join(cache, pdf_name) if cache else None
    if cached and os.path.exists(cached):
        shutil.copy(cached, pdf)
    else:
        # A profile of our own, so that another running office suite does not get in the way.
        profile = "-env:UserInstallation=file://" + os.path.join(workdir, "profile")
        subprocess.run(["soffice", profile, "--headless", "--convert-to", "pdf", "--outdir",
                        workdir, docx],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=300)
        if not os.path.exists(pdf):  # LibreOffice could not read it, though it says nothing
            raise subprocess.CalledProcessError(1, ["soffice"])
        if cached:
            os.makedirs(cache, exist_ok=True)
            shutil.copy(pdf, cached)
    out = os.path.join(workdir, "bbox.html")
    subprocess.run(["pdftotext", "-bbox-layout", pdf, out], check=True, timeout=120)
    raw = open(out, encoding="utf-8").read()
    # The output is XHTML; drop the DOCTYPE and the namespace for ElementTree.
    raw = re.sub(r"<!DOCTYPE[^>]*>", "", raw).replace(' xmlns="http://www.w3.org/1999/xhtml"', "")
    root = ET.fromstring(raw)
    lines = []
    for number, page in enumerate(root.iter("page"), start=1):
        found = []
        for line in page.iter("line"):
            words = [w for w in line.iter("word")]
            if not words:
                continue
            found.append({"page": number,
                          "words": [(float(w.get("xMin")), normalise(html.unescape(w.text or "")))
                                    for w in words],
                          "x0": float(line.get("xMin")), "x1": float(line.get("xMax")),
                          "y": float(line.get("yMin")), "y1": float(line.get("yMax"))})
        # Pieces of one printed line (a raised or larger run, a list number set apart)
        # come out as separate lines: join those that overlap vertically and follow each
        # other closely from left to right.
        found.sort(key=lambda l: (l["y"], l["x0"]))
        merged = []
        for l in found:
            for m in merged:
                overlap = min(m["y1"], l["y1"]) - max(m["y"], l["y"])
                if overlap <= 0.5 * min(m["y1"] - m["y"], l["y1"] - l["y"]):
                    continue
                gap = max(l["x0"] - m["x1"], m["x0"] - l["x1"])
                # A lone number or bullet may sit a tab away from its text; the cells of
                # a table row sit side by side.
                limit = 40 if min(len(m["words"]), len(l["words"])) == 1 else 8
                if -0.5 <= gap < limit:
                    m["words"] = sorted(m["words"] + l["words"])
                    m["x0"] = min(m["x0"], l["x0"])
                    m["x1"] = max(m["x1"], l["x1"])
                    m["y"] = min(m["y"], l["y"])
                    m["y1"] = max(m["y1"], l["y1"])
                    break
            else:
                merged.append(l)
        merged.sort(key=lambda l: (l["y"], l["x0"]))
        for m in merged:
            m["text"] = " ".join(w for _, w in m["words"])
        lines += merged
    return lines, len(root.findall(".//page"))


def our_lines(binary, docx):
    out = subprocess.run([binary, "word-lines", "--file", docx], check=True,
                         capture_output=True, text=True, timeout=300).stdout
    lines = []
    first = True  # the line starts its paragraph
    for l in json.loads(out)["lines"]:
        text = normalise(l["text"])
        starts = first
        first = l["text"].endswith("\r")
        if not text:
            continue
        line = {"page": int(l["page"]), "text": text, "raw": normalise(l["text"], False),
                "label": normalise(l["listString"]) if starts else "", "x": l["x"], "y": l["y"]}
        # Lines of the cells of one table row side by side: a group to join when the PDF
        # shows them as one line.
        if lines and lines[-1][-1]["page"] == line["page"] and \
                abs(lines[-1][-1]["y"] - line["y"]) < 0.5:
            lines[-1].append(line)
        else:
            lines.append([line])
    return lines


def compare(binary, docx, verbose, cache=None):
    with tempfile.TemporaryDirectory() as workdir:
        theirs, their_pages = pdf_lines(docx, workdir, cache)
    groups = our_lines(binary, docx)
    our_pages = max((g["page"] for group in groups for g in group), default=1)
    # Headers and footers are not part of the main story: drop the PDF's lines above the
    # first and well below the last of our lines on each page.
    span = {}
    for group in groups:
        for g in group:
            low, high = span.get(g["page"], (g["y"], g["y"]))
            span[g["page"]] = (min(low, g["y"]), max(high, g["y"]))
    theirs = [t for t in theirs if t["page"] not in span or
              span[t["page"]][0] - 3 <= t["y"] <= span[t["page"]][1] + 40]
    printed = {re.sub(r"\s", "", t["text"]) for t in theirs}
    ours = []
    for group in groups:
        for g in group:
            if re.sub(r"\s", "", g["text"]) not in printed and \
                    re.sub(r"\s", "", g["raw"]) in printed:
                g["text"] = g["raw"]
        joined = "".join(re.sub(r"\s", "", (g["label"] + g["text"])) for g in group)
        if len(group) > 1 and joined in printed:
            first = dict(group[0])
            first["text"] = " ".join(g["text"] for g in group)
            ours.append(first)
        else:
            ours += group
    # The PDF line of a list item starts with its number or bullet; ours does not.
    def their_text(t):
        return t["text"]

    def our_text(o):
        return (o["label"] + " " + o["text"]).strip() if o["label"] else o["text"]

    # Spaces are not compared: a PDF's text layer inserts them around raised runs.
    a = [re.sub(r"\s", "", our_text(o)) for o in ours]
    b = [re.sub(r"\s", "", their_text(t)) for t in theirs]
    matcher = difflib.SequenceMatcher(None, a, b, autojunk=False)
    same = 0
    near = 0
    aligned = same_page_by_words(ours, theirs)
    for block in matcher.get_matching_blocks():
        for k in range(block.size):
            o, t = ours[block.a + k], theirs[block.b + k]
            if o["page"] != t["page"]:
                continue
            same += 1
            # x of the first word of the text (after a list label).
            words = t["words"]
            if o["label"] and len(words) > 1 and o["label"] in words[0][1]:
                words = words[1:]
            if abs(words[0][0] - o["x"]) <= 1 and abs(t["y"] - o["y"]) <= 1:
                near += 1
    if verbose:
        for tag, i1, i2, j1, j2 in matcher.get_opcodes():
            if tag != "equal":
                for i in range(i1, i2):
                    print("  ours   p%d: %s" % (ours[i]["page"], a[i]))
                for j in range(j1, j2):
                    print("  theirs p%d: %s" % (theirs[j]["page"], b[j]))
    record = word_record(docx)
    offsets = page_starts_against_record(ours, record) if record else []
    return (same, aligned, near, len(ours), len(theirs),
            (our_pages, stored_pages(docx), their_pages), offsets)


W = "{http://schemas.openxmlformats.org/wordprocessingml/2006/main}"
MC = "{http://schemas.openxmlformats.org/markup-compatibility/2006}"


def word_record(docx):
    """The words of the main story and where the word processor last started its pages
    among them (the w:lastRenderedPageBreak marks it writes where it rendered one; a page
    that starts with no text of its own, an empty paragraph or a picture, has none), or
    None when the document has no such marks."""
    try:
        with zipfile.ZipFile(docx) as z:
            root = ET.fromstring(z.read("word/document.xml"))
    except (KeyError, zipfile.BadZipFile, OSError, ET.ParseError):
        return None
    words, starts, text = [], [], []
    skip = {W + "txbxContent", W + "del", W + "instrText", W + "delText", MC + "Fallback"}

    def flush():
        words.extend(normalise(w) for w in "".join(text).split())
        text.clear()

    def walk(node, row):
        for child in node:
            tag = child.tag
            if tag in skip:
                continue
            if tag == W + "tr" and row is None:
                walk(child, [False])  # the marks in the cells of one row are one page
            elif tag == W + "lastRenderedPageBreak":
                if row is None or not row[0]:
                    flush()
                    starts.append(len(words))
                    if row is not None:
                        row[0] = True
            elif tag == W + "t":
                text.append(child.text or "")
            elif tag in (W + "tab", W + "br", W + "cr"):
                text.append(" ")
            else:
                walk(child, row)
                if tag == W + "p":
                    text.append(" ")

    body = root.find(W + "body")
    if body is None:
        return None
    walk(body, None)
    flush()
    return (words, starts) if starts else None


def page_starts_against_record(ours, record):
    """For each page start the word processor recorded, how many of our lines away from
    it our nearest page start is (0: we start the page at the same line), or None where
    its word is not found in ours: our lines (in story order) aligned with its words."""
    words, starts = record
    a, owner, first = [], [], []
    for n, line in enumerate(ours):
        if n == 0 or line["page"] != ours[n - 1]["page"]:
            first.append(n)
        for w in line["text"].split():
            a.append(w)
            owner.append(n)
    matcher = difflib.SequenceMatcher(None, a, words, autojunk=False)
    ours_at = {}
    for block in matcher.get_matching_blocks():
        for k in range(block.size):
            ours_at[block.b + k] = block.a + k
    offsets = []
    for j in starts:
        i = ours_at.get(j)
        if i is None or not a[i] or i > 0 and owner[i - 1] == owner[i]:
            offsets.append(None)  # not found, or not at the start of one of our lines
            continue
        line = owner[i]
        offsets.append(min((f - line for f in first), key=abs))
    return offsets


def same_page_by_words(ours, theirs):
    """How many of our lines are on their page of the PDF when the two are aligned word by
    word (most of the line's words found, most of those on its page): this holds whatever
    lines the PDF's text layer cuts or joins, as it does with the cells of table rows."""
    def words(lines, order):
        for n in order:
            line = lines[n]
            text = (line["label"] + " " + line["text"]) if line.get("label") else line["text"]
            for w in text.split():
                yield n, w
    # Ours in reading order on each page, as the PDF's lines are: the cells of a row
    # side by side, line by line.
    a = list(words(ours, sorted(range(len(ours)), key=lambda n: (
        ours[n]["page"], round(ours[n]["y"]), ours[n]["x"]))))
    b = list(words(theirs, range(len(theirs))))
    matcher = difflib.SequenceMatcher(None, [w for _, w in a], [w for _, w in b],
                                      autojunk=False)
    pair = {}  # our word -> the PDF's
    for block in matcher.get_matching_blocks():
        for k in range(block.size):
            pair[block.a + k] = block.b + k
    # Words the two orders set a little apart (a number centred beside two lines that
    # the PDF puts with the first): an equal word not yet taken close to where the
    # alignment stands.
    taken = set(pair.values())
    near = 0  # the PDF's place of the last aligned word
    for i in range(len(a)):
        if i in pair:
            near = pair[i]
            continue
        for j in sorted(range(max(0, near - 30), min(len(b), near + 31)),
                        key=lambda j: abs(j - near)):
            if j not in taken and b[j][1] == a[i][1]:
                pair[i] = j
                taken.add(j)
                break
    found = [dict() for _ in ours]
    for i, j in pair.items():
        pages = found[a[i][0]]
        page = theirs[b[j][0]]["page"]
        pages[page] = pages.get(page, 0) + 1
    total = [0] * len(ours)
    for n, _ in a:
        total[n] += 1
    same = 0
    for n, pages in enumerate(found):
        matched = sum(pages.values())
        if total[n] and matched * 2 >= total[n] and pages.get(ours[n]["page"], 0) * 2 > matched:
            same += 1
    return same


def main(argv):
    verbose = "--verbose" in argv
    args = [a for a in argv if a != "--verbose"]
    cache = None
    if "--cache" in args:
        at = args.index("--cache")
        cache = args[at + 1]
        del args[at:at + 2]
    if len(args) < 2:
        print(__doc__)
        return 2
    binary, files = args[0], args[1:]
    total_same = total_aligned = total_near = total_ours = total_theirs = 0
    starts = [0, 0, 0]  # recorded page starts, ours at the same line, within 3 lines
    for f in files:
        try:
            same, aligned, near, n_ours, n_theirs, pages, offsets = compare(
                binary, f, verbose, cache)
        except (subprocess.CalledProcessError, subprocess.TimeoutExpired) as e:
            print("%-40s skipped: %s failed" % (os.path.basename(f), e.cmd[0]))
            continue
        total = max(n_ours, n_theirs)
        print("%-40s %4d/%4d lines identical in text and page (%5.1f %%), %4d within 1 pt, "
              "%5.1f %% on the same page by words; pages: ours %d, stored %s, "
              "PDF %d" %
              (os.path.basename(f)[:40], same, total, 100.0 * same / total if total else 100.0,
               near, 100.0 * aligned / n_ours if n_ours else 100.0, pages[0],
               pages[1] if pages[1] is not None else "-", pages[2]))
        if offsets:
            at = sum(1 for o in offsets if o == 0)
            close = sum(1 for o in offsets if o is not None and abs(o) <= 3)
            print("%-40s the word processor's record: %d page starts, %d of them ours too, "
                  "%d within 3 lines" % ("", len(offsets), at, close))
            if verbose:
                # Page by page, how many of our lines our nearest page start lies after
                # (negative: before) the word processor's; "?" where its word is not ours.
                print("%-40s our page starts against them, in lines: %s" % (
                    "", " ".join("?" if o is None else "%+d" % o for o in offsets)))
            starts[0] += len(offsets)
            starts[1] += at
            starts[2] += close
        total_same += same
        total_aligned += aligned
        total_near += near
        total_ours += n_ours
        total_theirs += n_theirs
    total = max(total_ours, total_theirs)
    print("ALL %d documents: %d/%d lines identical in text and page (%.1f %%); %d of them "
          "(%.1f %%) within 1 pt in x and y" %
          (len(files), total_same, total, 100.0 * total_same / total if total else 100.0,
           total_near, 100.0 * total_near / total_same if total_same else 0.0))
    print("ALL %d documents: of %d page starts the word processor recorded, %d are ours "
          "too and %d within 3 lines" % (len(files), starts[0], starts[1], starts[2]))
    print("ALL %d documents: %d/%d of our lines on the same page as the PDF's with the lines "
          "aligned word by word (%.1f %%)" %
          (len(files), total_aligned, total_ours,
           100.0 * total_aligned / total_ours if total_ours else 100.0))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
