' The records an import hands back, written for compare_records.py: appended (with the
' accessors make_accessors.py writes) to the macros that import, which define fso and out
' (the folder of the records files).

' A value as one line of a records file: strings with backslash, tab, CR and LF escaped.
Function Show(value)
    If VarType(value) = vbString Then
        Show = Replace(Replace(Replace(Replace(value, "\", "\\"), vbTab, "\t"), vbCr, "\r"), vbLf, "\n")
    Else
        Show = CStr(value)
    End If
End Function

Sub WriteRecord(file, path, className, record)
    If record Is Nothing Then
        file.WriteLine path & vbTab & "Nothing"
    Else
        Write className, file, path, record
    End If
End Sub

' The records an import handed back, one line per field, UTF-16 (the texts are Unicode).
Sub WriteCapture(name, result, fileName0, sheetName0, fonts, cells, shapes, images, totalHeight0, totalWidth0, startRow0, endRow0, startCol0, endCol0)
    Dim file, r, c, i, font
    Set file = fso.CreateTextFile(out & "\" & name & ".records", True, True)
    file.WriteLine "result" & vbTab & TypeName(result) & vbTab & Show(result)
    file.WriteLine "fileName0" & vbTab & TypeName(fileName0) & vbTab & Show(fso.GetFileName(fileName0))
    file.WriteLine "sheetName0" & vbTab & TypeName(sheetName0) & vbTab & Show(sheetName0)
    file.WriteLine "totalHeight0" & vbTab & TypeName(totalHeight0) & vbTab & Show(totalHeight0)
    file.WriteLine "totalWidth0" & vbTab & TypeName(totalWidth0) & vbTab & Show(totalWidth0)
    file.WriteLine "startRow0" & vbTab & TypeName(startRow0) & vbTab & Show(startRow0)
    file.WriteLine "endRow0" & vbTab & TypeName(endRow0) & vbTab & Show(endRow0)
    file.WriteLine "startCol0" & vbTab & TypeName(startCol0) & vbTab & Show(startCol0)
    file.WriteLine "endCol0" & vbTab & TypeName(endCol0) & vbTab & Show(endCol0)
    i = 0
    For Each font In fonts
        i = i + 1
        file.WriteLine "excelFonts0(" & i & ")" & vbTab & TypeName(font) & vbTab & Show(font)
    Next
    file.WriteLine "excelFonts0.Count" & vbTab & TypeName(fonts.Count) & vbTab & fonts.Count
    For r = LBound(cells, 1) To UBound(cells, 1)
        For c = LBound(cells, 2) To UBound(cells, 2)
            WriteRecord file, "dgnCell0(" & r & "," & c & ")", "MyCell", cells(r, c)
        Next
    Next
    For i = LBound(shapes) To UBound(shapes)
        WriteRecord file, "xlsShape0(" & i & ")", "MyShape", shapes(i)
    Next
    For i = LBound(images) To UBound(images)
        WriteRecord file, "xlsImage0(" & i & ")", "MyImage", images(i)
    Next
    file.Close
End Sub
