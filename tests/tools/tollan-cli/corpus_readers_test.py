#!/usr/bin/python3
"""The mail-import corpus through the converter, read back by every outside
reader, message by message.

usage: /usr/bin/python3 corpus_readers_test.py BUILD_DIR

Builds a store of every .eml file of tests/platform/mail/corpus, converts it
with tollan-cli --single-pst --verify, writes what each message must show
(corpus_expectation: the same messages through the same import) and holds
the .pst to it in pypff, pffexport, readpst, lspst and pst-extractor
(tests/oracles/pst_readers.py). Prints per reader how many messages match,
and how many more differ only in a way of that reader listed in KNOWN with
its cause. Fails on any other difference, and when the converter's outcome
is not exactly: every message with a body converted, each one without
named as failed in the report.
"""
import csv
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.normpath(os.path.join(HERE, '..', '..', '..'))
sys.path.insert(0, os.path.join(SOURCE, 'tests', 'oracles'))
import pst_readers  # noqa: E402


def leading_bytes_dropped(d):
    """pffexport's subject line lacks the first two bytes of the UTF-8 text
    when the subject begins with a character beyond ASCII."""
    want, got = d.want or '', d.got or ''
    return want[:1] > '\x7f' and pst_readers.bmp_only(got) == pst_readers.bmp_only(
        want.encode('utf-8')[2:].decode('utf-8', 'replace'))


def subjects(*names):
    return lambda d: d.subject in names


# (reader, fields, test of the difference, cause). Each cause was checked
# against what the other readers show of the same bytes.
KNOWN = [
    ('pffexport', ('subject',), leading_bytes_dropped,
     'pffexport drops the first two bytes of a subject that begins with a non-ASCII character '
     '(pypff, readpst and pst-extractor show the stored subject whole)'),
    ('pst-extractor', ('html',),
     subjects('東京都 カタカナ', 'שלום עולם', 'Labdien ą č ę ė į š ų ū ž', '日本語のテキストです', '안녕하세요 세계'),
     'pst-extractor decodes HTML bodies of code pages 932, 28598, 28603, 50220 and 50225 wrongly '
     '(pypff reads the same bytes in the same code page correctly)'),
    ('readpst', ('html',),
     subjects('简体中文测试', '简体中文 喆', '中文 𠀀 ®', '안녕하세요 세계', 'Ĉu vi parolas Esperanton? ĝis ŭ',
              'Latviešu ķēniņš Ģ', '東京都 カタカナ'),
     'readpst labels HTML parts with charsets no mail reader knows or wrong ones: "gb2313" for 936, '
     '"windows-NNNNN" for 28593, 28594, 50225 and 54936, "iso-2022-jp" for 932'),
    ('readpst', ('subject', 'body', 'read', 'attachments'), subjects('after it'),
     'readpst writes the header the message arrived with, which holds a line that is no field: '
     'to a mail reader the header ends there'),
    ('readpst', ('attachments',), subjects('A part without a body'),
     'readpst leaves out an attachment of zero bytes (the other readers list it, empty)'),
]


def known_cause(d):
    for reader, fields, test, cause in KNOWN:
        if d.reader == reader and d.field in fields and test(d):
            return cause
    return None


def run(cmd):
    p = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    return p.returncode, p.stdout.decode('utf-8', 'replace')


def main(build):
    work = tempfile.mkdtemp(prefix='corpus_readers.')
    try:
        return check(build, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def check(build, work):
    corpus = os.path.join(SOURCE, 'tests', 'platform', 'mail', 'corpus')
    dirs = sorted(d for d, _, _ in os.walk(corpus))
    failures = []

    rc, out = run([os.path.join(build, 'tools', 'make-sample-store', 'make-sample-store'),
                   os.path.join(work, 'store'), '--quiet', '--from-eml'] + dirs)
    if rc != 0:
        sys.exit('make-sample-store failed: ' + out)
    os.mkdir(os.path.join(work, 'out'))
    rc, cli_out = run([os.path.join(build, 'tools', 'tollan-cli', 'tollan-cli'), '--single-pst', '--verify',
                       '-o', os.path.join(work, 'out'), os.path.join(work, 'store')])
    expectation = os.path.join(work, 'expected.json')
    rc_e, no_body = run([os.path.join(build, 'tests', 'platform', 'mail', 'corpus_expectation'), expectation,
                         'Inbox', os.path.join(work, 'store', 'Inbox.dbx')])
    if rc_e != 0:
        sys.exit('corpus_expectation failed: ' + no_body)

    # The converter's outcome: messages without a body failed and named.
    without_body = sorted(int(n) + 1 for n in re.findall(r'no body: message (\d+)', no_body))
    psts = glob.glob(os.path.join(work, 'out', '*.pst'))
    report = os.path.join(work, 'out', 'conversion-report.csv')
    failed = []
    if os.path.exists(report):
        with open(report, encoding='utf-8', newline='') as fh:
            failed = sorted(int(r['message number']) for r in csv.DictReader(fh) if r['what happened'] == 'failed')
    if len(psts) != 1 or not re.search(r'^pst-check .*: ok', cli_out, re.M):
        failures.append('converter: want one verified .pst:\n' + cli_out)
    if failed != without_body or rc != (1 if without_body else 0):
        failures.append('converter: exit %d, failed %s, want failed %s:\n%s' % (rc, failed, without_body, cli_out))
    if failures:
        sys.exit('\n'.join(failures))

    with open(expectation, encoding='utf-8') as fh:
        expected = pst_readers.json.load(fh)
    for reader in pst_readers.ALL_READERS:
        try:
            view = pst_readers.READERS[reader](psts[0], work)
        except (pst_readers.ReaderFailed, OSError, ValueError) as e:
            failures.append('%s: cannot read the file: %s' % (reader, e))
            continue
        matched, total, problems = pst_readers.compare(reader, view, expected)
        by_message = {}
        for d in problems:
            by_message.setdefault((d.folder, d.index), []).append(d)
        known = {}
        for key, diffs in by_message.items():
            causes = [known_cause(d) for d in diffs]
            if key[1] is not None and all(causes):
                for cause in set(causes):
                    known[cause] = known.get(cause, 0) + 1
            else:
                failures += [str(d) for d, cause in zip(diffs, causes) if not cause]
        print('%s: %d of %d messages match' % (reader, matched, total) +
              ''.join('; %d differ only as known: %s' % (n, cause) for cause, n in sorted(known.items())))
    for line in failures:
        print(line)
    return 1 if failures else 0


if __name__ == '__main__':
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    sys.exit(main(os.path.abspath(sys.argv[1])))
