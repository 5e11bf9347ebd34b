#!/usr/bin/python3
"""Compares converted .pst files with the messages they came from.

usage: verify_pst.py EXPORT_DIR PST... [--all-read] [--skip FOLDER...]

EXPORT_DIR holds one subfolder per folder file, with the stored messages as
1.eml, 2.eml, ... (what `kestrel export STORE OUT` writes). Each subfolder
must come back as a .pst folder of the same name (in any of the given files)
holding the same messages in the same order: subject, sender, plain-text
body, attachment bytes and delivery date equal to the original, and the
read flag set when --all-read is given. Prints one line per difference and
exits 1 when there is any. Runs under Debian's python3 (pypff).
"""
import email
import email.policy
import email.utils
import os
import re
import sys

import pypff


def pst_folders(paths):
    """Maps folder name -> list of (pst path, pypff folder) below each top folder."""
    found = {}
    files = []
    for path in paths:
        f = pypff.file()
        f.open(path)
        files.append(f)
        root = f.get_root_folder()
        stack = [root]
        while stack:
            folder = stack.pop()
            for i in range(folder.number_of_sub_folders):
                sub = folder.get_sub_folder(i)
                found.setdefault(sub.name, []).append((path, sub))
                stack.append(sub)
    return found, files


def norm_text(text):
    text = text.replace("\r\n", "\n").replace("\r", "\n")
    return "\n".join(line.rstrip() for line in text.strip().split("\n"))


def plain_body(msg):
    part = msg.get_body(preferencelist=("plain",))
    if part is None:
        return None
    try:
        return part.get_content()
    except Exception:  # undecodable charset: not comparable
        return None


def attachments(msg):
    out = []
    for part in msg.iter_attachments():
        if part.get_content_type() == "message/rfc822":
            out.append(None)  # an embedded message, not compared byte for byte
            continue
        out.append(part.get_payload(decode=True) or b"")
    return out


def flags_of(message):
    for rs in range(message.number_of_record_sets):
        record_set = message.get_record_set(rs)
        for e in range(record_set.number_of_entries):
            entry = record_set.get_entry(e)
            if entry.entry_type == 0x0E07 and entry.data is not None:
                return int.from_bytes(entry.data[:4], "little")
    return None


def main(argv):
    all_read = "--all-read" in argv
    skip = set()
    args = [a for a in argv[1:] if a != "--all-read"]
    if "--skip" in args:
        i = args.index("--skip")
        skip = set(args[i + 1:])
        args = args[:i]
    export_dir, pst_paths = args[0], args[1:]
    folders, _files = pst_folders(pst_paths)
    problems = []
    checked = 0
    for name in sorted(os.listdir(export_dir)):
        if name in skip:
            continue
        emls = sorted((f for f in os.listdir(os.path.join(export_dir, name)) if f.endswith(".eml")),
                      key=lambda f: int(re.match(r"(\d+)", f).group(1)))
        candidates = [f for _, f in folders.get(name, []) if f.number_of_sub_messages == len(emls)]
        if not candidates:
            have = [f.number_of_sub_messages for _, f in folders.get(name, [])]
            problems.append(f"{name}: no .pst folder with {len(emls)} messages (found {have})")
            continue
        folder = candidates[0]
        for index, eml in enumerate(emls):
            with open(os.path.join(export_dir, name, eml), "rb") as fh:
                original = email.message_from_binary_file(fh, policy=email.policy.default)
            message = folder.get_sub_message(index)
            where = f"{name}/{eml}"
            subject = str(original.get("Subject", "") or "")
            if norm_text(message.subject or "") != norm_text(subject):
                problems.append(f"{where}: subject {message.subject!r} != {subject!r}")
            sender = original.get("From")
            if sender is not None and sender.addresses:
                want = sender.addresses[0].display_name or sender.addresses[0].addr_spec
                if (message.sender_name or "") != want:
                    problems.append(f"{where}: sender {message.sender_name!r} != {want!r}")
            body = plain_body(original)
            if body is not None:
                got = (message.plain_text_body or b"").decode("utf-8", "replace")
                if norm_text(got) != norm_text(body):
                    problems.append(f"{where}: plain-text body differs")
            ctype = original.get_content_type()
            if ctype in ("multipart/signed", "application/pkcs7-mime", "application/x-pkcs7-mime"):
                # Signed and encrypted mail keeps its whole MIME body as the one
                # attachment Outlook verifies or decrypts.
                if message.number_of_attachments != 1:
                    problems.append(f"{where}: S/MIME message with {message.number_of_attachments} attachments")
                want_atts = None
            else:
                want_atts = attachments(original)
            if want_atts is None:
                pass
            elif message.number_of_attachments != len(want_atts):
                problems.append(f"{where}: {message.number_of_attachments} attachments != {len(want_atts)}")
            else:
                for a, want in enumerate(want_atts):
                    if want is None:
                        continue
                    att = message.get_attachment(a)
                    data = att.read_buffer(att.size) if att.size else b""
                    if data != want:
                        problems.append(f"{where}: attachment {a} bytes differ")
            date = original.get("Date")
            if date is not None and getattr(date, "datetime", None) is not None:
                want_ts = int(date.datetime.timestamp())
                got = message.get_delivery_time_as_integer()
                got_ts = (got - 116444736000000000) // 10000000 if got else None
                if got_ts != want_ts:
                    problems.append(f"{where}: delivery time {got_ts} != {want_ts}")
            flags = flags_of(message)
            if flags is None:
                problems.append(f"{where}: no message flags")
            else:
                if all_read and not flags & 0x01:
                    problems.append(f"{where}: not marked read (flags {flags:#x})")
                if want_atts is not None and bool(flags & 0x10) != (len(want_atts) > 0):
                    problems.append(f"{where}: has-attachment flag {flags:#x} with "
                                    f"{message.number_of_attachments} attachments")
            checked += 1
    for p in problems:
        print(p)
    print(f"{checked} messages compared, {len(problems)} differences")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
