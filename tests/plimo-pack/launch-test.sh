#!/bin/sh
# A branded installer built by plimo-pack runs under Wine to the launch: it
# carries a runtime made of doubles (java.exe answers -version, jvm.dll records the JNI
# calls), unpacks it, verifies it, loads its jvm.dll and calls the main class.
# Exit code 77 (skipped) when the doubles of this architecture are not built.
# Usage: launch-test.sh ARCH PLIMO_PACK STUB BIN_DIR WINEPREFIX WORK_DIR
set -u
arch=$1 tool=$2 stub=$3 bin=$4 prefix=$5 work=$6
src=$(cd "$(dirname "$0")/../.." && pwd)
absolute() { case $1 in /*) echo "$1" ;; *) echo "$PWD/$1" ;; esac; }
tool=$(absolute "$tool") stub=$(absolute "$stub") bin=$(absolute "$bin") prefix=$(absolute "$prefix") work=$(absolute "$work")
[ -f "$stub" ] || stub=$src/dist/plimo-$arch.exe
if [ ! -f "$bin/java-double.exe" ] || [ ! -f "$bin/jvm.dll" ]; then
  echo "skipped: the $arch runtime doubles (java-double.exe, jvm.dll) are not built in $bin"
  exit 77
fi
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1

mkdir -p runtime/bin/server
cp "$bin/java-double.exe" runtime/bin/java.exe
printf 'java version "17.0.99"\r\nDouble Runtime Environment\r\n' > runtime/bin/java.exe.stderr
cp "$bin/jvm.dll" runtime/bin/server/jvm.dll
printf 'app' > app.jar
# Branded, so that the launch also shows the rewritten resources (the dialog
# templates, the grown resource section before the block) work.
python3 "$src/resources/make_icon.py" --png 64 icon.png
cat > project.toml <<'TOML'
payload = ["app.jar"]
[launch]
main_class = "demo.HelloWindow"
program_arguments = "--from-installer"
application_type = "console"
launcher_kind = "application"
[runtime]
bundle = "runtime"
preferred_vm_type = "server"
[branding]
icon = "icon.png"
product_name = "Launch test"
product_version = "1.0"
TOML
"$tool" build project.toml -o setup.exe --stub "$stub" --arch "$arch" >/dev/null || { echo "build failed"; exit 1; }

. "$src/cmake/wine-env.sh"
plimo_wine_env "$arch" "$prefix"
if [ -n "$PLIMO_WINE_SKIP" ]; then echo "skipped: $PLIMO_WINE_SKIP"; exit 77; fi
log=$work/jni.log
export PLIMO_JVMDOUBLE_LOG="Z:$(echo "$log" | tr / '\\')"
# Planted beside the installer: DLLs named like the system's helpers that
# system libraries load by bare name. They are valid DLLs (copies of the
# jvm.dll double), so a load would succeed and show in the module list.
# version.dll is left out here: Wine's own user32 imports it, so Wine loads
# it with the process, before any code of the launcher runs (on Windows,
# user32 is a known system DLL and imports no such helper).
planted="uxtheme.dll dwmapi.dll userenv.dll sspicli.dll propsys.dll"
for name in $planted; do cp "$bin/jvm.dll" "$name"; done
export PLIMO_JVMDOUBLE_MODULES=1
run_installer() {
  rm -f "$log"
  $WINE setup.exe </dev/null >wine-out.txt 2>wine-err.txt &
  pid=$!
  i=0
  while [ $i -lt 90 ] && ! grep -q '^call' "$log" 2>/dev/null; do
    kill -0 $pid 2>/dev/null || break
    sleep 1
    i=$((i + 1))
  done
  if kill -0 $pid 2>/dev/null; then
    # After main returns, the launcher waits for the application's window.
    $WINESERVER -k </dev/null >/dev/null 2>&1
  fi
  wait $pid 2>/dev/null
}
run_installer
# A Wine process that ends at once without running anything (seen now and
# then while another prefix is being created beside this one) gets one more try.
if [ ! -s wine-err.txt ] && [ ! -s "$log" ]; then
  echo "the installer ended without running; trying once more"
  run_installer
fi
echo "--- installer's standard error:"; cat wine-err.txt
echo "--- JNI calls recorded by the jvm.dll double:"; cat "$log" 2>/dev/null
failures=0
grep -q '^create ' "$log" 2>/dev/null || { echo "FAIL: the bundled jvm.dll was not asked to create a virtual machine"; failures=1; }
grep -q 'findClass demo/HelloWindow' "$log" 2>/dev/null || { echo "FAIL: the main class of the block was not looked up"; failures=1; }
grep -q '^call' "$log" 2>/dev/null || { echo "FAIL: main was not called"; failures=1; }
# Each helper the launcher preloads is in the process from the system
# directory, and none of the planted copies is.
modules=$(grep -i '^module ' "$log" 2>/dev/null | tr '\\' '/' | tr 'A-Z' 'a-z')
system='^module [a-z]:/windows/sys\(tem32\|wow64\)/'
for name in $planted; do
  echo "$modules" | grep -q "$system$name\$" || { echo "FAIL: $name is not loaded from the system directory"; failures=1; }
  if echo "$modules" | grep "/$name\$" | grep -qv "$system"; then
    echo "FAIL: the planted $name beside the installer was loaded"; failures=1
  fi
done
# "--from-installer" (entry 124) as the first argument, in UTF-16 units.
grep -q '^element 0 002D 002D 0066 0072 006F 006D' "$log" 2>/dev/null || { echo "FAIL: the program arguments of the block did not reach main"; failures=1; }
[ $failures -eq 0 ] && echo "the $arch installer ran to the launch"
exit $failures
