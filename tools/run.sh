#!/usr/bin/env bash
# Installs what is missing, builds, lets the program bind port 243 and starts it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PELLAVINE_BUILD_DIR:-$root/build}
"$root/tools/install-deps.sh"
"$root/tools/build.sh"
program="$build/bin/pellavine"

# Ports below 1024 need a capability; a rebuilt or copied binary loses it.
sudo=()
[[ $(id -u) -ne 0 ]] && command -v sudo >/dev/null && sudo=(sudo -n)
if ! "${sudo[@]}" setcap cap_net_bind_service=+ep "$program" 2>/dev/null; then
    echo "Note: could not let $program bind port 243 (setcap needs root)." >&2
    echo "      Run: sudo setcap cap_net_bind_service=+ep $program   or choose a port above 1023 in the settings." >&2
fi
exec "$program"
