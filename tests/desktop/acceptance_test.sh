#!/usr/bin/env bash
# Two computers, "alpha" and "beta": two copies of the real program, each in its own network
# namespace (joined by a veth pair, 10.243.0.1 and 10.243.0.2, names from each namespace's own
# hosts file), with its own per-user folders and its own X display with icewm's tray. Driven as a
# person would with xdotool: alpha sends beta a message from the tray icon, beta reads it in the
# viewer and answers with "Ответить", alpha reads the answer; a script on alpha notifies both
# through the command line; both are shut down from the tray menu and their files are checked. Screenshots of each step: artifacts/acceptance/.
# Needs root (network namespaces); skipped (77) otherwise. The namespaces have no route but the
# veth between them, so nothing leaves this machine.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/desktop_lib.sh"

[[ $(id -u) == 0 ]] || pv_skip "network namespaces need root"
pv_need Xvfb xmodmap icewm icewmbg xdotool xwininfo xprop xclip iconv ip ss ps getent
pv_check_build

ns_a=pv-alpha-$$
ns_b=pv-beta-$$
veth_a=pva$$
veth_b=pvb$$
work=$(mktemp -d /tmp/pv-accept.XXXXXX)
shots=${PV_ARTIFACTS:-$work/artifacts}/acceptance
rm -rf "$shots"
mkdir -p "$shots"
netns_dir_made=
[[ -d /etc/netns ]] || netns_dir_made=1

