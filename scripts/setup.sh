#!/usr/bin/env bash
# Installs what the build and the tests need on a fresh Debian 12 machine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo dpkg --add-architecture i386
# arm64: zlib for the aarch64 build of plimo-pack.
$sudo dpkg --add-architecture arm64
$sudo apt-get update -qq
grep -v '^#' "$root/scripts/packages.txt" | xargs $sudo apt-get install -y -qq --no-install-recommends >/dev/null
echo "packages installed"

# The locales under which the flows run Wine with the ANSI code pages 1251,
# 932, 936, 949, 950 and 65001. Without one, Wine still picks the code page but
# cannot open Unix file names outside ASCII.
for name in ru_RU ja_JP zh_CN ko_KR zh_TW hi_IN; do
  LC_ALL=$name.UTF-8 locale charmap 2>/dev/null | grep -q UTF-8 ||
    $sudo localedef -i "$name" -f UTF-8 "$name.UTF-8"
done
echo "locales generated"

# Check what was installed: a 64-bit Windows program under Wine, and whether
# this kernel runs 32-bit programs (Debian's wine needs them for x86 and starts
# through its 32-bit loader; without them the x64 tests use the 64-bit loader
# and the x86 tests under Wine are skipped).
check=$(mktemp -d /tmp/plimo-setup-check-XXXXXX)
trap 'WINEPREFIX="$check/prefix" wineserver -k >/dev/null 2>&1 || true; rm -rf "$check"' EXIT
python3 "$root/cmake/elf32-probe.py" "$check/elf32-probe"
runs32=0
status=0
"$check/elf32-probe" 2>/dev/null || status=$?
[ "$status" -eq 42 ] && runs32=1
out=$(PLIMO_HOST_RUNS_32BIT=$runs32 sh -c '
  . "$1/cmake/wine-env.sh"
  plimo_wine_env x64 "$2/prefix"
  timeout 300 $WINE cmd /c echo plimo-wine64-ok </dev/null 2>/dev/null 9>&-' run "$root" "$check" | tr -d '\r') || true
if [ "$out" = plimo-wine64-ok ]; then
  echo "Wine runs 64-bit Windows programs: yes"
else
  echo "Wine runs 64-bit Windows programs: NO (the x64 tests will fail; output: '$out')"
fi
if [ "$runs32" = 1 ]; then
  echo "This kernel runs 32-bit programs: yes (x86 and x64 tests run under Wine)"
else
  echo "This kernel runs 32-bit programs: no (32-bit emulation disabled; the x86 tests under Wine will be skipped)"
fi
