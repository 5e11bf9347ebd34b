#!/usr/bin/env bash
# kestrel export --mbox of the real store and of a generated one whose
# messages hold "From " lines, quoted "From " lines and a last line without
# its line end: Python's mailbox module, with the mboxrd quoting undone,
# gives back every message byte for byte as `kestrel export` wrote it.
#
# usage: mbox_test.sh BUILD_DIR SHARED_DIR
set -euo pipefail
build=$1
shared=$2
gen=$build/tools/make-sample-store/make-sample-store
kestrel=$build/tools/kestrel/kestrel
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir "$work/emls"
printf 'From: Ann <ann@example.org>\r\nSubject: quoting\r\nDate: Wed, 1 Jan 2003 10:00:00 +0000\r\n\r\nFrom here on\r\n>From there\r\n>>From everywhere\r\n From a space\r\nFrom\r\n' >"$work/emls/1.eml"
printf 'From: Bob <bob@example.org>\r\nSubject: no line end\r\n\r\nlast line From x' >"$work/emls/2.eml"
printf 'Subject: bare LF\n\nFrom me\n\n\nFrom you\n' >"$work/emls/3.eml"
"$gen" "$work/gen" --folders "Inbox,Sent Items" --messages-per-folder 25 --from-eml "$work/emls" --quiet

status=0
for store in "$shared/fixtures/real-store" "$work/gen"; do
  name=$(basename "$store")
  "$kestrel" export "$store" "$work/eml-$name" >/dev/null 2>&1
  "$kestrel" export --mbox "$store" "$work/mbox-$name" >/dev/null 2>&1
  /usr/bin/python3 - "$work/eml-$name" "$work/mbox-$name" <<'PY' || status=1
import mailbox, os, re, sys
eml_root, mbox_root = sys.argv[1:]
folders = sorted(d for d in os.listdir(eml_root) if os.path.isdir(os.path.join(eml_root, d)))
assert sorted(f[:-5] for f in os.listdir(mbox_root)) == folders, (os.listdir(mbox_root), folders)
total = 0
for folder in folders:
    emls = sorted(os.listdir(os.path.join(eml_root, folder)), key=lambda f: int(f[:-4]))
    box = mailbox.mbox(os.path.join(mbox_root, folder + ".mbox"), create=False)
    keys = list(box.keys())
    assert len(keys) == len(emls), (folder, len(keys), len(emls))
    for key, eml in zip(keys, emls):
        want = open(os.path.join(eml_root, folder, eml), "rb").read()
        from_line = box.get_message(key).get_from()
        got = box.get_bytes(key)
        # mboxrd: one ">" less on every line that reads ">"* then "From ".
        got = re.sub(rb"(?m)^>(>*From )", rb"\1", got)
        # An mbox message always ends with a line end.
        if not want.endswith(b"\n"):
            assert got == want + b"\n", (folder, eml)
        else:
            assert got == want, (folder, eml, got[:200], want[:200])
        assert re.fullmatch(r"\S+ \w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4}", from_line), from_line
        total += 1
assert total > 0
print(f"{total} messages byte-equal in {len(folders)} folders")
PY
done
# The quoted lines are in the file as mboxrd writes them, and an existing
# mbox file is never replaced.
grep -q '^>From here on' "$work/mbox-gen/Inbox.mbox" || { echo "FAIL: From line not quoted"; status=1; }
grep -q '^>>>From everywhere' "$work/mbox-gen/Inbox.mbox" || { echo "FAIL: >>From line not quoted"; status=1; }
grep -q '^From ann@example.org ' "$work/mbox-gen/Inbox.mbox" || { echo "FAIL: envelope sender"; status=1; }
before=$(sha256sum "$work/mbox-gen/Inbox.mbox")
if "$kestrel" export --mbox "$work/gen/Inbox.dbx" "$work/mbox-gen" >/dev/null 2>&1; then
  echo "FAIL: an existing mbox was written over"; status=1
fi
[ "$before" = "$(sha256sum "$work/mbox-gen/Inbox.mbox")" ] || { echo "FAIL: existing mbox changed"; status=1; }
ls "$work/mbox-gen" | grep -q partial && { echo "FAIL: temporary file left"; status=1; }
exit $status
