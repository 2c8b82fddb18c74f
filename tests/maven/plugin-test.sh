#!/bin/sh
# plimo-maven-plugin on a sample project, offline (Debian's Maven repository
# only): installed with the README's command, `mvn package` writes both
# installers, byte for byte those plimo-pack builds by hand from the same keys
# in a project file; and three builds that must fail, each with its reason.
# When the x86 runtime doubles are built (BIN_DIR) and Wine runs x86
# programs, the plugin's x86 installer also runs under Wine to the call of
# the sample's main class, with the doubles as the runtime JAVA_HOME names.
# Usage: plugin-test.sh PLUGIN_JAR PLUGIN_POM PLIMO_PACK WORK_DIR [BIN_DIR WINEPREFIX]
set -u
jar=$1 pom=$2 tool=$3 work=$4 bin=${5:-} prefix=${6:-}
here=$(cd "$(dirname "$0")" && pwd)
absolute() { case $1 in /*|'') echo "$1" ;; *) echo "$PWD/$1" ;; esac; }
jar=$(absolute "$jar") pom=$(absolute "$pom") tool=$(absolute "$tool") work=$(absolute "$work")
bin=$(absolute "$bin") prefix=$(absolute "$prefix")
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

# --- the same keys from a project file: its own arch (x86) decides -----------------
rm -rf "$work/from-file" && cp -r "$here/sample" "$work/from-file"
(cd "$work/from-file" && mvn -f pom-file.xml package) >"$work/from-file.log" 2>&1 \
  || { cat "$work/from-file.log"; fail "mvn package with <projectFile>"; }
# (its own jar, built in this copy, is the payload)
"$tool" build "$work/from-file/sample.toml" -o "$work/from-file-by-hand.exe" --arch x86 >/dev/null 2>&1
cmp "$work/from-file/target/sample-1.4.2-SNAPSHOT-setup-x86.exe" "$work/from-file-by-hand.exe" \
  || fail "<projectFile>: the installer differs from plimo-pack's"
[ -e "$work/from-file/target/sample-1.4.2-SNAPSHOT-setup-x64.exe" ] && fail "<projectFile>: an x64 installer too"

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
refuse keys-twice '<projectFile> and project keys in the POM are both given' package -Dplimo.projectFile=sample.toml
refuse unsupported-host 'carries no plimo-pack for this host (macos-aarch64); it carries one for linux-x86_64.*<plimoPack>' \
  package "-Dplimo.host.os=Mac OS X" -Dplimo.host.arch=aarch64

# --- the x86 installer under Wine, to the sample's main class ---------------------
if [ -f "$bin/java-double.exe" ] && [ -f "$bin/jvm.dll" ] && [ -n "$prefix" ]; then
  . "$here/../../cmake/wine-env.sh"
  plimo_wine_env x86 "$prefix"
fi
if [ -z "${WINE:-}" ] || [ -n "${PLIMO_WINE_SKIP:-}" ]; then
  echo "NOTE: the x86 installer is not run (no x86 doubles in '$bin', or Wine runs no x86 programs here)"
else
  mkdir -p "$work/runtime/bin/server"
  cp "$bin/java-double.exe" "$work/runtime/bin/java.exe"
  printf 'java version "17.0.99"\r\n' >"$work/runtime/bin/java.exe.stderr"
  cp "$bin/jvm.dll" "$work/runtime/bin/server/jvm.dll"
  log=$work/jni.log
  winpath() { echo "Z:$1" | tr / '\\'; }
  (cd "$work" && JAVA_HOME=$(winpath "$work/runtime") PLIMO_JVMDOUBLE_LOG=$(winpath "$log") \
     timeout 120 $WINE sample/target/sample-1.4.2-SNAPSHOT-setup-x86.exe </dev/null >wine-out.txt 2>wine-err.txt 9>&-)
  grep -q 'findClass sample/Main' "$log" 2>/dev/null && grep -q '^call' "$log" \
    || { cat "$work/wine-err.txt" "$log"; fail "the x86 installer did not call sample.Main under Wine"; }
fi

[ $failures -eq 0 ] && echo "plimo-maven-plugin: all checks passed"
[ $failures -eq 0 ]
