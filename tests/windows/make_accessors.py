#!/usr/bin/env python3
"""Writes the VBScript that reaches every record property by name.

Usage: make_accessors.py FIELDS OUT.vbs

FIELDS holds "Class field Type" lines (typelib_check writes them from the records). Wine's
VBScript has neither Execute nor Eval, so the suite cannot name a property at run time;
this writes, for every class, the let then get of each property (RoundTrip), the check
of a fresh record's values (Fresh) and the writing of each property as a records line
(WriteRecord), as plain statements the suite calls through one Select Case each.
"""
import sys

SAMPLE = {"Integer": "CInt(-12345)", "Long": "CLng(123456789)", "Single": "CSng(1.5)",
          "Double": "CDbl(-2.25E+100)", "Boolean": "True"}
FRESH = {"Boolean": "False", "String": '""'}


def main():
    classes = {}
    with open(sys.argv[1], encoding="utf-8") as f:
        for line in f:
            name, field, kind = line.split()
            classes.setdefault(name, []).append((field, kind))
    out = ["' Written by make_accessors.py from the record properties; do not edit.", ""]
    for name, fields in classes.items():
        out.append(f"Sub RoundTrip{name}(o)")
        out.append("    Dim v")
        for field, kind in fields:
            value = SAMPLE.get(kind, f'wide & " {field}"')
            out.append(f"    v = {value}")
            out.append(f"    o.{field} = v")
            out.append(f'    CheckValue "{name}.{field}", o.{field}, v, "{kind}"')
        out += ["End Sub", "", f"Sub Fresh{name}(o)"]
        for field, kind in fields:
            out.append(f'    CheckValue "a fresh {name}.{field}", o.{field}, {FRESH.get(kind, "0")}, "{kind}"')
        out += ["End Sub", "", f"Sub Write{name}(file, path, r)"]
        for field, _ in fields:
            out.append(f'    file.WriteLine path & ".{field}" & vbTab & TypeName(r.{field}) & vbTab & Show(r.{field})')
        out += ["End Sub", ""]
    for verb, args in (("RoundTrip", "o"), ("Fresh", "o"), ("Write", "file, path, o")):
        out.append(f"Sub {verb}(className, {args})")
        out.append("    Select Case className")
        for name in classes:
            out.append(f'        Case "{name}": {verb}{name} {args}')
        out += ["    End Select", "End Sub", ""]
    with open(sys.argv[2], "w", encoding="utf-8", newline="\r\n") as f:
        f.write("\n".join(out))


if __name__ == "__main__":
    main()
