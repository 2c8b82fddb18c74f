#!/bin/sh
# Creates a headless Wine prefix and starts its server and services ("start"),
# or stops them ("stop"), for programs of ARCH (x86 or x64; x86 if not given).
# PLIMO_HOST_RUNS_32BIT says whether this machine runs 32-bit programs (see
# wine-env.sh); where ARCH cannot run, "start" reports a skip (exit code 77).
# Every Wine process started here has its output sent to a log and the build
# lock's descriptor closed: a server that inherited ctest's output pipe or the
# lock would keep its owner waiting. The server is Wine's ordinary one, which
# ends a few seconds after its last client: a persistent server (-p) made runs
# under a file size limit and a signed installer's run stall or end early in
# clean CI rehearsals.
set -eu
action=$1
prefix=$2
arch=${3:-x86}
. "$(dirname "$0")/wine-env.sh"
plimo_wine_env "$arch" "$prefix"
case "$action" in
  start)
    if [ -n "$PLIMO_WINE_SKIP" ]; then
      echo "skipped: $PLIMO_WINE_SKIP"
      exit 77
    fi
    mkdir -p "$prefix"
    if [ ! -f "$prefix/.plimo-ready" ]; then
      $WINE wineboot.exe -i </dev/null >"$prefix.log" 2>&1 9>&- || true
      $WINE reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >>"$prefix.log" 2>&1 9>&-
      # No crash dialog: a crashing test program must fail, not wait for a click.
      $WINE reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >>"$prefix.log" 2>&1 9>&-
      touch "$prefix/.plimo-ready"
    fi
    # Start the prefix's services here, detached from ctest's pipes: started
    # by the first test program instead, they inherit its output pipe and
    # ctest waits for that pipe to close for ever.
    $WINE cmd /c exit </dev/null >>"$prefix.log" 2>&1 9>&- || true
    echo "wine prefix ready: $prefix ($WINE)"
    ;;
  stop)
    $WINESERVER -k </dev/null >/dev/null 2>&1 || true
    echo "wineserver stopped"
    ;;
  *)
    echo "usage: $0 start|stop PREFIX [x86|x64]" >&2
    exit 2
    ;;
esac
