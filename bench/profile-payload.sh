#!/bin/sh
# Where the time of one payload extraction goes: runs a 200 MB installer (by
# default) once under Wine, after a warming run, with either a system-wide CPU
# profile (perf, the default) or a timed trace of every system call of the
# installer's threads (strace), and prints a summary by process, thread and
# library; the raw data stays in the output directory.
# Usage: bench/profile-payload.sh [x86|x64] [MB] [perf|strace] [output directory]
# Takes the shared build lock, as builds and Wine runs must not overlap.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
arch=${1:-x86}
mb=${2:-200}
tool=${3:-perf}
out=${4:-/tmp/plimo-profile-$arch}
build="$root/build/$arch"
if ! reason=$("$build/wine-run.sh" --can-run); then
  echo "not measured: ${reason#skipped: }"
  exit 0
fi
mkdir -p "$out"
flock /tmp/plimo-build.lock sh -c '
  set -eu
  build=$1 root=$2 arch=$3 mb=$4 tool=$5 out=$6
  . "$build/wine-host.sh"
  cmake --build "$build" --target payload_bench >/dev/null
  sh "$root/cmake/wine-prefix.sh" start "$build/wineprefix" "$arch" >/dev/null
  cd "$build/bin"
  status=0
  if [ "$tool" = strace ]; then
    strace -f -tt -T -o "$out/strace.txt" "$build/wine-run.sh" ./payload_bench.exe profile "$mb" || status=$?
  else
    perf record -a -g -F 2999 -o "$out/perf.data" "$build/wine-run.sh" ./payload_bench.exe profile "$mb" \
      2>"$out/perf.log" || status=$?
  fi
  sh "$root/cmake/wine-prefix.sh" stop "$build/wineprefix" "$arch" >/dev/null
  exit $status
' run "$build" "$root" "$arch" "$mb" "$tool" "$out"

if [ "$tool" = strace ]; then
  # The installer's process is the one that opened profiled.exe last.
  echo "system calls of the profiled run's threads (count, seconds inside):"
  awk '{ split($3, a, "("); name = a[1]; t = $NF; gsub(/[<>]/, "", t);
         calls[$1 " " name]++; secs[$1 " " name] += t }
       END { for (k in calls) printf "%-40s %7d %9.4f\n", k, calls[k], secs[k] }' \
    "$out/strace.txt" | sort -k4 -n -r | head -40
else
  echo "CPU samples by process (the installer is profiled.exe):"
  perf report -i "$out/perf.data" --no-children --sort comm -g none --stdio 2>/dev/null \
    | grep -v '^#' | grep -v '^$' | head -12
  echo
  echo "the installer and the Wine server, by thread (\"pid\" is the thread) and library:"
  perf report -i "$out/perf.data" --no-children --comms profiled.exe,wineserver,wineserver64 \
    --sort pid,dso -g none --stdio 2>/dev/null | grep -v '^#' | grep -v '^$' | head -30
fi
