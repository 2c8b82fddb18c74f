#!/bin/sh
# plimo-maven-plugin on a sample project, offline (Debian's Maven repository
# only): installed with the README's command, `mvn package` writes both
# installers, byte for byte those plimo-pack builds by hand from the same keys
# in a project file; and three builds that must fail, each with its reason.
# Usage: plugin-test.sh PLUGIN_JAR PLUGIN_POM PLIMO_PACK WORK_DIR
set -u
jar=$1 pom=$2 tool=$3 work=$4
here=$(cd "$(dirname "$0")" && pwd)
for f in "$jar" "$pom" "$tool"; do
  [ -f "$f" ] || { echo "SKIP: $f is not built"; exit 77; }
done
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
rm -rf "$work" && mkdir -p "$work" || exit 1
export PLIMO_MAVEN_REPO="$work/repo"
mvn() { command mvn -B -s "$here/../../maven/settings.xml" "$@"; }

# The README's installation command.
(cd "$work" && mvn -q install:install-file -Dfile="$jar" -DpomFile="$pom") >"$work/install.log" 2>&1 \
  || { cat "$work/install.log"; echo "FAIL: the plugin does not install"; exit 1; }

# --- mvn package: both installers, attached, identical to plimo-pack's -------------
cp -r "$here/sample" "$work/sample"
(cd "$work/sample" && mvn package) >"$work/package.log" 2>&1 || { cat "$work/package.log"; fail "mvn package"; }
grep -q 'branding.product_version is 1.4.2, the numbers of the project version 1.4.2-SNAPSHOT' "$work/package.log" \
  || fail "no note that the SNAPSHOT version gave 1.4.2"
for arch in x86 x64; do
  built=$work/sample/target/sample-1.4.2-SNAPSHOT-setup-$arch.exe
  "$tool" build "$work/sample/sample.toml" -o "$work/by-hand-$arch.exe" --arch $arch >/dev/null 2>&1 \
    || fail "plimo-pack builds no $arch installer from sample.toml"
  cmp "$built" "$work/by-hand-$arch.exe" || fail "$arch: the plugin's installer differs from plimo-pack's"
  # Attached: the install phase would carry it as type exe with its classifier.
  grep -q "sample-1.4.2-SNAPSHOT-setup-$arch.exe" "$work/package.log" || fail "$arch: plimo-pack's line is not in the log"
done
(cd "$work/sample" && mvn -q install) >"$work/install-sample.log" 2>&1 || fail "mvn install of the sample"
for arch in x86 x64; do
  [ -f "$work/repo/com/example/sample/1.4.2-SNAPSHOT/sample-1.4.2-SNAPSHOT-setup-$arch.exe" ] \
    || fail "$arch: the installer is not attached (not installed with classifier setup-$arch, type exe)"
done

# --- builds that must fail, each with its reason and no installer ------------------
refuse() {  # name, expected text, mvn arguments...
  name=$1 expect=$2; shift 2
  rm -rf "$work/$name" && cp -r "$here/sample" "$work/$name"
  if (cd "$work/$name" && mvn "$@") >"$work/$name.log" 2>&1; then
    fail "$name: the build succeeded"
  elif ! grep -q -- "$expect" "$work/$name.log"; then
    cat "$work/$name.log"; fail "$name: the failure does not say \"$expect\""
  fi
  ls "$work/$name"/target/*.exe >/dev/null 2>&1 && fail "$name: an installer was written"
}
# plimo-pack's own error, with the key and the line of the project file written under target/.
refuse bad-version 'branding.file_version: "1.x" is not a version.*(line [0-9]*)' package -Dsample.file.version=1.x
refuse missing-jar "the project's jar .*sample-1.4.2-SNAPSHOT.jar does not exist" \
  com.kaldorcodework.plimo:plimo-maven-plugin:1.0.0:pack
refuse unsupported-host 'carries no plimo-pack for this host (macos-aarch64); it carries one for linux-x86_64.*<plimoPack>' \
  package "-Dplimo.host.os=Mac OS X" -Dplimo.host.arch=aarch64

[ $failures -eq 0 ] && echo "plimo-maven-plugin: all checks passed"
[ $failures -eq 0 ]
