# settle: waits until every Wine process of $WINEPREFIX has ended and the
# server has written the registry out (what `wineserver -w` does), bounded.
# Wine's desktop process (explorer.exe /desktop) at times stays after the
# programs that opened it have ended, which keeps the server up for ever;
# after 30 s the desktop processes of this prefix are ended, by their ids,
# and the wait goes on for at most a minute more. Sourced by the tests.
settle() {
  timeout 30 wineserver -w && return 0
  local pid
  for pid in $(pgrep -f 'explorer.exe /desktop' || true); do
    if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
      echo "settle: ending Wine's desktop process $pid, left behind" >&2
      kill "$pid" 2>/dev/null || true
    fi
  done
  timeout 60 wineserver -w && return 0
  echo "settle: Wine processes still running after 90 s:" >&2
  ps -eo pid,etime,args | grep -iE '[.]exe|wineserver' | sed 's/^/  /' >&2 || true
  return 1
}
