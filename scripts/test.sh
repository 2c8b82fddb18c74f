#!/usr/bin/env bash
# Builds everything (the main job first, then tests, doubles, fuzzers and
# benchmarks of the three configurations) and runs every test; ctest's
# summary comes last. Arguments go to ctest (for example -R x64_launcher).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PLIMO_BUILD_DIR:-$root/build}
jobs=${PLIMO_JOBS:-2}
"$root/scripts/build.sh"
for dir in x86 x64 native; do
  cmake --build "$build/$dir" -j "$jobs"
done
# Say up front what this machine cannot run; ctest lists those tests as skipped.
. "$build/native/wine-host.sh"
if [ "$PLIMO_HOST_RUNS_32BIT" != 1 ]; then
  echo "NOTE: this kernel runs no 32-bit programs (32-bit emulation disabled): the x86 tests under"
  echo "      Wine are skipped; x64 ones run through Wine's 64-bit loader."
fi
cd "$build"
exec ctest --output-on-failure -j "$jobs" "$@"
