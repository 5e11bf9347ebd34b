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
                 recipients (To, then Cc, by name, from the display lists),
                 bodies, attachment names and bytes (libpst lists them last
                 first; they are put back in table order), embedded
                 messages, the Date header (compared with the submit time)
                 and the read flag; it writes no folder for an empty one.
  lspst          the subject of each message; folders by their own name.
  pst-extractor  everything above (tests/oracles/pst_dump.js).
Times are compared to the second. Bodies are compared with line ends made
LF and trailing line ends removed (readpst adds one). Debian's libpff
mangles characters outside the Basic Multilingual Plane, so pypff and
pffexport compare strings with those characters left out on both sides;
readpst and pst-extractor compare them in full.
"""
import datetime
import email
import email.header
import email.policy
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

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


def decode_html(data, codepage):
    if not data:
        return ''
    names = {65001: 'utf-8', 20127: 'ascii', 28591: 'latin-1', 1252: 'cp1252'}
    try:
        return data.decode(names.get(codepage, 'cp%d' % codepage if codepage else 'utf-8'))
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

def mime_message(msg):
    out = {
        'subject': str(msg.get('Subject', '') or ''),
        'recipients': [],
        'attachments': [],
        'read': 'R' in str(msg.get('Status', '')),
    }
    sender = msg.get('From')
    if sender is not None and sender.addresses:
        out['sent_representing_name'] = sender.addresses[0].display_name
        addr = sender.addresses[0].addr_spec
        out['sent_representing_address'] = '' if addr == 'MAILER-DAEMON' else addr
    raw = {}
    for field, value in msg.raw_items():
        raw.setdefault(field.lower(), value)
    for rtype, field in ((1, 'to'), (2, 'cc')):
        if field in raw:
            for name in split_names(str(email.header.make_header(email.header.decode_header(raw[field])))):
                out['recipients'].append({'type': rtype, 'name': name})
    date = msg.get('Date')
    if date is not None and getattr(date, 'datetime', None) is not None:
        out['submit_time'] = iso(date.datetime)
    body = msg.get_body(preferencelist=('plain',))
    html = msg.get_body(preferencelist=('html',))
    out['body'] = part_text(body) if body is not None else ''
    out['html'] = part_text(html) if html is not None else ''
    for part in reversed(list(msg.iter_attachments())):
        if part.get_content_type() == 'message/rfc822':
            # readpst starts the embedded message with an mbox "From " line.
            inner = part.get_payload()
            inner = inner[0] if isinstance(inner, list) and inner else inner
            text = inner.as_bytes() if inner is not None else b''
            text = re.sub(rb'^\s*>?From [^\n]*\n', b'', text)
            inner = email.message_from_bytes(text, policy=email.policy.default)
            out['attachments'].append({'name': part.get_filename(), 'message': mime_message(inner)})
        else:
            out['attachments'].append({'name': part.get_filename() or '',
                                       'data': part.get_payload(decode=True) or b''})
    return out


def split_names(value):
    # readpst writes the display lists as they are stored: names joined by "; ".
    return [n.strip() for n in value.split(';') if n.strip()]


def part_text(part):
    try:
        return part.get_content()
    except (LookupError, UnicodeDecodeError, AssertionError):
        return (part.get_payload(decode=True) or b'').decode('utf-8', 'replace')


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
                msgs.append(mime_message(email.message_from_binary_file(fh, policy=email.policy.default)))
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


class Comparer:
    def __init__(self, reader):
        self.reader = reader
        self.bmp = reader in BMP_ONLY
        self.problems = []

    def text(self, s):
        s = s or ''
        return bmp_only(s) if self.bmp else s

    def differ(self, where, field, got, want):
        self.problems.append('%s: %s: %s: got %s, want %s' % (self.reader, where, field, show(got), show(want)))

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
                    self.problems.append('%s: %s: %s: %s' % (self.reader, where, key, first_difference(g, w)))
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
                self.problems.append('%s: %s: %s bytes: %s' % (self.reader, where, label,
                                                             first_difference(data.hex(), w['hex'])))
            elif 'fnv1a64' in w and fnv1a64(data) != w['fnv1a64']:
                self.differ(where, label + ' fnv1a64', fnv1a64(data), w['fnv1a64'])


def compare(reader, view, expected, excepted=()):
    """Returns (messages matched, messages expected, problems)."""
    c = Comparer(reader)
    matched = total = 0
    for folder in expected['folders']:
        path = folder['path']
        if path in excepted:
            continue
        want = folder['messages']
        total += len(want)
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
            c.problems.append('%s: folder %s is missing (it shows %s)' % (reader, path, sorted(view)[:20]))
            continue
        if len(got) != len(want):
            c.problems.append('%s: folder %s lists %d messages, want %d' % (reader, path, len(got), len(want)))
        for i, w in enumerate(want):
            where = '%s #%d %s' % (path, i, show(w.get('subject', ''), 60))
            if i >= len(got):
                c.problems.append('%s: %s: not listed' % (reader, where))
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
                with open(os.path.join(dump, reader + '.json'), 'w', encoding='utf-8') as fh:
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
