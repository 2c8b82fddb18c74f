#!/bin/sh
# Creates a headless Wine prefix and starts its server and services ("start"),
# or stops them ("stop"). Every Wine process started here has its output sent
# to a log and the build lock's descriptor closed: a server that inherited
# ctest's output pipe or the lock would keep its owner waiting. The server is
# Wine's ordinary one, which ends a few seconds after its last client: a
# persistent server (-p) made runs under a file size limit and a signed
# installer's run stall or end early in clean CI rehearsals.
set -eu
action=$1
prefix=$2
export WINEPREFIX="$prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
case "$action" in
  start)
    mkdir -p "$prefix"
    if [ ! -f "$prefix/.plimo-ready" ]; then
      wineboot -i </dev/null >"$prefix.log" 2>&1 9>&- || true
      wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >>"$prefix.log" 2>&1
      # No crash dialog: a crashing test program must fail, not wait for a click.
      wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >>"$prefix.log" 2>&1
      touch "$prefix/.plimo-ready"
    fi
    # Start the prefix's services here, detached from ctest's pipes: started
    # by the first test program instead, they inherit its output pipe and
    # ctest waits for that pipe to close for ever.
    wine cmd /c exit </dev/null >>"$prefix.log" 2>&1 9>&- || true
    echo "wine prefix ready: $prefix"
    ;;
  stop)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    echo "wineserver stopped"
    ;;
  *)
    echo "usage: $0 start|stop PREFIX" >&2
    exit 2
    ;;
esac
