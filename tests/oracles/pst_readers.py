#!/usr/bin/python3
"""Holds every message of a PST to what was written, in every outside reader.

usage: /usr/bin/python3 tests/oracles/pst_readers.py FILE.pst EXPECTED.json
           [--readers pypff,pffexport,readpst,lspst,pst-extractor]
           [--dump DIR] [--work DIR] [--quiet] [--except READER:FOLDER]...

Run it with Debian's /usr/bin/python3, where pypff is installed.

Each reader's view of the file is turned into one normalized form (below),
then every folder named in EXPECTED.json is compared message by message, in
order, with what that reader shows. Every difference is printed on one line:

    <reader>: <folder> #<index> "<subject>": <field>: got <value>, want <value>

and a summary line per reader gives the number of messages that matched.
The exit status is 0 when every reader matched every expected message, 1
when there is any difference, 2 for usage errors or a reader that failed.
--except READER:FOLDER leaves one folder out of one reader's comparison,
for a known limit of that reader (the caller says which, and why).
--dump DIR writes each reader's normalized view as DIR/<reader>.json, which
is the first thing to look at when a difference needs explaining.

The expectation (and the normalized form) is JSON:

    {"folders": [{"path": "Inbox/Sub", "messages": [MESSAGE, ...]}]}

`path` is the folder's names below the store's top folder joined by "/".
The folder must hold exactly these messages, in this order. A MESSAGE holds
any of these keys; keys left out are not compared, so an expectation may
hold only what its writer knows:

    subject, sender_name, sender_address, body, html     strings
    sent_representing_name, sent_representing_address    strings (who the
                     message is from, as the From: line shows it)
    recipients      [{"type": 1 (To) | 2 (Cc) | 3 (Bcc), "name", "address"}]
    attachments     [{"name", "size", "hex" or "fnv1a64"}  (data, hex string
                      or the 64-bit FNV-1a of the bytes as 16 hex digits)
                     | {"name", "message": MESSAGE}]       (embedded message)
    delivery_time, submit_time                            "YYYY-MM-DDTHH:MM:SSZ"
    read, has_attachments                                 booleans

To check another file (for example a store converted by tollan-cli), write
its expectation in this form from the messages that went in and run the
script on the pair; tests/platform/pst/messaging/readers_test.cc shows the
expectation written by the code that wrote the file.

What each reader shows, and how it is normalized:
  pypff          subject, sender, bodies, times, flags, attachment names and
                 bytes; no recipients, no embedded message contents.
  pffexport      subject, sender name, recipients, plain body, times, flags,
                 attachment names and bytes, embedded messages.
  readpst        subject, From: (the sent-representing name and address),
                 recipients (To, then Cc, by name), bodies, attachment names
                 and bytes (libpst lists them last first; they are put back
                 in table order), embedded messages, the Date header
                 (compared with the submit time) and the read flag; it
                 writes no folder for an empty one. Its MIME text is read as
                 a mail reader shows it (see mime_message).
  lspst          the subject of each message; folders by their own name.
  pst-extractor  everything above (tests/oracles/pst_dump.js).
Times are compared to the second. Bodies are compared with line ends made
LF and trailing line ends removed (readpst adds one). Debian's libpff
mangles characters outside the Basic Multilingual Plane, so pypff and
pffexport compare strings with those characters left out on both sides;
readpst and pst-extractor compare them in full.
"""
import base64
import datetime
import email
import email.policy
import email.utils
import json
import os
import quopri
import re
import shutil
import subprocess
import sys
import tempfile
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
ALL_READERS = ['pypff', 'pffexport', 'readpst', 'lspst', 'pst-extractor']
# Readers built on Debian's libpff, which mangles characters beyond U+FFFF.
BMP_ONLY = {'pypff', 'pffexport'}
FILETIME_EPOCH = datetime.datetime(1601, 1, 1, tzinfo=datetime.timezone.utc)


class ReaderFailed(Exception):
    pass


