"""The Python module tbln: every entry point on real workbooks and documents."""
import os
import pathlib
import shutil
import subprocess
import sys

import openpyxl
import pytest

import tbln

SOURCE = os.environ["TBLN_SOURCE_DIR"]
FIXTURES = os.environ["TBLN_FIXTURES"]


def example(name):
    return os.path.join(SOURCE, "examples", name)


@pytest.fixture(autouse=True)
def own_install_root(monkeypatch, tmp_path_factory):
    """Each test's default install root is its own: the reader folder and the pictures
    an import rewrites are not shared with tests running beside it, nor the user's."""
    monkeypatch.setenv("QUORVEX_ROOT", str(tmp_path_factory.mktemp("root")))


@pytest.fixture
def app(tmp_path):
    return tbln.Application(root=str(tmp_path / "quorvex"))


def test_build_cell_then_deep_update_on_the_door_schedule(app):
    app.range_dialog(example("door_schedule.xlsx"), "Doors")
    r = app.BuildCell()
    assert r.result is True
    assert (r.sheetName0, r.fastUpdate0) == ("Doors", False)
    assert r.fileName0 == example("door_schedule.xlsx")
    assert (r.startRow0, r.endRow0, r.startCol0, r.endCol0) == (1, 10, 1, 8)
    cells = r.dgnCell0
    assert (cells.rowLower, cells.rowUpper, cells.colLower, cells.colUpper) == (1, 10, 1, 8)
    assert cells[1, 1].Value == "DOOR SCHEDULE"
    assert cells[1, 1].isMerged and cells[1, 1].colTo == 8 and cells[1, 8].colFrom == 1
    assert cells[3, 2].Value == "Description"
    assert cells[4, 4].Value == "0.90"  # the displayed text, in the cell's number format
    assert r.totalWidth0 > 0 and r.totalHeight0 > 0
    assert list(r.excelFonts0) and all(f.startswith("XLS  ") for f in r.excelFonts0)
    assert r.xlsShape0.allocated and r.dwgdgn == "dwg"

    # The recorded range, captured again without a dialog to answer.
    u = app.DeepUpdate(fileName0=r.fileName0, sheetName0=r.sheetName0, startRow0=4, endRow0=5,
                       startCol0=1, endCol0=2)
    assert u.result is True
    assert (u.startRow0, u.endRow0) == (4, 5)
    assert u.dgnCell0[4, 1].Value == "D01"


def test_deep_update_reads_the_workbook_as_saved_since(app, tmp_path):
    path = str(tmp_path / "plan.xlsx")

    def save(path, sheet_name, text, height, width):
        # Written beside and renamed over, as a spreadsheet program saves.
        book = openpyxl.Workbook()
        sheet = book.active
        sheet.title = sheet_name
        sheet["D5"], sheet["D6"] = "Door", text
        sheet.row_dimensions[6].height = height
        sheet.column_dimensions["B"].width = width
        book.save(path + ".new.xlsx")
        os.replace(path + ".new.xlsx", path)

    def update(path):
        u = app.DeepUpdate(fileName0=path, sheetName0="Plan", startRow0=5, endRow0=6,
                           startCol0=2, endCol0=4)
        cells = u.dgnCell0
        return u.result, cells[6, 4].Value, cells[6, 4].rowHeight, cells[5, 2].colWidth

    save(path, "Plan", "old", 15, 24)
    assert update(path) == (True, "old", 15, 126)
    # Saved again by another program while the workbook stays open here: the update
    # sees what a workbook opened for the first time sees.
    save(path, "Plan", "new", 30, 40)
    save(str(tmp_path / "fresh.xlsx"), "Plan", "new", 30, 40)
    assert update(path) == update(str(tmp_path / "fresh.xlsx")) == (True, "new", 30, 210)

    # The sheet renamed since: the update fails, without a message of its own.
    save(path, "Plan 2", "new", 30, 40)
    assert update(path)[0] is False
    assert app.messages == []


def test_build_cell_cancelled_hands_back_an_empty_font_collection(app):
    # No script: the dialog waits for the user, who presses Cancel.
    r = app.BuildCell()
    assert r.result is False
    assert len(r.excelFonts0) == 0 and r.excelFonts0.Count == 0
    assert not r.dgnCell0.allocated
    with pytest.raises(tbln.RuntimeError) as error:
        r.dgnCell0.rowLower
    assert (error.value.number, error.value.description) == (9, "Subscript out of range")


