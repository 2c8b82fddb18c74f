#!/bin/sh
# The performance report: runs every benchmark of bench/ (each measures its
# baseline in the same run) and prints one table of ratios. Takes some
# minutes. Run after scripts/test.sh (which builds the benchmarks), from
# anywhere:
#   sh bench/report.sh
# Start-up and payload extraction are measured under Wine for x86 and x64; an
# architecture this machine cannot run gives rows that say "skipped" and why.
# The other Windows rows use x86 where it runs, x64 otherwise.
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

# The architectures under Wine: start-up and extraction are measured for each
# that runs here; the other Wine rows use the first of them.
arches=""
for candidate in x86 x64; do
  if [ ! -x "$build/$candidate/wine-run.sh" ]; then
    note "$candidate under Wine not measured: build/$candidate is not configured"
  elif reason=$("$build/$candidate/wine-run.sh" --can-run); then
    arches="$arches $candidate"
  else
    note "$candidate under Wine not measured: ${reason#skipped: }"
  fi
done
arch=${arches# }
arch=${arch%% *}

# Runs one benchmark program of an architecture under Wine in its build's prefix.
wine_bench() { # architecture, output file, program, arguments...
  wa=$1 result=$2; shift 2
  if [ -z "$wa" ]; then
    echo "not measured: no Windows configuration can run here" >"$result"
    return
  fi
  if [ ! -f "$build/$wa/bin/$1" ]; then
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
    exit $status' run "$root" "$build/$wa" "$wa" "$@" >"$result" 2>&1
}

for a in x86 x64; do
  case " $arches " in
    *" $a "*)
      echo "running the start-up benchmark ($a, under Wine)..."
      wine_bench "$a" "$out/startup-$a" startup_bench.exe 15
      echo "running the payload extraction benchmark ($a, under Wine, 200 MB and 10 MB, 7 rounds)..."
      sh "$root/bench/run-payload.sh" "$a" 200 10 7 >"$out/payload-$a" 2>&1
      ;;
    *)
      why=$(sed -n "s/^- $a under Wine not measured: //p" "$notes" | head -n 1)
      echo "skipped: ${why:-not configured}" >"$out/startup-$a"
      echo "skipped: ${why:-not configured}" >"$out/payload-$a"
      ;;
  esac
done
echo "running the warm/cold runtime search benchmark (${arch:-no arch}, under Wine)..."
wine_bench "$arch" "$out/search" search_bench.exe
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
  if sed -n 1p "$2" | grep -q '^skipped: '; then
    sed -n '1s/^\(skipped\): .*/\1 (see below)/p' "$2"
    return
  fi
  why=$(sed -n 's/^not measured[^:]*: //p' "$2" | head -n 1)
  [ -n "$why" ] || why="the benchmark gave no result (see Details)"
  note "$3 not measured: $why"
  echo "not measured"
}
# "min a, median b, max c" of a line of the payload benchmark.
spread() { # file, line start
  field "$1" "s/^$2: min \([0-9.]*\), median \([0-9.]*\), max \([0-9.]*\).*/\2 (\1 to \3)/p"
}
rows=""
for a in x86 x64; do
  f="$out/startup-$a" p="$out/payload-$a"
  startup=$(ratio "$(spread "$f" 'start-up ratio per round')" "$f" "start-up ($a)")
  windowed=$(ratio "$(spread "$f" 'start-up ratio to the windowed host per round')" "$f" "start-up ($a)")
  toLoop=$(ratio "$(spread "$p" 'extraction speed \/ bare loop speed')" "$p" "payload extraction ($a)")
  toCopy=$(ratio "$(spread "$p" 'extraction speed \/ CopyFileA speed')" "$p" "payload extraction ($a)")
  loopToCopy=$(ratio "$(spread "$p" 'bare loop speed \/ CopyFileA speed')" "$p" "payload extraction ($a)")
  memory=$(ratio "$(field "$p" 's/^peak working set.*ratio \([0-9.]*\).*/\1/p')" "$p" "peak working set ($a)")
  rows="$rows
| start-up to main, warm cache, empty payload, median (min to max) ($a, Wine) | $startup | minimal host loading the same jvm.dll | at most 1.5 |
| start-up to main, warm cache, empty payload, median (min to max) ($a, Wine) | $windowed | the same host as a windowed program | - |
| payload extraction speed, 200 MB, median (min to max) ($a, Wine) | $toLoop | bare 1 MiB ReadFile/key/WriteFile loop | at least 0.9 |
| payload extraction speed, 200 MB, median (min to max) ($a, Wine) | $toCopy | CopyFileA of the installer | at least 0.8 |
| bare loop speed, 200 MB, median (min to max) ($a, Wine) | $loopToCopy | CopyFileA of the installer | - |
| peak working set, 200 MB / 10 MB payload ($a) | $memory | the 10 MB run | 1.0 (constant memory) |"
done
a=${arch:-?}
search=$(ratio "$(field "$out/search" 's/^warm\/cold ratio: \([0-9.]*\).*/\1/p')" "$out/search" "warm/cold search")
tarNative=$(ratio "$(field "$out/tar" 's/^native reader: .*ratio \([0-9.]*\).*/\1/p')" "$out/tar" "native archive unpacking")
tarWine=$(ratio "$(field "$out/tar" 's/^under Wine.*ratio \([0-9.]*\).*/\1/p')" "$out/tar" "archive unpacking under Wine")
launch=$(ratio "$(field "$out/launch" 's/.*minimal JNI host = \([0-9.]*\).*/\1/p')" "$out/launch" "launch on the real JDK")

cat <<TABLE

| Measure | Ours / baseline | Baseline, same run | Aim |
|---|---|---|---|
| stub size x86, stripped | $(kb "$build/x86/bin/plimo-x86.exe") | - | at most 132 KB |
| stub size x64, stripped | $(kb "$build/x64/bin/plimo-x64.exe") | - | - |$rows
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
for f in startup-x86 payload-x86 startup-x64 payload-x64 search tar launch; do
  echo "--- $f"
  cat "$out/$f"
done