def fnv1a64(data):
    h = 0xCBF29CE484222325
    for b in data:
        h = ((h ^ b) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    return '%016x' % h


def iso(dt):
    if dt is None:
        return None
    if dt.tzinfo is None:
        dt = dt.replace(tzinfo=datetime.timezone.utc)
    return dt.astimezone(datetime.timezone.utc).strftime('%Y-%m-%dT%H:%M:%SZ')


def run(cmd, **kw):
    p = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kw)
    if p.returncode != 0:
        raise ReaderFailed('%s exited with %d: %s' % (cmd[0], p.returncode,
                                                      p.stderr.decode('utf-8', 'replace')[-2000:]))
    return p.stdout


def top_relative(paths_and_folders):
    """Keeps the folders below the store's top folder (the root's child that
    holds mail, whatever its localized name) and names them from there."""
    out = {}
    for path, folder in paths_and_folders:
        if len(path) < 2 or path[0] in ('Search Root', 'SPAM Search Folder 2'):
            continue
        out['/'.join(path[1:])] = folder
    return out


# --- pypff -------------------------------------------------------------------

def entries(item):
    found = {}
    for rs in item.record_sets:
        for e in rs.entries:
            found[(e.entry_type << 16) | e.value_type] = e
    return found


def entry_string(found, tag):
    e = found.get(tag)
    if e is None or e.data is None:
        return None
    return e.data.decode('utf-16-le', 'replace').rstrip('\0')


def entry_int(found, tag):
    e = found.get(tag)
    if e is None or e.data is None:
        return None
    return int.from_bytes(e.data[:4], 'little')


def pypff_message(m):
    found = entries(m)
    out = {
        'subject': m.subject or '',
        'sender_name': m.sender_name or '',
        'sender_address': entry_string(found, 0x0C1F001F) or '',
        'sent_representing_name': entry_string(found, 0x0042001F) or '',
        'sent_representing_address': entry_string(found, 0x0065001F) or '',
        'body': (m.plain_text_body or b'').decode('utf-8', 'replace'),
        'html': decode_html(m.html_body, entry_int(found, 0x3FDE0003)),
        'delivery_time': iso(m.delivery_time),
        'submit_time': iso(m.client_submit_time),
        'attachments': [],
    }
    flags = entry_int(found, 0x0E070003)
    if flags is not None:
        out['read'] = bool(flags & 1)
        out['has_attachments'] = bool(flags & 0x10)
    for k in range(m.number_of_attachments):
        a = m.get_attachment(k)
        af = entries(a)
        name = entry_string(af, 0x3707001F) or entry_string(af, 0x3704001F) or entry_string(af, 0x3001001F) or ''
        if entry_int(af, 0x37050003) == 5:
            out['attachments'].append({'name': name, 'message': None})
        else:
            data = a.read_buffer(a.size) if a.size else b''
            out['attachments'].append({'name': name, 'data': data})
    return out


# Windows code pages by the names Python's codecs know them.
CODE_PAGES = {65001: 'utf-8', 65000: 'utf-7', 20127: 'ascii', 1200: 'utf-16-le', 932: 'cp932',
              936: 'gbk', 949: 'cp949', 950: 'cp950', 874: 'cp874', 50220: 'iso2022_jp',
              50221: 'iso2022_jp', 50222: 'iso2022_jp', 50225: 'iso2022_kr', 51932: 'euc_jp',
              51949: 'euc_kr', 52936: 'hz', 54936: 'gb18030', 20866: 'koi8_r', 21866: 'koi8_u',
              38598: 'iso8859_8', 10000: 'mac_roman'}
CODE_PAGES.update({28590 + n: 'iso8859_%d' % n for n in range(1, 17) if n != 12})
CODE_PAGES.update({cp: 'cp%d' % cp for cp in range(1250, 1259)})


def decode_html(data, codepage):
    """The HTML bytes as text in their code page, as a browser shows them."""
    if not data:
        return ''
    try:
        return data.decode(CODE_PAGES.get(codepage, 'utf-8'))
    except (LookupError, UnicodeDecodeError):
        return data.decode('utf-8', 'replace')


