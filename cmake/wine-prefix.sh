#!/bin/sh
# Creates a headless Wine prefix and starts a persistent wineserver for it
# ("start"), or stops that server ("stop"). Every Wine process started here has
# its descriptors closed or sent to a log: a server that inherited ctest's
# output pipe would keep ctest waiting for ever.
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
    # Wine's server outlives this script: it must hold none of our
    # descriptors (a pipe or a lock file kept open would keep its owner
    # waiting). The shell can name descriptors 0 to 9; 0 to 2 go to the null
    # device.
    (
      for fd in 3 4 5 6 7 8 9; do eval "exec $fd>&-"; done
      exec wineserver -p </dev/null >/dev/null 2>&1
    ) &
    if [ ! -f "$prefix/.plimo-ready" ]; then
      wineboot -i </dev/null >"$prefix.log" 2>&1 || true
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
