#!/usr/bin/env bash
# Runs a command inside a private X session: Xvfb plus icewm (a window manager with a tray),
# e.g. to try the program by hand:  tools/desktop-session.sh build/bin/pellavine
# Exits 77 (skipped) where no X server can be started.
set -uo pipefail
command -v Xvfb >/dev/null || { echo "Xvfb is not installed: skipped"; exit 77; }

dir=$(mktemp -d)
trap 'kill $wm $xvfb 2>/dev/null; wait 2>/dev/null; rm -rf "$dir"' EXIT
exec 3>"$dir/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$dir/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do [[ -s "$dir/display" ]] && break; sleep 0.05; done
[[ -s "$dir/display" ]] || { echo "Xvfb did not start: skipped"; cat "$dir/xvfb.log"; exit 77; }
export DISPLAY=":$(head -n1 "$dir/display")"
export XDG_RUNTIME_DIR=${PELLAVINE_RUNTIME_DIR:-$dir/run}
mkdir -p "$XDG_RUNTIME_DIR"; chmod 700 "$XDG_RUNTIME_DIR"
wm=
if command -v icewm >/dev/null; then
    HOME=$dir icewm >"$dir/wm.log" 2>&1 &
    wm=$!
    sleep 1
fi
"$@"
