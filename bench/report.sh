#!/bin/sh
# The performance report: runs every benchmark of bench/ (each measures its
# baseline in the same run) and prints one table of ratios. Takes some
# minutes. Run after scripts/build.sh, from anywhere:
#   sh bench/report.sh
# Builds and Wine runs take the shared build lock, as they must not overlap.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PLIMO_BUILD_DIR:-$root/build}
out=$(mktemp -d /tmp/plimo-report-XXXXXX)
trap 'rm -rf "$out"' EXIT

kb() { [ -f "$1" ] && echo $(( ($(stat -c %s "$1") + 1023) / 1024 )) || echo "-"; }
field() { # file, sed expression that prints the wanted number
  sed -n "$2" "$1" 2>/dev/null | head -n 1 | tr -d '\r'
}

echo "running the start-up benchmark (x86, under Wine)..."
flock /tmp/plimo-build.lock sh -c '
  sh "$1/cmake/wine-prefix.sh" start "$2/x86/wineprefix" >/dev/null
  cd "$2/x86/bin" && "$2/x86/wine-run.sh" ./startup_bench.exe 15
  sh "$1/cmake/wine-prefix.sh" stop "$2/x86/wineprefix" >/dev/null' run "$root" "$build" >"$out/startup" 2>&1
echo "running the warm/cold runtime search benchmark (x86, under Wine)..."
flock /tmp/plimo-build.lock sh -c '
  sh "$1/cmake/wine-prefix.sh" start "$2/x86/wineprefix" >/dev/null
  cd "$2/x86/bin" && "$2/x86/wine-run.sh" ./search_bench.exe
  sh "$1/cmake/wine-prefix.sh" stop "$2/x86/wineprefix" >/dev/null' run "$root" "$build" >"$out/search" 2>&1
echo "running the payload extraction benchmark (x86, under Wine, 200 MB and 10 MB)..."
sh "$root/bench/run-payload.sh" x86 200 10 3 >"$out/payload" 2>&1
echo "running the runtime archive benchmark (150 MB unpacked)..."
flock /tmp/plimo-build.lock sh "$root/bench/TarUnpack.sh" 150 >"$out/tar" 2>&1
echo "running the launch benchmark (real JDK 17, native)..."
"$build/native/bin/LaunchBench" 15 >"$out/launch" 2>&1

startup=$(field "$out/startup" 's/.*ratio \([0-9.]*\).*/\1/p')
search=$(field "$out/search" 's/^warm\/cold ratio: \([0-9.]*\).*/\1/p')
payload=$(field "$out/payload" 's/^extraction speed \/ CopyFileA speed: \([0-9.]*\).*/\1/p')
payloadLoop=$(field "$out/payload" 's/^extraction speed \/ ReadFile-WriteFile loop in 8 KB chunks: \([0-9.]*\).*/\1/p')
memory=$(field "$out/payload" 's/^peak working set.*ratio \([0-9.]*\).*/\1/p')
tarNative=$(field "$out/tar" 's/^native reader: .*ratio \([0-9.]*\).*/\1/p')
tarWine=$(field "$out/tar" 's/^under Wine.*ratio \([0-9.]*\).*/\1/p')
launch=$(field "$out/launch" 's/.*minimal JNI host = \([0-9.]*\).*/\1/p')

cat <<TABLE

| Measure | Ours / baseline | Baseline, same run | Aim |
|---|---|---|---|
| stub size x86, stripped | $(kb "$build/x86/bin/plimo-x86.exe") KB | - | at most 128 KB |
| stub size x64, stripped | $(kb "$build/x64/bin/plimo-x64.exe") KB | - | - |
| start-up to main, warm cache, empty payload (x86, Wine) | ${startup:-?} | minimal host loading the same jvm.dll | at most 1.5 |
| payload extraction speed, 200 MB (x86, Wine) | ${payload:-?} | CopyFileA of the same bytes | at least 0.8 |
| payload extraction speed, 200 MB (x86, Wine) | ${payloadLoop:-?} | ReadFile/WriteFile loop, 8 KB chunks | - |
| peak working set, 200 MB / 10 MB payload | ${memory:-?} | the 10 MB run | 1.0 (constant memory) |
| runtime archive unpacking time, 150 MB (native reader) | ${tarNative:-?} | tar -xzf | - |
| runtime archive unpacking time, 150 MB (x86, Wine) | ${tarWine:-?} | tar -xzf | - |
| warm / cold runtime search time (x86, Wine) | ${search:-?} | cold search (java.exe probed) | - |
| launchJvm to main, real JDK 17 (native) | ${launch:-?} | minimal JNI host, same options | within 1.05 |
TABLE
echo
echo "Details:"
for f in startup search payload tar launch; do
  echo "--- $f"
  cat "$out/$f"
done
