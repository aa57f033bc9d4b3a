#!/usr/bin/env bash
# The Debian package as a user gets it: built by tools/package.sh (dpkg-buildpackage from debian/),
# it holds the program with its sounds, help and translations, the desktop entry and icon, the
# metainfo, the gzipped manual pages (English and Russian), the command in /usr/bin and the XDG
# autostart entry, a configuration file; Depends come from the shared libraries and the run-time
# helpers are recommended. lintian (the reference for what Debian expects) finds nothing to object
# to, appstreamcli accepts the metainfo.
# Installed with dpkg into a scratch root, its maintainer script grants the port, and the installed
# program, started as an ordinary user in a network namespace of the test's own, listens on port
# 243. Removing leaves only the autostart entry, which then starts nothing; purging leaves nothing.
# An administrator's removal of the autostart entry survives a reinstall and an upgrade, also from
# 1.2-1, where the entry was a link. Steps that need root (dpkg's install, setcap, the namespace)
# are skipped (77) without it.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../desktop/desktop_lib.sh"

pv_need dpkg-buildpackage dh dpkg dpkg-deb dpkg-shlibdeps lintian appstreamcli desktop-file-validate \
    ip ss nc setpriv getcap timeout

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
"$here/../../tools/package.sh" --no-deps --out "$work/pkg" >"$work/package.log" 2>&1 ||
    pv_die "tools/package.sh failed: $(tail -n20 "$work/package.log")"
deb=$(compgen -G "$work/pkg/pellavine_*_*.deb" | head -n1)
changes=$(compgen -G "$work/pkg/pellavine_*.changes" | head -n1)
[[ -n $deb && -n $changes ]] || pv_die "no .deb or .changes: $(tail -n5 "$work/package.log")"
pv_note "$(basename "$deb")"
version=$(dpkg-deb -f "$deb" Version)

contents=$(dpkg-deb -c "$deb" | awk '{ $1 = $2 = $3 = $4 = $5 = ""; sub(/^ +/, ""); print }')
home=usr/lib/pellavine
for entry in "./$home/pellavine" "./$home/Send.wav" "./$home/Wnd.wav" "./$home/Msg.wav" "./$home/help.htm" \
    "./$home/help.en.htm" "./$home/pellavine_en.qm" "./usr/share/man/ru/man1/pellavine.1.gz" \
    "./usr/bin/pellavine -> ../lib/pellavine/pellavine" "./usr/share/applications/pellavine.desktop" \
    "./usr/share/icons/hicolor/scalable/apps/pellavine.svg" "./usr/share/man/man1/pellavine.1.gz" \
    "./usr/share/metainfo/internal.pellavine.pellavine.metainfo.xml" \
    "./usr/share/doc/pellavine/copyright" "./usr/share/doc/pellavine/changelog.Debian.gz" \
    "./etc/xdg/autostart/pellavine.desktop"; do
    grep -qxF -- "$entry" <<<"$contents" || pv_fail "the package lacks $entry"
done
depends=$(dpkg-deb -f "$deb" Depends)
for dep in libqt6widgets6 libcanberra0 libcap2-bin; do
    [[ $depends == *"$dep"* ]] || pv_fail "Depends lacks $dep: $depends"
done
recommends=$(dpkg-deb -f "$deb" Recommends)
for rec in libcanberra-pulse qt6-wayland xdg-utils qt6-translations-l10n; do
    [[ $recommends == *"$rec"* ]] || pv_fail "Recommends lacks $rec: $recommends"
done
dpkg-deb -e "$deb" "$work/control"
[[ -x $work/control/postinst ]] && grep -q "setcap cap_net_bind_service=+ep" "$work/control/postinst" ||
    pv_fail "no maintainer script grants the port"
[[ $(cat "$work/control/conffiles" 2>/dev/null) == /etc/xdg/autostart/pellavine.desktop ]] ||
    pv_fail "the autostart entry is not the one configuration file: $(cat "$work/control/conffiles" 2>/dev/null)"

# lintian on everything the build made (source, program, debugging symbols): no error, warning or
# information left unexplained (debian/*lintian-overrides say why); pedantic and experimental
# remarks are shown only.
lintian --fail-on none -E -I -L +pedantic "$changes" >"$work/lintian.log" 2>"$work/lintian.err" ||
    pv_fail "lintian could not check the package: $(cat "$work/lintian.err")"
grep -E '^[EWI]: ' "$work/lintian.log" >&2 && pv_fail "lintian objects (above)"
grep -vE '^[EWI]: ' "$work/lintian.log" | sed 's/^/lintian: /'

