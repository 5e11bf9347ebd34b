#!/usr/bin/python3
"""Sixty copies of a 28-message folder file, each with 20 random bytes changed
(seeds 1 to 60), converted by tollan-cli with and without --recover.

usage: /usr/bin/python3 damaged_copies_test.py BUILD_DIR [--copies N] [--keep DIR]

For every copy:
  - every message whose first body block survives (its 16-byte head is
    untouched) reaches the .pst when recovery is on;
  - nothing is made up: every .eml that `kestrel export` and `kestrel
    recover` write is, 512 bytes at a time, the text of body blocks of the
    damaged file;
  - a message salvaged in part is named in the report as "incomplete";
  - the default store (through the reader component) brings as many
    messages into its .pst as the file picked by hand;
  - the exit status is 0 only when the .pst holds all 28 messages whole.
Prints one line per copy and the totals; exit 1 on any failure.
"""
import base64
import csv
import glob
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile

import pypff

BLOCK = 528
MESSAGES = 28


def big_message():
    """A 49,104-byte message with a base64 attachment, as the first one."""
    head = ('From: "Ana Ruiz" <ana@example.com>\r\nSubject: Quarterly figures\r\n'
            'Date: Tue, 4 Mar 2003 09:15:00 +0100\r\nMIME-Version: 1.0\r\n'
            'Content-Type: multipart/mixed; boundary="b1"\r\n\r\n--b1\r\n\r\nAttached.\r\n--b1\r\n'
            'Content-Type: application/octet-stream; name="figures.bin"\r\n'
            'Content-Transfer-Encoding: base64\r\n\r\n').encode()
    data = base64.encodebytes(random.Random(49104).randbytes(37000)).replace(b'\n', b'\r\n')
    text = head + data[:49104 - len(head) - 10] + b'\r\n--b1--\r\n'
    assert len(text) == 49104
    return text


def pst_messages(path):
    f = pypff.file()
    f.open(path)
    n, stack = 0, [f.get_root_folder()]
    while stack:
        d = stack.pop()
        n += d.number_of_sub_messages
        stack += [d.get_sub_folder(i) for i in range(d.number_of_sub_folders)]
    f.close()
    return n


def block_texts(data):
    """The text of every body block of the file: those that name themselves."""
    texts = []
    for at in range(0, len(data) - 16, 4):
        if int.from_bytes(data[at:at + 4], 'little') == at:
            texts.append(data[at + 16:at + BLOCK])
    return texts


def made_up(text, data, texts):
    """The first 512-byte piece of `text` that is not the start of a block's
    text, or None."""
    full = set(t[:512] for t in texts if len(t) == 512)
    for k in range(0, len(text), 512):
        piece = text[k:k + 512]
        if len(piece) == 512 and piece in full:
            continue
        if not any(t.startswith(piece) for t in texts):
            return k
    return None


USER_REG = r'''WINE REGISTRY Version 2

[Identities] 1700000000
"Default User ID"="{A}"

[Identities\\{A}] 1700000000
"UserName"="Main Identity"

[Identities\\{A}\\Software\\Microsoft\\Outlook Express\\5.0] 1700000000
"Store Root"="C:\\OE Store"
'''


def run(cmd):
    return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)


