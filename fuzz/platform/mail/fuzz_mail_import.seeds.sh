#!/usr/bin/env bash
# Seeds fuzz_mail_import with the mail import test corpus:
# fuzz_mail_import.seeds.sh CORPUS_DIR BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")/../../.." && pwd)
mkdir -p "$1"
find "$here/tests/platform/mail/corpus" -name '*.eml' -print0 |
  while IFS= read -r -d '' f; do
    rel=${f#"$here/tests/platform/mail/corpus/"}
    cp "$f" "$1/seed_${rel//\//_}"
  done
# Address lists, which the target also reads as such.
printf 'Ann Lee <ann@example.com>, bob@example.org\r\n' >"$1/seed_address_list"
printf '"Ann Lee" <a.b@c.example.net>,<bob@example.org> , Carl 2 <c-d_e+f@x.example>' >"$1/seed_address_list_quoted"
