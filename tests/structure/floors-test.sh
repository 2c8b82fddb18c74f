#!/bin/sh
# The product folders are floors: a file includes from its own folder and the
# floors below it only. Prints every include that points up; fails on one.
# Usage: sh tests/structure/floors-test.sh [source dir]
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
cd "$root" || exit 2
# Each folder, and the folders it must not include (those above it or beside
# it on its floor).
status=0
check() { # folder, pattern of forbidden folders
  hits=$(grep -rnE "^#include \"($2)/" "$1" 2>/dev/null)
  if [ -n "$hits" ]; then
    echo "$hits" | sed "s|^|up from $1: |"
    status=1
  fi
}
check block "launcher|provision|jvmlaunch|jvmsearch|base|tools"
check base "launcher|provision|jvmlaunch|jvmsearch|tools"
check jvmsearch "launcher|provision|jvmlaunch|tools"
check jvmlaunch "launcher|provision|tools"
check provision "launcher|jvmlaunch|tools"
check tools "launcher"
[ $status -eq 0 ] && echo "every include points down"
exit $status
