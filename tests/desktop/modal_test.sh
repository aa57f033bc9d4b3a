#!/usr/bin/env bash
# Modal dialogs and boxes of the real program under Xvfb with icewm: a viewer open before the
# settings dialog comes forward over it, usable, for a new message. With the settings dialog
# open from the tray menu, a message arrives and its viewer comes up on top and usable ("OK"
# hides it); the tray icon still opens the send window, whose notice opens above it. Then "OK" of
# the dialog shows its notice box, which blocks the dialog; the tray menu asks the pause question
# over that box; and "Выключить сервер" from the tray menu ends the program with the box still
# open, the settings written. Screenshots: artifacts/modal/.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/desktop_lib.sh"

pv_need Xvfb icewm icewmbg xdotool xwininfo xprop socat iconv ss ps
pv_check_build

pv_workspace modal

pv_start_x "$work/x" display
pv_note "X session on $display"

port=$(pv_free_port $((20000 + ($$ + 4241) % 20000)))
listening() { pv_listening "$port"; }

app=$work/app
pv_write_ini "$app/config/Pellavine/Pellavine.ini" "[config]" "sptime=1000" "firststart=0" "snd=1" "port=$port"
pv_start_program "$display" "$app"
pid=$PV_LAST_PID

settings="Pellavine 1.2 (Настройки)"
viewer="Pellavine 1.2 (Просмотр сообщения)"
sender="Pellavine 1.2 (Отправка сообщения)"
box="Pellavine 1.2"

icon_point() {
    local icon
    icon=$(pv_tray_icon "$display")
    [[ -n $icon ]] && pv_centre "$display" "$icon"
}

# The program's window titled $1, its id in hex as the window manager's lists write it.
hex_id() { printf '0x%x' "$(pv_windows_titled "$display" "$1" | head -n1)"; }

