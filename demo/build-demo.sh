#!/usr/bin/env bash
# Builds the demo installer: compiles the Swing demo into demo/demo.jar and
# draws demo/demo-icon.png (beside demo.toml, so that the project builds as it
# stands), packs them with the x86 stub into DIST_DIR/demo-setup.exe, then
# prints the installer's summary.
# Usage: demo/build-demo.sh BUILD_DIR DIST_DIR
# DIST_DIR must hold plimo-pack and plimo-x86.exe (scripts/build.sh puts them there).
set -euo pipefail
if [ $# -ne 2 ]; then
  echo "usage: $0 BUILD_DIR DIST_DIR" >&2
  exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$1" "$2"
build=$(cd "$1" && pwd)
dist=$(cd "$2" && pwd)

rm -rf "$build/classes"
mkdir -p "$build/classes"
# Class files for Java 8 and later, so that an older runtime can start it too.
javac --release 8 -encoding UTF-8 -d "$build/classes" $(find "$here/src" -name '*.java' | sort)
# A fixed entry date keeps the jar, and so the installer, the same from build to build.
jar --create --file "$here/demo.jar" --date 2000-01-01T00:00:02Z --main-class demo.HelloWindow -C "$build/classes" .
# The installer's icon: the launcher's picture as one 256-pixel PNG image.
python3 "$here/../resources/make_icon.py" --png 256 "$here/demo-icon.png"

"$dist/plimo-pack" build "$here/demo.toml" -o "$dist/demo-setup.exe" --stub "$dist/plimo-x86.exe" --arch x86
"$dist/plimo-pack" inspect "$dist/demo-setup.exe"
