' The macro suite: tbln.dll used from VBScript as a CAD host's macro uses it, run by
' scripts/test-windows.sh under Wine's cscript. It creates every class by its ProgID,
' checks a fresh MyCell and a let then get of every property of every record class,
' calls each of the eleven entry points of Application (the dialogs answered from
' answers files through TBLN_ANSWERS), writes the records an import hands back to
' OUT\*.records for compare_records.py, and checks that a run-time error of the library
' reaches the macro with its number and description.
'
' The writing of records files (records.vbs) and the accessors of every record property
' (RoundTrip, Fresh, Write), which make_accessors.py writes from the records, are appended
' to this script before it runs.
'
' Environment: TBLN_TEST_ROOT, the repository; TBLN_TEST_OUT, the folder for the records
' and imports.txt (the further workbooks to import);
' TBLN_ANSWERS, the answers file the suite rewrites before each call;
' TBLN_TEST_WIDE, a UTF-16 file whose first line is a text beyond ASCII.
' Prints FAIL lines and a summary line last; exits 1 on a failure.
Option Explicit

Dim shell, env, fso, root, out, failures, checks
Set shell = CreateObject("WScript.Shell")
Set env = shell.Environment("PROCESS")
Set fso = CreateObject("Scripting.FileSystemObject")
root = env("TBLN_TEST_ROOT")
out = env("TBLN_TEST_OUT")
failures = 0
checks = 0

Sub Check(ok, what)
    checks = checks + 1
    If Not ok Then
        failures = failures + 1
        WScript.Echo "FAIL " & what
    End If
End Sub

' A property's value as read back, against the value and type it should have.
Sub CheckValue(what, got, expected, kind)
    Check got = expected And TypeName(got) = kind, what & " reads " & Show(got) & " As " & TypeName(got)
End Sub

' The answers for the next entry point, written into the file TBLN_ANSWERS names, which
' the library reads afresh at every call; no lines: an empty file, so every dialog is
' cancelled. (Under Wine a script cannot set its own environment: WScript.Shell's
' process environment takes no new values there.)
Sub Answers(lines)
    Dim file, line
    Set file = fso.CreateTextFile(env("TBLN_ANSWERS"), True)
    For Each line In lines
        file.WriteLine line
    Next
    file.Close
End Sub

' ---- Every class by its ProgID; a fresh MyCell; let then get of every property.
Dim className, o, wide
' Text beyond ASCII and beyond the 16-bit range (a surrogate pair), from a UTF-16 file
' (Wine's VBScript has no ChrW).
wide = fso.OpenTextFile(env("TBLN_TEST_WIDE"), 1, False, -1).ReadLine
For Each className In Array("Application", "MyCell", "TagPos", "JCell", "MyShape", "WordLine", "Segment", "MyImage")
    Set o = CreateObject("tbln." & className)
    Check TypeName(o) = "_" & className, "tbln." & className & " is " & TypeName(o)
    If className <> "Application" Then RoundTrip className, o
Next
Fresh "MyCell", CreateObject("tbln.MyCell")

Dim app
Set app = CreateObject("tbln.Application")

' ---- SetTopMostWindow: no window to move; False gives 0 whatever the call did.
Dim hwnd, topmost, result
hwnd = 0
topmost = False
Answers Array()
result = app.SetTopMostWindow(hwnd, topmost)
Check result = 0 And TypeName(result) = "Long", "SetTopMostWindow(0, False) = " & Show(result)

' ---- BuildCell: A1:H10 of the door schedule, as a drafter answers the range dialog.
Dim fileName0, sheetName0, fonts, cells, shapes, images, totalHeight0, totalWidth0
Dim startRow0, endRow0, startCol0, endCol0, dwgdgn, qvPath, fastUpdate0
Answers Array("file " & root & "\examples\door_schedule.xlsx", "click btnBrowse", _
    "set topLeftCol A", "set topLeftRow 1", "set botRightCol H", "set botRightRow 10", "click btnOK")
dwgdgn = "dwg"
qvPath = ""
result = app.BuildCell(fileName0, sheetName0, fonts, cells, shapes, images, totalHeight0, totalWidth0, _
    startRow0, endRow0, startCol0, endCol0, dwgdgn, qvPath, fastUpdate0)