# Whether window A (title $1) is stacked above window B (title $2).
stacked_above() {
    local a b list pos_a=-1 pos_b=-1 i=0 w
    a=$(hex_id "$1")
    b=$(hex_id "$2")
    list=$(DISPLAY=$display xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //; s/,//g')
    for w in $list; do
        [[ $((w)) == $((a)) ]] && pos_a=$i
        [[ $((w)) == $((b)) ]] && pos_b=$i
        i=$((i + 1))
    done
    ((pos_a >= 0 && pos_b >= 0 && pos_a > pos_b))
}

active_is() { [[ $(DISPLAY=$display xdotool getactivewindow 2>/dev/null) == "$(pv_windows_titled "$display" "$1" | head -n1)" ]]; }

# Clicks at (x, y) inside the window titled $1.
click_in() {
    local id x y
    id=$(pv_windows_titled "$display" "$1" | head -n1)
    read -r x y _ _ < <(pv_geometry "$display" "$id")
    pv_click "$display" $((x + $2)) $((y + $3))
}

pv_wait 15 pv_has_tray_icon "$display" || pv_die "no tray icon"
pv_wait 10 listening || pv_die "the program does not listen on port $port"

send() {
    printf '%s' "$1" | iconv -f UTF-8 -t CP1251 | socat -u - "TCP:127.0.0.1:$port" ||
        pv_fail "could not send to the program"
}

open_settings() {
    read -r ix iy < <(icon_point)
    pv_click "$display" "$ix" "$iy" 3
    pv_wait 5 pv_popup_menu "$display" >/dev/null || pv_die "the tray menu did not open"
    sleep 0.3
    pv_key "$display" Down Down Down Return
    pv_wait 5 pv_window_shown "$display" "$settings" || pv_die "\"Настройки...\" opened no settings dialog"
    sleep 0.3
}

# The viewer is on top with the focus; its "OK" (bottom left) hides it, the dialog stays.
viewer_forward_then_ok() {
    local id vh
    stacked_above "$viewer" "$settings" || pv_fail "the viewer is not above the settings dialog ($1)"
    pv_wait 3 active_is "$viewer" || pv_fail "the viewer does not have the focus ($1)"
    id=$(pv_windows_titled "$display" "$viewer" | head -n1)
    read -r _ _ _ vh < <(pv_geometry "$display" "$id")
    click_in "$viewer" 50 $((vh - 24))
    pv_wait 5 pv_not pv_window_shown "$display" "$viewer" || pv_fail "the viewer's \"OK\" did not hide it ($1)"
    pv_window_shown "$display" "$settings" || pv_fail "the settings dialog went away with the viewer ($1)"
}

pv_note "a viewer open before the settings dialog comes forward for a new message"
send "Первое сообщение"
pv_wait 5 pv_window_shown "$display" "$viewer" || pv_die "no viewer for a message"
open_settings
stacked_above "$settings" "$viewer" || pv_fail "the settings dialog did not open above the viewer"
send "Второе сообщение"
sleep 1
pv_shot "$display" "$shots/00-viewer-forward-over-later-settings.png"
viewer_forward_then_ok "open before the dialog"
click_in "$settings" 296 270 # "Отмена"
pv_wait 5 pv_not pv_window_shown "$display" "$settings" || pv_fail "\"Отмена\" did not close the settings dialog"

pv_note "settings dialog from the tray menu"
open_settings
pv_shot "$display" "$shots/01-settings.png"

pv_note "a message arrives"
send "Сообщение при открытых настройках"
if pv_wait 5 pv_window_shown "$display" "$viewer"; then
    sleep 0.5
    pv_shot "$display" "$shots/02-viewer-over-settings.png"
    viewer_forward_then_ok "shown while the dialog was open"
else
    pv_fail "no viewer showed for a message that arrived while the settings dialog was open"
fi

pv_note "the tray icon still answers"
read -r ix iy < <(icon_point)
pv_click "$display" "$ix" "$iy"
if pv_wait 5 pv_window_shown "$display" "$sender"; then
    sleep 0.3
    pv_shot "$display" "$shots/03-send-window-over-settings.png"
    # Its notice opens above it, though the send window stays on top.
    click_in "$sender" 127 93 # "Отправить" with no text
    if pv_wait 5 pv_window_shown "$display" "$box"; then
        sleep 0.3
        pv_shot "$display" "$shots/03b-notice-over-send-window.png"
        stacked_above "$box" "$sender" || pv_fail "the send window's notice opened below it"
        pv_key "$display" Return
        pv_wait 5 pv_not pv_window_shown "$display" "$box" || pv_fail "the notice did not close on Enter"
    else
        pv_fail "\"Отправить\" with no text showed no notice"
    fi
    click_in "$sender" 242 11 # its close button
    pv_wait 5 pv_not pv_window_shown "$display" "$sender" || pv_fail "the send window's close button did not close it"
else
    pv_fail "a left click on the tray icon opened no send window while the settings dialog was open"
fi

pv_note "a box over the dialog"
click_in "$settings" 30 52          # "Использовать звуки" off
click_in "$settings" 213 270        # "OK": stores, then the restart notice
if pv_wait 5 pv_window_shown "$display" "$box"; then
    sleep 0.3
    pv_shot "$display" "$shots/04-notice-over-settings.png"
    # The dialog under the box takes no clicks: its "Отмена" does nothing.
    click_in "$settings" 296 270
    sleep 0.5
    pv_window_shown "$display" "$settings" || pv_fail "the settings dialog closed while its box was open"
    pv_window_shown "$display" "$box" || pv_fail "a click on the blocked dialog closed the box"
else
    pv_fail "\"OK\" of the settings dialog showed no notice"
fi

pv_note "a box over the box"
# "Приостановить сервер" from the tray menu asks its question over the open notice; No keeps
# the server running and leaves the notice as it was.
read -r ix iy < <(icon_point)
pv_click "$display" "$ix" "$iy" 3
if pv_wait 5 pv_popup_menu "$display" >/dev/null; then
    sleep 0.3
    pv_key "$display" Down Down Down Down Down Down Down Down Return
    if pv_wait 5 pv_window_shown "$display" "Confirm"; then
        sleep 0.3
        pv_shot "$display" "$shots/05-question-over-notice.png"
        pv_key "$display" n # No
        pv_wait 5 pv_not pv_window_shown "$display" "Confirm" || pv_fail "the question did not close on No"
        listening || pv_fail "No to the pause question stopped the server"
        pv_window_shown "$display" "$box" || pv_fail "the notice under the question went away"
    else
        pv_fail "pausing from the tray menu asked nothing while a box was open"
    fi
else
    pv_fail "the tray menu did not open while a box was open"
fi

pv_note "shut down with the box open"
pv_shutdown_from_menu "$display" "$shots/06-tray-menu-over-box.png"
pv_wait_exit "$pid" 10 || pv_die "the program did not end after \"Выключить сервер\" with a box open"
[[ $PV_EXIT_CODE == 0 ]] || pv_fail "the program ended with code $PV_EXIT_CODE"
ini=$app/config/Pellavine/Pellavine.ini
[[ $(pv_ini_value "$ini" config snd) == 0 ]] || pv_fail "the settings stored before the box were not written"
[[ -n $(pv_ini_value "$ini" sender left) ]] || pv_fail "the send window's place was not written"
[[ -f $app/config/Pellavine/Adrs.ini && -f $app/config/Pellavine/BList.ini ]] ||
    pv_fail "the address history or the black list was not written"

pv_finish modal "$shots"
