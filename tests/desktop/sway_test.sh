#!/usr/bin/env bash
# The real program in a headless sway session (a wlroots Wayland compositor) with swaybar's
# StatusNotifierItem tray, the mako notification server and a PulseAudio server, driven over
# D-Bus as a tray drives it. As it starts by default (X11 through XWayland): the item registers
# with its tooltip, the first-run balloon is a notification while the icon stays, the menu holds
# its 14 items in order, Activate opens the send window, a message from another address opens the
# viewer, blinks the icon and plays through PulseAudio, and "Выключить сервер" from the D-Bus menu
# ends the program with status 0 and its files written. Then natively on Wayland: the menu asked
# for by the tray opens as a small floating window that the keyboard drives, and the send window's
# saved position is kept. sway refuses root, so as root the session runs as "nobody".
# Screenshots (grim): artifacts/sway/.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/desktop_lib.sh"

pv_need sway swaybar swaymsg grim mako makoctl dbus-daemon busctl jq nc iconv wtype pulseaudio pactl ss
[[ -x $PV_PROGRAM ]] || pv_die "the program is not built: $PV_PROGRAM"

if (($(id -u) == 0)); then
    command -v setpriv >/dev/null || pv_skip "running as root without setpriv to become an ordinary user"
    getent passwd nobody >/dev/null && getent group nogroup >/dev/null ||
        pv_skip "running as root and there is no user nobody to run sway as"
    as=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
else
    as=()
fi

