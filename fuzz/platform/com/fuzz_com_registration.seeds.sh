#!/usr/bin/env bash
# Seeds for fuzz_com_registration: a registration file as the server writes it.
corpus=$1
mkdir -p "$corpus"
cat > "$corpus/registered.ini" <<'INI'
# Per-user registrations of in-process COM servers.

[Class {91644F96-87A2-40F2-93FA-F18579B86EB4}]
Name=OE
ProgID=Kestrel.OE
InprocServer=/usr/lib/libkestrel.so
ThreadingModel=Apartment
TypeLib={808A5547-B7B3-46D2-99E0-22A293E3F95A}

[TypeLib {808A5547-B7B3-46D2-99E0-22A293E3F95A}]
Name=Kestrel
Version=2.0
HelpString=Outlook Express - access folders and messages
Path=/usr/lib/libkestrel.so
INI
printf '{0AAA3024-F698-4617-B048-BF00274E7CE4}' > "$corpus/guid.txt"
