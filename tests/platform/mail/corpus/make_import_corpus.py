#!/usr/bin/env python3
"""Writes the import corpus beside the charset one:

words/    per character set: a subject, a sender name and an attachment name
          split into many encoded-words (base64 words each padded on their
          own, quoted-printable words between them, characters split between
          words) and an RFC 2231 file name in pieces; plus a few header forms
          mailers send. X-Expected-Subject / -Name / -File hold the UTF-8
          text the import must give (base64).
parts/    text attachments and bodies in 7bit, 8bit and quoted-printable with
          CRLF and with LF line ends, and forwarded messages.
reports/  delivery and read reports.
broken_headers/  header fields that are damaged in the ways real mail is.

Every message here is written for this project."""
import base64
import os

from make_charsets import SETS

HERE = os.path.dirname(os.path.abspath(__file__))
STATEFUL = {"iso-2022-jp", "iso-2022-kr", "utf-7"}


def b64(data):
    return base64.b64encode(data).decode()


def q_word(label, data):
    return "=?%s?Q?%s?=" % (label, "".join(
        chr(c) if (chr(c).isalnum() and c < 128) else "=%02X" % c for c in data))


def split_words(label, codec, text, size):
    """Encoded-words of `text`: byte chunks of `size` (B and Q words in
    turn) or, for sets with shift states, whole pieces of a few characters."""
    if label in STATEFUL:
        pieces = [text[i:i + 3].encode(codec) for i in range(0, len(text), 3)]
        return ["=?%s?B?%s?=" % (label, b64(p)) for p in pieces]
    data = text.encode(codec)
    words = []
    for n, i in enumerate(range(0, len(data), size)):
        chunk = data[i:i + size]
        words.append(q_word(label, chunk) if n % 3 == 2 else "=?%s?B?%s?=" % (label, b64(chunk)))
    return words


def rfc2231(param, label, codec, text):
    data = text.encode(codec)
    pct = "".join("%%%02X" % c for c in data)
    pieces = [pct[i:i + 21] for i in range(0, len(pct), 21)]
    out = ["%s*0*=%s''%s" % (param, label, pieces[0])]
    out += ["%s*%d*=%s" % (param, n, p) for n, p in enumerate(pieces[1:], 1)]
    return ";\r\n ".join(out)


def write(sub, name, data):
    d = os.path.join(HERE, sub)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)


def crlf(lines):
    return "\r\n".join(lines).encode("ascii")


