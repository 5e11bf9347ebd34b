#!/usr/bin/env bash
# Seeds for fuzz_wine_reg: small Wine registry files covering every value
# form, escapes, continuation lines, link keys and the Outlook Express keys.
# Usage: fuzz_wine_reg.seeds.sh CORPUS_DIR [BUILD_DIR]
set -euo pipefail
corpus=$1
mkdir -p "$corpus"

cat >"$corpus/seed-identities.reg" <<'REG'
WINE REGISTRY Version 2
;; All keys relative to \\User\\S-1-5-21-0-0-0-1000

#arch=win32

[Identities] 1700000000
#time=1da00000000000
"Default User ID"="{6D1C2A44-0E2B-4C7E-9A57-2F6B8B1C0A11}"
"Last User ID"="{6D1C2A44-0E2B-4C7E-9A57-2F6B8B1C0A11}"

[Identities\\{6D1C2A44-0E2B-4C7E-9A57-2F6B8B1C0A11}] 1700000000
"UserName"="Main Identity"

[Identities\\{6D1C2A44-0E2B-4C7E-9A57-2F6B8B1C0A11}\\Software\\Microsoft\\Outlook Express\\5.0] 1700000000
"Store Root"=str(2):"%UserProfile%\\Local Settings\\Application Data\\Identities\\{6D1C2A44-0E2B-4C7E-9A57-2F6B8B1C0A11}\\Microsoft\\Outlook Express"
"Running"=dword:00000000
"Background Compaction"=dword:00000001
"Migration Done"=dword:00000001

[Volatile Environment] 1700000000
"USERNAME"="bob"
"USERPROFILE"="C:\\users\\bob"
REG

cat >"$corpus/seed-values.reg" <<'REG'
WINE REGISTRY Version 2
[Software\\Vendor\\App] 0
#time=1d9c1a2b3c4d5e6
#class="Shell"
@="default"
"Str"="C:\\dir\\\"q\""
"Esc"="\x20ac\t\n\101\e\a\b\f\r\v\0"
"Dw"=dword:ffffffff
"Multi"=str(7):"a\0b\0"
"Bin"=hex:01,02,\
  03,04
"Quad"=hex(b):01,00,00,00,00,00,00,00
"Empty"=hex(0):
"Gone"=-
[Key\\Caf\x00e9 \]x] 0
"raw"="ü"
REG

cat >"$corpus/seed-links.reg" <<'REG'
WINE REGISTRY Version 2
;; All keys relative to \\Machine
[System\\ControlSet001\\Control\\Session Manager\\Environment] 0
"TEMP"=str(2):"%SystemRoot%\\temp"
"windir"=str(2):"%SystemRoot%"
[System\\CurrentControlSet] 0
#link
"SymbolicLinkValue"=hex(6):5c,00,52,00,45,00,47,00,49,00,53,00,54,00,52,00,59,00,5c,00,\
  4d,00,61,00,63,00,68,00,69,00,6e,00,65,00,5c,00,53,00,79,00,73,00,74,00,65,00,\
  6d,00,5c,00,43,00,6f,00,6e,00,74,00,72,00,6f,00,6c,00,53,00,65,00,74,00,30,00,\
  30,00,31,00
[Software\\Microsoft\\Windows NT\\CurrentVersion] 0
"SystemRoot"="C:\\windows"
[Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList] 0
"ProfilesDirectory"=str(2):"%SystemDrive%\\users"
[Software\\Microsoft\\Outlook Express] 0
"MediaVer"="6,0,2900,5512"
REG

printf 'WINE REGISTRY Version 2\n' >"$corpus/seed-empty.reg"