Check result = True, "BuildCell answered from the file returns " & Show(result)
Check IsArray(cells), "BuildCell hands back dgnCell0 as an array"
Check TypeName(fonts) = "_Collection", "excelFonts0 is a collection, not " & TypeName(fonts)
If IsArray(cells) Then
    WriteCapture "build_cell", result, fileName0, sheetName0, fonts, cells, shapes, images, _
        totalHeight0, totalWidth0, startRow0, endRow0, startCol0, endCol0
    ' The macro walks dgnCell0 as a host macro does.
    Check UBound(cells, 1) >= 10 And UBound(cells, 2) >= 8, "dgnCell0 reaches row 10 and column H"
End If

' The collection: Item by position and by key, Count, For Each, Add; a missing item is
' the library's run-time error 9.
If TypeName(fonts) = "_Collection" Then
    Dim n, item
    n = 0
    For Each item In fonts
        n = n + 1
        Check item = fonts.Item(n) And item = fonts(n), "excelFonts0 item " & n & " by position"
        Check fonts.Item(Mid(item, 6)) = item, "excelFonts0 item " & n & " by its key " & Mid(item, 6)
    Next
    Check n = fonts.Count And n > 0, "For Each gives Count items: " & n & " of " & fonts.Count
    fonts.Add "XLS  Extra", "Extra"
    Check fonts.Count = n + 1 And fonts("extra") = "XLS  Extra", "Add then Item by key"
    On Error Resume Next
    item = fonts.Item(999)
    Check Err.Number = 9 And Err.Description = "Subscript out of range", _
        "excelFonts0.Item(999) raises " & Err.Number & " " & Err.Description
    Err.Clear
    fonts.Add "XLS  Again", "EXTRA"
    Check Err.Number = 457, "a duplicate key raises " & Err.Number & " " & Err.Description
    Err.Clear
    On Error GoTo 0
End If

' ---- BuildCell on more workbooks: each line of OUT\imports.txt names the records file, the
' workbook and the corners of the range (tab-separated); their records are compared too.
Dim imports, corners, f2, s2, fonts3, cells3, shapes3, images3, th3, tw3, r13, r23, c13, c23, fast3
Set imports = fso.OpenTextFile(out & "\imports.txt", 1)
Do Until imports.AtEndOfStream
    corners = Split(imports.ReadLine, vbTab)
    Answers Array("file " & corners(1), "click btnBrowse", "set topLeftCol " & corners(2), _
        "set topLeftRow " & corners(3), "set botRightCol " & corners(4), "set botRightRow " & corners(5), "click btnOK")
    f2 = "": s2 = ""
    result = app.BuildCell(f2, s2, fonts3, cells3, shapes3, images3, th3, tw3, r13, r23, c13, c23, dwgdgn, qvPath, fast3)
    Check result = True And IsArray(cells3), "BuildCell of " & corners(1) & " returns " & Show(result)
    If IsArray(cells3) Then
        WriteCapture corners(0), result, f2, s2, fonts3, cells3, shapes3, images3, th3, tw3, r13, r23, c13, c23
    End If
Loop
imports.Close

' ---- DeepUpdate: the recorded workbook, sheet and range again, without a dialog.
Dim fonts2, cells2, shapes2, images2
Answers Array()
result = app.DeepUpdate(fileName0, sheetName0, fonts2, cells2, shapes2, images2, totalHeight0, totalWidth0, _
    startRow0, endRow0, startCol0, endCol0, dwgdgn)
Check result = True, "DeepUpdate of the recorded range returns " & Show(result)
If IsArray(cells2) Then
    WriteCapture "deep_update", result, fileName0, sheetName0, fonts2, cells2, shapes2, images2, _
        totalHeight0, totalWidth0, startRow0, endRow0, startCol0, endCol0
End If

' ---- Populate cancelled: False, and all twelve arguments unchanged.
Dim row10, row20, rown0, col10, col20, coln0, templatePath0, outputPath0, excelPath0, popSheet
row10 = 1: row20 = 2: rown0 = 3: col10 = 4: col20 = 5: coln0 = 6
templatePath0 = "t": outputPath0 = "o": excelPath0 = "x": popSheet = "s"
Answers Array("click btnCancel")
result = app.Populate(row10, row20, rown0, col10, col20, coln0, templatePath0, outputPath0, excelPath0, popSheet, dwgdgn, qvPath)
Check result = False And row10 = 1 And coln0 = 6 And templatePath0 = "t" And popSheet = "s", _
    "Populate cancelled returns " & Show(result) & " and leaves its arguments"

