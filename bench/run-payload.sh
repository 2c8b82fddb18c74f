#!/bin/sh
# Payload extraction benchmark under Wine: builds payload_bench and the stub of
# one configuration and runs it with the build's Wine prefix.
# Usage: bench/run-payload.sh [x86|x64] [large MB] [small MB] [rounds]
# Takes the shared build lock, as builds and Wine runs must not overlap.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
arch=${1:-x86}
[ $# -gt 0 ] && shift
build="$root/build/$arch"
if ! reason=$("$build/wine-run.sh" --can-run); then
  echo "not measured: ${reason#skipped: }"
  exit 0
fi
exec flock /tmp/plimo-build.lock sh -c '
  set -eu
  . "$1/wine-host.sh"
  cmake --build "$1" --target payload_bench
  sh "$2/cmake/wine-prefix.sh" start "$1/wineprefix" "$6" >/dev/null
  cd "$1/bin"
  status=0
  "$1/wine-run.sh" ./payload_bench.exe "$3" "$4" "$5" || status=$?
  sh "$2/cmake/wine-prefix.sh" stop "$1/wineprefix" "$6" >/dev/null
  exit $status
' run "$build" "$root" "${1:-200}" "${2:-10}" "${3:-7}" "$arch"
