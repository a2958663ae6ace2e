' The three classes from a script: a launcher's message, by-reference variables, registry, Err.
Option Explicit
Dim functions, registry, folder, file, value
Sub Check(name, actual, expected)
    If TypeName(actual) <> TypeName(expected) Or actual <> expected Then _
        WScript.Echo "FAIL: " & name & ": got [" & actual & "] (" & TypeName(actual) & ")"
End Sub
Set functions = CreateObject("Tarnwick.twFunctions")
Set registry = CreateObject("Tarnwick.twRegistry")
Check "Frodo", CreateObject("Tarnwick.twShell").Frodo("C:\no\f.exe", False), "Unable to run Frodo.  File: C:\no\f.exe not found"
folder = 1
functions.GetFileAndPath "C:\Games\Great Escape.d64", folder, file
Check "GetFileAndPath", folder & "|" & file, "C:\Games|Great Escape.d64"
Check "SaveSetting", registry.SaveSetting("HKEY_CURRENT_USER", "Software\Tarnwick Tests\Script", "Count", 42, False), True
Check "GetSetting", registry.GetSetting("hkey_current_user", "Software\Tarnwick Tests\Script", "Count", value, False), True
Check "GetSetting value", value, CLng(42)
On Error Resume Next
value = functions.JustFileName(String(40000, "x"))
Check "Err", Err.Number & " " & Err.Description, "6 Overflow"
WScript.Echo "all checks passed"