def read_pypff(pst, work):
    import pypff
    f = pypff.file()
    f.open(pst)
    found = []

    def walk(folder, path):
        found.append((path, folder))
        for i in range(folder.number_of_sub_folders):
            sub = folder.get_sub_folder(i)
            walk(sub, path + [sub.name or ''])

    walk(f.get_root_folder(), [])
    out = {}
    for path, folder in top_relative(found).items():
        out[path] = [pypff_message(folder.get_sub_message(i)) for i in range(folder.number_of_sub_messages)]
    return out


# --- pffexport ----------------------------------------------------------------

def read_fields(path):
    """The "Name:  value" lines of a pffexport text file."""
    fields = {}
    if os.path.exists(path):
        with open(path, encoding='utf-8', errors='replace') as fh:
            for line in fh:
                m = re.match(r'([^\t:][^:]*):\t+(.*)$', line.rstrip('\n'))
                if m:
                    fields.setdefault(m.group(1), m.group(2))
    return fields


def pffexport_time(text):
    if not text:
        return None
    m = re.match(r'(\w+ \d+, \d+ \d+:\d+:\d+)', text)
    if not m:
        return None
    return iso(datetime.datetime.strptime(m.group(1), '%b %d, %Y %H:%M:%S'))


def pffexport_message(d):
    h = read_fields(os.path.join(d, 'OutlookHeaders.txt'))
    out = {
        'subject': h.get('Subject', ''),
        'sender_name': h.get('Sender name', ''),
        'sent_representing_name': h.get('Sent representing name', ''),
        'delivery_time': pffexport_time(h.get('Delivery time')),
        'submit_time': pffexport_time(h.get('Client submit time')),
        'recipients': [],
        'attachments': [],
    }
    flags = re.match(r'0x([0-9a-fA-F]+)', h.get('Flags', ''))
    if flags:
        out['read'] = bool(int(flags.group(1), 16) & 1)
        out['has_attachments'] = bool(int(flags.group(1), 16) & 0x10)
    body = os.path.join(d, 'Message.txt')
    if os.path.exists(body):
        with open(body, 'rb') as fh:
            out['body'] = fh.read().decode('utf-8', 'replace')
    else:
        out['body'] = ''
    rpath = os.path.join(d, 'Recipients.txt')
    if os.path.exists(rpath):
        with open(rpath, encoding='utf-8', errors='replace') as fh:
            for block in fh.read().split('\n\n'):
                fields = {}
                for line in block.split('\n'):
                    m = re.match(r'([^\t:][^:]*):\t+(.*)$', line)
                    if m:
                        fields[m.group(1)] = m.group(2)
                if fields:
                    out['recipients'].append({
                        'type': {'To': 1, 'CC': 2, 'BCC': 3}.get(fields.get('Recipient type'), 0),
                        'name': fields.get('Display name', ''),
                        'address': fields.get('Email address', ''),
                    })
    adir = os.path.join(d, 'Attachments')
    if os.path.isdir(adir):
        items = []
        for name in os.listdir(adir):
            m = re.match(r'(\d+)_(.*)$', name)
            if m and os.path.isfile(os.path.join(adir, name)):
                with open(os.path.join(adir, name), 'rb') as fh:
                    items.append((int(m.group(1)), {'name': m.group(2), 'data': fh.read()}))
            m = re.match(r'Attachment(\d+)$', name)
            if m:
                inner = os.path.join(adir, name, 'Message00001')
                msg = pffexport_message(inner) if os.path.isdir(inner) else None
                items.append((int(m.group(1)), {'name': None, 'message': msg}))
        out['attachments'] = [a for _, a in sorted(items, key=lambda x: x[0])]
    return out


def read_pffexport(pst, work):
    target = os.path.join(work, 'pffexport')
    run(['pffexport', '-q', '-f', 'text', '-m', 'items', '-t', target, pst])
    base = target + '.export'
    found = []
    for dirpath, dirnames, _ in os.walk(base):
        rel = os.path.relpath(dirpath, base)
        parts = [] if rel == '.' else rel.split(os.sep)
        if any(re.match(r'(Message|Attachment)\d+$|Attachments$', p) for p in parts):
            continue
        msgs = sorted((n for n in dirnames if re.match(r'Message\d+$', n)), key=lambda n: int(n[7:]))
        found.append((parts, [pffexport_message(os.path.join(dirpath, n)) for n in msgs]))
    return top_relative(found)


