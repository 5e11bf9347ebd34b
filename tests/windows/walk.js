// The walk of walk.vbs as a JScript client: the same JSON lines.
function q(text) {
  var parts = [];
  for (var i = 0; i < text.length; i++) {
    var c = text.charCodeAt(i);
    if (c == 34) parts.push('\\"');
    else if (c == 92) parts.push('\\\\');
    else if (c < 32 || c > 126) parts.push('\\u' + ('000' + c.toString(16).toUpperCase()).slice(-4));
    else parts.push(text.charAt(i));
  }
  return '"' + parts.join('') + '"';
}
function two(n) { return (n < 10 ? '0' : '') + n; }
// An automation date is a local calendar time; JScript reads it as such.
function d(value) {
  var t = new Date(value);
  return '"' + t.getFullYear() + '-' + two(t.getMonth() + 1) + '-' + two(t.getDate()) + 'T' +
         two(t.getHours()) + ':' + two(t.getMinutes()) + ':' + two(t.getSeconds()) + 'Z"';
}
function echo(text) { WScript.Echo(text); }

var oe = new ActiveXObject('Kestrel.OE');
echo('{"DefaultUser":' + q(oe.DefaultUser) + ',"DefaultStore":' + q(oe.DefaultStore) +
     ',"Identities":' + oe.OEIdentities.Count + '}');
for (var e = new Enumerator(oe.OEIdentities); !e.atEnd(); e.moveNext()) {
  var identity = e.item();
  echo('{"UserName":' + q(identity.UserName) + ',"StorePath":' + q(identity.StorePath) +
       ',"OERunning":' + (identity.OERunning ? 'true' : 'false') +
       ',"MigrationDone":' + (identity.MigrationDone ? 'true' : 'false') + '}');
}

oe.OEStore = WScript.Arguments(0);
var code = oe.OpenStore();
echo('{"OEStore":' + q(oe.OEStore) + ',"OpenStore":' + code + ',"Folders":' + oe.OEFolders.Count + '}');

var flags = ['MessageRead', 'MessageMarked', 'AttachmentPresent', 'DigitallySigned', 'NewsPosting',
             'PendingChanges', 'ThreadWatched', 'ThreadIgnored'];
for (var f = new Enumerator(oe.OEFolders); !f.atEnd(); f.moveNext()) {
  var folder = f.item();
  code = folder.OpenFolder();
  var count = folder.OEMessages == null ? -1 : folder.OEMessages.Count;
  echo('{"FolderName":' + q(folder.FolderName) + ',"FolderFile":' + q(folder.FolderFile) +
       ',"FolderIndex":' + folder.FolderIndex + ',"OpenFolder":' + code + ',"Messages":' + count + '}');
  for (var i = 1; i <= count; i++) {
    var m = folder.OEMessages.Item(i);
    var line = '{"Subject":' + q(m.Subject) + ',"OrigSubject":' + q(m.OrigSubject) +
        ',"SenderName":' + q(m.SenderName) + ',"SenderAddr":' + q(m.SenderAddr) +
        ',"SenderAddrName":' + q(m.SenderAddrName) + ',"RecipientName":' + q(m.RecipientName) +
        ',"RecipientAddr":' + q(m.RecipientAddr) + ',"DateCreated":' + d(m.DateCreated) +
        ',"DateSaved":' + d(m.DateSaved) + ',"DateReceived":' + d(m.DateReceived) +
        ',"MessageID":' + q(m.MessageID) + ',"AnswerMessageID":' + q(m.AnswerMessageID) +
        ',"Newsgroup":' + q(m.Newsgroup) + ',"Server":' + q(m.Server) +
        ',"MailAccount":' + q(m.MailAccount) + ',"RegistryKey":' + q(m.RegistryKey) +
        ',"MessageLines":' + m.MessageLines + ',"MessagePriority":' + m.MessagePriority;
    for (var k = 0; k < flags.length; k++) line += ',"' + flags[k] + '":' + (m[flags[k]] ? 'true' : 'false');
    var segments = m.OEMsgSegments;
    if (segments == null) {
      line += ',"BodySize":null';
    } else {
      var body = [];
      for (var s = 1; s <= segments.Count; s++) body.push(segments.Item(s).msgText);
      var text = body.join('');
      line += ',"BodySize":' + text.length + ',"Body":' + q(text);
    }
    echo(line + '}');
  }
  folder.CloseFolder();
}
echo('{"End":true}');
