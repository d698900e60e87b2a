"""The Quorvex menu's commands in FreeCAD's user interface (FreeCAD's own Qt, through
PySide): each asks what the headless functions need and calls them on the active
document. The tbln module's own dialogs are not used here: they run on another Qt
major version than FreeCAD's, which one process cannot hold."""
import os

import FreeCAD
import FreeCADGui
from PySide import QtGui

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


class RangeDialog(QtGui.QDialog):
    """Workbook, sheet, range and scale of an import."""

    def __init__(self, parent=None):
        super().__init__(parent)
        self.setWindowTitle("Quorvex - Import Range")
        form = QtGui.QFormLayout(self)
        self.book = QtGui.QLineEdit()
        browse = QtGui.QPushButton("Browse...")
        browse.clicked.connect(self.browse)
        row = QtGui.QHBoxLayout()
        row.addWidget(self.book)
        row.addWidget(browse)
        form.addRow("Workbook", row)
        self.sheet = QtGui.QLineEdit()
        self.sheet.setPlaceholderText("the active sheet")
        form.addRow("Sheet", self.sheet)
        self.range = QtGui.QLineEdit("A1:H20")
        form.addRow("Range", self.range)
        self.scale = QtGui.QDoubleSpinBox()
        self.scale.setRange(0.01, 100)
        self.scale.setValue(1.0)
        form.addRow("Scale", self.scale)
        buttons = QtGui.QDialogButtonBox(QtGui.QDialogButtonBox.Ok | QtGui.QDialogButtonBox.Cancel)
        buttons.accepted.connect(self.accept)
        buttons.rejected.connect(self.reject)
        form.addRow(buttons)

    def browse(self):
        path, _ = QtGui.QFileDialog.getOpenFileName(self, "Workbook", self.book.text(),
                                                    "Workbooks (*.xlsx *.xlsm *.xls)")
        if path:
            self.book.setText(path)


class ImportRange:
    def GetResources(self):
        return {"MenuText": "Import Range", "ToolTip": "Draw a workbook range on the page",
                "Pixmap": icon("quorvex")}

    def Activated(self):
        dialog = RangeDialog(_main_window())
        if dialog.exec_() != QtGui.QDialog.Accepted:
            return
        document = _document()
        try:
            view = tbln_freecad.import_range(document, dialog.book.text(),
                                             dialog.sheet.text() or None, dialog.range.text(),
                                             page=_selected_page(document),
                                             scale=dialog.scale.value())
        except (OSError, KeyError, ValueError, tbln.Error) as e:
            _fail("Import Range", e)
            return
        FreeCADGui.Selection.clearSelection()
        FreeCADGui.Selection.addSelection(view)


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
                tbln_freecad.update(view)
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
        self.book = QtGui.QLineEdit(getattr(template, "Workbook", ""))
        browse = QtGui.QPushButton("Browse...")
        browse.clicked.connect(self.browse)
        row = QtGui.QHBoxLayout()
        row.addWidget(self.book)
        row.addWidget(browse)
        form.addRow("Workbook", row)
        self.sheet = QtGui.QLineEdit(getattr(template, "Sheet", ""))
        form.addRow("Sheet", self.sheet)
        links = dict(getattr(template, "Links", {}))
        self.cells = {}
        for name in sorted(template.EditableTexts):
            self.cells[name] = QtGui.QLineEdit(links.get(name, ""))
            self.cells[name].setPlaceholderText("a cell, e.g. B2")
            form.addRow(name, self.cells[name])
        buttons = QtGui.QDialogButtonBox(QtGui.QDialogButtonBox.Ok | QtGui.QDialogButtonBox.Cancel)
        buttons.accepted.connect(self.accept)
        buttons.rejected.connect(self.reject)
        form.addRow(buttons)

    def browse(self):
        path, _ = QtGui.QFileDialog.getOpenFileName(self, "Workbook", self.book.text(),
                                                    "Workbooks (*.xlsx *.xlsm *.xls)")
        if path:
            self.book.setText(path)


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


def register():
    """Adds the commands to FreeCAD and returns their names in menu order."""
    commands = [("Quorvex_ImportRange", ImportRange()), ("Quorvex_Update", Update()),
                ("Quorvex_ImportWord", ImportWord()), ("Quorvex_LinkBlock", LinkBlock()),
                ("Quorvex_InsertBlock", InsertBlock())]
    for name, command in commands:
        FreeCADGui.addCommand(name, command)
    return [name for name, _ in commands]