def main():
    build = sys.argv[1]
    copies = int(sys.argv[sys.argv.index('--copies') + 1]) if '--copies' in sys.argv else 60
    work = tempfile.mkdtemp(prefix='damaged-copies-')
    gen = os.path.join(build, 'tools/make-sample-store/make-sample-store')
    cli = os.path.join(build, 'tools/tollan-cli/tollan-cli')
    kestrel = os.path.join(build, 'tools/kestrel/kestrel')
    failures = []
    try:
        with open(os.path.join(work, 'big.eml'), 'wb') as f:
            f.write(big_message())
        subprocess.run([gen, os.path.join(work, 'base'), '--from-eml', os.path.join(work, 'big.eml'),
                        '--messages-per-folder', str(MESSAGES - 1), '--seed', '22', '--quiet'], check=True)
        clean = open(os.path.join(work, 'base/Inbox.dbx'), 'rb').read()
        listing = run([kestrel, 'recover', os.path.join(work, 'base/Inbox.dbx'), os.path.join(work, 'clean')])
        starts = [int(line.split(b'\t')[2]) for line in listing.stdout.splitlines() if b'\tindex\t' in line]
        assert len(starts) == MESSAGES, listing.stdout
        totals = {'survive': 0, 'norec': 0, 'default': 0, 'rec': 0, 'salvaged': 0}
        for seed in range(1, copies + 1):
            rng = random.Random(seed)
            data = bytearray(clean)
            hit = rng.sample(range(len(data)), 20)
            for at in hit:
                data[at] = (data[at] + rng.randrange(1, 256)) % 256
            data = bytes(data)
            d = os.path.join(work, 'c%d' % seed)
            os.makedirs(d)
            dbx = os.path.join(d, 'Inbox.dbx')
            with open(dbx, 'wb') as f:
                f.write(data)
            survive = sum(1 for s in starts if not any(s <= h < s + 16 for h in hit))
            totals['survive'] += survive
            line = 'copy %2d: %2d starts survive' % (seed, survive)
            texts = block_texts(data)
            store = os.path.join(d, 'prefix/drive_c/OE Store')
            os.makedirs(store)
            for f in glob.glob(os.path.join(work, 'base', '*.dbx')):
                shutil.copy(f, store)
            shutil.copy(dbx, store)
            with open(os.path.join(d, 'prefix/system.reg'), 'w') as f:
                f.write('WINE REGISTRY Version 2\n')
            with open(os.path.join(d, 'prefix/user.reg'), 'w') as f:
                f.write(USER_REG)
            hand = salvaged_by_hand = None
            for mode in ('norec', 'default', 'rec'):
                out = os.path.join(d, 'out-' + mode)
                os.makedirs(out)
                report = os.path.join(d, mode + '.csv')
                source = (['--default-store', '--wine-prefix', os.path.join(d, 'prefix')] if mode == 'default'
                          else [dbx])
                r = run([cli, '--pst-per-file', '--jobs', '1', '-q', '-o', out, '--report', report] + source +
                        (['--recover'] if mode == 'rec' else []))
                saved = sum(pst_messages(p) for p in glob.glob(os.path.join(out, '*.pst')))
                rows = list(csv.reader(open(report, encoding='utf-8'))) if os.path.exists(report) else []
                partial = sum(1 for row in rows if len(row) > 5 and row[5] == 'incomplete')
                if mode == 'norec':
                    hand = saved
                    salvaged_by_hand = partial
                elif mode == 'default' and saved != hand:
                    failures.append('copy %d: the default store brought %d messages, the file by hand %d' %
                                    (seed, saved, hand))
                totals[mode] += saved
                line += ', %s: %2d in .pst (%d incomplete), exit %d' % (mode, saved, partial, r.returncode)
                if mode == 'rec':
                    totals['salvaged'] += partial
                    if saved < survive:
                        failures.append('copy %d: %d of %d surviving messages in the .pst' % (seed, saved, survive))
                # Rows that tell of a loss (not "recovered", nor "kept with its
                # original attached", which arrived whole).
                lost = [row for row in rows[1:] if row[5] not in ('recovered', 'kept with its original attached')]
                recovered = sum(1 for row in rows[1:] if row[5] == 'recovered')
                if r.returncode == 0 and (saved != MESSAGES + recovered or lost):
                    failures.append('copy %d %s: exit 0 with %d messages, %d incomplete' % (seed, mode, saved, partial))
            # Nothing made up, in what the reader gives out; the messages it
            # writes in part are those the report names.
            for tool in ('export', 'recover'):
                r = run([kestrel, tool, dbx, os.path.join(d, tool)])
                if tool == 'export':
                    m = re.search(rb'written \((\d+) in part\)', r.stdout)
                    in_part = int(m.group(1)) if m else 0
                    if in_part != salvaged_by_hand:
                        failures.append('copy %d: kestrel export wrote %d messages in part, the report names %d'
                                        % (seed, in_part, salvaged_by_hand))
                for eml in glob.glob(os.path.join(d, tool, '**', '*.eml'), recursive=True):
                    at = made_up(open(eml, 'rb').read(), data, texts)
                    if at is not None:
                        failures.append('copy %d: %s: bytes from %d are not block text' % (seed, eml, at))
            print(line)
        print('over %d copies: %d starts survive; in the .pst files without --recover %d (by hand) and %d '
              '(default store), with it %d (%d salvaged in part)' %
              (copies, totals['survive'], totals['norec'], totals['default'], totals['rec'], totals['salvaged']))
    finally:
        if '--keep' in sys.argv:
            shutil.copytree(work, sys.argv[sys.argv.index('--keep') + 1], dirs_exist_ok=True)
        shutil.rmtree(work, ignore_errors=True)
    for f in failures:
        print('FAIL ' + f)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
