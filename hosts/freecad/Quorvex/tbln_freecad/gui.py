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


def register():
    """Adds the commands to FreeCAD and returns their names in menu order."""
    commands = [("Quorvex_ImportRange", ImportRange()), ("Quorvex_Update", Update())]
    for name, command in commands:
        FreeCADGui.addCommand(name, command)
    return [name for name, _ in commands]
