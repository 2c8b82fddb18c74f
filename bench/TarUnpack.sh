#!/bin/sh
# Unpacking a runtime-sized jre.tar.gz (about 150 MB unpacked): the launcher's
# reader natively and under Wine (extractTarGz with its Windows file target),
# each as a ratio to GNU tar -xzf of the same archive in the same run. Best of
# three runs each.
#   usage: bench/TarUnpack.sh [MEGABYTES] [x86|x64]   (after building that
#   configuration's tar_unpack_bench; x86 when not given)
set -eu
size=${1:-150}
arch=${2:-x86}
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d /tmp/plimo-tarbench-XXXXXX)
trap 'rm -rf "$work"' EXIT
python3 "$root/tests/provision/make_runtime_archives.py" "$work" --big "$size"
archive="$work/jre-big.tar.gz"
echo "archive: $(du -h "$archive" | cut -f1) compressed, $(gzip -l "$archive" | awk 'NR==2{printf "%.0f MB", $2/1048576}') unpacked"

best_tar() {
  best=""
  for i in 1 2 3; do
    mkdir "$work/tar$i"
    start=$(date +%s%N)
    tar -xzf "$archive" -C "$work/tar$i"
    end=$(date +%s%N)
    rm -rf "$work/tar$i"
    ms=$(( (end - start) / 1000000 ))
    if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
  done
  echo "$best"
}

native="$work/tar_unpack_bench_native"
c++ -std=c++17 -O2 -I"$root" "$root/bench/TarUnpackBench.cpp" "$root/provision/TarReader.cpp" \
  "$root/base/Trace.cpp" "$root/block/NameRules.cpp" -lz -o "$native"
mkdir "$work/native"
tar_ms=$(best_tar)
native_ms=$("$native" "$archive" "$work/native" 3)
echo "tar -xzf: ${tar_ms} ms"
echo "native reader: ${native_ms} ms, ratio $(echo "$native_ms / $tar_ms" | bc -l | cut -c1-5)"

wine_run="$root/build/$arch/wine-run.sh"
wine_bench="$root/build/$arch/bin/tar_unpack_bench.exe"
if [ ! -x "$wine_run" ] || [ ! -f "$wine_bench" ]; then
  echo "not measured under Wine: build/$arch tar_unpack_bench.exe is not built"
elif ! reason=$("$wine_run" --can-run); then
  echo "not measured under Wine: ${reason#skipped: }"
else
  mkdir "$work/wine"
  wine_ms=$("$wine_run" "$wine_bench" "Z:$archive" "Z:$work/wine" 3 | tr -d '\r')
  tar_ms2=$(best_tar)
  echo "tar -xzf (again): ${tar_ms2} ms"
  echo "under Wine ($arch, extractTarGz): ${wine_ms} ms, ratio $(echo "$wine_ms / $tar_ms2" | bc -l | cut -c1-5)"
fi