# --- readpst ------------------------------------------------------------------

# readpst writes each message as MIME text, with the header the message
# arrived with when the file keeps one. Its view is read the way a mail
# reader shows such text: 8-bit header text as UTF-8 (else Windows-1252),
# encoded-words decoded with the space between adjacent ones dropped and the
# bytes of adjacent words in one charset decoded together (so a character
# split between two words comes out whole), an address without a display
# name shown by its address, every To: and Cc: line.

ENCODED_WORD = re.compile(r'=\?([^?\s]+)\?([bBqQ])\?([^?\s]*)\?=')
# Labels mail readers take as the larger character set that holds them.
MIME_ALIASES = {'gb2312': 'gbk', 'big5': 'cp950', 'shift_jis': 'cp932', 'euc-kr': 'cp949',
                'ks_c_5601-1987': 'cp949', 'iso-8859-1': 'cp1252', 'us-ascii': 'cp1252',
                'iso-2022-jp': 'iso2022_jp_2'}


def eight_bit(raw):
    try:
        return raw.decode('utf-8')
    except UnicodeDecodeError:
        return raw.decode('cp1252', 'replace')


def decode_charset(data, charset):
    charset = charset.split('*')[0].lower()  # RFC 2231 language suffix
    if charset in ('unknown-8bit', 'x-unknown'):
        return eight_bit(data)
    try:
        return data.decode(MIME_ALIASES.get(charset, charset), 'replace')
    except LookupError:
        return None


def word_bytes(encoding, text):
    if encoding in 'bB':
        text = re.sub(r'[^A-Za-z0-9+/]', '', text)  # as mail readers do, stray characters are skipped
        try:
            return base64.b64decode(text + '=' * (-len(text) % 4))
        except ValueError:
            return None
    out = bytearray()
    i = 0
    while i < len(text):
        if text[i] == '=' and re.match(r'[0-9A-Fa-f]{2}', text[i + 1:i + 3]):
            out.append(int(text[i + 1:i + 3], 16))
            i += 3
            continue
        out += b' ' if text[i] == '_' else text[i].encode('latin-1', 'replace')
        i += 1
    return bytes(out)


def decode_words(text):
    out = []
    run = None  # [charset, bytes, source text] of adjacent words in one charset
    pos = 0

    def flush():
        nonlocal run
        if run is not None:
            decoded = decode_charset(run[1], run[0])
            out.append(run[2] if decoded is None else decoded)
            run = None

    for m in ENCODED_WORD.finditer(text):
        gap = text[pos:m.start()]
        data = word_bytes(m.group(2), m.group(3))
        if data is None:
            continue  # not a word after all: left as it stands
        if gap.strip() or run is None:
            flush()
            out.append(gap)
        if run is not None and run[0].lower() != m.group(1).lower():
            flush()
        if run is None:
            run = [m.group(1), b'', '']
        run[1] += data
        run[2] += m.group(0)
        pos = m.end()
    flush()
    out.append(text[pos:])
    return ''.join(out)


def raw_headers(msg):
    """Field name (lower case) to its values, unfolded, 8-bit text decoded."""
    fields = {}
    for name, value in msg.raw_items():
        if isinstance(value, str):
            value = value.encode('utf-8', 'surrogateescape')
        text = eight_bit(bytes(value))
        text = re.sub(r'\r?\n(?=[ \t])', '', text).strip()
        fields.setdefault(name.lower(), []).append(text)
    return fields


def mailboxes(values):
    return [(decode_words(name).strip() or addr, addr) for name, addr in email.utils.getaddresses(values)
            if name or addr]


