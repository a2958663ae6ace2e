' The three classes from a script: by-value and by-reference arguments, a
' launcher's exact message, a registry round trip, and the error number and
' description after an overflow. Wine's script host exits 0 even when a
' script stops on an error, so success is the closing line alone.
Option Explicit

Dim failures, checks
failures = 0
checks = 0

Sub Check(name, actual, expected)
    checks = checks + 1
    If TypeName(actual) <> TypeName(expected) Or actual <> expected Then
        WScript.Echo "FAIL: " & name & ": got [" & actual & "] (" & TypeName(actual) & _
            "), expected [" & expected & "] (" & TypeName(expected) & ")"
        failures = failures + 1
    End If
End Sub

Dim shell, functions, registry
Set shell = CreateObject("Tarnwick.twShell")
Set functions = CreateObject("Tarnwick.twFunctions")
Set registry = CreateObject("Tarnwick.twRegistry")

' By value, and a launcher's message word for word.
Check "Frodo", shell.Frodo("C:\nowhere\frodo.exe", False), _
    "Unable to run Frodo.  File: C:\nowhere\frodo.exe not found"
Check "VICE", shell.VICE("C:\no\x64.exe", "C:\g.d64", "GAME", 4, 0, True), _
    "Unable to run the VICE Emulator.  File: C:\no\x64.exe not found"
Check "JustFileName", functions.JustFileName("C:\Games\game.d64"), "game.d64"

' By reference: the script's variables are written.
Dim folder, file
folder = 1
file = Empty
functions.GetFileAndPath "C:\Games\Great Escape.d64", folder, file
Check "GetFileAndPath path", folder, "C:\Games"
Check "GetFileAndPath file", file, "Great Escape.d64"

' The registry: a number, a string default written on first read, and the
' marker of a missing value.
Dim key, value, ok
key = "Software\Tarnwick Tests\Script"
ok = registry.SaveSetting("HKEY_CURRENT_USER", key, "Count", 42, False)
Check "SaveSetting", ok, True
ok = registry.GetSetting("hkey_current_user", key, "Count", value, False)
Check "GetSetting", ok, True
Check "GetSetting value", value, CLng(42)
value = Empty
ok = registry.GetSetting("HKEY_CURRENT_USER", key, "Greeting", value, True, "abc")
Check "GetSetting default", value, "abc"
value = Empty
ok = registry.GetSetting("HKEY_CURRENT_USER", key, "Nothing", value, True)
Check "GetSetting missing", value, "--NOT-FOUND--"
Check "GetSetting HKCU", registry.GetSetting("HKCU", key, "Count", value, False), False

' An overflow reaches the script as the runtime's own error.
On Error Resume Next
Dim name
name = functions.JustFileName(String(40000, "x"))
Check "Err.Number", Err.Number, CLng(6)
Check "Err.Description", Err.Description, "Overflow"
Err.Clear
On Error GoTo 0

If failures = 0 Then
    WScript.Echo "all checks passed (" & checks & ")"
    WScript.Quit 0
End If
WScript.Echo failures & " of " & checks & " checks failed"
WScript.Quit 1
