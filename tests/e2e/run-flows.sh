#!/bin/sh
# Builds the installers of the whole-launcher flows with plimo-pack, serves a
# runtime archive over HTTP for the download flow, and runs the Windows driver
# e2e_wintests on them under Wine.
# Usage: run-flows.sh PLIMO_PACK BIN_DIR WINE_RUN WORK_DIR GTEST_FILTER [LOCALE CODE_PAGE]
# With LOCALE the Windows programs run with LC_ALL=LOCALE, from which Wine
# takes the ANSI code page; the flows check that it is CODE_PAGE.
# Exit code 77 (skipped) when plimo-pack or the runtime doubles are not built.
set -u
pack=$1 bin=$2 wine_run=$3 work=$4 filter=$5 locale=${6:-} page=${7:-}
"$wine_run" --can-run || exit $?
if [ ! -x "$pack" ]; then
  echo "skipped: no native plimo-pack at $pack (scripts/build.sh builds it)"
  exit 77
fi
if [ ! -f "$bin/java-double.exe" ] || [ ! -f "$bin/jvm.dll" ] || [ ! -f "$bin/e2e_wintests.exe" ]; then
  echo "skipped: the runtime doubles or e2e_wintests are not built in $bin"
  exit 77
fi
# Without the locale Wine still picks its code page but cannot open Unix file
# names outside ASCII, and every flow in such a folder fails for that alone.
if [ -n "$locale" ] && ! LC_ALL=$locale locale charmap 2>/dev/null | grep -q UTF-8; then
  echo "the locale $locale is not generated on this machine (scripts/setup.sh generates it)"
  exit 1
fi
# Whether the filter runs one of the named flows (the whole set runs all).
wants() {
  case "$filter" in Flow.\*-*) return 0 ;; esac
  for flow; do
    case "$filter" in *"$flow"*) return 0 ;; esac
  done
  return 1
}
if [ -f "$bin/plimo-x64.exe" ]; then arch=x64; else arch=x86; fi
stub=$bin/plimo-$arch.exe
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1

# A runtime of the doubles to carry along, and one that cannot run.
mkdir -p runtime/bin/server broken/bin/server
cp "$bin/java-double.exe" runtime/bin/java.exe
printf 'java version "17.0.99"\r\nDouble Runtime Environment\r\n' > runtime/bin/java.exe.stderr
cp "$bin/jvm.dll" runtime/bin/server/jvm.dll
# The broken one has what plimo-pack checks (a java.exe and a jvm.dll of the
# stub's processor), but its java.exe prints no version: the launcher finds
# no usable runtime in it.
cp "$bin/java-double.exe" broken/bin/java.exe
cp "$bin/jvm.dll" broken/bin/server/jvm.dll
# A jar that holds the main class the installers name.
python3 -c 'import zipfile; z = zipfile.ZipFile("app.jar", "w"); z.writestr("e2e/Main.class", b"\xca\xfe\xba\xbe"); z.close()' || exit 1
printf 'notes' > notes.txt

# project NAME TYPE KIND SEARCH [RUNTIME_LINES]
project() {
  cat > "$1.toml" <<TOML
payload = ["app.jar", "notes.txt"]
[launch]
main_class = "e2e.Main"
application_type = "$2"
launcher_kind = "$3"
[runtime]
search_sequence = [$4]
$5
[messages]
error_caption = "E2E error"
no_jvm = "E2E-NO-JVM"
jvm_at_path_damaged = "E2E-NO-JVM at %DEFINED_PATH%"
jvm_not_started = "E2E-1005 no virtual machine"
main_class_not_found = "E2E-1010 main class missing"
[wide_messages]
no_window = "E2E-20014 no window"
runtime_wrong_processor = "E2E-20017 other processor"
TOML
  "$pack" build "$1.toml" -o "$1.exe" --stub "$stub" --arch "$arch" >"$1.build.txt" 2>&1 ||
    { echo "plimo-pack could not build $1:"; cat "$1.build.txt"; exit 1; }
}
registryFirst='"Y", "EJAVA_HOME", "EJDK_HOME"'
project search-installer gui installer "$registryFirst" ""
project search-application gui application "$registryFirst" ""
project search-console console installer "$registryFirst" ""
project bundle gui installer "$registryFirst" 'bundle = "runtime"'
project bundle-broken console installer "$registryFirst" 'bundle = "broken"'

# console_project NAME PAYLOAD: a console installer with its own payload list.
console_project() {
  cat > "$1.toml" <<TOML
payload = [$2]
[launch]
main_class = "e2e.Main"
application_type = "console"
[runtime]
search_sequence = [$registryFirst]
TOML
  "$pack" build "$1.toml" -o "$1.exe" --stub "$stub" --arch "$arch" >"$1.build.txt" 2>&1 ||
    { echo "plimo-pack could not build $1:"; cat "$1.build.txt"; exit 1; }
}

# Without payload: the launcher has no temporary directory until it needs
# one. The bundled runtime's archive is what a browser might leave in the
# folder such an installer is started from.
console_project no-payload ''
mkdir bundle-files && "$pack" extract bundle.exe -d bundle-files >/dev/null &&
  cp bundle-files/jre.tar.gz served-runtime.tar.gz || exit 1