def parse_mime(data):
    """The MIME text with message/* parts kept as bytes (Python would parse
    them as messages and lose the bytes of a delivery status or of a message
    attached as a file): their types are read as x-message/*."""
    data = re.sub(rb'(?im)^(content-type:[ \t]*)message/', rb'\1x-message/', data)
    return email.message_from_bytes(data, policy=email.policy.compat32)


def recipient_names(value):
    """The names of a To: or Cc: line. Without the message's own header,
    readpst writes the stored display list there (names joined by "; ", no
    addresses); with it, the address list it holds."""
    address_list = '<' in value or ('@' in value and ',' in value)
    if not address_list and ';' in value:
        return [decode_words(n).strip() for n in value.split(';') if n.strip()]
    if not address_list:
        return [decode_words(value).strip()] if value.strip() else []
    return [name for name, _ in mailboxes([value])]


def part_bytes(part):
    """A leaf part's bytes, by its transfer encoding."""
    return part.get_payload(decode=True) or b''


def header_param(text, name):
    """Parameter `name` of a Content-Disposition or Content-Type value: the
    RFC 2231 form (continuations too) when given, else the plain one."""
    pieces = re.findall(r'(?i)(?:^|;)\s*%s\*(\d*)(\*?)=\s*("(?:[^"\\]|\\.)*"|[^;\s]*)' % name, text)
    if pieces:
        pieces.sort(key=lambda p: int(p[0] or 0))
        charset, raw = None, b''
        for number, star, value in pieces:
            value = value.strip('"')
            if number == '' or star:
                if charset is None:
                    charset, _, value = value.split("'", 2) if value.count("'") >= 2 else ('utf-8', '', value)
                raw += urllib.parse.unquote_to_bytes(value)
            else:
                raw += value.encode('utf-8')
        return decode_charset(raw, charset or 'utf-8') or raw.decode('utf-8', 'replace')
    m = re.search(r'(?i)(?:^|;)\s*%s=\s*("(?:[^"\\]|\\.)*"|[^;\s]*)' % name, text)
    return decode_words(re.sub(r'\\(.)', r'\1', m.group(1).strip('"'))) if m else None


def attachment_name(part):
    for key, param in (('Content-Disposition', 'filename'), ('Content-Type', 'name')):
        value = part.get(key)
        if value is None:
            continue
        value = eight_bit(str(value).encode('utf-8', 'surrogateescape'))
        found = header_param(re.sub(r'\r?\n(?=[ \t])', '', value), param)
        if found is not None:
            return found
    return ''


def mime_message(msg):
    h = raw_headers(msg)
    out = {
        'subject': decode_words(h.get('subject', [''])[0]),
        'recipients': [],
        'attachments': [],
        'read': 'R' in ''.join(h.get('status', [])),
    }
    sender = mailboxes(h.get('from', [])[:1])
    if sender:
        out['sent_representing_name'] = sender[0][0]
        out['sent_representing_address'] = '' if sender[0][1] == 'MAILER-DAEMON' else sender[0][1]
    for rtype, field in ((1, 'to'), (2, 'cc')):
        for value in h.get(field, []):
            for name in recipient_names(value):
                out['recipients'].append({'type': rtype, 'name': name})
    date = h.get('date')
    if date:
        try:
            out['submit_time'] = iso(email.utils.parsedate_to_datetime(date[0]))
        except (TypeError, ValueError):
            pass
    out['body'] = out['html'] = ''
    leaves = []
    for part in msg.walk():
        if part.is_multipart():
            continue
        ctype = part.get_content_type()
        if part.get_content_disposition() != 'attachment' and ctype in ('text/plain', 'text/html'):
            key = 'body' if ctype == 'text/plain' else 'html'
            if not out[key]:
                data = part_bytes(part)
                charset = part.get_content_charset() or 'utf-8'
                text = decode_charset(data, charset)
                out[key] = text if text is not None else data.decode('utf-8', 'replace')
            continue
        leaves.append(part)
    for part in reversed(leaves):
        if part.get_content_type() == 'x-message/rfc822' and \
                str(part.get('Content-Transfer-Encoding', '')).strip().lower() != 'base64':
            # An embedded message; readpst starts it with an mbox "From " line.
            text = part_bytes(part)
            text = re.sub(rb'^\s*>?From [^\n]*\n', b'', text)
            inner = parse_mime(text)
            out['attachments'].append({'name': attachment_name(part) or None, 'message': mime_message(inner)})
        else:
            out['attachments'].append({'name': attachment_name(part), 'data': part_bytes(part)})
    return out