cleanup() {
    pv_kill_all
    ip netns del "$ns_a" 2>/dev/null
    ip netns del "$ns_b" 2>/dev/null
    ip link del "$veth_a" 2>/dev/null
    rm -rf "/etc/netns/$ns_a" "/etc/netns/$ns_b"
    [[ -n $netns_dir_made ]] && rmdir /etc/netns 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# Namespaces left by a run that was killed outright (their PID is gone) are removed first.
for stale in $(ip netns list 2>/dev/null | awk '$1 ~ /^pv-(alpha|beta)-[0-9]+$/ { print $1 }'); do
    kill -0 "${stale##*-}" 2>/dev/null && continue
    ip netns del "$stale" 2>/dev/null
    rm -rf "/etc/netns/$stale"
done

# --- Two computers on one wire.
ip netns add "$ns_a" 2>"$work/netns.err" || pv_skip "cannot make network namespaces: $(cat "$work/netns.err")"
ip netns add "$ns_b" || pv_die "cannot make a second network namespace"
ip link add "$veth_a" type veth peer name "$veth_b" || pv_die "cannot make a veth pair"
ip link set "$veth_a" netns "$ns_a" && ip link set "$veth_b" netns "$ns_b" || pv_die "cannot move the veth ends"
for side in "$ns_a $veth_a 10.243.0.1" "$ns_b $veth_b 10.243.0.2"; do
    read -r ns dev address <<<"$side"
    ip -n "$ns" link set lo up &&
        ip -n "$ns" addr add "$address/24" dev "$dev" &&
        ip -n "$ns" link set "$dev" up || pv_die "cannot set up $ns"
    mkdir -p "/etc/netns/$ns"
    printf '%s\n' "127.0.0.1 localhost" "10.243.0.1 alpha" "10.243.0.2 beta" >"/etc/netns/$ns/hosts"
    # No name server in there: any name outside the hosts file fails at once.
    printf 'nameserver 127.0.0.1\n' >"/etc/netns/$ns/resolv.conf"
done
[[ $(ip netns exec "$ns_a" getent hosts beta) == 10.243.0.2* ]] || pv_die "alpha cannot resolve beta"
[[ $(ip netns exec "$ns_b" getent hosts 10.243.0.1) == *alpha* ]] || pv_die "beta cannot name 10.243.0.1"

# --- Two desktops, two copies of the program.
pv_start_x "$work/x-alpha" display_a
pv_start_x "$work/x-beta" display_b
pv_note "alpha on $display_a, beta on $display_b"
for who in alpha beta; do
    pv_write_ini "$work/$who/config/Pellavine/Pellavine.ini" "[config]" "sptime=1000" "firststart=0"
done
pv_start_program "$display_a" "$work/alpha" ip netns exec "$ns_a"
pid_a=$PV_LAST_PID
pv_start_program "$display_b" "$work/beta" ip netns exec "$ns_b"
pid_b=$PV_LAST_PID

listening() { ip netns exec "$1" ss -Hltn "sport = :243" 2>/dev/null | grep . >/dev/null; }
dump_logs() {
    local who
    for who in alpha beta; do
        echo "--- $who's output:"
        tail -n 20 "$work/$who/program.log" 2>/dev/null
    done
}
die() {
    pv_shot "$display_a" "$shots/failure-alpha.png"
    pv_shot "$display_b" "$shots/failure-beta.png"
    dump_logs
    pv_die "$@"
}

for side in "$display_a $ns_a alpha" "$display_b $ns_b beta"; do
    read -r display ns who <<<"$side"
    pv_wait 15 pv_has_tray_icon "$display" || die "$who: no icon in the tray"
    pv_wait 5 listening "$ns" || die "$who: not listening on port 243"
    sleep 0.3
    pv_shot "$display" "$shots/01-$who-ready.png"
done
pv_note "both copies run and listen"

viewer="Pellavine 1.2 (Просмотр сообщения)"
sender="Pellavine 1.2 (Отправка сообщения)"

# Types a message in the send window of `display`: the address (when given) after selecting
# what the field holds, Enter, the text, Enter.
send_message() {
    local display=$1 address=$2 text=$3 shot=$4 id x y
    pv_wait 5 pv_window_shown "$display" "$sender" || die "the send window did not open on $display"
    id=$(pv_windows_titled "$display" "$sender" | head -n1)
    read -r x y _ _ < <(pv_geometry "$display" "$id")
    if [[ -n $address ]]; then
        pv_click "$display" $((x + 120)) $((y + 40)) # the address field
        pv_key "$display" ctrl+a
        pv_type "$display" "$address"
        pv_key "$display" Return # on to the text field
    else
        pv_click "$display" $((x + 150)) $((y + 68)) # the text field
    fi
    pv_type_checked "$display" "$text"
    sleep 0.2
    pv_shot "$display" "$shot"
    pv_key "$display" Return
    pv_wait 10 pv_not pv_window_shown "$display" "$sender" || die "the send window on $display stayed open after Enter"
}

# Waits for the viewer on `display`, saves a picture and sets `shown` to the text it shows.
read_viewer() {
    local display=$1 shot=$2 id x y w h
    pv_wait 10 pv_window_shown "$display" "$viewer" || die "no message viewer on $display"
    id=$(pv_windows_titled "$display" "$viewer" | head -n1)
    sleep 0.3
    pv_shot "$display" "$shot"
    read -r x y w h < <(pv_geometry "$display" "$id")
    shown=$(pv_copy_text_at "$display" $((x + w / 2)) $((y + h / 2)))
}

# --- alpha writes to beta.
to_beta="Привет, beta! Это alpha: проверка связи №1 (ёЁ, «кавычки»)"
read -r ix iy < <(pv_centre "$display_a" "$(pv_tray_icon "$display_a")")
pv_click "$display_a" "$ix" "$iy"
send_message "$display_a" beta "$to_beta" "$shots/02-alpha-writes.png"
pv_note "alpha sent its message"

read_viewer "$display_b" "$shots/03-beta-reads.png"
[[ $shown == "$to_beta" ]] || pv_fail "beta shows \"$shown\", not \"$to_beta\""
pv_note "beta shows: $shown"

# --- beta answers: "Ответить" (the middle button at the viewer's bottom).
v=$(pv_windows_titled "$display_b" "$viewer" | head -n1)
read -r vx vy vw vh < <(pv_geometry "$display_b" "$v")
pv_click "$display_b" $((vx + vw / 2)) $((vy + vh - 24))
pv_wait 5 pv_window_shown "$display_b" "$sender" || die "\"Ответить\" opened no send window on beta"
pv_window_shown "$display_b" "$viewer" && pv_fail "beta's viewer stayed open after \"Ответить\""
s=$(pv_windows_titled "$display_b" "$sender" | head -n1)
read -r sx sy _ _ < <(pv_geometry "$display_b" "$s")
sleep 0.3
pv_shot "$display_b" "$shots/04-beta-answers.png"
addressed=$(pv_copy_text_at "$display_b" $((sx + 120)) $((sy + 40)))
[[ $addressed == alpha ]] || pv_fail "beta's answer is addressed to \"$addressed\", not to alpha"
to_alpha="Ответ от beta — всё дошло, спасибо!"
send_message "$display_b" "" "$to_alpha" "$shots/05-beta-writes.png"
pv_note "beta answered"

read_viewer "$display_a" "$shots/06-alpha-reads.png"
[[ $shown == "$to_alpha" ]] || pv_fail "alpha shows \"$shown\", not \"$to_alpha\""
pv_note "alpha shows: $shown"

# --- A script on alpha, with no display, notifies both by name from the command line; the
# running copies show it as any message (alpha's open viewer takes the new text in place).
notice="Сервер перезагрузится через 10 минут"
printf '%s\n' "$notice" | ip netns exec "$ns_a" env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
    HOME="$work/alpha/home" XDG_CONFIG_HOME="$work/alpha/config" "$PV_PROGRAM" --send alpha,beta \
    >"$work/script.out" 2>&1
status=$?
[[ $status == 0 ]] || pv_fail "the command line ended with $status: $(cat "$work/script.out")"
for side in "$display_a alpha" "$display_b beta"; do
    read -r display who <<<"$side"
    grep -qx "$who: доставлено" "$work/script.out" || pv_fail "the command line did not report $who: $(cat "$work/script.out")"
    read_viewer "$display" "$shots/06-$who-reads-the-script.png"
    [[ $shown == "$notice" ]] || pv_fail "$who shows \"$shown\", not the script's \"$notice\""
done
pv_note "a script reached both"

# --- Both shut down from the tray menu ("Выключить сервер").
pv_shutdown_from_menu "$display_a" "$shots/07-alpha-menu.png"
pv_shutdown_from_menu "$display_b" "$shots/07-beta-menu.png"
for side in "$pid_a alpha" "$pid_b beta"; do
    read -r pid who <<<"$side"
    pv_wait_exit "$pid" 10 || die "$who did not end after \"Выключить сервер\""
    [[ $PV_EXIT_CODE == 0 ]] || pv_fail "$who ended with code $PV_EXIT_CODE"
done
pv_note "both ended"

# --- What they wrote.
for side in "alpha beta" "beta alpha"; do
    read -r who other <<<"$side"
    dir=$work/$who/config/Pellavine
    [[ -f $dir/Adrs.ini ]] || { pv_fail "$who wrote no Adrs.ini"; continue; }
    history=$(pv_list_lines "$dir/Adrs.ini")
    [[ $history == "$other" ]] || pv_fail "$who's Adrs.ini holds \"$history\", not \"$other\""
    [[ $(pv_ini_value "$dir/Pellavine.ini" last adr) == "$other" ]] ||
        pv_fail "$who's Pellavine.ini [last] adr is \"$(pv_ini_value "$dir/Pellavine.ini" last adr)\", not $other"
    [[ $(pv_ini_value "$dir/Pellavine.ini" config firststart) == 0 ]] || pv_fail "$who's firststart is not 0"
    [[ $(pv_ini_value "$dir/Pellavine.ini" config sptime) == 1000 ]] || pv_fail "$who's sptime is not kept"
    cp "$dir/Adrs.ini" "$shots/$who-Adrs.ini"
    cp "$dir/Pellavine.ini" "$shots/$who-Pellavine.ini"
done

if ((PV_FAILURES > 0)); then
    dump_logs
    echo "$PV_FAILURES check(s) failed; screenshots in $shots"
    exit 1
fi
echo "acceptance test passed; screenshots in $shots"
