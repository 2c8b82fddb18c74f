#!/bin/sh
# The performance report: runs every benchmark of bench/ (each measures its
# baseline in the same run) and prints one table of ratios. Takes some
# minutes. Run after scripts/test.sh (which builds the benchmarks), from
# anywhere:
#   sh bench/report.sh
# The Windows rows are measured on x86 where this machine runs 32-bit
# programs, on x64 otherwise; a row that cannot be measured here says why.
# Builds and Wine runs take the shared build lock, as they must not overlap.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PLIMO_BUILD_DIR:-$root/build}
out=$(mktemp -d /tmp/plimo-report-XXXXXX)
trap 'rm -rf "$out"' EXIT

kb() { [ -f "$1" ] && echo "$(( ($(stat -c %s "$1") + 1023) / 1024 )) KB" || echo "not built"; }
field() { # file, sed expression that prints the wanted number
  sed -n "$2" "$1" 2>/dev/null | head -n 1 | tr -d '\r'
}
# Notes are appended to a file: ratio() runs in a command substitution.
notes="$out/notes"
: >"$notes"
note() { echo "- $1" >>"$notes"; }

# Which architecture the Wine rows use, and why not the other.
arch=""
for candidate in x86 x64; do
  if [ ! -x "$build/$candidate/wine-run.sh" ]; then
    note "$candidate under Wine not measured: build/$candidate is not configured"
  elif reason=$("$build/$candidate/wine-run.sh" --can-run); then
    arch=$candidate
    break
  else
    note "$candidate under Wine not measured: ${reason#skipped: }"
  fi
done

# Runs one benchmark program of $arch under Wine in the build's prefix.
wine_bench() { # output file, program, arguments...
  result=$1; shift
  if [ -z "$arch" ]; then
    echo "not measured: no Windows configuration can run here" >"$result"
    return
  fi
  if [ ! -f "$build/$arch/bin/$1" ]; then
    echo "not measured: $1 is not built (scripts/test.sh builds it)" >"$result"
    return
  fi
  flock /tmp/plimo-build.lock sh -c '
    root=$1 dir=$2 arch=$3; shift 3
    . "$dir/wine-host.sh"
    sh "$root/cmake/wine-prefix.sh" start "$dir/wineprefix" "$arch" >/dev/null
    cd "$dir/bin" && "$dir/wine-run.sh" "$@"
    status=$?
    sh "$root/cmake/wine-prefix.sh" stop "$dir/wineprefix" "$arch" >/dev/null
    exit $status' run "$root" "$build/$arch" "$arch" "$@" >"$result" 2>&1
}

echo "running the start-up benchmark (${arch:-no arch}, under Wine)..."
wine_bench "$out/startup" startup_bench.exe 15
echo "running the warm/cold runtime search benchmark (${arch:-no arch}, under Wine)..."
wine_bench "$out/search" search_bench.exe
echo "running the payload extraction benchmark (${arch:-no arch}, under Wine, 200 MB and 10 MB)..."
if [ -n "$arch" ]; then
  sh "$root/bench/run-payload.sh" "$arch" 200 10 3 >"$out/payload" 2>&1
else
  echo "not measured: no Windows configuration can run here" >"$out/payload"
fi
echo "running the runtime archive benchmark (150 MB unpacked)..."
flock /tmp/plimo-build.lock sh "$root/bench/TarUnpack.sh" 150 "${arch:-x86}" >"$out/tar" 2>&1
echo "running the launch benchmark (real JDK 17, native)..."
if [ -x "$build/native/bin/LaunchBench" ]; then
  "$build/native/bin/LaunchBench" 15 >"$out/launch" 2>&1
else
  echo "not measured: build/native/bin/LaunchBench is not built (scripts/test.sh builds it)" >"$out/launch"
fi

# A measured ratio, or "not measured" with the benchmark's own reason noted.
ratio() { # value, file, row name
  if [ -n "$1" ]; then echo "$1"; return; fi
  why=$(sed -n 's/^not measured[^:]*: //p' "$2" | head -n 1)
  [ -n "$why" ] || why="the benchmark gave no result (see Details)"
  note "$3 not measured: $why"
  echo "not measured"
}
a=${arch:-?}
startup=$(ratio "$(field "$out/startup" 's/.*ratio \([0-9.]*\).*/\1/p')" "$out/startup" "start-up")
search=$(ratio "$(field "$out/search" 's/^warm\/cold ratio: \([0-9.]*\).*/\1/p')" "$out/search" "warm/cold search")
payload=$(ratio "$(field "$out/payload" 's/^extraction speed \/ CopyFileA speed: \([0-9.]*\).*/\1/p')" "$out/payload" "payload extraction")
payloadLoop=$(field "$out/payload" 's/^extraction speed \/ ReadFile-WriteFile loop in 8 KB chunks: \([0-9.]*\).*/\1/p')
memory=$(field "$out/payload" 's/^peak working set.*ratio \([0-9.]*\).*/\1/p')
tarNative=$(ratio "$(field "$out/tar" 's/^native reader: .*ratio \([0-9.]*\).*/\1/p')" "$out/tar" "native archive unpacking")
tarWine=$(ratio "$(field "$out/tar" 's/^under Wine.*ratio \([0-9.]*\).*/\1/p')" "$out/tar" "archive unpacking under Wine")
launch=$(ratio "$(field "$out/launch" 's/.*minimal JNI host = \([0-9.]*\).*/\1/p')" "$out/launch" "launch on the real JDK")

cat <<TABLE

| Measure | Ours / baseline | Baseline, same run | Aim |
|---|---|---|---|
| stub size x86, stripped | $(kb "$build/x86/bin/plimo-x86.exe") | - | at most 132 KB |
| stub size x64, stripped | $(kb "$build/x64/bin/plimo-x64.exe") | - | - |
| start-up to main, warm cache, empty payload ($a, Wine) | $startup | minimal host loading the same jvm.dll | at most 1.5 |
| payload extraction speed, 200 MB ($a, Wine) | $payload | CopyFileA of the same bytes | at least 0.8 |
| payload extraction speed, 200 MB ($a, Wine) | ${payloadLoop:-not measured} | ReadFile/WriteFile loop, 8 KB chunks | - |
| peak working set, 200 MB / 10 MB payload | ${memory:-not measured} | the 10 MB run | 1.0 (constant memory) |
| runtime archive unpacking time, 150 MB (native reader) | $tarNative | tar -xzf | - |
| runtime archive unpacking time, 150 MB ($a, Wine) | $tarWine | tar -xzf | - |
| warm / cold runtime search time ($a, Wine) | $search | cold search (java.exe probed) | - |
| launchJvm to main, real JDK 17 (native) | $launch | minimal JNI host, same options | within 1.05 |
TABLE
if [ -s "$notes" ]; then
  echo
  echo "Not measured on this machine:"
  cat "$notes"
fi
echo
echo "Details:"
for f in startup search payload tar launch; do
  echo "--- $f"
  cat "$out/$f"
done