# A payload file large enough that the dialog can be closed while it is
# being written.
if wants ProgressBar Close; then
  head -c 300000000 /dev/zero > big.bin || exit 1
  console_project big-payload '"big.bin", "app.jar"'
  rm -f big.bin
fi

# A Japanese installer: its narrow texts are in code page 932.
cat > japanese.toml <<TOML
code_page = "cp932"
payload = ["app.jar", "notes.txt"]
[launch]
main_class = "e2e.Main"
[runtime]
search_sequence = [$registryFirst]
[messages]
error_caption = "エラー"
main_class_not_found = "メインクラスが見つかりません"
[wide_messages]
caption = "アクメ セットアップ 📦"
TOML
"$pack" build japanese.toml -o japanese.exe --stub "$stub" --arch "$arch" >japanese.build.txt 2>&1 ||
  { echo "plimo-pack could not build japanese:"; cat japanese.build.txt; exit 1; }

# An installer that hands the VM its own folder (%PLIMO_EXEDIR%, quoted: the
# folder may hold a blank), for the flows in folders named in other scripts.
cat > paths.toml <<TOML
payload = ["app.jar", "notes.txt"]
[launch]
main_class = "e2e.Main"
application_type = "gui"
launcher_kind = "installer"
vm_parameters = '"-De2e.exeDir=%PLIMO_EXEDIR%"'
[runtime]
search_sequence = [$registryFirst]
TOML
"$pack" build paths.toml -o paths.exe --stub "$stub" --arch "$arch" >paths.build.txt 2>&1 ||
  { echo "plimo-pack could not build paths:"; cat paths.build.txt; exit 1; }

# A bundled runtime with a large file, so that the dialog can be closed while
# the archive is being unpacked.
if wants Close; then
  mkdir big-runtime && cp -r runtime/bin big-runtime/ && head -c 400000000 /dev/zero > big-runtime/big.bin || exit 1
  project bundle-big console installer "$registryFirst" 'bundle = "big-runtime"'
  rm -rf big-runtime
fi

# A runtime archive cut off midway (inside an entry), carried as the payload
# file the launcher unpacks.
tar -cf runtime.tar -C runtime . && head -c 5000 runtime.tar > cut.tar || exit 1
console_project bundle-cut '"app.jar", "notes.txt", { source = "cut.tar", name = "jre.tar.gz" }'

# The download flow's server: the bundled archive, on a free port of
# 127.0.0.1, ending by itself at the latest when this test's time is up.
server= slowServer=
case "$filter" in
  *Download*|*Close*|Flow.\*-*)
    mkdir served && "$pack" extract bundle.exe -d served >/dev/null || exit 1
    timeout 600 python3 -u -m http.server 0 --bind 127.0.0.1 --directory served </dev/null >http.log 2>&1 &
    server=$!
    i=0
    while ! grep -q 'port [0-9]' http.log 2>/dev/null && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
    port=$(sed -n 's/.* port \([0-9][0-9]*\).*/\1/p' http.log | head -n 1)
    if [ -z "$port" ]; then echo "the HTTP server did not start:"; cat http.log; kill "$server"; exit 1; fi
    # Pinned by the digest of the very archive served: the download is checked
    # end to end.
    project download gui installer '"EPLIMO_E2E_NOTHING"' "download_url = \"http://127.0.0.1:$port/jre.tar.gz\"
download_archive = \"served/jre.tar.gz\""
    sed 's/^payload = .*/payload = []/' download.toml > download-no-payload.toml &&
      "$pack" build download-no-payload.toml -o download-no-payload.exe --stub "$stub" --arch "$arch" \
        >download-no-payload.build.txt 2>&1 ||
      { echo "plimo-pack could not build download-no-payload:"; cat download-no-payload.build.txt; exit 1; }
    # A download that arrives slowly (64 KiB every 50 ms of 200 MB), from the
    # download tests' server; it never completes, so any digest does.
    python3 "$(dirname "$0")/../provision/http_server.py" --port-file slow.port --lifetime 600 \
      </dev/null >slow.log 2>&1 &
    slowServer=$!
    i=0
    while [ ! -s slow.port ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
    [ -s slow.port ] || { echo "the slow HTTP server did not start:"; cat slow.log; kill "$server" "$slowServer"; exit 1; }
    project download-slow gui installer '"EPLIMO_E2E_NOTHING"' "download_url = \"http://127.0.0.1:$(cat slow.port)/slow/jre.tar.gz?size=200000000&chunk=65536&delay=50\"
download_sha256 = \"$(printf '%064d' 0)\""
    ;;
esac

export PLIMO_E2E_DIR="Z:$(echo "$work" | tr / '\\')"
export PLIMO_E2E_ANSI_CODE_PAGE="$page"
[ -n "$locale" ] && export LC_ALL="$locale"
cd "$bin" && "$wine_run" "$bin/e2e_wintests.exe" --gtest_filter="$filter" </dev/null
rc=$?
for pid in $server $slowServer; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
exit $rc