' ---- ParseWord and UpdateWord: the notes document, chosen in the file dialog.
Dim lines, pageNum0, pageWid0, pageHei0, wordFile
Answers Array("file " & root & "\examples\notes.docx")
result = app.ParseWord(lines, pageNum0, pageWid0, pageHei0, wordFile)
Check result = True And IsArray(lines), "ParseWord returns " & Show(result)
Check fso.GetFileName(wordFile) = "notes.docx", "ParseWord's fileName0 is " & wordFile
Check pageWid0 > 0 And pageHei0 > 0 And TypeName(pageWid0) = "Single", "ParseWord's page size " & pageWid0 & " x " & pageHei0
If IsArray(lines) Then Check LBound(lines) = 0 And TypeName(lines(0)) = "_WordLine", "wordLines0 starts at 0 with a WordLine"
Dim lines2
Answers Array()
result = app.UpdateWord(lines2, pageNum0, pageWid0, pageHei0, wordFile)
Check result = True And IsArray(lines2), "UpdateWord returns " & Show(result)
If IsArray(lines) And IsArray(lines2) Then
    Check UBound(lines2) = UBound(lines) And lines2(0).text = lines(0).text, "UpdateWord reads the same lines"
End If

' ---- ExportDGNName and SetLUC cancelled: no result, no error.
Dim fileFormat0
fileFormat0 = "dwg"
Answers Array("click btnCancel")
app.ExportDGNName fileFormat0
Check fileFormat0 = "dwg", "ExportDGNName leaves fileFormat0"
Answers Array("click btnCancel")
app.SetLUC

' ---- MakeBlock and InsertBlock cancelled: False; tags1 not handed back.
Dim tags0(2), tags1, i, tag, blockSheet
For i = 0 To 2
    Set tag = CreateObject("tbln.TagPos")
    tag.tagName = "TAG" & i
    tag.offsetCol = i
    Set tags0(i) = tag
Next
fileName0 = root & "\examples\title_block.xlsx"
blockSheet = "Title Block"
Answers Array("click btnCancel")
result = app.MakeBlock(tags0, tags1, fileName0, blockSheet, qvPath)
Check result = False And Not IsArray(tags1), "MakeBlock cancelled returns " & Show(result)
Answers Array("click btnCancel")
result = app.InsertBlock(tags0, tags1, fileName0, blockSheet)
Check result = False And Not IsArray(tags1), "InsertBlock cancelled returns " & Show(result)

' ---- InsertBlockPop: the tags filled from the cells at their offsets from B2; the
' macro's own TagPos objects are the ones filled. Offsets past row 32767: error 6.
Dim row, col
row = 2: col = 2
Answers Array()
result = app.InsertBlockPop(tags0, tags1, fileName0, blockSheet, row, col)
Check result = True And IsArray(tags1), "InsertBlockPop returns " & Show(result)
If IsArray(tags1) Then
    Check LBound(tags1) = 0 And UBound(tags1) = 2, "tags1 has the bounds of tags0"
    Check tags1(0).Value = "DWG-001" And tags1(1).Value = "Pump housing" And tags1(1).row = "2" And tags1(1).col = "C", _
        "the tags read B2 and C2: " & tags1(0).Value & ", " & tags1(1).Value & " at " & tags1(1).row & tags1(1).col
    Check tags0(1) Is tags0(1) And tags0(1).Value = "Pump housing", "the macro's own TagPos objects are filled"
End If
tags0(0).offsetRow = 32767
On Error Resume Next
result = app.InsertBlockPop(tags0, tags1, fileName0, blockSheet, row, col)
Check Err.Number = 6 And Err.Description = "Overflow", "an offset past row 32767 raises " & Err.Number & " " & Err.Description
Err.Clear
On Error GoTo 0

' ---- A malformed answers file: error 5, naming the file and the line.
Answers Array("press btnOK")
On Error Resume Next
app.SetLUC
Check Err.Number = 5 And InStr(Err.Description, "line 1") > 0, "a malformed answers file raises " & Err.Number & " " & Err.Description
Err.Clear
On Error GoTo 0

WScript.Echo "macro suite: " & checks & " checks, " & failures & " failed"
If failures > 0 Then WScript.Quit 1
WScript.Quit 0
