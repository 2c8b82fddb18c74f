#!/bin/sh
# plimo-pack built for other hosts from the same sources gives the same
# installers as the Linux x86-64 one: the demo, and a branded project in code
# page 932 (narrow and wide Japanese texts, an icon, version information),
# for x86 and x64; and it refuses what the reference refuses (a text code
# page 932 cannot hold, a code page name without a Windows number). The
# aarch64 binary runs through qemu-aarch64-static, the Windows one under Wine.
# Usage: hosts-test.sh REFERENCE AARCH64_TOOL WINDOWS_TOOL STUB_X86 STUB_X64 WINEPREFIX WORK_DIR
set -u
ref=$1 arm=$2 win=$3 stub86=$4 stub64=$5 prefix=$6 work=$7
src=$(cd "$(dirname "$0")/../.." && pwd)
absolute() { case $1 in /*) echo "$1" ;; *) echo "$PWD/$1" ;; esac; }
ref=$(absolute "$ref") arm=$(absolute "$arm") win=$(absolute "$win") prefix=$(absolute "$prefix") work=$(absolute "$work")
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
rm -rf "$work" && mkdir -p "$work" || exit 1
cp "$stub86" "$work/plimo-x86.exe" && cp "$stub64" "$work/plimo-x64.exe" || exit 1

hosts=""
if [ -f "$arm" ] && command -v qemu-aarch64-static >/dev/null; then
  hosts="$hosts aarch64"
else
  echo "NOTE: no aarch64 plimo-pack ($arm) or no qemu-aarch64-static"
fi
if [ -f "$win" ]; then
  . "$src/cmake/wine-env.sh"
  plimo_wine_env x64 "$prefix"
  if [ -z "$PLIMO_WINE_SKIP" ]; then hosts="$hosts windows"; else echo "NOTE: $PLIMO_WINE_SKIP"; fi
else
  echo "NOTE: no Windows plimo-pack ($win)"
fi
[ -n "$hosts" ] || { echo "skipped: no plimo-pack of another host to compare"; exit 77; }

# Runs a plimo-pack of HOST in the work folder with relative paths, which
# every host reads alike; output in HOST.out.
pack() {
  host=$1; shift
  case $host in
    reference) (cd "$work" && "$ref" "$@") >"$work/$host.out" 2>&1 ;;
    aarch64) (cd "$work" && qemu-aarch64-static "$arm" "$@") >"$work/$host.out" 2>&1 ;;
    windows) (cd "$work" && $WINE "$win" "$@") </dev/null >"$work/$host.out" 2>&1 9>&- ;;
  esac
}

# The demo project as it is, beside copies of its files.
mkdir -p "$work/demo"
cp "$src/demo/demo.toml" "$work/demo/"
if [ -f "$src/demo/demo.jar" ] && [ -f "$src/demo/demo-icon.png" ]; then
  cp "$src/demo/demo.jar" "$src/demo/demo-icon.png" "$work/demo/"
else
  fail "the demo's jar and icon are not built (scripts/build.sh makes them)"
fi
# A branded Japanese project.
mkdir -p "$work/ja"
cp "$src/demo/demo-icon.png" "$work/ja/icon.png" 2>/dev/null
cp "$src/demo/demo.jar" "$work/ja/アプリ.jar" 2>/dev/null
cat >"$work/ja/project.toml" <<'TOML'
code_page = "cp932"
payload = ["アプリ.jar"]
[launch]
main_class = "demo.HelloWindow"
vm_parameters = "-Dtitle=日本語のテキスト"
program_arguments = "ｶﾀｶﾅ ①"
[messages]
no_jvm = "Java が見つかりません。インストールしてください。"
error_caption = "セットアップのエラー"
caption = "セットアップ 😀"
[branding]
icon = "icon.png"
product_name = "サンプル製品"
product_version = "2.1"
company = "例の会社"
TOML
# A bundled runtime (x64 PE files standing in for java.exe and jvm.dll):
# packed as jre.tar.gz by each host's own file reading. Windows marks .exe and
# .dll files executable by name, Linux by mode, so the modes here agree.
mkdir -p "$work/rt/runtime/bin/server" "$work/rt/runtime/lib"
cp "$stub64" "$work/rt/runtime/bin/java.exe" && cp "$stub64" "$work/rt/runtime/bin/server/jvm.dll"
chmod 755 "$work/rt/runtime/bin/java.exe" "$work/rt/runtime/bin/server/jvm.dll"
head -c 100000 /dev/urandom >"$work/rt/runtime/lib/modules"
chmod 644 "$work/rt/runtime/lib/modules"
printf 'payload = []\n[launch]\nmain_class = "a.B"\n[runtime]\nbundle = "runtime"\n' >"$work/rt/project.toml"

# A narrow text code page 932 cannot hold (the euro sign), and a code page
# name that has no Windows number: refused on every host.
sed 's/^no_jvm = .*/no_jvm = "10 €"/' "$work/ja/project.toml" >"$work/ja/no-euro.toml"
printf 'code_page = "EUC-JP"\npayload = []\n[launch]\nmain_class = "a.B"\n' >"$work/ja/euc.toml"

for arch in x86 x64; do
  projects="demo/demo.toml ja/project.toml"
  [ $arch = x64 ] && projects="$projects rt/project.toml"
  for project in $projects; do
    name=$(echo "$project" | tr / -)-$arch.exe
    pack reference build "$project" -o "reference-$name" --arch $arch --stub plimo-$arch.exe \
      || { cat "$work/reference.out"; fail "reference: $project $arch"; continue; }
    for host in $hosts; do
      pack $host build "$project" -o "$host-$name" --arch $arch --stub plimo-$arch.exe \
        || { cat "$work/$host.out"; fail "$host: $project $arch does not build"; continue; }
      cmp "$work/reference-$name" "$work/$host-$name" || fail "$host: $project $arch differs from the reference"
    done
  done
done
# A build over an existing installer replaces it (Windows' rename does not).
for host in $hosts; do
  pack $host build ja/project.toml -o "$host-ja-project.toml-x64.exe" --arch x64 --stub plimo-x64.exe \
    || { cat "$work/$host.out"; fail "$host: a build over an existing installer"; }
done
# init writes the same starter project (line ends aside) and never replaces it.
pack reference init init-reference || fail "reference: init"
for host in $hosts; do
  pack $host init init-$host || { cat "$work/$host.out"; fail "$host: init"; }
  tr -d '\r' <"$work/init-$host/plimo.toml" | cmp -s - "$work/init-reference/plimo.toml" \
    || fail "$host: init writes another starter project"
  pack $host init init-$host
  [ $? = 2 ] || fail "$host: init replaces an existing plimo.toml"
done
# inspect reads narrow values back through the same conversion: the same
# listing on every host, bytes that are not valid cp932 (a windows-1252 "é "
# read as cp932) shown as hex alike.
printf 'payload = []\n[launch]\nmain_class = "a.B"\nvm_parameters = "-Dx=caf\303\251 au lait"\n' >"$work/ja/latin.toml"
pack reference build ja/latin.toml -o latin.exe --arch x64 --stub plimo-x64.exe || fail "reference: ja/latin.toml"
for installer in latin.exe reference-ja-project.toml-x64.exe; do
  pack reference inspect $installer --json --code-page cp932
  tr -d '\r' <"$work/reference.out" >"$work/reference.json"
  grep -q value_hex "$work/reference.json" || [ $installer != latin.exe ] || fail "reference: no value_hex for invalid cp932"
  for host in $hosts; do
    pack $host inspect $installer --json --code-page cp932 || fail "$host: inspect $installer"
    tr -d '\r' <"$work/$host.out" | cmp -s - "$work/reference.json" || fail "$host: inspect $installer differs from the reference"
  done
done
for bad in ja/no-euro.toml ja/euc.toml; do
  pack reference build $bad -o refused.exe --stub plimo-x64.exe
  expected=$?
  [ $expected = 2 ] || fail "reference: $bad is not refused (exit code $expected)"
  for host in $hosts; do
    pack $host build $bad -o refused.exe --stub plimo-x64.exe
    status=$?
    [ $status = $expected ] || { cat "$work/$host.out"; fail "$host: $bad ends with $status, the reference with $expected"; }
  done
  [ -e "$work/refused.exe" ] && fail "$bad: an installer was written"
done
[ $failures -eq 0 ] && echo "the same installers and refusals on:$hosts"
[ $failures -eq 0 ]