unpacked=$work/unpacked
dpkg-deb -x "$deb" "$unpacked"
appstreamcli validate --no-net "$unpacked"/usr/share/metainfo/*.metainfo.xml >"$work/appstream.log" 2>&1 ||
    pv_fail "appstreamcli rejects the metainfo: $(cat "$work/appstream.log")"
for entry in usr/share/applications/pellavine.desktop etc/xdg/autostart/pellavine.desktop; do
    desktop-file-validate "$unpacked/$entry" || pv_fail "$entry is not a valid desktop entry"
done

# The autostart entry as a session reads it: systemd's XDG autostart generator (GNOME's and KDE's
# way) makes a unit that starts the program, and a user's own entry with Hidden=true (what the
# desktop's autostart settings write) turns it off; the entry left behind by a removal starts nothing.
generator=/usr/lib/systemd/user-generators/systemd-xdg-autostart-generator
autostart_unit() { # tree [user config]
    [[ -x $generator ]] || return 0
    rm -rf "$work/units"
    mkdir -p "$work/units"
    PATH="$1/usr/bin" XDG_CONFIG_DIRS="$1/etc/xdg" XDG_CONFIG_HOME="${2:-$work/no-config}" \
        "$generator" "$work/units" "$work/units" "$work/units" 2>/dev/null
    cat "$work/units/app-pellavine@autostart.service" 2>/dev/null
}
if [[ -x $generator ]]; then
    autostart_unit "$unpacked" | grep -qx "ExecStart=:$unpacked/usr/bin/pellavine" ||
        pv_fail "the session would not start the program: $(autostart_unit "$unpacked" | grep Exec)"
    mkdir -p "$work/user-config/autostart"
    printf '[Desktop Entry]\nType=Application\nName=Pellavine\nExec=pellavine\nHidden=true\n' \
        >"$work/user-config/autostart/pellavine.desktop"
    [[ -z $(autostart_unit "$unpacked" "$work/user-config") ]] || pv_fail "a user's Hidden=true does not turn the autostart off"
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

# The translation lies beside the program, which finds it there through the link in /usr/bin.
help=$(env -i PATH="$PATH" LANG=en_US.UTF-8 "$root/usr/bin/pellavine" --help 2>&1 | head -n1)
[[ $help == "Usage:" ]] || pv_fail "the installed program's --help is not English under en_US: $help"

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
purged() {
    dpkg_root -P pellavine || pv_fail "dpkg could not purge the package: $(tail -n5 "$work/dpkg.out")"
    [[ -z $(leftovers) ]] || pv_fail "purging left: $(leftovers | tr '\n' ' ')"
    [[ -z $(compgen -G "$root/var/lib/dpkg/info/pellavine.*") ]] || pv_fail "dpkg still knows files of the package"
    [[ -z $(find "$root" -mindepth 1 -path "$root/var" -prune -o -print) ]] ||
        pv_fail "folders left: $(find "$root" -mindepth 1 -path "$root/var" -prune -o -print | tr '\n' ' ')"
}
dpkg_root -r pellavine || pv_fail "dpkg could not remove the package: $(tail -n5 "$work/dpkg.out")"
# A configuration file stays until the purge; without the program it must start nothing.
[[ $(leftovers) == "$autostart" ]] || pv_fail "removing left: $(leftovers | tr '\n' ' ')"
[[ -z $(autostart_unit "$root") ]] || pv_fail "the entry a removal leaves behind would still start the program"
purged

pv_note "an administrator's removal of the autostart entry survives a reinstall and an upgrade"
dpkg_root -i "$deb" || pv_die "dpkg could not install the package again: $(tail -n5 "$work/dpkg.out")"
rm "$autostart"
dpkg-deb -R "$deb" "$work/bumped"
sed -i "s/^Version: .*/Version: $version+1/" "$work/bumped/DEBIAN/control"
dpkg-deb --root-owner-group -b "$work/bumped" "$work/bumped.deb" >/dev/null || pv_die "cannot make a newer version"
for next in "$deb" "$work/bumped.deb"; do
    dpkg_root -i "$next" || pv_fail "dpkg could not install $(dpkg-deb -f "$next" Version): $(tail -n5 "$work/dpkg.out")"
    [[ ! -e $autostart ]] || pv_fail "installing $(dpkg-deb -f "$next" Version) over it brought the autostart entry back"
    getcap "$program" | grep -q cap_net_bind_service || pv_fail "$(dpkg-deb -f "$next" Version) has no right to port 243"
done
[[ $(dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${Version}' pellavine) == "$version+1" ]] ||
    pv_fail "the upgrade did not happen"
purged

# Up to 1.2-1 the autostart entry was a link, an ordinary file of the package: upgraded from such a
# package (this one made so), the entry becomes the configuration file, or stays away where an
# administrator had removed the link; a purge then leaves nothing either way.
pv_note "upgrade from the autostart link of 1.2-1"
dpkg-deb -R "$deb" "$work/linked"
rm "$work/linked/DEBIAN/conffiles" "$work/linked/DEBIAN/preinst" "$work/linked/DEBIAN/postrm"
ln -sf ../../../usr/share/applications/pellavine.desktop "$work/linked/etc/xdg/autostart/pellavine.desktop"
sed -i "s/^Version: .*/Version: 1.2-1/" "$work/linked/DEBIAN/control"
dpkg-deb --root-owner-group -b "$work/linked" "$work/linked.deb" >/dev/null || pv_die "cannot make the linked version"
for admin_removed in no yes; do
    dpkg_root -i "$work/linked.deb" || pv_die "dpkg could not install 1.2-1: $(tail -n5 "$work/dpkg.out")"
    [[ $admin_removed == yes ]] && rm "$autostart"
    dpkg_root -i "$deb" || pv_fail "dpkg could not upgrade from 1.2-1: $(tail -n5 "$work/dpkg.out")"
    if [[ $admin_removed == yes ]]; then
        [[ ! -e $autostart && ! -L $autostart ]] || pv_fail "the upgrade from 1.2-1 brought back the removed autostart entry"
        dpkg_root -i "$work/bumped.deb" || pv_fail "dpkg could not upgrade once more: $(tail -n5 "$work/dpkg.out")"
        [[ ! -e $autostart ]] || pv_fail "the second upgrade brought back the removed autostart entry"
    else
        [[ -f $autostart && ! -L $autostart ]] || pv_fail "after the upgrade from 1.2-1 the autostart entry is no file of its own"
    fi
    [[ -z $(compgen -G "$autostart.*") ]] || pv_fail "the upgrade from 1.2-1 left $(compgen -G "$autostart.*")"
    purged
done

finish
