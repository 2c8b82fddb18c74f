#!/bin/sh
# plimo-pack on the command line with the real stubs: exit codes, inspect
# --json and extract round trips (cp932 and windows-1252 narrow texts, wide
# texts outside the BMP, empty values), the same bytes for the same inputs,
# and a 200 MB payload under a memory limit well below its size.
# Usage: cli-test.sh PLIMO_PACK STUB_X86 STUB_X64 WORK_DIR
set -u
tool=$1 stub86=$2 stub64=$3 work=$4
src=$(cd "$(dirname "$0")/../.." && pwd)
absolute() { case $1 in /*) echo "$1" ;; *) echo "$PWD/$1" ;; esac; }
tool=$(absolute "$tool")
stub86=$(absolute "$stub86") stub64=$(absolute "$stub64") work=$(absolute "$work")
[ -f "$stub86" ] || stub86=$src/dist/plimo-x86.exe
[ -f "$stub64" ] || stub64=$src/dist/plimo-x64.exe
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1

head -c 300000 /dev/urandom > app.jar
printf 'one\r\ntwo\n' > params.txt

# --- round trip of texts and files through inspect --json and extract -------
for cp in cp932 windows-1252; do
  if [ $cp = cp932 ]; then text='日本語のテキスト ｶﾀｶﾅ ①'; else text='Café – naïve € œ'; fi
  cat > project.toml <<TOML
code_page = "$cp"
payload = ["app.jar", { source = "params.txt", name = "params-$cp.txt" }]
[launch]
main_class = "demo.Main"
vm_parameters = "-Dtitle=$text"
program_arguments = ""
[runtime]
search_sequence = ["EJAVA_HOME", "Y"]
max_version = ""
[messages]
no_jvm = "$text\r\nsecond line"
[wide_messages]
caption = "😀 𝄞 $text"
preparing = ""
TOML
  "$tool" build project.toml -o setup-$cp.exe --stub "$stub86" --arch x86 >out.txt 2>err.txt || fail "$cp: build: $(cat err.txt)"
  "$tool" inspect setup-$cp.exe --json --code-page $cp > inspect.json || fail "$cp: inspect"
  TEXT=$text CP=$cp python3 - inspect.json <<'PY' || fail "$cp: inspect --json does not return what went in"
import json, os, sys
d = json.load(open(sys.argv[1], encoding="utf-8"))
t = os.environ["TEXT"]
narrow = {e["id"]: e.get("value") for e in d["narrow"]}
wide = {e["id"]: e["value"] for e in d["wide"]}
expect = {123: "-Dtitle=" + t, 124: "", 127: "", 128: "EJAVA_HOME;Y;", 1001: t + "\r\nsecond line", 122: "demo.Main"}
for k, v in expect.items():
    assert narrow.get(k) == v, (k, narrow.get(k), v)
assert wide[20013] == "😀 𝄞 " + t, wide[20013]
assert wide[20007] == ""
assert set(range(1000, 1012)) <= set(narrow), "narrow messages missing"
assert set(range(20001, 20018)) == set(wide), "wide messages missing"
assert all(e["meaning"] for e in d["narrow"] + d["wide"])
payload = [(p["name"], p["size"]) for p in d["payload"]]
assert payload == [("app.jar", 300000), ("params-" + os.environ["CP"] + ".txt", 9)], payload
PY
  rm -rf x && "$tool" extract setup-$cp.exe -d x >/dev/null || fail "$cp: extract"
  cmp -s x/app.jar app.jar || fail "$cp: extracted app.jar differs"
  cmp -s x/params-$cp.txt params.txt || fail "$cp: extracted params differs"
  "$tool" inspect setup-$cp.exe --code-page $cp | grep -q "main class" || fail "$cp: text inspect lacks meanings"
done

# --- the same inputs give the same bytes ----------------------------------------
"$tool" build project.toml -o again.exe --stub "$stub86" 2>/dev/null || fail "second build"
cmp -s again.exe setup-windows-1252.exe || fail "two builds of the same project differ"

# --- x64 --------------------------------------------------------------------
"$tool" build project.toml -o setup64.exe --stub "$stub64" --arch x64 2>/dev/null || fail "x64 build"
"$tool" inspect setup64.exe | grep -q 'app.jar  300000 bytes' || fail "x64 inspect"
"$tool" build project.toml -o wrong.exe --stub "$stub64" --arch x86 2>/dev/null
[ $? -eq 2 ] && [ ! -e wrong.exe ] || fail "an x64 stub for --arch x86 is not refused"

# --- --version ------------------------------------------------------------------
version=$("$tool" --version) || fail "--version does not exit with 0"
echo "$version" | grep -qx 'plimo-pack [0-9][0-9]*\.[0-9][0-9]*\.[0-9][0-9]*' || fail "--version prints \"$version\""

# --- a bundled runtime unpacks with GNU tar as well, long names included ------------
long=$(printf 'n%.0s' $(seq 1 120))/$(printf 'm%.0s' $(seq 1 110)).jar
mkdir -p rt/bin/server "rt/$(dirname "$long")" && printf 'long' > "rt/$long"
# The build reads java.exe and jvm.dll as the launcher would: PE files of the stub's processor.
cp "$stub86" rt/bin/java.exe && cp "$stub86" rt/bin/server/jvm.dll
printf '[launch]\nmain_class = "a.B"\n[runtime]\nbundle = "rt"\n' > rt.toml
"$tool" build rt.toml -o rt.exe --stub "$stub86" >/dev/null 2>err.txt || fail "runtime build: $(cat err.txt)"
rm -rf rtx rtu && "$tool" extract rt.exe -d rtx >/dev/null && mkdir rtu && tar -xzf rtx/jre.tar.gz -C rtu 2>err.txt \
  || fail "GNU tar cannot unpack the runtime archive: $(cat err.txt)"
diff -r rt rtu >/dev/null || fail "the runtime unpacked by GNU tar differs from its source"

# --- init: a starter project that builds, never written over ------------------------
rm -rf starter && "$tool" init starter >/dev/null || fail "init"
# A jar (a zip file) that holds the starter's main class.
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1], "w").writestr("com/example/Main.class", "class")' starter/app.jar
"$tool" build starter/plimo.toml -o starter/setup.exe --stub "$stub64" >/dev/null 2>err.txt || fail "the starter project does not build: $(cat err.txt)"
[ -s err.txt ] && fail "the starter project draws warnings: $(cat err.txt)"
"$tool" init starter 2>/dev/null
[ $? -eq 2 ] || fail "init over an existing project does not exit with 2"

# --- invalid input: exit code 2, nothing written -----------------------------------
printf '[launch]\nmain_class = "a.B"\nmain_clas = "typo"\n' > bad.toml
"$tool" build bad.toml -o bad.exe --stub "$stub86" 2>err.txt
[ $? -eq 2 ] || fail "unknown key: exit code is not 2"
[ -e bad.exe ] && fail "unknown key: an installer was written"
grep -q 'unknown key "launch.main_clas"' err.txt || fail "unknown key not named: $(cat err.txt)"
ls -a | grep -q '^\.bad\.exe\.' && fail "a temporary file was left behind"
"$tool" build bad.toml 2>/dev/null
[ $? -eq 2 ] || fail "a missing -o is not a usage error with exit code 2"
"$tool" build missing.toml -o missing.exe --stub "$stub86" 2>err.txt
[ $? -eq 1 ] || fail "a missing project file does not exit with 1"
for file in params.txt "$stub86"; do
  "$tool" inspect "$file" >/dev/null 2>err.txt && fail "inspect of $file succeeded"
  grep -q 'is not a plimo installer (no data block found)' err.txt || fail "inspect of $file says: $(cat err.txt)"
done

# --- 200 MB payload, memory limited to about 100 MB ----------------------------------
dd if=/dev/urandom of=big.bin bs=1M count=200 status=none
printf 'payload = ["big.bin"]\n[launch]\nmain_class = "a.B"\n' > big.toml
( ulimit -v 100000; "$tool" build big.toml -o big.exe --stub "$stub86" ) >/dev/null 2>err.txt || fail "200 MB build: $(cat err.txt)"
( ulimit -v 100000; "$tool" inspect big.exe ) | grep -q 'big.bin  209715200 bytes' || fail "200 MB inspect"
rm -rf bigx
( ulimit -v 100000; "$tool" extract big.exe -d bigx ) >/dev/null 2>err.txt || fail "200 MB extract: $(cat err.txt)"
cmp -s bigx/big.bin big.bin || fail "200 MB payload differs after extract"
# The limit must be low enough to matter: a copy of the whole payload in memory fails under it.
( ulimit -v 100000; python3 -c 'open("big.bin","rb").read()' ) 2>/dev/null && fail "the memory limit does not bite"
rm -rf big.bin big.exe bigx

if [ $failures -ne 0 ]; then echo "$failures failure(s)"; exit 1; fi
echo "all plimo-pack command-line checks passed"
