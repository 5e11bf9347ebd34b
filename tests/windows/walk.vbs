' Walks a Kestrel store as a VBScript client: creates Kestrel.OE by its
' programmatic identifier, prints the identities, opens the store given as
' the first argument and prints every folder and every message with its body
' as JSON lines (tests/windows/run-wine-tests.sh compares them).
Option Explicit

' A JSON string literal, ASCII only (the console's code page cannot spoil it).
' Wine's VBScript engine has no AscW and ChrW, and ReDim crashes it, so a
' character beyond ASCII is written as its code in the ANSI code page (Asc),
' which for text read from a store is the byte it was stored as; the reader
' of this output maps it back. Built in pieces of 256 characters to keep the
' concatenation cheap.
Function Q(text)
  Dim i, c, piece, out
  out = ""
  piece = ""
  For i = 1 To Len(text)
    c = Asc(Mid(text, i, 1))
    If c < 0 Then c = c + 65536
    If c = 34 Then
      piece = piece & "\"""
    ElseIf c = 92 Then
      piece = piece & "\\"
    ElseIf c < 32 Or c > 126 Then
      piece = piece & "\u" & Right("000" & Hex(c), 4)
    Else
      piece = piece & Chr(c)
    End If
    If i Mod 256 = 0 Then
      out = out & piece
      piece = ""
    End If
  Next
  Q = """" & out & piece & """"
End Function

Function B(flag)
  If flag Then B = "true" Else B = "false"
End Function

Function D(value)
  D = """" & Year(value) & "-" & Right("0" & Month(value), 2) & "-" & Right("0" & Day(value), 2) & _
      "T" & Right("0" & Hour(value), 2) & ":" & Right("0" & Minute(value), 2) & ":" & _
      Right("0" & Second(value), 2) & "Z"""
End Function

Dim oe, identity, store, code, folder, messages, m, i, segments, s, body, line, count
Set oe = CreateObject("Kestrel.OE")
WScript.Echo "{""DefaultUser"":" & Q(oe.DefaultUser) & ",""DefaultStore"":" & Q(oe.DefaultStore) & _
             ",""Identities"":" & oe.OEIdentities.Count & "}"
For Each identity In oe.OEIdentities
  WScript.Echo "{""UserName"":" & Q(identity.UserName) & ",""StorePath"":" & Q(identity.StorePath) & _
               ",""OERunning"":" & B(identity.OERunning) & ",""MigrationDone"":" & B(identity.MigrationDone) & "}"
Next

store = WScript.Arguments(0)
oe.OEStore = store
code = oe.OpenStore
WScript.Echo "{""OEStore"":" & Q(oe.OEStore) & ",""OpenStore"":" & code & ",""Folders"":" & oe.OEFolders.Count & "}"

For Each folder In oe.OEFolders
  code = folder.OpenFolder
  count = -1
  If Not folder.OEMessages Is Nothing Then count = folder.OEMessages.Count
  WScript.Echo "{""FolderName"":" & Q(folder.FolderName) & ",""FolderFile"":" & Q(folder.FolderFile) & _
               ",""FolderIndex"":" & folder.FolderIndex & ",""OpenFolder"":" & code & ",""Messages"":" & count & "}"
  If count > 0 Then
    Set messages = folder.OEMessages
    For i = 1 To count
      Set m = messages.Item(i)
      line = "{""Subject"":" & Q(m.Subject) & ",""OrigSubject"":" & Q(m.OrigSubject) & _
        ",""SenderName"":" & Q(m.SenderName) & ",""SenderAddr"":" & Q(m.SenderAddr) & _
        ",""SenderAddrName"":" & Q(m.SenderAddrName) & ",""RecipientName"":" & Q(m.RecipientName) & _
        ",""RecipientAddr"":" & Q(m.RecipientAddr) & ",""DateCreated"":" & D(m.DateCreated) & _
        ",""DateSaved"":" & D(m.DateSaved) & ",""DateReceived"":" & D(m.DateReceived) & _
        ",""MessageID"":" & Q(m.MessageID) & ",""AnswerMessageID"":" & Q(m.AnswerMessageID) & _
        ",""Newsgroup"":" & Q(m.Newsgroup) & ",""Server"":" & Q(m.Server) & _
        ",""MailAccount"":" & Q(m.MailAccount) & ",""RegistryKey"":" & Q(m.RegistryKey) & _
        ",""MessageLines"":" & m.MessageLines & ",""MessagePriority"":" & m.MessagePriority & _
        ",""MessageRead"":" & B(m.MessageRead) & ",""MessageMarked"":" & B(m.MessageMarked) & _
        ",""AttachmentPresent"":" & B(m.AttachmentPresent) & ",""DigitallySigned"":" & B(m.DigitallySigned) & _
        ",""NewsPosting"":" & B(m.NewsPosting) & ",""PendingChanges"":" & B(m.PendingChanges) & _
        ",""ThreadWatched"":" & B(m.ThreadWatched) & ",""ThreadIgnored"":" & B(m.ThreadIgnored)
      Set segments = m.OEMsgSegments
      If segments Is Nothing Then
        line = line & ",""BodySize"":null"
      Else
        body = ""
        For s = 1 To segments.Count
          body = body & segments.Item(s).msgText
        Next
        line = line & ",""BodySize"":" & Len(body) & ",""Body"":" & Q(body)
      End If
      WScript.Echo line & "}"
    Next
  End If
  folder.CloseFolder
Next
WScript.Echo "{""End"":true}"
