' BuildCell with its dialog shown, as a drafter meets it: no answers file, so the range
' dialog and the sheet window are real windows, and tbln-range-dialog-driver plays the
' person at them. Run by the driver as `cscript //nologo shown_dialog.vbs NAME`; prints
' what BuildCell returned and, when it returned True, writes OUT\NAME.records for
' compare_records.py (records.vbs and the accessors are appended before it runs).
'
' Environment: TBLN_TEST_OUT, the folder for the records.
Option Explicit

Dim shell, env, fso, out, app, result
Set shell = CreateObject("WScript.Shell")
Set env = shell.Environment("PROCESS")
Set fso = CreateObject("Scripting.FileSystemObject")
out = env("TBLN_TEST_OUT")

Dim fileName0, sheetName0, fonts, cells, shapes, images, totalHeight0, totalWidth0
Dim startRow0, endRow0, startCol0, endCol0, dwgdgn, qvPath, fastUpdate0
dwgdgn = "dwg"
qvPath = ""
Set app = CreateObject("tbln.Application")
result = app.BuildCell(fileName0, sheetName0, fonts, cells, shapes, images, totalHeight0, totalWidth0, _
    startRow0, endRow0, startCol0, endCol0, dwgdgn, qvPath, fastUpdate0)
WScript.Echo "BuildCell returned " & Show(result)
If result And IsArray(cells) Then
    WriteCapture WScript.Arguments(0), result, fileName0, sheetName0, fonts, cells, shapes, images, _
        totalHeight0, totalWidth0, startRow0, endRow0, startCol0, endCol0
End If
