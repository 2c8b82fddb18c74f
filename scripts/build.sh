#!/usr/bin/env bash
# Builds everything: the native core, tests, fuzzers and plimo-pack, and the
# x86 and x64 stubs with their Windows tests; leaves the release artefacts in
# dist/ and builds the demo installer when plimo-pack is there.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PLIMO_BUILD_DIR:-$root/build}
jobs=${PLIMO_JOBS:-2}

configure() {
  local dir=$1; shift
  if [ ! -f "$build/$dir/build.ninja" ]; then
    cmake -S "$root" -B "$build/$dir" -G Ninja "$@"
  fi
}

configure native -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
configure x86 -DCMAKE_BUILD_TYPE=MinSizeRel -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-w64-mingw32.cmake"
configure x64 -DCMAKE_BUILD_TYPE=MinSizeRel -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86_64-w64-mingw32.cmake"

for dir in x86 x64 native; do
  cmake --build "$build/$dir" -j "$jobs"
done

# One ctest over all three configurations.
cat > "$build/CTestTestfile.cmake" <<CT
subdirs("native")
subdirs("x86")
subdirs("x64")
CT

mkdir -p "$root/dist"
cp "$build/x86/bin/plimo-x86.exe" "$root/dist/plimo-x86.exe"
cp "$build/x64/bin/plimo-x64.exe" "$root/dist/plimo-x64.exe"
if [ -x "$build/native/bin/plimo-pack" ]; then
  cp "$build/native/bin/plimo-pack" "$root/dist/plimo-pack"
fi
if [ -x "$root/demo/build-demo.sh" ] && [ -x "$root/dist/plimo-pack" ]; then
  "$root/demo/build-demo.sh" "$build/demo" "$root/dist"
fi
ls -l "$root/dist"
