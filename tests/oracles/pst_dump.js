// Dumps every folder and message of a PST through pst-extractor as one JSON
// document on stdout, for tests/oracles/pst_readers.py:
//   {"folders": [{"path": [names from the root], "count": contentCount,
//                 "messages": [message, ...]}]}
// A message holds what pst-extractor shows of it: subject, sender, recipients,
// bodies, times, flags and attachments (an embedded message in full, the
// bytes of any other attachment as hex).
'use strict';
const { PSTFile } = require('pst-extractor');

function time(d) {
  return d == null ? null : d.toISOString();
}

function readStream(stream) {
  if (stream == null) return null;
  const chunks = [];
  const buf = Buffer.alloc(65536);
  for (;;) {
    const n = stream.read(buf);
    if (n <= 0) break;
    chunks.push(Buffer.from(buf.subarray(0, n)));
  }
  return Buffer.concat(chunks);
}

function message(msg) {
  const out = {
    subject: msg.subject,
    sender_name: msg.senderName,
    sender_address: msg.senderEmailAddress,
    sent_representing_name: msg.sentRepresentingName,
    sent_representing_address: msg.sentRepresentingEmailAddress,
    recipients: [],
    body: msg.body,
    html: msg.bodyHTML,
    delivery_time: time(msg.messageDeliveryTime),
    submit_time: time(msg.clientSubmitTime),
    read: msg.isRead,
    has_attachments: msg.hasAttachments,
    attachments: [],
  };
  for (let i = 0; i < msg.numberOfRecipients; ++i) {
    const r = msg.getRecipient(i);
    out.recipients.push({ type: r.recipientType, name: r.displayName, address: r.emailAddress });
  }
  for (let i = 0; i < msg.numberOfAttachments; ++i) {
    const a = msg.getAttachment(i);
    const item = { name: a.longFilename || a.filename || a.displayName, method: a.attachMethod };
    if (a.attachMethod === 5) {
      const inner = a.embeddedPSTMessage;
      item.message = inner == null ? null : message(inner);
    } else {
      const data = readStream(a.fileInputStream);
      item.hex = data == null ? '' : data.toString('hex');
    }
    out.attachments.push(item);
  }
  return out;
}

function walk(folder, path, folders) {
  const entry = { path, count: folder.contentCount, messages: [] };
  folders.push(entry);
  if (folder.contentCount > 0) {
    for (let msg = folder.getNextChild(); msg != null; msg = folder.getNextChild()) {
      entry.messages.push(message(msg));
    }
  }
  if (folder.hasSubfolders) {
    for (const child of folder.getSubFolders()) walk(child, path.concat([child.displayName]), folders);
  }
}

const pst = new PSTFile(process.argv[2]);
const folders = [];
walk(pst.getRootFolder(), [], folders);
process.stdout.write(JSON.stringify({ folders }));
