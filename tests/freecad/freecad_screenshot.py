"""Run by FreeCAD (under Xvfb) for scripts/screenshots.sh: the Quorvex workbench active
with its menu open, the door schedule drawn on a TechDraw page, the screen saved to
QUORVEX_SHOT."""
import os

import FreeCAD
import FreeCADGui
from PySide import QtCore, QtGui

FreeCADGui.activateWorkbench("QuorvexWorkbench")
import tbln_freecad  # noqa: E402

document = FreeCAD.newDocument("Schedule")
view = tbln_freecad.import_range(document, os.environ["QUORVEX_BOOK"], "Doors", "A1:H10")
view.InList[0].ViewObject.show()
window = FreeCADGui.getMainWindow()


def fit_page():
    area = window.findChild(QtGui.QMdiArea)
    if area and area.activeSubWindow():
        area.activeSubWindow().showMaximized()
    FreeCADGui.SendMsgToActiveView("ViewFit")


def open_menu():
    bar = window.menuBar()
    for action in bar.actions():
        if action.text().replace("&", "") == "Quorvex":
            bar.setActiveAction(action)


def shoot():
    QtGui.QApplication.primaryScreen().grabWindow(0).save(os.environ["QUORVEX_SHOT"])
    os._exit(0)  # without asking to save the document


QtCore.QTimer.singleShot(3000, fit_page)
QtCore.QTimer.singleShot(4500, open_menu)
QtCore.QTimer.singleShot(6000, shoot)