def read_readpst(pst, work):
    target = os.path.join(work, 'readpst')
    os.makedirs(target)
    # -j 0: with -M, parallel jobs write the messages of one folder at the
    # same time and now and then lose or mix up files.
    run(['readpst', '-q', '-j', '0', '-D', '-M', '-8', '-b', '-o', target, pst])
    stores = os.listdir(target)
    if len(stores) != 1:
        raise ReaderFailed('readpst wrote %d store folders' % len(stores))
    base = os.path.join(target, stores[0])
    out = {}
    for dirpath, _, filenames in os.walk(base):
        rel = os.path.relpath(dirpath, base)
        msgs = []
        for name in sorted((n for n in filenames if n.isdigit()), key=int):
            with open(os.path.join(dirpath, name), 'rb') as fh:
                msgs.append(mime_message(parse_mime(fh.read())))
        out['' if rel == '.' else rel.replace(os.sep, '/')] = msgs
    return out


# --- lspst --------------------------------------------------------------------

def read_lspst(pst, work):
    """lspst names each folder without its parents: the view maps a folder
    name to the message lists of the folders of that name, in listing order."""
    text = run(['lspst', pst]).decode('utf-8', 'replace')
    out = {}
    current = None
    for line in text.split('\n'):
        m = re.match(r'^\s*Folder "(.*)"$', line)
        if m:
            current = []
            out.setdefault(m.group(1), []).append(current)
            continue
        if line.lstrip().startswith('Email\t') and current is not None:
            m = re.search(r'\tSubject: (.*)$', line)
            current.append({'subject': m.group(1) if m else ''})
    return out


# --- pst-extractor ------------------------------------------------------------

def from_extractor(m):
    out = dict(m)
    for key in ('delivery_time', 'submit_time'):
        if out.get(key):
            out[key] = iso(datetime.datetime.fromisoformat(out[key].replace('Z', '+00:00')))
    atts = []
    for a in m.get('attachments', []):
        if 'message' in a:
            atts.append({'name': a.get('name'), 'message': from_extractor(a['message']) if a['message'] else None})
        else:
            atts.append({'name': a.get('name', ''), 'data': bytes.fromhex(a.get('hex', ''))})
    out['attachments'] = atts
    return out


def read_extractor(pst, work):
    script = os.path.join(HERE, 'pst_dump.js')
    if not os.path.isdir(os.path.join(HERE, 'node_modules', 'pst-extractor')):
        raise ReaderFailed('pst-extractor is not installed: run npm install in ' + HERE)
    dump = json.loads(run(['node', '--max-old-space-size=4096', script, pst]))
    found = [(f['path'], [from_extractor(m) for m in f['messages']]) for f in dump['folders']]
    return top_relative(found)


READERS = {
    'pypff': read_pypff,
    'pffexport': read_pffexport,
    'readpst': read_readpst,
    'lspst': read_lspst,
    'pst-extractor': read_extractor,
}


# --- comparison ---------------------------------------------------------------

def bmp_only(text):
    return ''.join(c for c in text if ord(c) <= 0xFFFF)


def norm_body(text):
    return (text or '').replace('\r\n', '\n').replace('\r', '\n').rstrip('\n')


def show(value, limit=80):
    s = repr(value)
    return s if len(s) <= limit else s[:limit] + '...(%d chars)' % len(s)


def first_difference(got, want):
    n = 0
    while n < min(len(got), len(want)) and got[n] == want[n]:
        n += 1
    return 'first difference at %d: got %s, want %s' % (n, show(got[n:n + 30]), show(want[n:n + 30]))


