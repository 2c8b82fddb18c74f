#!/bin/sh
# Authors sign installers after building them. This signs a branded
# plimo-pack installer with a throw-away code-signing certificate, checks the
# signature with osslsigncode (and that it fails once the payload is
# touched), checks that inspect and extract still see the block, and runs the
# signed installer under Wine: it must read its block and write its payload
# files into its temporary directory.
# Usage: sign-test.sh PLIMO_PACK STUB WINEPREFIX WORK_DIR [x86|x64]
set -u
tool=$1 stub=$2 prefix=$3 work=$4 arch=${5:-x86}
src=$(cd "$(dirname "$0")/../.." && pwd)
absolute() { case $1 in /*) echo "$1" ;; *) echo "$PWD/$1" ;; esac; }
tool=$(absolute "$tool")
stub=$(absolute "$stub") prefix=$(absolute "$prefix") work=$(absolute "$work")
[ -f "$stub" ] || stub=$src/dist/plimo-$arch.exe
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1

marker="signed payload $$ $(date +%s)"
printf '%s\n' "$marker" > hello.txt
head -c 100000 /dev/urandom > data.bin
mkdir -p fakejre/bin/server && echo 'JAVA_VERSION="0"' > fakejre/release
# The build checks the runtime's java.exe and jvm.dll by their PE headers, so
# these are headers of the stub's processor and nothing more: Windows cannot
# start such a java.exe, its version probe fails, and the launcher reports
# that it found no runtime.
case $arch in x64) machine=8664 ;; *) machine=14c ;; esac
for f in fakejre/bin/java.exe fakejre/bin/server/jvm.dll; do
  python3 -c 'import struct, sys
open(sys.argv[1], "wb").write(b"MZ" + bytes(58) + struct.pack("<I", 64) + b"PE\0\0" + struct.pack("<HH", int(sys.argv[2], 16), 0) + bytes(16))' "$f" $machine
done
# Branded too: the signature covers the rewritten resources.
python3 "$src/resources/make_icon.py" --png 64 icon.png
# Console type: messages go to standard error. The bundled "runtime" has no
# java.exe that runs, so after unpacking it the launcher finds no runtime,
# says so (message 1001) and ends by itself.
cat > project.toml <<'TOML'
payload = ["hello.txt", "data.bin"]
[launch]
main_class = "demo.Main"
application_type = "console"
[runtime]
bundle = "fakejre"
[messages]
no_jvm = "SIGNED-TEST: no runtime"
[branding]
icon = "icon.png"
product_name = "Signing test"
product_version = "3.2.1"
execution_level = "asInvoker"
TOML
"$tool" build project.toml -o setup.exe --stub "$stub" --arch "$arch" >/dev/null || { echo "build failed"; exit 1; }

# --- sign --------------------------------------------------------------------
openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 \
  -subj "/CN=plimo throw-away test signer" \
  -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" 2>/dev/null \
  || { echo "openssl could not make a certificate"; exit 1; }
osslsigncode sign -certs cert.pem -key key.pem -n "plimo signing test" -h sha256 \
  -in setup.exe -out signed.exe >sign.log 2>&1 || { cat sign.log; echo "signing failed"; exit 1; }
cmp -s setup.exe signed.exe && fail "signing changed nothing"

# A self-signed certificate is its own root: verification needs it as CA file.
osslsigncode verify -in signed.exe -CAfile cert.pem >verify.log 2>&1 || fail "verify with the certificate as CA: $(cat verify.log)"
grep -q 'Signature verification: ok' verify.log || fail "verify does not report 'Signature verification: ok'"
echo "--- osslsigncode verify (CA file = the throw-away certificate):"; grep -E 'verification|Number of verified' verify.log
# Without it the chain is not trusted: the check must be able to fail.
osslsigncode verify -in signed.exe >untrusted.log 2>&1 && fail "verify trusts a self-signed certificate without a CA file"
# Touch one payload byte: the signature covers the block.
python3 - <<'PY'
data = bytearray(open("signed.exe", "rb").read())
marker = bytes(b ^ 0xA7 for b in open("hello.txt", "rb").read())
at = data.find(marker)
assert at > 0, "scrambled payload not found"
data[at] ^= 1
open("tampered.exe", "wb").write(data)
PY
osslsigncode verify -in tampered.exe -CAfile cert.pem >tampered.log 2>&1 && fail "a changed payload still verifies"

# --- the block survives signing ---------------------------------------------------
"$tool" inspect signed.exe > inspect.txt || fail "inspect of the signed installer"
grep -q 'hello.txt' inspect.txt || fail "inspect lists no hello.txt"
grep -q 'bytes follow the payload' inspect.txt || fail "inspect sees no signature after the payload"
grep -q 'ProductName: "Signing test"' inspect.txt || fail "inspect shows no product name of the signed installer"
rm -rf x && "$tool" extract signed.exe -d x >/dev/null || fail "extract of the signed installer"
cmp -s x/hello.txt hello.txt && cmp -s x/data.bin data.bin || fail "extract of the signed installer differs"

# --- run the signed installer under Wine ---------------------------------------------
. "$src/cmake/wine-env.sh"
plimo_wine_env "$arch" "$prefix"
if [ -n "$PLIMO_WINE_SKIP" ]; then
  [ $failures -ne 0 ] && { echo "$failures failure(s)"; exit 1; }
  echo "skipped: running the signed installer: $PLIMO_WINE_SKIP"
  exit 77
fi
temp_root=$(find "$prefix/drive_c/users" -maxdepth 4 -type d -name Temp 2>/dev/null | head -n 1)
[ -n "$temp_root" ] || { echo "no Temp folder in $prefix"; exit 1; }
# The launcher removes its temporary folder when it ends after a message, so
# the payload may be gone before it is seen there; its trace tells as well.
trace=$work/trace.txt
export PLIMO_TRACE="Z:$(echo "$trace" | tr / '\\')"
run_installer() {
  rm -rf "$temp_root"/plm* "$trace"
  $WINE signed.exe </dev/null >wine-out.txt 2>wine-err.txt &
  pid=$!
  found=""
  i=0
  while [ $i -lt 60 ]; do
    for f in "$temp_root"/plm*_dir*/hello.txt; do
      [ -f "$f" ] && cmp -s "$f" hello.txt && [ -f "$(dirname "$f")/data.bin" ] && cmp -s "$(dirname "$f")/data.bin" data.bin && found=$f
    done
    [ -n "$found" ] && break
    kill -0 $pid 2>/dev/null || { sleep 1; for f in "$temp_root"/plm*_dir*/hello.txt; do [ -f "$f" ] && cmp -s "$f" hello.txt && found=$f; done; break; }
    sleep 1
    i=$((i + 1))
  done
  # Give the launcher a moment to reach its message, then end whatever still runs.
  j=0
  while kill -0 $pid 2>/dev/null && [ $j -lt 15 ]; do sleep 1; j=$((j + 1)); done
  if kill -0 $pid 2>/dev/null; then
    $WINESERVER -k </dev/null >/dev/null 2>&1
    echo "the installer was still running after $((i + j)) s; ended it"
  else
    wait $pid; echo "the installer ended by itself with exit code $?"
  fi
}
run_installer
# A Wine process that ends at once without running anything (seen now and
# then while another prefix is being created beside this one) gets one more try.
if [ -z "$found" ] && [ ! -s wine-err.txt ]; then
  echo "the installer ended without running; trying once more"
  run_installer
fi
echo "--- installer's standard error:"; cat wine-err.txt
# The text of message 1001 comes from the block: seeing it shows the block was read.
grep -q 'SIGNED-TEST: no runtime' wine-err.txt || fail "the installer did not show the block's message 1001 text"
if [ -n "$found" ]; then
  echo "signed installer extracted its payload: $found"
elif grep -q 'payload: 3 records into' "$trace" 2>/dev/null && grep -q 'archive: .* unpacked' "$trace"; then
  echo "signed installer extracted its payload (trace):"; grep -E '^.*(payload|archive):' "$trace"
else
  echo "--- trace:"; cat "$trace" 2>/dev/null
  fail "the signed installer did not write hello.txt and data.bin into a plm*_dir* folder under $temp_root"
fi
rm -rf "$temp_root"/plm*

if [ $failures -ne 0 ]; then echo "$failures failure(s)"; exit 1; fi
echo "signing checks passed"
