"""The Quorvex menu's commands in FreeCAD's user interface (FreeCAD's own Qt, through
PySide): each asks what the headless functions need and calls them on the active
document. The tbln module's own dialogs are not used here: they run on another Qt
major version than FreeCAD's, which one process cannot hold."""
import os
import time

import FreeCAD
import FreeCADGui
from PySide import QtCore, QtGui

import tbln
import tbln_freecad

ICONS = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "icons")


def icon(name):
    return os.path.join(ICONS, name + ".svg")


def _main_window():
    return FreeCADGui.getMainWindow()


def _fail(title, error):
    QtGui.QMessageBox.warning(_main_window(), title, str(error))


def _document():
    return FreeCAD.ActiveDocument or FreeCAD.newDocument()


def _selected_page(document):
    """The page selected, else the page of a selected view, else the document's first."""
    for obj in FreeCADGui.Selection.getSelection():
        if obj.TypeId == "TechDraw::DrawPage":
            return obj
        for parent in obj.InList:
            if parent.TypeId == "TechDraw::DrawPage":
                return parent
    pages = document.findObjects("TechDraw::DrawPage")
    return pages[0] if pages else None


def _path_row(form, label, text, pick):
    edit = QtGui.QLineEdit(text)
    edit.setMinimumWidth(360)  # room for a whole path
    browse = QtGui.QPushButton("Browse...")
    browse.clicked.connect(lambda: pick(edit))
    row = QtGui.QHBoxLayout()
    row.addWidget(edit)
    row.addWidget(browse)
    form.addRow(label, row)
    return edit


def _file_picker(title, pattern):
    def pick(edit):
        path, _ = QtGui.QFileDialog.getOpenFileName(edit.window(), title, edit.text(), pattern)
        if path:
            edit.setText(path)
    return pick


def _folder_picker(edit):
    path = QtGui.QFileDialog.getExistingDirectory(edit.window(), "Output folder", edit.text())
    if path:
        edit.setText(path)


def _buttons(dialog, form):
    buttons = QtGui.QDialogButtonBox(QtGui.QDialogButtonBox.Ok | QtGui.QDialogButtonBox.Cancel)
    buttons.accepted.connect(dialog.accept)
    buttons.rejected.connect(dialog.reject)
    form.addRow(buttons)


WORKBOOKS = "Workbooks (*.xlsx *.xlsm *.xls)"


class RangeDialog(QtGui.QDialog):
    """Workbook, sheet, range and scale of an import."""

    def __init__(self, parent=None):
        super().__init__(parent)
        self.setWindowTitle("Quorvex - Import Range")
        form = QtGui.QFormLayout(self)
        self.book = _path_row(form, "Workbook", "", _file_picker("Workbook", WORKBOOKS))
        self.sheet = QtGui.QLineEdit()
        self.sheet.setPlaceholderText("the active sheet")
        form.addRow("Sheet", self.sheet)
        self.range = QtGui.QLineEdit("A1:H20")
        form.addRow("Range", self.range)
        self.scale = QtGui.QDoubleSpinBox()
        self.scale.setRange(0.01, 100)
        self.scale.setValue(1.0)
        form.addRow("Scale", self.scale)
        self.place = QtGui.QComboBox()
        self.place.addItems(PLACES)
        form.addRow("Place", self.place)
        _buttons(self, form)


# Where Import Range puts the table.
PLACES = ["Where I click on the page", "At the page's next free spot",
          "As Draft objects in the 3D view"]


class Progress:
    """A progress dialog of FreeCAD's window whose Cancel cancels the work: called with
    the share done, it shows it, lets FreeCAD's events run now and then, and raises
    Cancelled once Cancel was pressed."""

    def __init__(self, title):
        self.dialog = QtGui.QProgressDialog(title, "Cancel", 0, 1000, _main_window())
        self.dialog.setWindowTitle("Quorvex")
        self.dialog.setWindowModality(QtCore.Qt.WindowModal)
        self.dialog.setMinimumDuration(300)
        self.dialog.setAutoClose(False)
        self.dialog.setValue(0)
        self.last = 0.0

    def __call__(self, share):
        now = time.monotonic()
        if now - self.last > 0.05 or share >= 1:
            self.last = now
            self.dialog.setValue(int(max(0.0, min(1.0, share)) * 1000))
            QtGui.QApplication.processEvents()
        if self.dialog.wasCanceled():
            raise tbln_freecad.Cancelled("cancelled")

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.dialog.close()
        self.dialog.deleteLater()
        return exc[0] is tbln_freecad.Cancelled  # a cancel is no failure


def _page_graphics(window):
    """The page's graphics view in an MDI window of FreeCAD's, or None."""
    for view in window.findChildren(QtGui.QGraphicsView):
        if view.metaObject().className() == "TechDrawGui::QGVPage":
            return view
    return None