class Difference:
    """One difference: what `reader` shows of `field` of a message (or of a
    folder, when `index` is None), as a printable line."""

    def __init__(self, reader, folder, index, subject, field, got, want, text):
        self.reader, self.folder, self.index, self.subject = reader, folder, index, subject
        self.field, self.got, self.want, self.text = field, got, want, text

    def __str__(self):
        return self.text


class Comparer:
    def __init__(self, reader):
        self.reader = reader
        self.bmp = reader in BMP_ONLY
        self.problems = []
        self.folder = self.index = self.subject = None  # the message being compared

    def text(self, s):
        s = s or ''
        return bmp_only(s) if self.bmp else s

    def add(self, where, field, got, want, detail=None):
        detail = detail or 'got %s, want %s' % (show(got), show(want))
        self.problems.append(Difference(self.reader, self.folder, self.index, self.subject, field, got, want,
                                        '%s: %s: %s: %s' % (self.reader, where, field, detail)))

    def differ(self, where, field, got, want):
        self.add(where, field, got, want)

    def message(self, where, got, want):
        """Compares the fields of `want` that the reader shows; True if equal."""
        before = len(self.problems)
        for key in ('subject', 'sender_name', 'sender_address', 'sent_representing_name',
                    'sent_representing_address'):
            if key in want and key in got and self.text(got[key]) != self.text(want[key]):
                self.differ(where, key, got[key], want[key])
        for key in ('body', 'html'):
            if key in want and key in got:
                g, w = self.text(norm_body(got[key])), self.text(norm_body(want[key]))
                if g != w:
                    self.add(where, key, g, w, first_difference(g, w))
        for key in ('delivery_time', 'submit_time', 'read', 'has_attachments'):
            if key in want and key in got and got[key] != want[key]:
                self.differ(where, key, got[key], want[key])
        if 'recipients' in want and 'recipients' in got:
            self.recipients(where, got['recipients'], want['recipients'])
        if 'attachments' in want and 'attachments' in got:
            self.attachments(where, got['attachments'], want['attachments'])
        return len(self.problems) == before

    def recipients(self, where, got, want):
        if self.reader == 'readpst':
            # The To: and Cc: lines: no Bcc, To before Cc.
            want = [r for r in want if r.get('type') == 1] + [r for r in want if r.get('type') == 2]
        if len(got) != len(want):
            self.differ(where, 'recipients', '%d recipients' % len(got), '%d' % len(want))
            return
        for i, (g, w) in enumerate(zip(got, want)):
            for key in ('type', 'name', 'address'):
                if key in g and key in w and (self.text(g[key]) if isinstance(g[key], str) else g[key]) != \
                        (self.text(w[key]) if isinstance(w[key], str) else w[key]):
                    self.differ(where, 'recipient %d %s' % (i, key), g[key], w[key])

    def attachments(self, where, got, want):
        if len(got) != len(want):
            self.differ(where, 'attachments', [a.get('name') for a in got], [a.get('name') for a in want])
            return
        for i, (g, w) in enumerate(zip(got, want)):
            label = 'attachment %d' % i
            if g.get('name') is not None and 'name' in w and self.text(g['name']) != self.text(w['name']):
                self.differ(where, label + ' name', g['name'], w['name'])
            if 'message' in w:
                if 'message' not in g:
                    self.differ(where, label, 'data', 'an embedded message')
                elif g['message'] is not None and w['message'] is not None:
                    self.message(where + ' > ' + label, g['message'], w['message'])
                continue
            if 'data' not in g:
                self.differ(where, label, 'an embedded message', 'data')
                continue
            data = g['data']
            if 'size' in w and len(data) != w['size']:
                self.differ(where, label + ' size', len(data), w['size'])
            elif 'hex' in w and data.hex() != w['hex']:
                self.add(where, label + ' bytes', data.hex(), w['hex'], first_difference(data.hex(), w['hex']))
            elif 'fnv1a64' in w and fnv1a64(data) != w['fnv1a64']:
                self.differ(where, label + ' fnv1a64', fnv1a64(data), w['fnv1a64'])


