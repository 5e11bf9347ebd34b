#!/usr/bin/python3
"""Holds the .pst files the Windows build wrote to those the Linux build
wrote from the same input, message by message, through outside readers.

usage: /usr/bin/python3 compare_psts.py LINUX_DIR WINDOWS_DIR

Every .pst of LINUX_DIR must have a namesake in WINDOWS_DIR and the other way
round (the time stamp the converter puts before ".pst" left out). Each pair is read with pypff (subject, sender, bodies, attachment
bytes) and pffexport (recipients, plain body, embedded messages); what the
reader shows of the Linux file is the expectation the Windows file is held
to, folder by folder (tests/oracles/pst_readers.py prints each difference).
Exit status 0 when everything matches.
"""
import os
import re
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'oracles'))
import pst_readers  # noqa: E402

READERS = ('pypff', 'pffexport')


# The run's time stamp, as in "Inbox9.12.26 4.57.31.pst" or "... (part 2).pst".
STAMP = re.compile(r'\d{1,2}\.\d{1,2}\.\d{2} \d{1,2}\.\d{1,2}\.\d{1,2}(?= \((?:part )?\d+\)\.pst$|\.pst$)')


def psts(folder):
    """The .pst files of `folder` by their names without the time stamp."""
    return {STAMP.sub('', n): n for n in os.listdir(folder) if n.endswith('.pst')}


def main(linux, windows):
    linux_files, windows_files = psts(linux), psts(windows)
    if sorted(linux_files) != sorted(windows_files):
        print('compare_psts: the .pst files differ: Linux %s, Windows %s' %
              (sorted(linux_files), sorted(windows_files)))
        return 1
    status = 0
    compared = 0
    work = tempfile.mkdtemp(prefix='compare_psts.')
    try:
        for name in sorted(linux_files):
            for reader in READERS:
                read = pst_readers.READERS[reader]
                want = read(os.path.join(linux, linux_files[name]), tempfile.mkdtemp(dir=work))
                got = read(os.path.join(windows, windows_files[name]), tempfile.mkdtemp(dir=work))
                expected = {'folders': [{'path': p, 'messages': m} for p, m in sorted(want.items())]}
                extra = sorted(set(got) - set(want))
                matched, total, problems = pst_readers.compare(reader, got, expected)
                for p in problems:
                    print('%s: %s' % (name, p))
                if extra:
                    print('%s: %s: folders only in the Windows file: %s' % (name, reader, extra))
                print('%s: %s: %d of %d messages match' % (name, reader, matched, total))
                compared += total
                if problems or extra:
                    status = 1
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return status if compared > 0 else 1


if __name__ == '__main__':
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2]))