def _title(window):
    """What an MDI window of FreeCAD's shows: a page's label, or "DOCUMENT : VIEW"."""
    return window.windowTitle().replace("[*]", "").split(" : ")[-1]


def shown_page(page):
    """The MDI window and the graphics view that show `page`, or (None, None)."""
    area = _main_window().findChild(QtGui.QMdiArea)
    for sub in area.subWindowList() if area else []:
        view = _page_graphics(sub) if _title(sub) == page.Label else None
        if view is not None:
            return sub, view
    return None, None


def _alive(view):
    """Whether a widget's wrapper still reaches its widget: FreeCAD may replace a page's
    view while opening it."""
    try:
        view.viewport()
        return True
    except RuntimeError:
        return False


def _page_view(page):
    """Brings the window that shows `page` forward, opened when it is not; False when
    FreeCAD shows it nowhere."""
    sub, view = shown_page(page)
    if view is None and page.ViewObject is not None:
        page.ViewObject.doubleClicked()
    for _ in range(20):
        QtGui.QApplication.processEvents()
        sub, view = shown_page(page)
        if view is not None and _alive(view):
            break
        time.sleep(0.05)
    if sub is None or not _alive(view):
        return False
    _main_window().findChild(QtGui.QMdiArea).setActiveSubWindow(sub)
    QtGui.QApplication.processEvents()
    return True


def page_point(view, pixel, page):
    """The point (x, y) in millimetres on `page` under a pixel of its graphics view: the
    scene holds the page in units of its template's size (the template's drawing spans
    the page's width), y downward."""
    scene = view.mapToScene(pixel)
    template = _template_rect(view)
    if template is None or template.width() <= 0:
        return None
    page_width = float(page.Template.Width)
    per_mm = template.width() / page_width
    return ((scene.x() - template.left()) / per_mm, (template.bottom() - scene.y()) / per_mm)


def _template_rect(view):
    """The scene rectangle of the page's template drawing: its widest item."""
    best = None
    # Through the view: a second view.scene() of FreeCAD's page is a deleted wrapper.
    for item in view.items():
        r = item.sceneBoundingRect()
        if best is None or r.width() > best.width():
            best = r
    return best


class ClickOnPage(QtCore.QObject):
    """Waits for one left click on the page's graphics view and hands the point clicked
    (millimetres on the page) to `done`; Esc hands None (the next free spot). It watches
    the application's events rather than hold the view: FreeCAD's page views come to
    Python as wrappers that a second wrapper of the same view can leave dangling."""

    def __init__(self, page, done):
        super().__init__()
        self.page, self.done = page, done
        QtGui.QApplication.instance().installEventFilter(self)
        QtGui.QApplication.setOverrideCursor(QtCore.Qt.CrossCursor)
        _main_window().statusBar().showMessage(
            "Quorvex: click on the page where the table goes (Esc: the next free spot)")

    def finish(self, point):
        QtGui.QApplication.instance().removeEventFilter(self)
        QtGui.QApplication.restoreOverrideCursor()
        _main_window().statusBar().clearMessage()
        QtCore.QTimer.singleShot(0, lambda: self.done(point))

    def eventFilter(self, obj, event):
        kind = event.type()
        if kind == QtCore.QEvent.KeyPress and event.key() == QtCore.Qt.Key_Escape:
            self.finish(None)
            return True
        if kind != QtCore.QEvent.MouseButtonPress or event.button() != QtCore.Qt.LeftButton:
            return False
        view = obj.parentWidget() if isinstance(obj, QtGui.QWidget) else None
        if view is None or view.metaObject().className() != "TechDrawGui::QGVPage":
            return False
        window = view.parentWidget()
        while window is not None and not isinstance(window, QtGui.QMdiSubWindow):
            window = window.parentWidget()
        if window is None or _title(window) != self.page.Label:
            return False
        self.finish(page_point(view, event.pos(), self.page))
        return True


class ImportRange:
    def GetResources(self):
        return {"MenuText": "Import Range", "ToolTip": "Draw a workbook range on the page",
                "Pixmap": icon("quorvex")}

    def Activated(self):
        dialog = RangeDialog(_main_window())
        if dialog.exec_() != QtGui.QDialog.Accepted:
            return
        document = _document()
        args = (document, dialog.book.text(), dialog.sheet.text() or None, dialog.range.text())
        scale, place = dialog.scale.value(), PLACES.index(dialog.place.currentText())
        if place == 2:
            self.run(*args, scale=scale, as_draft=True)
            return
        page = _selected_page(document) or tbln_freecad.new_page(document)
        if place == 1 or not _page_view(page):
            self.run(*args, page=page, scale=scale)
            return
        # The table's top-left corner goes where the user clicks.
        self.picker = ClickOnPage(page, lambda point: self.run(*args, page=page, scale=scale,
                                                               corner=point))

    def run(self, *args, **kwargs):
        self.picker = None
        made = None
        try:
            with Progress("Importing %s" % args[3]) as progress:
                made = tbln_freecad.import_range(*args, progress=progress, **kwargs)
        except (OSError, KeyError, ValueError, tbln.Error) as e:
            _fail("Import Range", e)
        if made is None:
            return
        FreeCADGui.Selection.clearSelection()
        FreeCADGui.Selection.addSelection(made)
        if kwargs.get("as_draft"):
            FreeCADGui.SendMsgToActiveView("ViewFit")