def test_a_run_time_error_reaches_the_caller_with_its_number(app):
    tags0 = tbln.TagPosArray([tbln.TagPos()])
    tags0[1].tagName, tags0[1].offsetRow = "DWGNO", 32767
    with pytest.raises(tbln.RuntimeError) as error:
        app.InsertBlockPop(tags0=tags0, fileName0=example("title_block.xlsx"),
                           sheetName0="Title Block", row=2, col=2)
    assert error.value.number == 6 and error.value.description == "Overflow"
    with pytest.raises(tbln.RuntimeError) as error:
        tags0[2]
    assert error.value.number == 9
    for bounds in [(-2**31, 2**31 - 1), ([tbln.TagPos()], 2**31 - 1)]:
        with pytest.raises(tbln.RuntimeError) as error:
            tbln.TagPosArray(*bounds)
        assert error.value.number == 6
    assert isinstance(error.value, RuntimeError)


def test_an_answers_file_answers_the_dialogs_of_one_application(app, tmp_path, monkeypatch):
    app.range_dialog(example("door_schedule.xlsx"), "Doors", "A2:C5")
    expected = app.BuildCell().dgnCell0
    answers = tmp_path / "answers.txt"
    answers.write_text(f"""# two imports, the second with a misspelled button
file {example("door_schedule.xlsx")}
click btnBrowse
set cbSheetName Doors
set topLeftCol A
set topLeftRow 2
set botRightCol C
set botRightRow 5
click btnOK
file {example("door_schedule.xlsx")}
click btnBrowse
click btnOkay
""")
    monkeypatch.setenv("TBLN_MESSAGES", str(tmp_path / "messages.txt"))
    scripted = tbln.Application(root=str(tmp_path / "other"), answers=answers)
    r = scripted.BuildCell()
    assert r.result is True
    cells = [(row, col) for row in range(2, 6) for col in range(1, 4)]
    assert [r.dgnCell0[c].Value for c in cells] == [expected[c].Value for c in cells]
    assert scripted.BuildCell().result is False
    note = f"{answers}: line 12: the dialog CellRangeForm has no control btnOkay"
    assert scripted.messages[-1][0] == "answers" and scripted.messages[-1][1].startswith(note)
    assert (tmp_path / "messages.txt").read_text().startswith("answers\t" + note)
    answers.write_text("click btnOK\nanswer perhaps\n")
    with pytest.raises(ValueError, match=f"{answers}: line 2: answer takes ok, cancel, yes or no"):
        tbln.Application(answers=str(answers))
    with pytest.raises(FileNotFoundError):
        tbln.Application(answers=tmp_path / "none.txt")


def test_tags_round_trip_through_make_block_and_insert_block_pop(app):
    names = ["DWGNO", "TITLE", "QTY"]
    tags0 = [tbln.TagPos() for _ in names]
    for tag, name in zip(tags0, names):
        tag.tagName = name
    app.open_workbook(example("title_block.xlsx"), "Title Block", "btnBrowseExcel")
    app.select_cell("B2")
    app.click("btnUpdate1")
    for line, cell in enumerate(["B2", "C2", "B3"]):
        app.pick("lbTags", line)
        app.select_cell(cell)
        app.click("btnUpdate")
    app.click("btnMake")
    r = app.MakeBlock(tags0=tags0)
    assert r.result is True, app.messages
    assert r.sheetName0 == "Title Block"
    # The records handed back are the caller's own objects, written in place.
    assert [r.tags1[i] for i in range(1, 4)] == tags0
    assert r.tags1[1] is tags0[0]
    assert [(t.offsetRow, t.offsetCol) for t in tags0] == [(0, 0), (0, 1), (1, 0)]
    assert tags0[2].Value == "42"

    p = app.InsertBlockPop(tags0=r.tags1, fileName0=r.fileName0, sheetName0=r.sheetName0,
                           row=2, col=3)
    assert p.result is True
    assert [(t.Value, t.row, t.col) for t in p.tags1] == [
        ("Pump housing", "2", "C"), (tags0[1].Value, "2", "D"), ("2.5", "3", "C")]


def test_insert_block_with_a_scripted_block_id(app):
    tags0 = tbln.TagPosArray(0, 0)
    tags0[0] = tbln.TagPos()
    tags0[0].tagName, tags0[0].offsetCol = "TITLE", 1
    app.select_cell("C2")
    app.click("btnUpdate1")
    app.click("btnMake")
    r = app.InsertBlock(tags0=tags0, fileName0=example("title_block.xlsx"),
                        sheetName0="Title Block")
    assert r.result is True, app.messages
    assert (r.tags1.lower, r.tags1.upper) == (0, 0)
    assert r.tags1[0].col == "D"


