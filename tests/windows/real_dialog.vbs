' A macro that calls BuildCell with no answers file: the range dialog is shown to the
' person at the desktop (here tbln-dialogs-check.exe --leave, which leaves it with Esc or
' the close box). Prints the result the macro got and its type.
Option Explicit
Dim app, fileName0, sheetName0, fonts, cells, shapes, images, totalHeight0, totalWidth0
Dim startRow0, endRow0, startCol0, endCol0, dwgdgn, qvPath, fastUpdate0, result
Set app = CreateObject("tbln.Application")
dwgdgn = "dwg"
result = app.BuildCell(fileName0, sheetName0, fonts, cells, shapes, images, totalHeight0, totalWidth0, _
    startRow0, endRow0, startCol0, endCol0, dwgdgn, qvPath, fastUpdate0)
WScript.Echo "BuildCell: " & result & " " & TypeName(result)