def charset_words():
    for label, codec, _, text in SETS:
        name = text[:6]
        file_name = text[:8] + ".txt"
        head = crlf([
            "From: %s <sender@example.com>" % " ".join(split_words(label, codec, name, 4)),
            "To: reader@example.net",
            "Subject: %s" % "\r\n ".join(split_words(label, codec, text, 5)),
            "Date: Fri, 14 Mar 2003 14:14:14 +0000",
            "MIME-Version: 1.0",
            'Content-Type: multipart/mixed; boundary="W"',
            "X-Expected-Subject: " + b64(text.encode()),
            "X-Expected-Name: " + b64(name.strip().encode()),
            "X-Expected-File: " + b64(file_name.encode()),
            "", "--W", "Content-Type: text/plain; charset=us-ascii", "", "see the attachment",
            "--W", "Content-Type: application/octet-stream",
            "Content-Disposition: attachment;\r\n " + rfc2231("filename", label, codec, file_name),
            "Content-Transfer-Encoding: base64", "", b64(text.encode(codec)), "--W--", ""])
        write("words", label + ".eml", head)

    # Eight adjacent words as a mailer sent them, base64 each padded alone.
    subject = "MySurvey.com:  You have a survey waiting!  91123105"
    words = ["=?UTF-8?B?%s?=" % b64(p.encode()) for p in
             ["MySurvey", ".com:  Y", "ou have ", "a survey", " waiting", "!  "]]
    words += ["=?UTF-8?Q?91123105?=", "=?UTF-8?B??="]
    write("words", "padded_base64_run.eml", crlf([
        "From: =?UTF-8?B?U3VydmV5?= =?UTF-8?B?IFRlYW0=?= <team@example.com>",
        "To: reader@example.net", "Subject: " + "\r\n ".join(words),
        "Date: Fri, 14 Mar 2003 14:14:14 +0000",
        "X-Expected-Subject: " + b64(subject.encode()),
        "X-Expected-Name: " + b64(b"Survey Team"),
        "", "body", ""]))
    # Words of several charsets side by side, and plain text between words.
    subject = "Grüße Привет 中文 and more"
    write("words", "mixed_charsets.eml", crlf([
        "From: =?iso-8859-1?Q?J=F6rg?= =?koi8-r?B?98/Mz8TR?= <jv@example.com>",
        "To: reader@example.net",
        "Subject: =?iso-8859-1?Q?Gr=FC=DFe_?= =?koi8-r?B?8NLJ18XU?=\r\n =?utf-8?B?IOS4rQ==?= =?utf-8?B?5paH?= and more",
        "Date: Fri, 14 Mar 2003 14:14:14 +0000",
        "X-Expected-Subject: " + b64(subject.encode()),
        "X-Expected-Name: " + b64("JörgВолодя".encode()),
        "", "body", ""]))
    # A name with specials inside its words, a quoted name that holds words.
    write("words", "names_with_specials.eml", crlf([
        "From: =?UTF-8?B?TcO8bGxlcg==?= =?UTF-8?B?LCBKb2hu?= <jm@example.com>",
        "To: \"=?utf-8?Q?A=22B?=\" <ab@example.com>, =?utf-8?Q?=3Cnot=3E_an_address?= <c@example.com>",
        "Subject: =?unknown-8bit?Q?caf=C3=A9?= =?utf-8?X?kept?=",
        "Date: Fri, 14 Mar 2003 14:14:14 +0000",
        "X-Expected-Subject: " + b64("café =?utf-8?X?kept?=".encode()),
        "X-Expected-Name: " + b64("Müller, John".encode()),
        "", "body", ""]))
    # Fields that may occur once, given twice: the first counts.
    write("words", "fields_twice.eml", crlf([
        "From: First <first@example.com>", "From: Second <second@example.com>",
        "To: a@example.com", "To: b@example.com",
        "Subject: the first", "Subject: the second",
        "Date: Fri, 14 Mar 2003 14:14:14 +0000", "Date: Sat, 15 Mar 2003 15:15:15 +0000",
        "X-Expected-Subject: " + b64(b"the first"),
        "X-Expected-Name: " + b64(b"First"),
        "", "body", ""]))


def text_parts():
    for eol_name, eol in (("crlf", "\r\n"), ("lf", "\n")):
        for cte, body, data in (("7bit", b"plain body", b"this is the data"),
                                ("8bit", "Grüße".encode("latin-1"), "this is the dätä".encode("latin-1")),
                                ("quoted-printable", b"Gr=FC=DFe", b"this is the d=E4t=E4=\r\nand more")):
            name = "text_%s_%s.eml" % (cte.split("-")[0], eol_name)
            head = lambda extra: eol.join(["Content-Type: text/plain; charset=iso-8859-1",
                                           "Content-Transfer-Encoding: " + cte] + extra + ["", ""]).encode()
            if eol == "\n":
                data = data.replace(b"\r\n", b"\n")
            msg = (eol.join(["From: a@example.com", "To: b@example.net", "Subject: " + name,
                             "Date: Fri, 14 Mar 2003 14:14:14 +0000", "MIME-Version: 1.0",
                             'Content-Type: multipart/mixed; boundary="T"', "", "--T", ""]).encode()
                   + head([]) + body + eol.encode() + eol.encode()
                   + ("--T" + eol).encode() + head(['Content-Disposition: attachment; filename="data.txt"'])
                   + data + eol.encode() + eol.encode()
                   + ("--T" + eol).encode() + head(['Content-Disposition: attachment; filename="last.txt"'])
                   + data + eol.encode() + ("--T--" + eol).encode())
            write("parts", name, msg)

    for eol_name, eol in (("crlf", "\r\n"), ("lf", "\n")):
        inner = eol.join([
            "From: Original <orig@example.com>", "To: a@example.com",
            "Subject: =?utf-8?B?w5xiZXI=?= =?utf-8?B?c2ljaHQ=?=", "Date: Thu, 13 Mar 2003 10:00:00 +0000",
            "MIME-Version: 1.0", 'Content-Type: multipart/mixed; boundary="I"', "",
            "--I", "Content-Type: text/plain", "", "inner body", "",
            "--I", "Content-Type: text/plain; name=notes.txt", "Content-Transfer-Encoding: 7bit", "",
            "line one", "line two", "", "--I--", ""])
        msg = eol.join([
            "From: a@example.com", "To: b@example.net", "Subject: Fwd: overview",
            "Date: Fri, 14 Mar 2003 14:14:14 +0000", "MIME-Version: 1.0",
            'Content-Type: multipart/mixed; boundary="F"', "",
            "--F", "Content-Type: text/plain", "", "see below", "",
            "--F", "Content-Type: message/rfc822", "Content-Disposition: attachment", "",
            inner, "--F--", ""])
        write("parts", "forwarded_%s.eml" % eol_name, msg.encode())


