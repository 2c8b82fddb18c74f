#!/bin/sh
# Where the start-up time over the minimal host goes: runs startup_bench's
# profile form RUNS times under Wine (an installer run and a host run each,
# after a warming run) and prints the median time at which each step is
# reached: Wine's time-stamped library loads and the installer's own trace
# lines (PLIMO_TRACE stamps each with the milliseconds since the process was
# created), all counted from the moment the process was created.
# Usage: bench/profile-startup.sh [x86|x64] [RUNS = 7]
# Takes the shared build lock, as builds and Wine runs must not overlap.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
arch=${1:-x86}
runs=${2:-7}
build="$root/build/$arch"
if ! reason=$("$build/wine-run.sh" --can-run); then
  echo "not measured: ${reason#skipped: }"
  exit 0
fi
out=$(mktemp -d /tmp/plimo-startup-profile-XXXXXX)
trap 'rm -rf "$out"' EXIT
flock /tmp/plimo-build.lock sh -c '
  set -eu
  build=$1 root=$2 arch=$3 runs=$4 out=$5
  . "$build/wine-host.sh"
  cmake --build "$build" --target startup_bench >/dev/null
  sh "$root/cmake/wine-prefix.sh" start "$build/wineprefix" "$arch" >/dev/null
  cd "$build/bin"
  i=0
  while [ $i -lt "$runs" ]; do
    i=$((i + 1))
    "$build/wine-run.sh" ./startup_bench.exe profile >"$out/run$i" 2>&1 9>&- || true
  done
  sh "$root/cmake/wine-prefix.sh" stop "$build/wineprefix" "$arch" >/dev/null
' run "$build" "$root" "$arch" "$runs" "$out"

# Per run, "side|step|milliseconds since the process was created" (the
# library loads from the moment the benchmark started the process, a
# millisecond or two earlier; the trace lines by their own stamps).
for f in "$out"/run*; do
  tr -d '\r' <"$f" | awk '
    function tick(s) { split(s, p, ":"); return p[1] * 1000 }
    function step(side, name, t) { if (!seen[side name]++) printf "%s|%s|%.0f\n", side, name, t }
    /^--- installer from / { start["installer"] = $4 * 1000; next }
    /^--- minimal host from / { start["host"] = $5 * 1000; end["installer"] = $5 * 1000; end["host"] = $7 * 1000; next }
    /trace:loaddll/ {
      t = tick($0); name = $0; sub(/.*\\\\/, "", name); sub(/".*/, "", name); name = tolower(name)
      side = (/startup_host\.exe/ || hostSeen) ? "host" : "installer"
      if (/startup_host\.exe/) hostSeen = 1
      loads[++n] = side "|" name "|" t
      next
    }
    /^plimo: [0-9]+ ms: / {
      ms = $2; text = $0; sub(/^plimo: [0-9]+ ms: /, "", text)
      gsub(/[A-Za-z]:\\[^ ]*/, "PATH", text); gsub(/"[^"]*"/, "\"..\"", text)
      traces[++m] = ms "|" substr(text, 1, 70)
    }
    END {
      for (i = 1; i <= n; i++) {
        split(loads[i], p, "|")
        printf "%s|load %s|%.0f\n", p[1], p[2], p[3] - start[p[1]]
      }
      for (i = 1; i <= m; i++) {
        split(traces[i], p, "|")
        printf "installer|trace %s|%.0f\n", p[2], p[1]
      }
      printf "installer|process ended|%.0f\n", end["installer"] - start["installer"]
      printf "host|process ended|%.0f\n", end["host"] - start["host"]
    }'
done >"$out/steps"

echo "median milliseconds since the process was created, over $runs runs ($arch, Wine):"
for side in installer host; do
  echo "--- $side"
  awk -F'|' -v side="$side" '$1 == side {
      if (!($2 in count)) order[++n] = $2
      values[$2, ++count[$2]] = $3
    }
    END {
      for (i = 1; i <= n; i++) {
        k = order[i]; c = count[k]
        for (a = 1; a <= c; a++) v[a] = values[k, a]
        for (a = 1; a <= c; a++) for (b = a + 1; b <= c; b++) if (v[b] < v[a]) { x = v[a]; v[a] = v[b]; v[b] = x }
        printf "%6.0f  %s (%d runs)\n", v[int((c + 1) / 2)], k, c
      }
    }' "$out/steps" | sort -n -s -k1,1
done