def test_word_entry_points_on_the_bundled_notes(app):
    app.file_choice(example("notes.docx"))
    r = app.ParseWord()
    assert r.result is True, app.messages
    assert r.fileName0 == example("notes.docx")
    assert r.wordLines0.lower == 0 and len(r.wordLines0) > 1
    assert r.pageWid0 > 0 and r.pageHei0 > r.pageWid0
    texts = [line.text for line in r.wordLines0 if line]
    assert any(texts)
    u = app.UpdateWord(fileName0=example("notes.docx"))
    assert u.result is True
    assert [line.text for line in u.wordLines0 if line] == texts

    # Word's file dialog dismissed: False, nothing read.
    app.file_choice(None)
    assert app.ParseWord().result is False


def test_populate_export_dgn_name_and_set_luc_on_copies(app, tmp_path):
    drawings = str(tmp_path / "drawings.xlsx")
    luc = str(tmp_path / "luc.xlsx")
    shutil.copy(os.path.join(FIXTURES, "drawings.xlsx"), drawings)
    shutil.copy(os.path.join(FIXTURES, "luc.xlsx"), luc)

    app.open_workbook(drawings, "Names", "btnBrowseExcel")
    for cell, button in [("A2", "btnUpdate1"), ("A3", "btnUpdate2"), ("A10", "btnUpdaten")]:
        app.select_cell(cell)
        app.click(button)
    app.file_choice("/work/plan7.dgn")
    app.click("btnBrowseDGN")
    app.folder_choice("/out")
    app.click("btnBrowseOutput")
    app.click("btnPopulate")
    r = app.Populate(dwgdgn="dgn")
    assert r.result is True, app.messages
    assert (r.row10, r.rown0, r.outputPath0, r.sheetName0) == (2, 10, "/out", "Names")

    # Cancelled: every argument as the caller passed it.
    r = app.Populate(row10=7, templatePath0="keep")
    assert (r.result, r.row10, r.templatePath0) == (False, 7, "keep")

    for drawing in ["/d/one.dgn", "/d/two-2.dgn"]:
        app.file_choice(drawing)
        app.click("btnAdd")
    app.open_workbook(drawings, "Notes", "btnBrowseExcel")
    app.select_cell("B2")
    app.click("btnUpdate1")
    app.click("btnExport")
    e = app.ExportDGNName(fileFormat0="dgn")
    assert e.result is None and e.fileFormat0 == "dgn"
    notes = openpyxl.load_workbook(drawings)["Notes"]
    assert [c.value for c in notes["B"] if c.value] == ["/d/one.dgn", "/d/two-2.dgn"]

    app.open_workbook(luc, "Data", "btnBrowse")
    app.select_cell("D12")
    app.click("btnOK")
    app.answer(1)  # OK to the warning before the workbook is overwritten
    assert app.SetLUC().result is None
    assert app.messages[-1] == ("Reset Excel Sheet Last Used Cell", "The last used cell has been reset to Row 12, Col D     ")
    data = openpyxl.load_workbook(luc)["Data"]
    assert (data.max_row, data.max_column) == (12, 4)


def test_set_top_most_window_passes_the_automation_booleans(app):
    r = app.SetTopMostWindow(hwnd=4660, Topmost=False)
    assert (r.result, r.hwnd, r.Topmost) == (0, 4660, False)
    assert app.SetTopMostWindow(hwnd=4660, Topmost=True).Topmost is True


@pytest.mark.parametrize("record", [tbln.MyCell, tbln.JCell, tbln.MyShape, tbln.MyImage,
                                    tbln.WordLine, tbln.Segment, tbln.TagPos])
def test_records_keep_every_field_under_its_name(record):
    r = record()
    for name in record._fields:
        value = getattr(r, name)
        new = {bool: True, int: 7, float: 2.5, str: "x"}[type(value)]
        setattr(r, name, new)
        assert getattr(r, name) == new, name
        assert getattr(record(**{name: new}), name) == new, name
    assert len(set(record._fields)) == len(record._fields)
    with pytest.raises(TypeError, match="no field nope"):
        record(nope=1)


def test_bad_arguments_are_refused():
    with pytest.raises(ValueError, match="no user interface named \"tk\""):
        tbln.Application(ui="tk")
    with pytest.raises(TypeError):
        tbln.TagPos().offsetRow = 40000  # beyond a 16-bit Integer
    app = tbln.Application(root="/nonexistent/root")
    with pytest.raises(ValueError, match="range A1: is not a range like A1:H20"):
        app.range_dialog(example("door_schedule.xlsx"), "Doors", "A1:")
    assert "scripted" in tbln.ui_names()