def reports():
    original = "\r\n".join([
        "From: a@example.com", "To: nobody@example.org", "Subject: lunch",
        "Date: Thu, 13 Mar 2003 10:00:00 +0000", "", "are you coming?", ""])
    write("reports", "delivery_failed.eml", crlf([
        "From: Mail Delivery System <MAILER-DAEMON@example.com>", "To: a@example.com",
        "Subject: Undelivered Mail Returned to Sender", "Date: Thu, 13 Mar 2003 10:01:00 +0000",
        "MIME-Version: 1.0",
        'Content-Type: multipart/report; report-type=delivery-status; boundary="R"', "",
        "--R", "Content-Type: text/plain", "", "Your message could not be delivered.", "",
        "--R", "Content-Type: message/delivery-status", "",
        "Reporting-MTA: dns; mx.example.com", "",
        "Final-Recipient: rfc822; nobody@example.org", "Action: failed", "Status: 5.1.1", "",
        "--R", "Content-Type: message/rfc822", "", original, "--R--", ""]))
    write("reports", "delivery_delayed_headers_only.eml", crlf([
        "From: postmaster@example.com", "To: a@example.com", "Subject: Delivery delayed",
        "Date: Thu, 13 Mar 2003 14:00:00 +0000", "MIME-Version: 1.0",
        'Content-Type: multipart/report; report-type=delivery-status; boundary="D"', "",
        "--D", "Content-Type: text/plain", "", "Still trying.", "",
        "--D", "Content-Type: message/delivery-status", "",
        "Reporting-MTA: dns; mx.example.com", "", "Final-Recipient: rfc822; slow@example.org",
        "Action: delayed", "Status: 4.4.1", "",
        "--D", "Content-Type: text/rfc822-headers", "",
        "From: a@example.com", "To: slow@example.org", "Subject: report", "",
        "--D--", ""]))
    write("reports", "read_receipt.eml", crlf([
        "From: b@example.net", "To: a@example.com", "Subject: Read: lunch",
        "Date: Thu, 13 Mar 2003 11:00:00 +0000", "MIME-Version: 1.0",
        'Content-Type: multipart/report; report-type=disposition-notification; boundary="N"', "",
        "--N", "Content-Type: text/plain", "", "Your message was read.", "",
        "--N", "Content-Type: message/disposition-notification", "",
        "Final-Recipient: rfc822; b@example.net",
        "Disposition: manual-action/MDN-sent-manually; displayed", "",
        "--N--", ""]))


def broken_headers():
    cases = {
        "line_without_colon": ["From: a@example.com", "this line is no field", "Subject: after it"],
        "unterminated_word": ["From: =?utf-8?B?QW5uYQ <anna@example.com>", "Subject: =?utf-8?Q?open_end"],
        "bad_base64_word": ["From: a@example.com", "Subject: =?utf-8?B?SGVs*bG8=?= =?utf-8?B?!!!?="],
        "empty_fields": ["From:", "To: ", "Subject:"],
        "long_folded_subject": ["From: a@example.com",
                                "Subject: " + "\r\n\t".join("word%d" % i for i in range(120))],
        "word_in_address": ["From: =?utf-8?Q?x?=@example.com", "To: <=?utf-8?Q?y?=@example.com>",
                            "Subject: addresses"],
    }
    for name, fields in cases.items():
        write("broken_headers", name + ".eml",
              crlf(fields + ["Date: Fri, 14 Mar 2003 14:14:14 +0000", "", "body", ""]))


if __name__ == "__main__":
    charset_words()
    text_parts()
    reports()
    broken_headers()
