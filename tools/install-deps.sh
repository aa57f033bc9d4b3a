#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs; does nothing when they are all there.
#   tools/install-deps.sh          build and run the program
#   tools/install-deps.sh --package  also what builds the Debian package (debhelper)
#   tools/install-deps.sh --tests  also what the test suite uses (Xvfb, sway, a tray host, xdotool,
#                                  clang and libFuzzer for the fuzzing harnesses, the package's
#                                  build and its checkers: lintian, appstreamcli, ...)
set -euo pipefail

packages=(build-essential cmake pkg-config qt6-base-dev qt6-svg-dev libqt6svg6 libcanberra-dev libxcb1-dev
          sound-theme-freedesktop fonts-liberation fonts-dejavu-core libcap2-bin qt6-wayland libcanberra-pulse
          qt6-tools-dev qt6-l10n-tools qt6-translations-l10n)
package=(debhelper dpkg-dev)
if [[ "${1:-}" == "--package" ]]; then
    packages+=("${package[@]}")
fi
if [[ "${1:-}" == "--tests" ]]; then
    packages+=("${package[@]}" lintian appstream desktop-file-utils
              xvfb xauth icewm xdotool socat netcat-openbsd iproute2 groff-base procps dbus-x11 x11-utils x11-xserver-utils xclip
              sway grim xwayland wtype jq mako-notifier pulseaudio pulseaudio-utils
              clang libclang-rt-14-dev at-spi2-core python3-pyatspi)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
if [[ $(id -u) -ne 0 ]]; then
    command -v sudo >/dev/null || { echo "Run as root or install sudo to add: ${missing[*]}" >&2; exit 1; }
    sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
