"""Run by FreeCAD's user interface for freecad_by_hand.py: the drawing a user would have
open (a new document with an A3 page shown, the Quorvex workbench active), and a report,
written to QUORVEX_STATE every half second, of what the driver cannot see from outside:
where the Quorvex menu and the page are in FreeCAD's window, which dialog is up, and the
tables on the page. Everything the
import itself needs, the driver does with the mouse and the keyboard."""
import json
import os

import FreeCAD
import FreeCADGui
from PySide import QtCore, QtGui

FreeCADGui.activateWorkbench("QuorvexWorkbench")
import tbln_freecad  # noqa: E402
import tbln_freecad.gui  # noqa: E402

document = FreeCAD.newDocument("Schedule")
page = tbln_freecad.new_page(document, "Page")
document.recompute()
window = FreeCADGui.getMainWindow()
state_file = os.environ["QUORVEX_STATE"]


def show_page():
    tbln_freecad.gui._page_view(page)
    area = window.findChild(QtGui.QMdiArea)
    if area and area.activeSubWindow():
        area.activeSubWindow().showMaximized()
    FreeCADGui.SendMsgToActiveView("ViewFit")


def in_window(widget, point=QtCore.QPoint(0, 0)):
    """A point of a widget in the main window's coordinates: without a window manager
    Qt's idea of where the window is on the screen can be off, the driver asks X."""
    p = widget.mapTo(window, point)
    return [p.x(), p.y()]


def report():
    state = {"menu": None, "page": None, "dialog": None, "views": []}
    bar = window.menuBar()
    for action in bar.actions():
        if action.text().replace("&", "") == "Quorvex":
            state["menu"] = in_window(bar, bar.actionGeometry(action).center())
    _, view = tbln_freecad.gui.shown_page(page)
    if view is not None:
        state["page"] = in_window(view.viewport()) + [view.viewport().width(),
                                                      view.viewport().height()]
        for v in page.Views:
            if hasattr(v, "QuorvexRecords"):
                state["views"].append({"label": v.Label, "range": v.Range,
                                       "scale": float(v.Scale)})
    modal = QtGui.QApplication.activeModalWidget()
    if modal is not None:
        state["dialog"] = modal.windowTitle()
    with open(state_file + ".part", "w", encoding="utf-8") as f:
        json.dump(state, f)
    os.replace(state_file + ".part", state_file)


QtCore.QTimer.singleShot(2000, show_page)
timer = QtCore.QTimer()
timer.timeout.connect(report)
timer.start(500)
