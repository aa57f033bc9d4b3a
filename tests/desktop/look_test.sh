#!/usr/bin/env bash
# Walks through every window of the real program as a person would (tray icon, tray menu,
# keyboard) under Xvfb with icewm, saves a picture of each in artifacts/look/ and checks what can
# be checked by machine: title, size, place, no task button, no undrawn parts, and the
# texts that reach the clipboard (the message, and what the send window keeps after an error).
# The viewer is also read over the AT-SPI bus as a screen reader reads it (pyatspi): its buttons
# are push buttons named by their captions, and "OK" pressed through it hides the viewer.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/desktop_lib.sh"

pv_need Xvfb xmodmap icewm icewmbg xdotool xwininfo xprop xclip iconv ss ps dbus-send
pv_check_build

pv_workspace look

pv_start_x "$work/x" display
pv_note "X session on $display"
pv_start_atspi "$work/atspi" "$display" ||
    pv_skip "the accessibility bus cannot be started (dbus-x11, at-spi2-core, python3-pyatspi: tools/install-deps.sh --tests)"
work_h=$((PV_SCREEN_H - 26)) # the desktop above icewm's task bar

port=$(pv_free_port $((20000 + ($$ + 7919) % 20000)))
listening() { pv_listening "$port"; }

app=$work/app
pv_write_ini "$app/config/Pellavine/Pellavine.ini" "[config]" "sptime=2500" "firststart=1" "port=$port"
pv_start_program "$display" "$app"
pid=$PV_LAST_PID

# Checks a shown window and saves its picture. place: "desktop" (centred above the task bar),
# "screen" (centred on the whole screen) or "X,Y". part: what must be drawn, "X,Y,W,H" inside
# the window (all of it when not given).
check_window() {
    local title=$1 w=$2 h=$3 place=$4 shot=$5 part=${6:-} id x y ww wh undrawn
    id=$(pv_windows_titled "$display" "$title" | head -n1)
    [[ -n $id ]] || { pv_fail "\"$title\" is not shown"; return 1; }
    sleep 0.3 # let it paint
    read -r x y ww wh < <(pv_geometry "$display" "$id")
    pv_note "\"$title\" at $x,$y ${ww}x$wh"
    [[ "$ww x $wh" == "$w x $h" ]] || pv_fail "\"$title\" is ${ww}x$wh, not ${w}x$h"
    case $place in
    desktop | screen)
        local area_h=$work_h
        [[ $place == screen ]] && area_h=$PV_SCREEN_H
        ((x >= (PV_SCREEN_W - ww) / 2 - 1 && x <= (PV_SCREEN_W - ww) / 2 + 1 &&
            y >= (area_h - wh) / 2 - 1 && y <= (area_h - wh) / 2 + 1)) ||
            pv_fail "\"$title\" is at $x,$y, not centred on the $place"
        ;;
    *)
        [[ "$x,$y" == "$place" ]] || pv_fail "\"$title\" is at $x,$y, not at $place"
        ;;
    esac
    pv_has_state "$display" "$id" _NET_WM_STATE_SKIP_TASKBAR || pv_fail "\"$title\" has a task button"
    pv_shot_window "$display" "$id" "$shots/$shot"
    undrawn=$(pv_undrawn_pixels "$shots/$shot" "$part")
    ((undrawn == 0)) || pv_fail "\"$title\" has $undrawn pixels of black or of the desktop: parts of it are not drawn (see $shot)"
}

# Clicks the frame's close button (top right) of a window and waits for it to go.
close_window() {
    local title=$1 id x y w h
    id=$(pv_windows_titled "$display" "$title" | head -n1)
    [[ -n $id ]] || return 0
    read -r x y w h < <(pv_geometry "$display" "$id")
    pv_click "$display" $((x + w - 13)) $((y + 11))
    pv_wait 5 pv_not pv_window_shown "$display" "$title" || pv_fail "the close button did not close \"$title\""
}

icon_point() {
    local icon
    icon=$(pv_tray_icon "$display")
    [[ -n $icon ]] && pv_centre "$display" "$icon"
}

