#!/usr/bin/env bash
# Installs what the build and the tests need on a fresh Debian 12 machine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo dpkg --add-architecture i386
$sudo apt-get update -qq
grep -v '^#' "$root/scripts/packages.txt" | xargs $sudo apt-get install -y -qq --no-install-recommends >/dev/null
echo "packages installed"