work=$(mktemp -d /tmp/pv-sway.XXXXXX)
shots=${PV_ARTIFACTS:-$work/artifacts}/sway
rm -rf "$shots"
mkdir -p "$shots" "$work/home" "$work/run" "$work/config/Pellavine" "$work/grim"
chmod 700 "$work/run"
((${#as[@]})) && chown -R nobody:nogroup "$work"
trap 'pv_kill_all; rm -rf "$work"' EXIT
run=$work/run
wayland=
swaysock=
xdisplay=

# A command as the session's user, with the session's environment and nothing else.
user_command() {
    command=("${as[@]}" env -i PATH="$PATH" HOME="$work/home" XDG_RUNTIME_DIR="$run" LANG=C.UTF-8 LC_ALL=C.UTF-8
             DBUS_SESSION_BUS_ADDRESS="unix:path=$run/bus" ${wayland:+WAYLAND_DISPLAY=$wayland}
             ${swaysock:+SWAYSOCK=$swaysock} "$@")
}
as_user() {
    local command
    user_command "$@"
    "${command[@]}"
}
# The same in the background, started straight from this shell so that $! is the command itself
# (and the clean-up ends it). Sets `spawned`.
spawn_user() { # log command...
    local log=$1 command
    shift
    user_command "$@"
    "${command[@]}" >>"$log" 2>&1 &
    spawned=$!
    PV_PIDS+=("$spawned")
}
as_user test -x "$PV_PROGRAM" || pv_skip "the session's user cannot run $PV_PROGRAM (folder permissions)"

shot() {
    as_user grim "$work/grim/$1" && cp "$work/grim/$1" "$shots/$1" || pv_fail "no screenshot $1"
}

pv_note "session"
spawn_user "$work/dbus.log" dbus-daemon --session --address="unix:path=$run/bus" --nofork --nopidfile
pv_wait 10 test -S "$run/bus" || pv_skip "dbus-daemon did not start: $(tail -n3 "$work/dbus.log")"
cat >"$work/sway.conf" <<'EOF'
output HEADLESS-1 resolution 1024x768 bg #506078 solid_color
bar {
    position bottom
    tray_output *
}
xwayland enable
EOF
spawn_user "$work/sway.log" env WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    sway -c "$work/sway.conf"
session_up() {
    swaysock=$(compgen -G "$run/sway-ipc.*.sock" | head -n1)
    wayland=$(cd "$run" && compgen -G "wayland-[0-9]*" | grep -v lock | head -n1)
    [[ -n $swaysock && -n $wayland ]]
}
pv_wait 15 session_up || pv_skip "sway did not start: $(tail -n5 "$work/sway.log")"
watcher_up() { as_user busctl --user status org.kde.StatusNotifierWatcher >/dev/null 2>&1; }
pv_wait 10 watcher_up || pv_die "swaybar registered no StatusNotifierWatcher: $(tail -n5 "$work/sway.log")"
spawn_user "$work/mako.log" mako
notifications_up() { as_user busctl --user status org.freedesktop.Notifications >/dev/null 2>&1; }
pv_wait 10 notifications_up || pv_die "mako did not start: $(tail -n5 "$work/mako.log")"
spawn_user "$work/pulse.log" pulseaudio -n --daemonize=no --exit-idle-time=-1 --disable-shm=yes \
    --load=module-null-sink --load=module-native-protocol-unix
if pv_wait 10 test -S "$run/pulse/native"; then
    spawn_user "$work/pulse-events" pactl subscribe
else
    pv_note "no PulseAudio server ($(tail -n1 "$work/pulse.log")): the sound is not checked"
fi
as_user swaymsg exec "printenv DISPLAY > $work/display" >/dev/null
pv_wait 5 test -s "$work/display" || pv_die "sway has no XWayland display"
xdisplay=$(cat "$work/display")
pv_note "sway on $wayland, XWayland on $xdisplay"

port=$(pv_free_port $((20000 + $$ % 20000)))
ini=$work/config/Pellavine/Pellavine.ini
settings() { # firststart
    pv_write_ini "$ini" "[config]" "sptime=800" "firststart=$1" "port=$port" "[sender]" "left=100" "top=120"
    ((${#as[@]})) && chown -R nobody:nogroup "$work/config"
}

start_program() { # extra environment...
    spawn_user "$work/program.log" env DISPLAY="$xdisplay" XDG_CONFIG_HOME="$work/config" "$@" "$PV_PROGRAM"
    pid=$spawned
}

# The program's item ("service path"), once the watcher lists it.
item=
find_item() {
    item=$(as_user busctl --user --json=short get-property org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
        org.kde.StatusNotifierWatcher RegisteredStatusNotifierItems 2>/dev/null | jq -r '.data[0] // empty')
    [[ -n $item ]]
}
item_gone() { ! find_item; }
sni() { # method or property call on the item: busctl verb, then its arguments
    local verb=$1
    shift
    as_user busctl --user --json=short "$verb" "${item%%/*}" "/${item#*/}" org.kde.StatusNotifierItem "$@"
}
prop() { sni get-property "$1" | jq -r '.data'; }

# Menu entries as "id<TAB>kind<TAB>label".
menu_entries() {
    as_user busctl --user --json=short call "${item%%/*}" "$(prop Menu)" com.canonical.dbusmenu GetLayout iias 0 1 0 |
        jq -r '.data[1][2][].data | "\(.[0])\t\(.[1].type.data // "item")\t\(.[1].label.data // "")"'
}
menu_click() { # label
    local id
    id=$(menu_entries | awk -F'\t' -v l="$1" '$3 == l { print $1; exit }')
    [[ -n $id ]] || { pv_fail "no menu entry \"$1\""; return 1; }
    as_user busctl --user call "${item%%/*}" "$(prop Menu)" com.canonical.dbusmenu Event isvu "$id" clicked s "" 0
}

# The compositor's view of a window titled $1: "shell x y width height", or nothing.
window() {
    as_user swaymsg -t get_tree | jq -r --arg t "$1" '.. | objects | select((.type == "con" or .type == "floating_con")
        and .name == $t) | "\(.shell) \(.rect.x) \(.rect.y) \(.rect.width) \(.rect.height)"' | head -n1
}
window_shown() { [[ -n $(window "$1") ]]; }

send_title="Pellavine 1.2 (Отправка сообщения)"
viewer_title="Pellavine 1.2 (Просмотр сообщения)"
first_run_text="Pellavine работает и принимает сообщения."

# ---------------------------------------------------------------------------------------------
pv_note "default start (X11 through XWayland)"
settings 1
start_program
pv_wait 10 find_item || pv_die "the program registered no StatusNotifierItem: $(tail -n5 "$work/program.log")"
pv_note "item $item"
[[ $(prop Id) == Pellavine ]] || pv_fail "the item's Id is \"$(prop Id)\""
[[ $(sni get-property ToolTip | jq -r '.data[2]') == "Pellavine 1.2"* ]] ||
    pv_fail "the tooltip is \"$(sni get-property ToolTip | jq -r '.data[2]')\""
(($(sni get-property IconPixmap | jq -r '.data | length') > 0)) || pv_fail "the item carries no icon"

balloon() { as_user makoctl list | jq -r '.data[0][] | select(.["app-name"].data == "Pellavine") | "\(.summary.data)\t\(.body.data)"'; }
balloon_shown() { [[ -n $(balloon) ]]; }
if pv_wait 10 balloon_shown; then
    IFS=$'\t' read -r title body < <(balloon)
    [[ $title == "Pellavine 1.2" ]] || pv_fail "the balloon's title is \"$title\""
    [[ $body == "$first_run_text"* ]] || pv_fail "the balloon's text is \"$body\""
else
    pv_fail "no first-run balloon reached the notification server"
fi
[[ $(prop Status) == Active ]] || pv_fail "the item's status is $(prop Status) while the balloon shows"
sleep 0.5
shot 01-tray-and-balloon.png

expected_menu="item Отправить сообщение...|separator |item Последнее сообщение|separator |item Настройки...|\
item Черный список...|separator |item О Pellavine...|separator |item https://pellavine.example.org/|\
item orvath@pellavine.example.org|separator |item Приостановить сервер Pellavine|item Выключить сервер"
got_menu=$(menu_entries | cut -f2,3 | tr '\t' ' ' | paste -sd'|')
[[ $got_menu == "$expected_menu" ]] || pv_fail "the D-Bus menu is \"$got_menu\""

sni call Activate ii 1000 760 >/dev/null || pv_fail "Activate failed"
if pv_wait 5 window_shown "$send_title"; then
    read -r shell _ < <(window "$send_title")
    [[ $shell == xwayland ]] || pv_fail "the send window runs on $shell, not through XWayland"
    sleep 0.3
    shot 02-send-window.png
else
    pv_fail "Activate did not open the send window"
fi

printf 'Привет из <b>сети</b>' | iconv -f UTF-8 -t CP1251 | nc -q1 -s 127.0.0.5 127.0.0.1 "$port" ||
    pv_fail "could not send a message to port $port"
pv_wait 5 window_shown "$viewer_title" || pv_fail "a message from 127.0.0.5 opened no viewer"
[[ $(sni get-property ToolTip | jq -r '.data[2]') == *"(127.0.0.5)"* ]] ||
    pv_fail "the tooltip does not name the sender: $(sni get-property ToolTip | jq -r '.data[2]')"
# The icon blinks: its picture changes while the viewer is open.
pictures=()
for _ in $(seq 30); do
    pictures+=("$(sni get-property IconPixmap | md5sum | cut -c1-32)")
    (($(printf '%s\n' "${pictures[@]}" | sort -u | wc -l) > 1)) && break
    sleep 0.1
done
(($(printf '%s\n' "${pictures[@]}" | sort -u | wc -l) > 1)) || pv_fail "the icon did not blink"
if [[ -S $run/pulse/native ]]; then
    pv_wait 5 grep -q "'new' on sink-input" "$work/pulse-events" || pv_fail "the message sound did not reach PulseAudio"
    as_user pactl list clients | grep -q 'application.name = "Pellavine"' ||
        pv_fail "the program is no client of PulseAudio (not through libcanberra's pulse backend)"
fi
sleep 0.3
shot 03-viewer.png

menu_click "Выключить сервер"
pv_wait_exit "$pid" 10 || pv_die "the program did not end after \"Выключить сервер\" from the D-Bus menu"
[[ $PV_EXIT_CODE == 0 ]] || pv_fail "the program ended with status $PV_EXIT_CODE"
[[ $(pv_ini_value "$ini" config firststart) == 0 ]] || pv_fail "\"firststart\" is not 0 after the first run"
[[ -f $work/config/Pellavine/Adrs.ini && -f $work/config/Pellavine/BList.ini ]] ||
    pv_fail "the address history or the black list was not written"
pv_wait 5 item_gone || pv_fail "the item stayed registered after the program ended"
balloon_shown && pv_fail "the balloon outlived the program"

# ---------------------------------------------------------------------------------------------
pv_note "native Wayland (QT_QPA_PLATFORM=wayland)"
settings 0
start_program QT_QPA_PLATFORM=wayland
pv_wait 10 find_item || pv_die "on Wayland the program registered no StatusNotifierItem"
sni call Activate ii 1000 760 >/dev/null
if pv_wait 5 window_shown "$send_title"; then
    read -r shell _ < <(window "$send_title")
    [[ $shell == xdg_shell ]] || pv_fail "with QT_QPA_PLATFORM=wayland the send window runs on $shell"
else
    pv_fail "on Wayland Activate did not open the send window"
fi
# swaybar shows no D-Bus menus itself: it asks the program, which has no popup to open there.
sni call ContextMenu ii 1000 760 >/dev/null
if pv_wait 5 window_shown "Pellavine 1.2"; then
    read -r shell x y w h < <(window "Pellavine 1.2")
    pv_note "menu window at $x,$y ${w}x$h"
    ((w < 400 && h < 400)) || pv_fail "the menu window is ${w}x$h: tiled instead of floating"
    sleep 0.3
    shot 04-wayland-menu.png
    # Its last item from the keyboard ends the program. The session has no keyboard until wtype
    # makes one, and the program takes a moment to see it.
    as_user wtype -s 300 -k Up -s 100 -k Return || pv_fail "wtype could not type"
else
    pv_fail "on Wayland the tray's ContextMenu opened no menu"
    menu_click "Выключить сервер"
fi
pv_wait_exit "$pid" 10 || pv_die "the program did not end from its Wayland menu"
[[ $PV_EXIT_CODE == 0 ]] || pv_fail "the Wayland run ended with status $PV_EXIT_CODE"
[[ $(pv_ini_value "$ini" sender left),$(pv_ini_value "$ini" sender top) == 100,120 ]] ||
    pv_fail "the saved position became $(pv_ini_value "$ini" sender left),$(pv_ini_value "$ini" sender top) on Wayland"
grep -i "warning\|error" "$work/program.log" && pv_fail "the program complained on stderr"

pv_finish sway "$shots"
