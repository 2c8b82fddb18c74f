#!/bin/sh
# Branded installers from the real stub, read back by readers that share no
# code with plimo-pack: icoutils (wrestool, icotool) on Linux, and under Wine
# the Windows API (branding-probe.exe: GetFileVersionInfoW, VerQueryValueW,
# LoadImageW of MAINICO). The icon, the version information and the manifest
# must be as the project says, the stub's dialogs unchanged, and the block
# still found after the grown resources.
# Two projects: a PNG icon with every version key and both manifest keys; an
# .ico of three images with only a product version, whose manifest must stay
# the stub's own byte for byte.
# Exit code 77 (skipped) for the Wine part where this machine cannot run
# ARCH, after the checks that need no Wine have passed.
# Usage: branding-test.sh ARCH PLIMO_PACK STUB PROBE WINEPREFIX WORK_DIR
set -u
arch=$1 tool=$2 stub=$3 probe=$4 prefix=$5 work=$6
src=$(cd "$(dirname "$0")/../.." && pwd)
absolute() { case $1 in /*) echo "$1" ;; *) echo "$PWD/$1" ;; esac; }
tool=$(absolute "$tool") stub=$(absolute "$stub") probe=$(absolute "$probe") prefix=$(absolute "$prefix") work=$(absolute "$work")
[ -f "$stub" ] || stub=$src/dist/plimo-$arch.exe
command -v wrestool >/dev/null || { echo "wrestool (icoutils) is not installed"; exit 1; }
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1

# Images of one colour each, so that the picture Windows loads shows which
# image it took: a 48-pixel PNG, and an .ico with 16- and 32-pixel bitmaps and
# a 256-pixel PNG.
python3 - <<'PY'
import struct, zlib

def png(side, rgba):
    rows = b''.join(b'\0' + bytes(rgba) * side for _ in range(side))
    chunk = lambda kind, data: struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', side, side, 8, 6, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(rows)) + chunk(b'IEND', b''))

def bitmap(side, rgba):
    r, g, b, a = rgba
    mask_row = ((side + 31) // 32) * 4
    return (struct.pack('<IiiHHIIiiII', 40, side, side * 2, 1, 32, 0, 0, 0, 0, 0, 0) +
            bytes((b, g, r, a)) * side * side + b'\0' * mask_row * side)

open('orange.png', 'wb').write(png(48, (255, 128, 0, 255)))
images = [(16, bitmap(16, (0, 0, 255, 255))), (32, bitmap(32, (0, 160, 0, 255))), (256, png(256, (200, 0, 200, 255)))]
ico = struct.pack('<HHH', 0, 1, len(images))
offset = 6 + 16 * len(images)
for side, data in images:
    ico += struct.pack('<BBBBHHII', side % 256, side % 256, 0, 0, 1, 32, len(data), offset)
    offset += len(data)
open('three.ico', 'wb').write(ico + b''.join(data for _, data in images))
PY
printf 'branded payload\n' > hello.txt
cat > png.toml <<'TOML'
payload = ["hello.txt"]
[launch]
main_class = "demo.Main"
[branding]
icon = "orange.png"
product_name = "Acme Päck ✓"
product_version = "4.5.6"
file_version = "4.5.6.7"
company = "Acme Ltd."
description = "Acme installer"
copyright = "© 2024 Acme"
original_file_name = "acme-setup.exe"
dpi_awareness = "per-monitor"
execution_level = "highestAvailable"
TOML
cat > ico.toml <<'TOML'
payload = ["hello.txt"]
[launch]
main_class = "demo.Main"
[branding]
icon = "three.ico"
product_version = "2.1"
TOML
for name in png ico; do
  "$tool" build $name.toml -o $name.exe --stub "$stub" --arch "$arch" >build-$name.log 2>&1 || { cat build-$name.log; echo "build of $name.toml failed"; exit 1; }
  "$tool" extract $name.exe -d out-$name >/dev/null && cmp -s out-$name/hello.txt hello.txt || fail "$name.exe: the payload does not come back out"
done

# --- icoutils -------------------------------------------------------------------
listing=$(wrestool -l png.exe)
echo "--- wrestool -l png.exe:"; echo "$listing"
for entry in "--type=14 --name='MAINICO'" "--type=16 --name=1 " "--type=24 --name=1 " "--type=5 --name=103 " "--type=5 --name=104 "; do
  echo "$listing" | grep -q -- "$entry" || fail "png.exe lists no resource $entry"
done
[ "$(echo "$listing" | grep -c -- '--type=3 ')" = 1 ] || fail "png.exe should hold exactly one icon image (the PNG)"
for dialog in 103 104; do
  wrestool -x --raw -t5 -n$dialog "$stub" > stub-$dialog.bin
  for name in png ico; do
    wrestool -x --raw -t5 -n$dialog $name.exe | cmp -s - stub-$dialog.bin || fail "$name.exe: dialog $dialog differs from the stub's"
  done
done
wrestool -x -t14 -n MAINICO png.exe > png-group.ico
[ "$(icotool -l png-group.ico)" = "--icon --index=1 --width=48 --height=48 --bit-depth=32 --palette-size=0" ] \
  || fail "png.exe: the icon group is not the one 48-pixel image: $(icotool -l png-group.ico)"
# wrestool writes the images after the directory in group order, as the
# source files have them (and pads the end).
tail -c +23 png-group.ico | cmp -s -n "$(wc -c < orange.png)" - orange.png || fail "png.exe: the icon image is not orange.png"
wrestool -x -t14 -n MAINICO ico.exe > ico-group.ico
cmp -s -n "$(wc -c < three.ico)" ico-group.ico three.ico || fail "ico.exe: the icon group is not three.ico"

wrestool -x --raw -t16 -n1 png.exe > version.bin
python3 - <<'PY' || fail "png.exe: version information"
import struct, sys
data = open('version.bin', 'rb').read()
fixed = data.find(struct.pack('<I', 0xFEEF04BD))
ms, ls, pms, pls = struct.unpack('<IIII', data[fixed + 8:fixed + 24])
problems = []
if (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF) != (4, 5, 6, 7): problems.append('file version %x %x' % (ms, ls))
if (pms >> 16, pms & 0xFFFF, pls >> 16, pls & 0xFFFF) != (4, 5, 6, 0): problems.append('product version %x %x' % (pms, pls))
for key, value in [('CompanyName', 'Acme Ltd.'), ('FileDescription', 'Acme installer'), ('FileVersion', '4.5.6.7'),
                   ('LegalCopyright', '\u00a9 2024 Acme'), ('OriginalFilename', 'acme-setup.exe'),
                   ('ProductName', 'Acme P\u00e4ck \u2713'), ('ProductVersion', '4.5.6'), ('040904B0', ''),
                   ('Translation', '')]:
    if (key + '\0').encode('utf-16le') not in data or (value + '\0').encode('utf-16le') not in data:
        problems.append(key)
if struct.pack('<HH', 0x0409, 1200) not in data: problems.append('translation 0409/1200')
print('version information:', ', '.join(problems) or 'as configured')
sys.exit(1 if problems else 0)
PY

wrestool -x --raw -t24 -n1 png.exe > png-manifest.xml
wrestool -x --raw -t24 -n1 "$stub" > stub-manifest.xml
manifest_arch=X86; [ "$arch" = x64 ] && manifest_arch=amd64
for text in '>true/pm</dpiAware>' '>PerMonitor</dpiAwareness>' 'level="highestAvailable"' \
            'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' "processorArchitecture=\"$manifest_arch\""; do
  grep -qF "$text" png-manifest.xml || fail "png.exe: the manifest lacks $text"
done
grep -qF '>PerMonitorV2, PerMonitor</dpiAwareness>' stub-manifest.xml || fail "the stub's own manifest is not per-monitor v2"
wrestool -x --raw -t24 -n1 ico.exe | cmp -s - stub-manifest.xml || fail "ico.exe: the manifest is not the stub's own"

# --- under Wine ------------------------------------------------------------------
. "$src/cmake/wine-env.sh"
plimo_wine_env "$arch" "$prefix"
if [ -n "$PLIMO_WINE_SKIP" ]; then
  [ $failures -ne 0 ] && { echo "$failures failure(s)"; exit 1; }
  echo "skipped: reading the resources under Wine: $PLIMO_WINE_SKIP"
  exit 77
fi
[ -f "$probe" ] || { echo "the probe $probe is not built"; exit 1; }
run_probe() {  # installer icon-size -> probe-<installer>-<size>.txt
  $WINE "$probe" "$1" "$2" </dev/null >"probe-$1-$2.txt" 2>"probe-$1-$2.err" || fail "branding-probe.exe $1 $2: $(cat "probe-$1-$2.txt")"
  tr -d '\r' < "probe-$1-$2.txt" > "probe-$1-$2.lines"
  echo "--- branding-probe.exe $1 $2:"; cat "probe-$1-$2.lines"
}
expect() {  # file line
  grep -qxF "$2" "$1" || fail "${1%%.lines}: expected the line \"$2\""
}
run_probe png.exe 48
for line in "signature feef04bd" "file-version 4.5.6.7" "product-version 4.5.6.0" "translation 0409 04b0" \
            "string CompanyName=Acme Ltd." "string FileDescription=Acme installer" "string FileVersion=4.5.6.7" \
            "string LegalCopyright=© 2024 Acme" "string OriginalFilename=acme-setup.exe" \
            "string ProductName=Acme Päck ✓" "string ProductVersion=4.5.6" \
            "dialog 103 yes" "dialog 104 yes" "manifest yes" "icon 48x48 rgb 255,128,0"; do
  expect probe-png.exe-48.lines "$line"
done
# Windows picks the image of the size asked for out of the group.
run_probe ico.exe 16
run_probe ico.exe 32
expect probe-ico.exe-16.lines "icon 16x16 rgb 0,0,255"
expect probe-ico.exe-32.lines "icon 32x32 rgb 0,160,0"
expect probe-ico.exe-32.lines "product-version 2.1.0.0"
expect probe-ico.exe-32.lines "string FileVersion=2.1"

if [ $failures -ne 0 ]; then echo "$failures failure(s)"; exit 1; fi
echo "the branded $arch installers read back as configured"
