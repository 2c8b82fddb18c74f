#!/usr/bin/env bash
# Builds (when needed) and runs every test of the three configurations.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PLIMO_BUILD_DIR:-$root/build}
"$root/scripts/build.sh"
cd "$build"
exec ctest --output-on-failure -j "${PLIMO_JOBS:-2}" "$@"