def compare(reader, view, expected, excepted=()):
    """Returns (messages matched, messages expected, [Difference])."""
    c = Comparer(reader)
    matched = total = 0
    for folder in expected['folders']:
        path = folder['path']
        if path in excepted:
            continue
        want = folder['messages']
        total += len(want)
        c.folder, c.index, c.subject = path, None, None
        if reader == 'lspst':
            # By name, in listing order; lspst leaves out some empty folders.
            same_name = view.get(path.split('/')[-1])
            got = same_name.pop(0) if same_name else None
            if got is None and not want:
                continue
        else:
            got = view.get(path)
            if got is None and not want and reader == 'readpst':
                continue  # readpst writes no folder for one without messages
        if got is None:
            c.add('folder ' + path, 'listing', None, None, 'missing (the reader shows %s)' % sorted(view)[:20])
            continue
        if len(got) != len(want):
            c.add('folder ' + path, 'listing', len(got), len(want), 'lists %d messages, want %d' % (len(got), len(want)))
        for i, w in enumerate(want):
            c.index, c.subject = i, w.get('subject', '')
            where = '%s #%d %s' % (path, i, show(w.get('subject', ''), 60))
            if i >= len(got):
                c.add(where, 'listing', None, None, 'not listed')
                continue
            if c.message(where, got[i], w):
                matched += 1
    return matched, total, c.problems


def serializable(view):
    def fix(x):
        if isinstance(x, bytes):
            return {'size': len(x), 'fnv1a64': fnv1a64(x)} if len(x) > 64 else {'hex': x.hex()}
        if isinstance(x, dict):
            return {k: fix(v) for k, v in x.items()}
        if isinstance(x, list):
            return [fix(v) for v in x]
        return x
    return fix(view)


def main(argv):
    args = argv[1:]
    readers = list(ALL_READERS)
    dump = work = None
    quiet = False
    excepted = {}
    positional = []
    while args:
        a = args.pop(0)
        if a == '--readers' and args:
            readers = args.pop(0).split(',')
        elif a == '--dump' and args:
            dump = args.pop(0)
        elif a == '--work' and args:
            work = args.pop(0)
        elif a == '--except' and args and ':' in args[0]:
            reader, folder = args.pop(0).split(':', 1)
            excepted.setdefault(reader, set()).add(folder)
        elif a == '--quiet':
            quiet = True
        else:
            positional.append(a)
    if len(positional) != 2 or any(r not in READERS for r in readers):
        sys.stderr.write(__doc__)
        return 2
    pst, expectation = positional
    # Readers may hand back lone surrogates; show them rather than fail.
    sys.stdout.reconfigure(errors='backslashreplace')
    with open(expectation, encoding='utf-8') as fh:
        expected = json.load(fh)
    own_work = work is None
    work = work or tempfile.mkdtemp(prefix='pst_readers.')
    status = 0
    try:
        summary = []
        for reader in readers:
            try:
                view = READERS[reader](pst, work)
            except (ReaderFailed, OSError, ValueError) as e:
                print('%s: cannot read the file: %s' % (reader, e))
                summary.append('%s: failed' % reader)
                status = 2
                continue
            if dump:
                os.makedirs(dump, exist_ok=True)
                with open(os.path.join(dump, reader + '.json'), 'w', encoding='utf-8',
                          errors='backslashreplace') as fh:
                    json.dump(serializable(view), fh, ensure_ascii=False, indent=1)
            matched, total, problems = compare(reader, view, expected, excepted.get(reader, ()))
            shown = problems if not quiet else problems[:50]
            for p in shown:
                print(p)
            if len(shown) < len(problems):
                print('%s: ... and %d more differences' % (reader, len(problems) - len(shown)))
            left_out = sorted(excepted.get(reader, ()))
            summary.append('%s: %d of %d messages match%s' % (
                reader, matched, total, ' (left out: %s)' % ', '.join(left_out) if left_out else ''))
            if problems and status == 0:
                status = 1
        for line in summary:
            print(line)
    finally:
        if own_work:
            shutil.rmtree(work, ignore_errors=True)
    return status


if __name__ == '__main__':
    sys.exit(main(sys.argv))