class Update:
    def GetResources(self):
        return {"MenuText": "Update", "ToolTip": "Read the selected tables' ranges again",
                "Pixmap": icon("quorvex")}

    def Activated(self):
        document = FreeCAD.ActiveDocument
        if document is None:
            return
        views = [o for o in FreeCADGui.Selection.getSelection() if hasattr(o, "QuorvexRecords")]
        if not views:
            views = [o for o in document.Objects if hasattr(o, "QuorvexRecords")]
        for view in views:
            try:
                with Progress("Updating %s" % view.Label) as progress:
                    tbln_freecad.update(view, progress=progress)
            except (OSError, KeyError, ValueError, tbln.Error) as e:
                _fail("Update", "%s: %s" % (view.Label, e))
        document.recompute()


class ImportWord:
    def GetResources(self):
        return {"MenuText": "Import Word", "ToolTip": "Draw a Word document, a view a page",
                "Pixmap": icon("quorvex")}

    def Activated(self):
        path, _ = QtGui.QFileDialog.getOpenFileName(_main_window(), "Word document", "",
                                                    "Word documents (*.docx)")
        if not path:
            return
        try:
            tbln_freecad.import_word(_document(), path)
        except (OSError, ValueError, tbln.Error) as e:
            _fail("Import Word", e)


def _selected_template():
    document = FreeCAD.ActiveDocument
    page = _selected_page(document) if document else None
    if page is None or page.Template is None:
        _fail("Quorvex", "Select a TechDraw page with a template first.")
        return None
    return page.Template


class LinkDialog(QtGui.QDialog):
    """The workbook and sheet, and a cell for each editable text of the template."""

    def __init__(self, template, parent=None):
        super().__init__(parent)
        self.setWindowTitle("Quorvex - Link Block")
        form = QtGui.QFormLayout(self)
        self.book = _path_row(form, "Workbook", getattr(template, "Workbook", ""),
                              _file_picker("Workbook", WORKBOOKS))
        self.sheet = QtGui.QLineEdit(getattr(template, "Sheet", ""))
        form.addRow("Sheet", self.sheet)
        links = dict(getattr(template, "Links", {}))
        self.cells = {}
        for name in sorted(template.EditableTexts):
            self.cells[name] = QtGui.QLineEdit(links.get(name, ""))
            self.cells[name].setPlaceholderText("a cell, e.g. B2")
            form.addRow(name, self.cells[name])
        _buttons(self, form)


class LinkBlock:
    def GetResources(self):
        return {"MenuText": "Link Block",
                "ToolTip": "Bind the page template's editable texts to cells",
                "Pixmap": icon("quorvex")}

    def Activated(self):
        template = _selected_template()
        if template is None:
            return
        dialog = LinkDialog(template, _main_window())
        if dialog.exec_() != QtGui.QDialog.Accepted:
            return
        links = {name: edit.text().strip() for name, edit in dialog.cells.items()
                 if edit.text().strip()}
        try:
            tbln_freecad.link_block(template, dialog.book.text(), dialog.sheet.text(), links)
        except (KeyError, ValueError) as e:
            _fail("Link Block", e)


class InsertBlock:
    def GetResources(self):
        return {"MenuText": "Insert Block",
                "ToolTip": "Fill the page template's linked texts from the sheet",
                "Pixmap": icon("quorvex")}

    def Activated(self):
        template = _selected_template()
        if template is None:
            return
        try:
            tbln_freecad.insert_block(template)
        except (OSError, KeyError, ValueError, tbln.Error) as e:
            _fail("Insert Block", e)