# Opens the tray menu with a right click and picks item n (separators are skipped by the keys).
menu_item() {
    local n=$1 ix iy keys=()
    read -r ix iy < <(icon_point)
    pv_click "$display" "$ix" "$iy" 3
    pv_wait 5 pv_popup_menu "$display" >/dev/null || { pv_fail "the tray menu did not open"; return 1; }
    sleep 0.3
    for _ in $(seq "$n"); do keys+=(Down); done
    pv_key "$display" "${keys[@]}" Return
}

welcome="Pellavine 1.2 (Окно приветствия)"
sender="Pellavine 1.2 (Отправка сообщения)"
viewer="Pellavine 1.2 (Просмотр сообщения)"
settings="Pellavine 1.2 (Настройки)"
blacklist="Pellavine 1.2 (Черный список)"
about="Pellavine 1.2 (О программе)"

pv_note "welcome window"
pv_wait 10 pv_window_shown "$display" "$welcome" || pv_die "the welcome window did not show"
check_window "$welcome" 289 269 desktop 01-welcome.png
pv_shot "$display" "$shots/01-welcome-screen.png"

pv_note "tray icon and balloon"
pv_wait 10 pv_has_tray_icon "$display" || pv_die "no tray icon"
pv_wait 5 pv_window_of_type "$display" _NET_WM_WINDOW_TYPE_TOOLTIP >/dev/null || pv_fail "no first-run balloon"
sleep 0.3
pv_shot "$display" "$shots/02-tray-and-balloon.png" "$((PV_SCREEN_W - 420)),$((PV_SCREEN_H - 150)),420,150"

pv_note "send window"
read -r ix iy < <(icon_point)
pv_click "$display" "$ix" "$iy"
pv_wait 5 pv_window_shown "$display" "$sender" || pv_die "a click on the icon did not open the send window"
check_window "$sender" 255 112 150,150 03-send.png
send=$(pv_windows_titled "$display" "$sender" | head -n1)
read -r sx sy _ _ < <(pv_geometry "$display" "$send")
message="Проверка: съешь же ещё этих мягких французских булок! 0123456789"
pv_click "$display" $((sx + 120)) $((sy + 40)) # the address field
pv_key "$display" ctrl+a
pv_type "$display" "localhost"
pv_key "$display" Return # Enter moves on to the text field
pv_type_checked "$display" "$message"
sleep 0.2
pv_shot_window "$display" "$send" "$shots/03-send-filled.png"
pv_key "$display" Return

pv_note "viewer"
if pv_wait 10 pv_window_shown "$display" "$viewer"; then
    check_window "$viewer" 308 293 desktop 04-viewer.png
    pv_shot "$display" "$shots/04-viewer-screen.png"
    v=$(pv_windows_titled "$display" "$viewer" | head -n1)
    read -r vx vy vw vh < <(pv_geometry "$display" "$v")
    got=$(pv_copy_text_at "$display" $((vx + vw / 2)) $((vy + vh / 2)))
    [[ $got == "$message" ]] || pv_fail "the viewer shows \"$got\", not the message sent"
    pv_atspi "$display" tree "$viewer" >"$shots/04-viewer-atspi.txt" || pv_fail "AT-SPI shows no viewer"
    buttons=$(pv_atspi "$display" buttons "$viewer")
    for caption in "OK" "Ответить" "В черный список"; do
        grep -qxF "push button|$caption" <<<"$buttons" ||
            pv_fail "AT-SPI reads no push button \"$caption\" in the viewer: $(tr '\n' ';' <<<"$buttons")"
    done
    pv_click "$display" $((vx + 11 + 45)) $((vy + vh - 24)) # "OK"
    pv_wait 5 pv_not pv_window_shown "$display" "$viewer" || pv_fail "\"OK\" did not close the viewer"
else
    pv_fail "the message sent to this computer was not shown"
fi

pv_note "tray menu"
read -r ix iy < <(icon_point)
pv_click "$display" "$ix" "$iy" 3
if pv_wait 5 pv_popup_menu "$display" >/dev/null; then
    sleep 0.4
    menu=$(pv_popup_menu "$display")
    pv_shot_window "$display" "$menu" "$shots/05-tray-menu.png"
    pv_key "$display" Escape
    pv_wait 3 pv_not pv_popup_menu "$display" >/dev/null
else
    pv_fail "a right click opened no menu"
fi

