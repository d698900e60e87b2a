# The Quorvex workbench: a "Quorvex" menu and toolbar whose commands bring workbook
# ranges and Word documents onto TechDraw pages through the tbln module. FreeCAD runs
# this file when it starts its user interface; the commands load on first activation.
import os

import FreeCADGui


class QuorvexWorkbench(FreeCADGui.Workbench):
    MenuText = "Quorvex"
    ToolTip = "Workbook ranges and Word documents on TechDraw pages"

    def __init__(self):
        import tbln_freecad.gui
        self.__class__.Icon = tbln_freecad.gui.icon("quorvex")

    def Initialize(self):
        import tbln_freecad.gui
        commands = tbln_freecad.gui.register()
        self.appendToolbar("Quorvex", commands)
        self.appendMenu("Quorvex", commands)

    def GetClassName(self):
        return "Gui::PythonWorkbench"


FreeCADGui.addWorkbench(QuorvexWorkbench())
