#!/usr/bin/env bash
# Peak memory converting one message with one large attachment, against the
# attachment's size, in one run: for each size a store holding that one
# message is converted by tollan-cli with the import in its own process
# (--jobs 1) and in one import process (--jobs 2, where the converter and
# the worker each have a peak), and the attachment is read back from the
# .pst to check that its bytes came through. Prints each peak in MB and as a
# multiple of the attachment size; the goal is about 2.
#
# usage: attachment_memory_bench.sh BUILD_DIR [SIZE_MB...]
#        (default sizes: 25 50 100 200; work files in /dev/shm when it has
#        room, else in the temporary folder)
set -euo pipefail
build=$1
shift
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(25 50 100 200)
base=/dev/shm
[ "$(df --output=avail -k /dev/shm 2>/dev/null | tail -1)" -gt $((4 * 1024 * 1024)) ] 2>/dev/null || base=${TMPDIR:-/tmp}
work=$(mktemp -d "$base/attachment-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
bin=$build/tools

printf '%8s  %-24s %9s %9s\n' "MB" "run" "peak MB" "x size"
for mb in "${sizes[@]}"; do
  rm -rf "$work/store" "$work/out" "$work/eml"
  mkdir -p "$work/eml" "$work/out"
  head -c $((mb * 1000000)) /dev/urandom >"$work/data.bin"
  {
    printf 'From: <a@example.com>\r\nTo: <b@example.com>\r\nSubject: %d MB\r\n' "$mb"
    printf 'Date: Mon, 1 Jan 2024 10:00:00 +0000\r\nMIME-Version: 1.0\r\n'
    printf 'Content-Type: multipart/mixed; boundary="b"\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\nhere\r\n'
    printf -- '--b\r\nContent-Type: application/octet-stream; name="data.bin"\r\n'
    printf 'Content-Transfer-Encoding: base64\r\n\r\n'
    base64 -w 76 "$work/data.bin" | sed 's/$/\r/'
    printf -- '--b--\r\n'
  } >"$work/eml/big.eml"
  "$bin/make-sample-store/make-sample-store" "$work/store" --from-eml "$work/eml/big.eml" --quiet
  rm "$work/eml/big.eml"
  want=$(sha256sum <"$work/data.bin" | cut -d' ' -f1)
  for jobs in 1 2; do
    rm -rf "$work/out" && mkdir "$work/out"
    "$bin/tollan-cli/tollan-cli" --single-pst --jobs "$jobs" --stats -q \
      -o "$work/out" "$work/store/Inbox.dbx" >"$work/log" 2>&1 || { cat "$work/log"; exit 1; }
    # --stats: the converter's own peak, and that of its import process.
    peak=$(sed -n 's/.*writer cpu.* peak \([0-9]*\) MB;.*/\1/p' "$work/log")
    printf '%8d  %-24s %9d %9.2f\n' "$mb" "converter, --jobs $jobs" "$peak" "$(echo "$peak / $mb" | bc -l)"
    if [ "$jobs" = 2 ]; then
      worker=$(sed -n 's/.*peak of one \([0-9]*\) MB.*/\1/p' "$work/log")
      printf '%8d  %-24s %9d %9.2f\n' "$mb" "import process" "$worker" "$(echo "$worker / $mb" | bc -l)"
    fi
    got=$(/usr/bin/python3 - "$work"/out/*.pst <<'PY'
import hashlib, pypff, sys
f = pypff.file(); f.open(sys.argv[1]); stack = [f.get_root_folder()]
while stack:
    d = stack.pop()
    for i in range(d.number_of_sub_messages):
        m = d.get_sub_message(i)
        for k in range(m.number_of_attachments):
            a = m.get_attachment(k)
            if a.size > 1000:
                print(hashlib.sha256(a.read_buffer(a.size)).hexdigest())
    stack += [d.get_sub_folder(i) for i in range(d.number_of_sub_folders)]
PY
)
    [ "$got" = "$want" ] || { echo "the attachment of $mb MB did not come back exact (--jobs $jobs)"; exit 1; }
  done
done