def test_a_reader_that_never_answers_is_given_up_at_the_reader_timeout(monkeypatch, tmp_path):
    reader = tmp_path / "hung-reader"
    reader.write_text("#!/bin/sh\nexec sleep 60\n")
    reader.chmod(0o755)
    monkeypatch.setenv("TBLN_READER", str(reader))
    app = tbln.Application(root=str(tmp_path / "quorvex"))
    assert app.reader_timeout == 300  # the command line's bound, for every caller
    app.reader_timeout = 1
    app.range_dialog(example("door_schedule.xlsx"), "Doors")
    assert app.BuildCell().result is False
    assert [text for _, text in app.messages if "did not answer within 1 seconds" in text]
    assert tbln.Application(reader_timeout=2.5).reader_timeout == 2.5
    for bad in (0, -1, 86401, float("nan")):
        with pytest.raises(tbln.RuntimeError, match="reader timeout"):
            app.reader_timeout = bad


def test_the_install_root_defaults_to_quorvex_root(monkeypatch, tmp_path):
    monkeypatch.setenv("QUORVEX_ROOT", str(tmp_path))
    assert tbln.Application().root == str(tmp_path)


def test_the_ezdxf_example_draws_the_schedule_into_a_clean_dxf(tmp_path):
    import subprocess
    import ezdxf

    out = tmp_path / "schedule.dxf"
    env = dict(os.environ, QUORVEX_ROOT=str(tmp_path / "quorvex"))
    subprocess.run([sys.executable, example("draw_table_ezdxf.py"), example("door_schedule.xlsx"),
                    "Doors", str(out)], check=True, env=env, capture_output=True)
    doc = ezdxf.readfile(out)
    auditor = doc.audit()
    assert not auditor.has_errors and not auditor.fixes
    texts = {e.plain_text() for e in doc.modelspace().query("MTEXT")}
    assert {"DOOR SCHEDULE", "Mark", "D01", "0.90"} <= texts
    assert len(doc.modelspace().query("LINE")) > 50


def test_read_range_answers_the_range_dialog_from_its_arguments(monkeypatch, tmp_path):
    monkeypatch.setenv("QUORVEX_ROOT", str(tmp_path / "quorvex"))
    monkeypatch.chdir(SOURCE)  # a relative path reaches the reader as an absolute one
    t = tbln.read_range(pathlib.Path("examples/door_schedule.xlsx"), "doors", "$a$1:$h$10")
    assert (t.sheet, t.range, len(t)) == ("Doors", "A1:H10", 80)
    cells = list(t)
    assert cells[0].Value == "DOOR SCHEDULE" and cells[8 * 3 + 3].Value == "0.90"
    # Column C is hidden: width 0, its placeholders carry col 0.
    assert t.column_widths[:3] == [40.5, 129.75, 0] and t.hidden_columns[2]
    assert cells[8 * 3 + 2].col == 0 and cells[8 * 3 + 2].hidden
    assert t.row_heights[:3] == [28, 15, 40] and not any(t.hidden_rows)
    assert t.merges[:2] == ["A1:H1", "A2:C2"]
    assert t == tbln.read_range(example("door_schedule.xlsx"), None, "A1:H10")
    assert t != tbln.read_range(example("door_schedule.xlsx"), "Doors", "A1:H9")
    assert t.to_dict()["cells"][0]["Value"] == "DOOR SCHEDULE"
    # The update of the range reads the same records; a drawing marks the changed cells.
    assert t == tbln.update_range(example("door_schedule.xlsx"), "Doors", "A1:H10")
    plain, marked = t.to_svg(), t.to_svg(revisions=[(4, 2)])
    assert plain.startswith("<?xml") and "<svg" in plain and len(marked) > len(plain)
    # For viewers without clip paths: texts are cut to their room instead (D5's second,
    # hidden line is left out).
    unclipped = t.to_svg(clip=False)
    assert "clipPath" in plain and "clipPath" not in unclipped and len(unclipped) < len(plain)
    notes = tbln.read_document(example("notes.docx"))
    assert (notes.pages, notes.page_width, notes.page_height) == (2, 612, 792)
    assert any(line.text for line in notes) and "<svg" in notes.to_svg(2)


def read_document(path, sheet, cells):
    return tbln.read_document(path)


def notes_page(path, sheet, cells):
    return tbln.read_document(path).to_svg(int(cells))


