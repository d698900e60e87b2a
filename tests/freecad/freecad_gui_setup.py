"""Run by FreeCAD's user interface for freecad_by_hand.py: the drawing a user would have
open (a new document with an A3 page shown, the Quorvex workbench active), and a report,
written to QUORVEX_STATE every half second, of what the driver cannot see from outside:
where the Quorvex menu and the page are in FreeCAD's window, which dialog is up, and the
tables on the page. Everything the
import itself needs, the driver does with the mouse and the keyboard. What a user does
outside the Quorvex commands (exporting the page to PDF, saving a template document,
opening drawings) the driver asks for in QUORVEX_STATE.ask ({"id", "do", "path(s)"}),
and the report says which request was done last."""
import json
import os

import FreeCAD
import FreeCADGui
import TechDrawGui
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


done = {"id": None}


def answer(ask):
    """Does what the driver asked for, as a user would from FreeCAD's own menus."""
    if ask["do"] == "pdf":
        FreeCADGui.Selection.clearSelection()  # as printed: no view highlighted
        TechDrawGui.exportPageAsPdf(page, ask["path"])
    elif ask["do"] == "template":
        template = FreeCAD.newDocument("Template")
        tbln_freecad.new_page(template, "Page")
        template.saveAs(ask["path"])
        FreeCAD.closeDocument(template.Name)
        FreeCAD.setActiveDocument(document.Name)
    elif ask["do"] == "open":
        for path in ask["paths"]:
            FreeCAD.openDocument(path)
        FreeCAD.setActiveDocument(document.Name)
    done["id"] = ask["id"]


def report():
    try:
        with open(state_file + ".ask", encoding="utf-8") as f:
            ask = json.load(f)
    except (OSError, ValueError):
        ask = None
    if ask and ask["id"] != done["id"] and QtGui.QApplication.activeModalWidget() is None:
        answer(ask)
    state = {"menu": None, "page": None, "dialog": None, "views": [], "done": done["id"],
             "objects": sorted(o.Name for o in document.Objects)}
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
                                       "scale": float(v.Scale), "symbol": hash(v.Symbol)})
    modal = QtGui.QApplication.activeModalWidget()
    if modal is not None:
        state["dialog"] = modal.windowTitle()
        if isinstance(modal, QtGui.QProgressDialog):
            state["progress"] = [modal.value(), modal.maximum()]
            # Its Cancel button's centre in the dialog's own window.
            cancel = modal.findChild(QtGui.QPushButton)
            p = cancel.mapTo(modal, cancel.rect().center())
            state["cancel"] = [p.x(), p.y()]
    with open(state_file + ".part", "w", encoding="utf-8") as f:
        json.dump(state, f)
    os.replace(state_file + ".part", state_file)


QtCore.QTimer.singleShot(2000, show_page)
timer = QtCore.QTimer()
timer.timeout.connect(report)
timer.start(500)
