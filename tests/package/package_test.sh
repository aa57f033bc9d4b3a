#!/usr/bin/env bash
# The Debian package as a user gets it: built by cpack from this build tree, it holds the program
# with its sounds and help, the desktop entry and icon, the manual page, the command in /usr/bin
# and the XDG autostart entry; Depends come from the shared libraries and the pulse backend of libcanberra is
# recommended. Installed with dpkg into a scratch root, its maintainer script grants the port, and
# the installed program, started as an ordinary user in a network namespace of the test's own,
# listens on port 243. Removing and purging leave nothing behind. Steps that need root (dpkg's
# install, setcap, the namespace) are skipped (77) without it.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../desktop/desktop_lib.sh"

pv_need cpack dpkg dpkg-deb dpkg-shlibdeps ip ss nc setpriv getcap timeout
build=${PELLAVINE_BUILD_DIR:-}
[[ -f $build/CPackConfig.cmake && -x $build/bin/pellavine ]] || pv_die "no built tree at \"$build\""

work=$(mktemp -d /tmp/pv-package.XXXXXX)
chmod 755 "$work" # the installed program runs as another user
ns=
cleanup() {
    pv_kill_all
    [[ -n $ns ]] && ip netns delete "$ns" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
finish() {
    ((PV_FAILURES > 0)) && { echo "$PV_FAILURES check(s) failed"; exit 1; }
    echo "package test passed"
    exit 0
}

pv_note "package"
cpack --config "$build/CPackConfig.cmake" -B "$work/pkg" >"$work/cpack.log" 2>&1 ||
    pv_die "cpack failed: $(tail -n5 "$work/cpack.log")"
deb=$(compgen -G "$work/pkg/pellavine_*.deb" | head -n1)
[[ -n $deb ]] || pv_die "cpack made no .deb: $(tail -n5 "$work/cpack.log")"
pv_note "$(basename "$deb")"

contents=$(dpkg-deb -c "$deb" | awk '{ $1 = $2 = $3 = $4 = $5 = ""; sub(/^ +/, ""); print }')
home=usr/lib/pellavine
for entry in "./$home/pellavine" "./$home/Send.wav" "./$home/Wnd.wav" "./$home/Msg.wav" "./$home/help.htm" \
    "./usr/bin/pellavine -> ../lib/pellavine/pellavine" "./usr/share/applications/pellavine.desktop" \
    "./usr/share/icons/hicolor/scalable/apps/pellavine.svg" "./usr/share/man/man1/pellavine.1" \
    "./etc/xdg/autostart/pellavine.desktop -> ../../../usr/share/applications/pellavine.desktop"; do
    grep -qxF -- "$entry" <<<"$contents" || pv_fail "the package lacks $entry"
done
depends=$(dpkg-deb -f "$deb" Depends)
for dep in libqt6widgets6 libcanberra0 libcap2-bin; do
    [[ $depends == *"$dep"* ]] || pv_fail "Depends lacks $dep: $depends"
done
[[ $(dpkg-deb -f "$deb" Recommends) == *libcanberra-pulse* ]] || pv_fail "the pulse backend of libcanberra is not recommended"
dpkg-deb -e "$deb" "$work/control"
[[ -x $work/control/postinst ]] && grep -q "setcap cap_net_bind_service=+ep" "$work/control/postinst" ||
    pv_fail "no maintainer script grants the port"
[[ ! -s $work/control/conffiles ]] || pv_fail "the package has conffiles, which stay after removal: $(cat "$work/control/conffiles")"

# The autostart entry as a session reads it: systemd's XDG autostart generator (GNOME's and KDE's
# way) makes a unit that starts the program, and a user's own entry with Hidden=true (what the
# desktop's autostart settings write) turns it off.
generator=/usr/lib/systemd/user-generators/systemd-xdg-autostart-generator
if [[ -x $generator ]]; then
    unpacked=$work/unpacked
    dpkg-deb -x "$deb" "$unpacked"
    autostart_unit() {
        rm -rf "$work/units"
        mkdir -p "$work/units"
        PATH="$unpacked/usr/bin:$PATH" XDG_CONFIG_DIRS="$unpacked/etc/xdg" XDG_CONFIG_HOME="$work/user-config" \
            "$generator" "$work/units" "$work/units" "$work/units" 2>/dev/null
        cat "$work/units/app-pellavine@autostart.service" 2>/dev/null
    }
    autostart_unit | grep -qx "ExecStart=:$unpacked/usr/bin/pellavine" ||
        pv_fail "the session would not start the program: $(autostart_unit | grep Exec)"
    mkdir -p "$work/user-config/autostart"
    printf '[Desktop Entry]\nType=Application\nName=Pellavine\nExec=pellavine\nHidden=true\n' \
        >"$work/user-config/autostart/pellavine.desktop"
    [[ -z $(autostart_unit) ]] || pv_fail "a user's Hidden=true does not turn the autostart off"
else
    pv_note "no systemd XDG autostart generator: the autostart entry is only looked at"
fi

if (($(id -u) != 0)); then
    ((PV_FAILURES == 0)) || finish
    pv_skip "the package is right; installing it, setcap and the network namespace need root"
fi

pv_note "install into a scratch root"
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
dpkg_root() {
    dpkg --root="$root" --log="$work/dpkg.log" --force-depends --force-script-chrootless "$@" >>"$work/dpkg.out" 2>&1
}
dpkg_root -i "$deb" || pv_die "dpkg could not install the package: $(tail -n5 "$work/dpkg.out")"
program=$root/$home/pellavine
getcap "$program" | grep -q cap_net_bind_service || pv_fail "the installed program has no right to port 243: $(getcap "$program")"
autostart=$root/etc/xdg/autostart/pellavine.desktop
if [[ -f $autostart ]]; then
    grep -qx "Exec=pellavine" "$autostart" || pv_fail "the autostart entry does not start the program"
    grep -qx "Hidden=true" "$autostart" && pv_fail "the autostart entry is switched off"
else
    pv_fail "the autostart entry leads nowhere in the installed tree"
fi

pv_note "the installed program as an ordinary user"
getent passwd nobody >/dev/null && getent group nogroup >/dev/null || pv_die "no user nobody to run the program as"
ns=pv-package-$$
ip netns add "$ns" || pv_skip "cannot make a network namespace (ip netns add)"
ip -n "$ns" link set lo up
# Whatever the host allows, ports below 1024 are privileged in this namespace.
ip netns exec "$ns" sysctl -qw net.ipv4.ip_unprivileged_port_start=1024 ||
    pv_die "cannot make port 243 privileged in the namespace"
as_nobody() { setpriv --reuid=nobody --regid=nogroup --clear-groups "$@"; }
listening() { ip netns exec "$ns" ss -Hltn "sport = :243" | grep -q .; }
# The control: without the right, an ordinary user cannot listen there.
ip netns exec "$ns" timeout 1 setpriv --reuid=nobody --regid=nogroup --clear-groups nc -l 127.0.0.1 243 2>/dev/null
[[ $? == 124 ]] && pv_die "an ordinary user may listen on port 243 here: the check would prove nothing"

user=$work/user
mkdir -p "$user/run"
chmod 700 "$user/run"
pv_write_ini "$user/config/Pellavine/Pellavine.ini" "[config]" "sptime=300" "firststart=0"
chown -R nobody:nogroup "$user"
ip netns exec "$ns" setpriv --reuid=nobody --regid=nogroup --clear-groups env -i PATH="$PATH" HOME="$user" \
    XDG_CONFIG_HOME="$user/config" XDG_RUNTIME_DIR="$user/run" QT_QPA_PLATFORM=offscreen LANG=C.UTF-8 \
    "$root/usr/bin/pellavine" >"$work/program.log" 2>&1 &
pid=$!
PV_PIDS+=("$pid")
if pv_wait 15 listening; then
    [[ $(ps -o user= -p "$pid") == nobody ]] || pv_fail "the program runs as $(ps -o user= -p "$pid")"
    printf 'ping' | ip netns exec "$ns" nc -q1 127.0.0.1 243 || pv_fail "no connection to port 243"
else
    pv_fail "the installed program does not listen on port 243: $(tail -n5 "$work/program.log")"
fi
kill "$pid"
pv_wait_exit "$pid" 10 || pv_fail "the program did not end on SIGTERM"
[[ ${PV_EXIT_CODE:-} == 0 ]] || pv_fail "the program ended with status ${PV_EXIT_CODE:-?}"
PV_PIDS=()

pv_note "remove and purge"
leftovers() { find "$root" -path "$root/var/lib/dpkg" -prune -o ! -type d -print; }
dpkg_root -r pellavine || pv_fail "dpkg could not remove the package: $(tail -n5 "$work/dpkg.out")"
[[ -z $(leftovers) ]] || pv_fail "removing left: $(leftovers | tr '\n' ' ')"
dpkg_root -P pellavine || pv_fail "dpkg could not purge the package: $(tail -n5 "$work/dpkg.out")"
[[ -z $(leftovers) ]] || pv_fail "purging left: $(leftovers | tr '\n' ' ')"
[[ -z $(compgen -G "$root/var/lib/dpkg/info/pellavine.*") ]] || pv_fail "dpkg still knows files of the package"
[[ -z $(find "$root" -mindepth 1 -path "$root/var" -prune -o -print) ]] ||
    pv_fail "folders left: $(find "$root" -mindepth 1 -path "$root/var" -prune -o -print | tr '\n' ' ')"

finish
