#!/usr/bin/python3
"""Compares what a Windows client of kestrel.dll saw walking a store (the
JSON lines of walk.vbs, walk.js or walk_client.exe) with the Linux build's
`kestrel folders`, `kestrel messages` and `kestrel export` of the same store:
every folder, every message with each of its fields, and its body text.

usage: compare_walk.py KESTREL STORE_DIR IDENTITY_STORE OUTPUT [--ansi-escapes]
IDENTITY_STORE is the expanded store folder the registered identity names.
--ansi-escapes: characters beyond ASCII were written as their ANSI code
(walk.vbs under Wine, which lacks AscW). --early-bound: the output of
walk_client.exe, which also reports the type information and DllCanUnloadNow."""
import json
import os
import subprocess
import sys
import tempfile

# Windows-1252 with its five undefined bytes passed through, as the reader
# turns store text into automation strings.
def from_ansi(data):
    return ''.join(chr(b) if b in (0x81, 0x8D, 0x8F, 0x90, 0x9D) or b < 0x80
                   else bytes([b]).decode('cp1252') for b in data)

def unescape_ansi(text):
    return from_ansi(bytes(ord(c) if ord(c) < 256 else 0x3F for c in text))

def run(*args):
    return subprocess.run(args, check=True, capture_output=True, text=True).stdout

def main():
    kestrel, store, identity_store, output = sys.argv[1:5]
    ansi = '--ansi-escapes' in sys.argv[5:]
    lines = [json.loads(l) for l in open(output, encoding='ascii') if l.strip()]
    faults = []
    def check(what, seen, expected):
        if seen != expected:
            faults.append(f'{what}: saw {seen!r}, expected {expected!r}')

    if not lines or lines[-1] != {'End': True}:
        faults.append('the walk did not reach its end (a script error stops it silently)')
    head = lines[0] if lines else {}
    check('DefaultUser', head.get('DefaultUser'), 'Main Identity')
    check('DefaultStore', head.get('DefaultStore'), identity_store)
    check('Identities', head.get('Identities'), 1)

    # The C++ client also reports the type information and DllCanUnloadNow.
    if '--early-bound' in sys.argv[5:]:
        for key in ('TypeInfo', 'CanUnloadWhileHeld'):
            if not any(key in l for l in lines):
                faults.append(f'no {key} line')
    for l in lines:
        if 'TypeInfo' in l:
            check('GetTypeInfo', l, {'TypeInfo': '_OE', 'Dual': True, 'Hidden': True,
                                     'Nonextensible': True, 'OpenStoreId': 0x60030007,
                                     'OpenStoreDefaults': [0, 0]})
        if 'CanUnloadWhileHeld' in l:
            check('DllCanUnloadNow', l, {'CanUnloadWhileHeld': False,
                                         'CanUnloadAfterRelease': True})

    folders = [json.loads(l) for l in run(kestrel, 'folders', store).splitlines()]
    seen_folders = [l for l in lines if 'FolderName' in l]
    store_line = next((l for l in lines if 'OpenStore' in l), {})
    check('OpenStore', store_line.get('OpenStore'), 0)
    check('folder count', store_line.get('Folders'), len(folders))
    check('folders', [(f['FolderIndex'], f['FolderName'], f['FolderFile']) for f in seen_folders],
          [(f['FolderIndex'], f['FolderName'], f['FolderFile']) for f in folders])

    # Messages follow their folder's line.
    by_folder, current = {}, None
    for l in lines:
        if 'FolderName' in l:
            current = l['FolderFile']
            by_folder[current] = (l, [])
        elif 'Subject' in l and current is not None:
            by_folder[current][1].append(l)

    compared = 0
    with tempfile.TemporaryDirectory() as out:
        for f in folders:
            name = f['FolderFile']
            if name not in by_folder:
                continue
            folder_line, messages = by_folder[name]
            if not name:
                check(f'{f["FolderName"]}: OpenFolder', folder_line['OpenFolder'], 1004)
                continue
            listing = run(kestrel, 'messages', os.path.join(store, name)).splitlines()
            expected = [json.loads(l) for l in listing[1:]]
            check(f'{name}: OpenFolder', folder_line['OpenFolder'], int(listing[0]))
            check(f'{name}: message count', len(messages), len(expected))
            export_dir = os.path.join(out, name)
            run(kestrel, 'export', os.path.join(store, name), export_dir)
            for i, (seen, want) in enumerate(zip(messages, expected), 1):
                for key, value in want.items():
                    got = seen.get(key)
                    if ansi and isinstance(got, str):
                        got = unescape_ansi(got)
                    check(f'{name} message {i} {key}', got, value)
                eml = os.path.join(export_dir, f'{i}.eml')
                if os.path.exists(eml):
                    body = seen.get('Body')
                    if ansi and body is not None:
                        body = unescape_ansi(body)
                    with open(eml, 'rb') as e:
                        check(f'{name} message {i} body', body, from_ansi(e.read()))
                compared += 1

    for fault in faults[:40]:
        print(f'{output}: {fault}')
    if faults:
        print(f'{output}: {len(faults)} differences')
        return 1
    print(f'{output}: {len(seen_folders)} folders and {compared} messages as the Linux build reads them')
    return 0

if __name__ == '__main__':
    sys.exit(main())