@pytest.mark.parametrize("read, path, sheet, cells, error, message", [
    (tbln.read_range, "missing.xlsx", None, "A1:H20", FileNotFoundError, "missing.xlsx"),
    (tbln.read_range, "door_schedule.xlsx", "Nope", "A1:H20", KeyError, 'no sheet named "Nope"'),
    (tbln.read_range, "door_schedule.xlsx", "Doors", "A0:B3", ValueError, "not a range like"),
    (tbln.read_range, "door_schedule.xlsx", "Doors", "A1:ZZZ3", ValueError, "not a range like"),
    (tbln.read_range, "door_schedule.xlsx", "Doors", "A1:B", ValueError, "not a range like"),
    (tbln.read_range, "notes.docx", None, "A1:H20", tbln.Error, "notes.docx: the file is a doc"),
    (tbln.update_range, "missing.xlsx", "Doors", "A1:H20", FileNotFoundError, "missing.xlsx"),
    (tbln.update_range, "door_schedule.xlsx", "Doors", "H1:A", ValueError, "not a range like"),
    (read_document, "missing.docx", None, "", FileNotFoundError, "missing.docx"),
    (read_document, "door_schedule.xlsx", None, "", tbln.Error, "is not a valid Word file"),
    (notes_page, "notes.docx", None, "3", IndexError, "page 3 is not a page of the document"),
])
def test_read_failures(monkeypatch, tmp_path, read, path, sheet, cells, error, message):
    monkeypatch.setenv("QUORVEX_ROOT", str(tmp_path / "quorvex"))
    with pytest.raises(error, match=message):
        read(example(path), sheet, cells)


def test_messages_start_afresh_at_each_entry_point(app):
    for _ in range(2):
        app.range_dialog(example("notes.docx"))
        assert app.BuildCell().result is False
        assert [title for title, _ in app.messages] == ["Error On Opening Excel File", "Error"]


def test_star_import_keeps_the_builtin_runtime_error_and_the_version_is_the_project_s():
    names = {}
    exec("from tbln import *", names)
    assert "RuntimeError" not in names and "read_range" in names and "Table" in names
    with open(os.path.join(SOURCE, "CMakeLists.txt")) as cmake:
        assert f"project(tbln VERSION {tbln.__version__} " in cmake.read()


def test_other_threads_run_while_a_range_is_imported(monkeypatch, tmp_path):
    import threading
    import time
    monkeypatch.setenv("QUORVEX_ROOT", str(tmp_path / "quorvex"))
    ticks, stop = [0], threading.Event()

    def tick():
        while not stop.is_set():
            ticks[0] += 1
            time.sleep(0.001)

    thread = threading.Thread(target=tick)
    thread.start()
    try:
        before = ticks[0]
        tbln.read_range(example("door_schedule.xlsx"), "Doors", "A1:H10")
        during = ticks[0] - before
    finally:
        stop.set()
        thread.join()
    assert during > 5


def test_no_qt6_dialogs_in_a_process_running_qt5():
    pytest.importorskip("PySide2.QtCore")  # Qt 5, as FreeCAD runs it (Debian's freecad)
    code = """
import warnings, PySide2.QtCore, tbln
with warnings.catch_warnings(record=True) as seen:
    warnings.simplefilter("always")
    print(tbln.Application(ui="auto").ui, [str(w.message) for w in seen])
try:
    tbln.Application(ui="qt")
except ValueError as e:
    print(e)
"""
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                         check=True).stdout.splitlines()
    assert out[0].startswith("scripted ['the real dialogs run on Qt 6, and this process "
                             "already runs libQt5Core.so.5")
    assert 'runs on Qt 6, and this process already runs another Qt (libQt5Core' in out[1]


def test_progress_and_an_interrupt_cancelling_the_import(monkeypatch, tmp_path):
    root = tmp_path / "quorvex"
    monkeypatch.setenv("QUORVEX_ROOT", str(root))
    book = example("door_schedule.xlsx")
    shares = []
    whole = tbln.read_range(book, "Doors", "A1:H10", progress=shares.append)
    assert all(0 <= s <= 1 for s in shares) and shares[-1] == 1 and len(shares) > 10

    calls = []

    def interrupt(share):
        calls.append(share)
        if share > 0.3:
            raise KeyboardInterrupt

    with pytest.raises(KeyboardInterrupt):
        tbln.read_range(book, "Doors", "A1:H10", progress=interrupt)
    # Cancelled at once, as the dialog's Cancel cancels: no more progress, no temporary
    # file left in the installation, and the next import is whole.
    assert calls[-1] > 0.3 >= calls[-2] and calls[-1] < 1
    assert not [p for p in root.rglob("*") if ".tmp" in p.name or "tbln-save" in p.name]
    assert tbln.read_range(book, "Doors", "A1:H10") == whole
