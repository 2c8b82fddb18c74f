#!/usr/bin/env bash
# The main job: builds what ships and nothing else — the x86 and x64 stubs,
# plimo-pack (self-contained, stripped) and the demo installer — and leaves
# them in dist/. scripts/test.sh builds the tests, doubles and benchmarks.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PLIMO_BUILD_DIR:-$root/build}
jobs=${PLIMO_JOBS:-2}

configure() {
  local dir=$1; shift
  if [ ! -f "$build/$dir/build.ninja" ]; then
    # PLIMO_CMAKE_ARGS: extra settings for all three trees (a fresh build only).
    cmake -S "$root" -B "$build/$dir" -G Ninja "$@" ${PLIMO_CMAKE_ARGS:-} >"$build/$dir.configure.log" 2>&1 \
      || { cat "$build/$dir.configure.log"; exit 1; }
  fi
}

mkdir -p "$build"
configure native -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
configure x86 -DCMAKE_BUILD_TYPE=MinSizeRel -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-w64-mingw32.cmake"
configure x64 -DCMAKE_BUILD_TYPE=MinSizeRel -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86_64-w64-mingw32.cmake"
# plimo-pack for 64-bit ARM Linux, from the same sources (only that target is built there).
configure aarch64 -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-aarch64-linux-gnu.cmake"
# plimo-pack for Windows x86-64 (MinGW-w64, static): a tree of plimo-pack alone.
configure winpack -DCMAKE_BUILD_TYPE=Release -DPLIMO_PACK_ONLY=ON \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86_64-w64-mingw32.cmake"

cmake --build "$build/x86" -j "$jobs" --target plimo
cmake --build "$build/x64" -j "$jobs" --target plimo
cmake --build "$build/native" -j "$jobs" --target plimo-pack
cmake --build "$build/aarch64" -j "$jobs" --target plimo-pack
cmake --build "$build/winpack" -j "$jobs" --target plimo-pack

# One ctest over all three configurations (scripts/test.sh runs it).
cat > "$build/CTestTestfile.cmake" <<CT
subdirs("native")
subdirs("x86")
subdirs("x64")
CT

mkdir -p "$root/dist"
cp "$build/x86/bin/plimo-x86.exe" "$root/dist/plimo-x86.exe"
cp "$build/x64/bin/plimo-x64.exe" "$root/dist/plimo-x64.exe"
# The build tree's plimo-pack keeps its symbols for debugging; the shipped one is stripped.
strip -o "$root/dist/plimo-pack" "$build/native/bin/plimo-pack"
aarch64-linux-gnu-strip -o "$root/dist/plimo-pack-linux-aarch64" "$build/aarch64/bin/plimo-pack"
x86_64-w64-mingw32-strip -o "$root/dist/plimo-pack.exe" "$build/winpack/bin/plimo-pack.exe"
# plimo-maven-plugin carries the stubs and the plimo-pack binaries now in dist/.
# Built from Debian's Maven packages only (maven/settings.xml: no other repository).
PLIMO_MAVEN_REPO="$build/maven/repo" mvn -B -q -s "$root/maven/settings.xml" -f "$root/maven/pom.xml" package \
  -Dplimo.build.directory="$build/maven/plugin" -Dplimo.dist="$root/dist" >"$build/maven.log" 2>&1 \
  || { cat "$build/maven.log"; exit 1; }
cp "$build/maven/plugin/plimo-maven-plugin.jar" "$root/dist/plimo-maven-plugin.jar"
cp "$root/maven/pom.xml" "$root/dist/plimo-maven-plugin.pom"
"$root/demo/build-demo.sh" "$build/demo" "$root/dist"
# The demo installer is signed with a test certificate made here and now:
# self-signed, trusted by nobody, it only shows that a branded installer
# signs and verifies. Authors sign with their own code-signing certificate.
openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=plimo demo test certificate" \
  -keyout "$build/demo/test-key.pem" -out "$build/demo/test-cert.pem" \
  -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" 2>/dev/null
osslsigncode sign -certs "$build/demo/test-cert.pem" -key "$build/demo/test-key.pem" -n "plimo demo" -h sha256 \
  -in "$root/dist/demo-setup.exe" -out "$build/demo/demo-setup-signed.exe" >/dev/null
mv "$build/demo/demo-setup-signed.exe" "$root/dist/demo-setup.exe"
chmod +x "$root/dist/demo-setup.exe"
osslsigncode verify -in "$root/dist/demo-setup.exe" -CAfile "$build/demo/test-cert.pem" | grep 'Signature verification'
ls -l "$root/dist"
