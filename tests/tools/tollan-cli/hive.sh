# make_hive NTUSER.DAT DEFAULT_ID [ID NAME STORE_ROOT]...: a user hive with
# Outlook Express identities, built with hivexsh from the shared minimal
# hive. Texts may be non-ASCII; a store root holding "%" is stored as an
# expandable string. Sourced after common.sh.
make_hive() {
  local hive=$1 default=$2; shift 2
  u16() {  # u16 TYPE TEXT: a hivexsh value of a string type
    printf 'hex:%s:%s' "$1" "$(/usr/bin/python3 -c 'import sys; print(",".join("%02x" % b for b in (sys.argv[1] + "\0").encode("utf-16le")))' "$2")"
  }
  cp "$shared/fixtures/registry/minimal-hive" "$hive"
  {
    printf 'add Identities\ncd Identities\nsetval 1\nDefault User ID\n%s\n' "$(u16 1 "$default")"
    while [ $# -ge 3 ]; do
      local type=1
      case "$3" in *%*) type=2 ;; esac
      printf 'cd \\Identities\nadd %s\ncd %s\nsetval 1\nUserName\n%s\n' "$1" "$1" "$(u16 1 "$2")"
      printf 'add Software\ncd Software\nadd Microsoft\ncd Microsoft\nadd Outlook Express\ncd Outlook Express\n'
      printf 'add 5.0\ncd 5.0\nsetval 1\nStore Root\n%s\n' "$(u16 $type "$3")"
      shift 3
    done
    printf 'commit\n'
  } | hivexsh -w "$hive"
}