pv_note "settings"
menu_item 3
if pv_wait 5 pv_window_shown "$display" "$settings"; then
    check_window "$settings" 342 294 desktop 06-settings.png
else
    pv_fail "\"Настройки...\" opened no settings dialog"
fi
close_window "$settings"

pv_note "black list"
menu_item 4
if pv_wait 5 pv_window_shown "$display" "$blacklist"; then
    check_window "$blacklist" 327 336 desktop 07-blacklist.png
else
    pv_fail "\"Черный список...\" opened no black list"
fi
close_window "$blacklist"

pv_note "about box"
menu_item 5
if pv_wait 5 pv_window_shown "$display" "$about"; then
    # The maker's block at the top is black by design.
    check_window "$about" 356 323 screen 08-about.png 0,110,356,213
else
    pv_fail "\"О Pellavine...\" opened no about box"
fi
close_window "$about"

pv_note "last message"
menu_item 2
if pv_wait 5 pv_window_shown "$display" "$viewer"; then
    check_window "$viewer" 308 293 desktop 09-last-message.png
    pv_key "$display" Return # Enter closes the viewer
    pv_wait 5 pv_not pv_window_shown "$display" "$viewer" || pv_fail "Enter did not close the viewer"
else
    pv_fail "\"Последнее сообщение\" did not show the last message"
fi

pv_note "\"OK\" pressed through AT-SPI"
menu_item 2
if pv_wait 5 pv_window_shown "$display" "$viewer"; then
    pv_atspi "$display" press "$viewer" OK || pv_fail "AT-SPI could not press \"OK\" in the viewer"
    pv_wait 5 pv_not pv_window_shown "$display" "$viewer" || pv_fail "\"OK\" pressed through AT-SPI did not close the viewer"
else
    pv_fail "\"Последнее сообщение\" did not show the last message again"
fi

pv_note "pause"
listening || pv_fail "the program does not listen on port $port"
menu_item 8
if pv_wait 5 pv_window_shown "$display" "Confirm"; then
    sleep 0.3
    pv_shot "$display" "$shots/10-pause-question.png"
    pv_key "$display" y # Yes
    pv_wait 5 pv_not listening || pv_fail "the program still listens after pausing"
    icon=$(pv_tray_icon "$display")
    read -r ix0 iy0 iw ih < <(pv_geometry "$display" "$icon")
    sleep 0.3
    pv_shot "$display" "$shots/11-paused-icon.png" "$ix0,$iy0,$iw,$ih"
else
    pv_fail "pausing asked no question"
fi

pv_note "send error"
read -r ix iy < <(icon_point)
pv_click "$display" "$ix" "$iy"
if pv_wait 5 pv_window_shown "$display" "$sender"; then
    send=$(pv_windows_titled "$display" "$sender" | head -n1)
    read -r sx sy _ _ < <(pv_geometry "$display" "$send")
    pv_click "$display" $((sx + 150)) $((sy + 68)) # the text field
    pv_type "$display" "nobody listens"
    pv_key "$display" Return
    if pv_wait 10 pv_window_shown "$display" "Pellavine 1.2"; then
        sleep 0.3
        pv_shot "$display" "$shots/12-send-error.png"
        pv_key "$display" Return
        pv_wait 5 pv_not pv_window_shown "$display" "Pellavine 1.2" || pv_fail "the error box did not close"
        got=$(pv_copy_text_at "$display" $((sx + 150)) $((sy + 68)))
        [[ $got == "nobody listens" ]] || pv_fail "after the error the text field holds \"$got\""
        pv_shot_window "$display" "$send" "$shots/13-send-after-error.png"
    else
        pv_fail "sending to a paused program showed no error"
    fi
    close_window "$sender"
else
    pv_fail "a click on the icon did not open the send window"
fi

pv_note "resume"
menu_item 8
pv_wait 5 listening || pv_fail "the program does not listen again after resuming"
pv_window_shown "$display" "Confirm" && pv_fail "resuming asked a question"

pv_note "shut down"
pv_shutdown_from_menu "$display"
pv_wait_exit "$pid" 10 || pv_die "the program did not end after \"Выключить сервер\""
[[ $PV_EXIT_CODE == 0 ]] || pv_fail "the program ended with code $PV_EXIT_CODE"

pv_finish look "$shots"