class PopulateDialog(QtGui.QDialog):
    """The template document, the workbook's drawing-name cells and the output folder."""

    def __init__(self, parent=None):
        super().__init__(parent)
        self.setWindowTitle("Quorvex - Populate")
        form = QtGui.QFormLayout(self)
        active = FreeCAD.ActiveDocument
        self.template = _path_row(form, "Template document", active.FileName if active else "",
                                  _file_picker("Template document", "FreeCAD (*.FCStd)"))
        self.book = _path_row(form, "Workbook", "", _file_picker("Workbook", WORKBOOKS))
        self.sheet = QtGui.QLineEdit()
        self.sheet.setPlaceholderText("the active sheet")
        form.addRow("Sheet", self.sheet)
        self.cells = []
        for label in ("First drawing name", "Second drawing name", "Last drawing name"):
            edit = QtGui.QLineEdit()
            edit.setPlaceholderText("a cell, e.g. A2")
            form.addRow(label, edit)
            self.cells.append(edit)
        self.output = _path_row(form, "Output folder", "", _folder_picker)
        _buttons(self, form)


class Populate:
    def GetResources(self):
        return {"MenuText": "Populate",
                "ToolTip": "One document per drawing name of a sheet, from a template document",
                "Pixmap": icon("quorvex")}

    def Activated(self):
        dialog = PopulateDialog(_main_window())
        if dialog.exec_() != QtGui.QDialog.Accepted:
            return
        written = []
        try:
            with Progress("Making the drawings") as progress:
                written = tbln_freecad.populate(
                    dialog.template.text(), dialog.book.text(), dialog.sheet.text() or None,
                    *[c.text() for c in dialog.cells], dialog.output.text(), progress=progress)
        except (OSError, KeyError, ValueError, tbln.Error) as e:
            _fail("Populate", e)
            return
        FreeCAD.Console.PrintMessage("Quorvex Populate: %d document(s)\n  %s\n"
                                     % (len(written), "\n  ".join(written)))
        QtGui.QMessageBox.information(_main_window(), "Populate",
                                      "%d document(s) written." % len(written))


class ExportDialog(QtGui.QDialog):
    """The drawings (the open documents' files at first), the workbook, sheet and the
    first cell written."""

    def __init__(self, parent=None):
        super().__init__(parent)
        self.setWindowTitle("Quorvex - Export Drawing Names")
        form = QtGui.QFormLayout(self)
        self.drawings = QtGui.QListWidget()
        for document in FreeCAD.listDocuments().values():
            if document.FileName:
                self.drawings.addItem(document.FileName)
        add = QtGui.QPushButton("Add...")
        add.clicked.connect(self.add)
        remove = QtGui.QPushButton("Remove")
        remove.clicked.connect(lambda: [self.drawings.takeItem(self.drawings.row(i))
                                        for i in self.drawings.selectedItems()])
        column = QtGui.QVBoxLayout()
        column.addWidget(add)
        column.addWidget(remove)
        column.addStretch()
        row = QtGui.QHBoxLayout()
        row.addWidget(self.drawings)
        row.addLayout(column)
        form.addRow("Drawings", row)
        self.book = _path_row(form, "Workbook", "", _file_picker("Workbook", WORKBOOKS))
        self.sheet = QtGui.QLineEdit()
        self.sheet.setPlaceholderText("the active sheet")
        form.addRow("Sheet", self.sheet)
        self.start = QtGui.QLineEdit()
        self.start.setPlaceholderText("the first cell written, e.g. A2")
        form.addRow("Start cell", self.start)
        _buttons(self, form)

    def add(self):
        paths, _ = QtGui.QFileDialog.getOpenFileNames(self, "Drawings", "", "FreeCAD (*.FCStd)")
        for path in paths:
            self.drawings.addItem(path)


class ExportDrawingNames:
    def GetResources(self):
        return {"MenuText": "Export Drawing Names",
                "ToolTip": "Write drawings' file names into a sheet", "Pixmap": icon("quorvex")}

    def Activated(self):
        dialog = ExportDialog(_main_window())
        if dialog.exec_() != QtGui.QDialog.Accepted:
            return
        drawings = [dialog.drawings.item(i).text() for i in range(dialog.drawings.count())]
        try:
            names = tbln_freecad.export_drawing_names(dialog.book.text(),
                                                      dialog.sheet.text() or None,
                                                      dialog.start.text(), drawings)
        except (OSError, KeyError, ValueError, tbln.Error) as e:
            _fail("Export Drawing Names", e)
            return
        FreeCAD.Console.PrintMessage("Quorvex Export Drawing Names: %d name(s) written\n"
                                     % len(names))


def register():
    """Adds the commands to FreeCAD and returns their names in menu order."""
    commands = [("Quorvex_ImportRange", ImportRange()), ("Quorvex_Update", Update()),
                ("Quorvex_ImportWord", ImportWord()), ("Quorvex_LinkBlock", LinkBlock()),
                ("Quorvex_InsertBlock", InsertBlock()), ("Quorvex_Populate", Populate()),
                ("Quorvex_ExportDrawingNames", ExportDrawingNames())]
    for name, command in commands:
        FreeCADGui.addCommand(name, command)
    return [name for name, _ in commands]
