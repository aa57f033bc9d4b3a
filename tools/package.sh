#!/usr/bin/env bash
# Installs what is missing, builds and makes the Debian package (build/package/pellavine_*.deb).
# Install it with  sudo apt install ./build/package/pellavine_*.deb
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PELLAVINE_BUILD_DIR:-$root/build}
"$root/tools/install-deps.sh"
"$root/tools/build.sh"
cpack --config "$build/CPackConfig.cmake" -B "$build/package" >/dev/null
ls "$build"/package/pellavine_*.deb
