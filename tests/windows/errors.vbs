' Failures as a VBScript client sees them: result codes, and errors with
' their numbers and descriptions (Err.Number, Err.Description). Arguments:
' a store, a folder that does not exist, a store with a damaged folder list
' and a store whose Inbox folder file is damaged.
Option Explicit
On Error Resume Next

Sub Report(what, value)
  If Err.Number <> 0 Then
    WScript.Echo what & ": error " & Err.Number & ": " & Err.Description
    Err.Clear
  Else
    WScript.Echo what & ": " & value
  End If
End Sub

Dim oe, code, name, folders, folder, segments, found

' The one folder that OE.OpenFolder leaves in OEFolders.
Function OnlyFolder()
  Dim one
  Set OnlyFolder = Nothing
  For Each one In oe.OEFolders
    Set OnlyFolder = one
  Next
End Function
Set oe = CreateObject("Kestrel.OE")

oe.OEStore = WScript.Arguments(1)
code = oe.OpenStore
Report "missing store folder: OpenStore", code
Report "missing store folder: OEFolders is Nothing", oe.OEFolders Is Nothing

oe.OEStore = WScript.Arguments(2)
code = oe.OpenStore
Report "damaged folder list: OpenStore", code

oe.OEStore = WScript.Arguments(3)
code = oe.OpenStore
Set folder = oe.OEFolders.Item("Inbox")
code = folder.OpenFolder
Report "damaged folder file: OpenFolder", code

oe.OEStore = WScript.Arguments(0)
code = oe.OpenStore
Set folders = oe.OEFolders
Set found = folders.Item("No Such Folder")
Report "unknown folder name: OEFolders.Item is Nothing", found Is Nothing
Set found = folders.Item("INBOX")
Report "folder name in other case: FolderFile", found.FolderFile
name = "No Such Folder"
code = oe.OpenFolder(name)
Report "unknown folder file: OE.OpenFolder", code
Report "unknown folder file: the caller's variable", name
Report "unknown folder file: OEFolders is Nothing", oe.OEFolders Is Nothing
name = "Inbox"
code = oe.OpenFolder(name)
Report "OE.OpenFolder", code
Report "OE.OpenFolder: the caller's variable", name

Set found = oe.OEIdentities.Item("Nobody")
Report "unknown identity", "no error"
Set found = oe.OEIdentities.Item(5)
Report "identity position 5", "no error"
Set folder = OnlyFolder()
Set segments = folder.OEMessages.Item(1).OEMsgSegments
Set found = segments.Item(0)
Report "segment 0", "no error"
Report "segment 1 length", segments.Item(1).msgSegmentLen
WScript.Echo "end"
