#!/bin/sh
# The README's quick start, run as it stands: the sh block under "## Quick
# start" is taken from README.md and run in a fresh folder, with plimo-pack
# and both stubs in a folder on PATH (as the quick start asks) and a
# throw-away signing certificate in a .pfx. Only the time stamp is taken out
# (-ts and its server): it needs the network, which the build machines lack.
# Usage: quickstart-test.sh PLIMO_PACK STUB_X86 STUB_X64 WORK_DIR
set -u
tool=$1 stub86=$2 stub64=$3 work=$4
src=$(cd "$(dirname "$0")/../.." && pwd)
absolute() { case $1 in /*) echo "$1" ;; *) echo "$PWD/$1" ;; esac; }
tool=$(absolute "$tool") stub86=$(absolute "$stub86") stub64=$(absolute "$stub64") work=$(absolute "$work")
[ -f "$stub86" ] || stub86=$src/dist/plimo-x86.exe
[ -f "$stub64" ] || stub64=$src/dist/plimo-x64.exe
for needed in javac jar openssl osslsigncode python3; do
  command -v $needed >/dev/null 2>&1 || { echo "skipped: $needed is not installed"; exit 77; }
done
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
rm -rf "$work" && mkdir -p "$work/bin" "$work/run/hello" && cd "$work" || exit 1

# What the author has: plimo-pack with its stubs beside it, on PATH.
cp "$tool" bin/plimo-pack && cp "$stub86" bin/plimo-x86.exe && cp "$stub64" bin/plimo-x64.exe || exit 1
PATH=$work/bin:$PATH
export PATH

# The author's certificate: a throw-away self-signed one, with its key in a
# password-protected .pfx and the password in a file, where step 4 finds them.
openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 \
  -subj "/CN=plimo quick-start test signer" \
  -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" 2>/dev/null \
  || { echo "openssl could not make a certificate"; exit 1; }
printf 'quick-start-%s\n' $$ > run/hello/pfx-password.txt
openssl pkcs12 -export -inkey key.pem -in cert.pem -out run/hello/signing.pfx \
  -passout file:run/hello/pfx-password.txt 2>/dev/null || { echo "openssl could not write the .pfx"; exit 1; }

# The commands, as the README shows them.
python3 - "$src/README.md" > quickstart.sh <<'PY' || { echo "no quick start block in README.md"; exit 1; }
import re, sys
text = open(sys.argv[1], encoding="utf-8").read()
section = text.split("\n## Quick start\n", 1)[1].split("\n## ", 1)[0]
block = re.search(r"```sh\n(.*?)```", section, re.S).group(1)
# The time stamp needs a server on the network.
block = re.sub(r"-ts \S+ ?", "", block)
assert "plimo-pack build" in block and "osslsigncode sign" in block and "plimo-pack inspect" in block
print("set -e\n" + block)
PY
echo "--- the quick start as run:"; cat quickstart.sh
(cd run && sh ../quickstart.sh) >out.txt 2>err.txt || fail "the quick start's commands failed: $(cat err.txt)"
echo "--- its output:"; cat out.txt err.txt

hello=run/hello
[ -f $hello/setup-signed.exe ] || fail "no setup-signed.exe"
grep -q 'warning' err.txt && fail "the quick start draws warnings"
grep -q '^wrote .*setup.exe (x64,' out.txt || fail "the build did not take the x64 stub"
grep -q 'app.jar' out.txt || fail "inspect lists no app.jar"
grep -q 'bytes follow the payload' out.txt || fail "inspect shows no signature after the payload"
grep -q '"com.example.Main"' out.txt || fail "inspect shows no main class com.example.Main"
osslsigncode verify -in $hello/setup-signed.exe -CAfile cert.pem >verify.log 2>&1 \
  && grep -q 'Signature verification: ok' verify.log || fail "the signed installer does not verify: $(cat verify.log)"
# The jar the quick start made holds the class the project names.
python3 -c 'import sys, zipfile; assert "com/example/Main.class" in zipfile.ZipFile(sys.argv[1]).namelist()' $hello/app.jar \
  || fail "app.jar lacks com/example/Main.class"

if [ $failures -ne 0 ]; then echo "$failures failure(s)"; exit 1; fi
echo "the README's quick start works as written"
