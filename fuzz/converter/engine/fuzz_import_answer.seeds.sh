#!/usr/bin/env bash
# Seeds fuzz_import_answer with answer payloads of the kinds a worker sends:
# fuzz_import_answer.seeds.sh CORPUS_DIR BUILD_DIR
set -euo pipefail
mkdir -p "$1"
python3 - "$1" <<'PY'
import struct, sys
out = sys.argv[1]

def text16(s):
    b = s.encode('utf-16-le')
    return struct.pack('<I', len(s)) + b

def prop(pid, ptype, value, named=None):
    b = struct.pack('<HHB', pid, ptype, 1 if named else 0)
    if named:
        guid, kind, key = named
        b += guid + bytes([kind]) + (struct.pack('<I', key) if kind == 0 else text16(key))
    return b + value

def props(ps):
    return struct.pack('<I', len(ps)) + b''.join(ps)

def message(ps, recipients=(), attachments=()):
    b = props(ps) + struct.pack('<I', len(recipients)) + b''.join(props(r) for r in recipients)
    b += struct.pack('<I', len(attachments))
    for aps, embedded in attachments:
        b += props(aps) + (b'\x01' + embedded if embedded is not None else b'\x00')
    return b

def answer(ticket, content, code=0, text=b'', date=None, bits=1, kept=b''):
    return (struct.pack('<QB', ticket, code) + struct.pack('<I', len(text)) + text +
            struct.pack('<BQB', 1 if date else 0, date or 0, bits) + struct.pack('<I', len(kept)) + kept + content)

i32 = lambda v: struct.pack('<q', v)
subject = prop(0x0037, 0x001F, text16('Hello'))
inner = message([subject])
rich = message(
    [prop(0x0E07, 0x0003, i32(17)), subject, prop(0x0039, 0x0040, struct.pack('<Q', 127000000000000000)),
     prop(0x1000, 0x0005, struct.pack('<d', 1.5)), prop(0x0E58, 0x0048, struct.pack('<I', 16) + b'\x11' * 16),
     prop(0x1001, 0x1003, struct.pack('<Iii', 2, 1, -1)), prop(0x1002, 0x101F, struct.pack('<I', 1) + text16('x')),
     prop(0x1003, 0x1102, struct.pack('<II', 1, 2) + b'ab'),
     prop(0, 0x0003, i32(1), (b'\x20' * 16, 0, 0x8503)), prop(0, 0x001F, text16('v'), (b'\x21' * 16, 1, 'X-Mailer'))],
    recipients=[[prop(0x3001, 0x001F, text16('Ann'))]],
    attachments=[([prop(0x3701, 0x0102, struct.pack('<I', 3) + b'abc')], None), ([], inner)])
seeds = {'empty': answer(1, message([])), 'failed': answer(2, message([]), code=2, text=b'bad', bits=0),
         'rich': answer(3, rich, date=128000000000000000, bits=3, kept=b'multipart without boundary')}
for name, data in seeds.items():
    open('%s/seed_%s' % (out, name), 'wb').write(data)
PY
