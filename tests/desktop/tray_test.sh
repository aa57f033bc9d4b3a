#!/usr/bin/env bash
# The real program under Xvfb with icewm: its icon is embedded in icewm's system tray, the
# first-run balloon shows beside it, and none of its windows (splash, send window, a message box)
# gets a task-bar button. A second start shows no balloon. Started before there is a tray (the
# race at log-in), the icon waits in a stand-in beside a notice why, and moves into the tray when
# one comes; the notice goes with it. Stand-ins and notices have no task-bar button either.
# Screenshots: artifacts/tray/.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/desktop_lib.sh"

pv_need Xvfb icewm icewmbg xdotool xwininfo xprop xmessage iconv ss ps
pv_check_build

pv_workspace tray

pv_start_x "$work/x" display
pv_note "X session on $display"
pv_shot "$display" "$work/base.png"
cp "$work/base.png" "$shots/00-empty-desktop.png"

# A port above 1023, so that the test needs no privileges; nothing else listens there.
port=$(pv_free_port $((20000 + $$ % 20000)))
app=$work/app
pv_write_ini "$app/config/Pellavine/Pellavine.ini" "[config]" "sptime=1500" "firststart=1" "port=$port"
pv_start_program "$display" "$app"
pid=$PV_LAST_PID

pv_note "splash"
# --- The splash: shown at once, without a task-bar button.
splash_title="Pellavine 1.2 (Окно приветствия)"
pv_wait 10 pv_window_shown "$display" "$splash_title" || pv_die "the welcome window did not show"
splash=$(pv_windows_titled "$display" "$splash_title" | head -n1)
pv_has_state "$display" "$splash" _NET_WM_STATE_SKIP_TASKBAR ||
    pv_fail "the welcome window lacks _NET_WM_STATE_SKIP_TASKBAR"
sleep 0.3
pv_shot "$display" "$shots/01-splash.png"
pv_taskpane_differs "$work/base.png" "$shots/01-splash.png" &&
    pv_fail "the task bar changed while the welcome window showed (a task button?)"

pv_note "tray icon"
# --- The icon: embedded in the system tray, small, inside the task bar; the splash is gone.
pv_wait 10 pv_has_tray_icon "$display" || pv_die "no icon of the program appeared in the system tray"
icon=$(pv_tray_icon "$display")
read -r ix iy iw ih < <(pv_geometry "$display" "$icon")
pv_note "tray icon $icon at $ix,$iy ${iw}x$ih"
((iw >= 16 && iw <= 64 && ih >= 16 && ih <= 64)) || pv_fail "the tray icon is ${iw}x$ih, not icon-sized"
((iy >= PV_SCREEN_H - 26)) || pv_fail "the tray icon is at y=$iy, not in the task bar"
pv_wait 3 pv_not pv_window_shown "$display" "$splash_title" ||
    pv_fail "the welcome window is still shown after the icon appeared"

pv_note "balloon"
# --- The first-run balloon: a tip window above the icon.
balloon_shown() { pv_window_of_type "$display" _NET_WM_WINDOW_TYPE_TOOLTIP >/dev/null; }
if pv_wait 5 balloon_shown; then
    balloon=$(pv_window_of_type "$display" _NET_WM_WINDOW_TYPE_TOOLTIP)
    read -r bx by bw bh < <(pv_geometry "$display" "$balloon")
    pv_note "balloon at $bx,$by ${bw}x$bh"
    # Its pointer may reach into the icon; the body sits above it.
    ((by < iy && by + bh <= iy + ih / 2)) || pv_fail "the balloon ($by+$bh) is not above the icon (y=$iy)"
    ((bx <= ix + iw / 2 && ix + iw / 2 <= bx + bw)) || pv_fail "the balloon does not point at the icon"
    sleep 0.3
    pv_shot "$display" "$shots/02-tray-icon-and-balloon.png"
    pv_shot_window "$display" "$balloon" "$shots/02-balloon.png"
    ((bw >= 150 && bh >= 40)) || pv_fail "the balloon is only ${bw}x$bh: too small for its title and text"
else
    pv_fail "no balloon showed on the first run"
    pv_shot "$display" "$shots/02-tray-icon-and-balloon.png"
fi
# The icon is really drawn: the tray's pixels changed where it sits.
changed=$("$PV_GRAB" --diff "$work/base.png" "$shots/02-tray-icon-and-balloon.png" --rect "$ix,$iy,$iw,$ih")
((changed > iw * ih / 8)) || pv_fail "the tray looks as before ($changed pixels changed where the icon is)"
pv_shot "$display" "$shots/02-icon.png" "$ix,$iy,$iw,$ih"

pv_note "send window"
# --- A left click opens the send window; it has no task button either.
send_title="Pellavine 1.2 (Отправка сообщения)"
pv_click "$display" $((ix + iw / 2)) $((iy + ih / 2))
if pv_wait 5 pv_window_shown "$display" "$send_title"; then
    send=$(pv_windows_titled "$display" "$send_title" | head -n1)
    pv_has_state "$display" "$send" _NET_WM_STATE_SKIP_TASKBAR || pv_fail "the send window lacks _NET_WM_STATE_SKIP_TASKBAR"
    sleep 0.3
    pv_shot "$display" "$shots/03-send-window.png"
    pv_taskpane_differs "$work/base.png" "$shots/03-send-window.png" &&
        pv_fail "the task bar changed while the send window showed (a task button?)"
    read -r sx sy _ _ < <(pv_geometry "$display" "$send")
    pv_click "$display" $((sx + 242)) $((sy + 11)) # its close button
    pv_wait 5 pv_not pv_window_shown "$display" "$send_title" ||
        pv_fail "the send window's close button did not close it"
else
    pv_fail "a left click on the tray icon did not open the send window"
fi

pv_note "task-bar control"
# --- The task-bar comparison does see a task button: an ordinary window makes one.
DISPLAY=$display xmessage -geometry +300+300 "an ordinary window" &
control=$!
PV_PIDS+=("$control")
pv_wait 5 pv_class_shown "$display" xmessage ||
    pv_die "the control window (xmessage) did not show"
sleep 0.5
pv_shot "$display" "$work/control.png"
pv_taskpane_differs "$work/base.png" "$work/control.png" ||
    pv_die "an ordinary window left the task bar unchanged: the task-bar check cannot see buttons"
kill "$control" 2>/dev/null
wait "$control" 2>/dev/null
sleep 0.3

pv_note "message box"
# --- A message box ("Последнее сообщение" before any message) has no task button either.
pv_click "$display" $((ix + iw / 2)) $((iy + ih / 2)) 3
if pv_wait 5 pv_popup_menu "$display" >/dev/null; then
    sleep 0.3
    pv_key "$display" Down Down Return
    box_title="Pellavine 1.2"
    if pv_wait 5 pv_window_shown "$display" "$box_title"; then
        box=$(pv_windows_titled "$display" "$box_title" | head -n1)
        pv_has_state "$display" "$box" _NET_WM_STATE_SKIP_TASKBAR || pv_fail "the message box lacks _NET_WM_STATE_SKIP_TASKBAR"
        sleep 0.3
        pv_shot "$display" "$shots/04-message-box.png"
        pv_taskpane_differs "$work/base.png" "$shots/04-message-box.png" &&
            pv_fail "the message box has a task button"
        pv_key "$display" Return
        pv_wait 5 pv_not pv_window_shown "$display" "$box_title" ||
            pv_fail "the message box did not close on Enter"
    else
        pv_fail "\"Последнее сообщение\" showed no box before any message"
    fi
else
    pv_fail "a right click on the tray icon opened no menu"
fi

pv_note "shut down"
# --- "Выключить сервер": the program ends, the icon leaves the tray, the first run is over.
pv_shutdown_from_menu "$display" "$shots/05-tray-menu.png"
pv_wait_exit "$pid" 10 || pv_die "the program did not end after \"Выключить сервер\""
[[ $PV_EXIT_CODE == 0 ]] || pv_fail "the program ended with code $PV_EXIT_CODE"
pv_wait 5 pv_not pv_has_tray_icon "$display" ||
    pv_fail "the icon stayed in the tray after the program ended"
[[ $(pv_ini_value "$app/config/Pellavine/Pellavine.ini" config firststart) == 0 ]] ||
    pv_fail "\"firststart\" is not 0 after the first run"

pv_note "second start"
# --- A second start: the icon comes back, with no balloon.
pv_start_program "$display" "$app"
pid=$PV_LAST_PID
pv_wait 10 pv_has_tray_icon "$display" || pv_die "the second start put no icon in the tray"
sleep 1.5
balloon_shown && pv_fail "the second start showed a balloon"
pv_shot "$display" "$shots/06-second-start.png"
# Resting the pointer on the icon shows its tool tip (the title and "no messages yet").
icon=$(pv_tray_icon "$display")
read -r ix iy iw ih < <(pv_geometry "$display" "$icon")
DISPLAY=$display xdotool mousemove $((ix + iw / 2 - 2)) $((iy + ih / 2 - 2)) sleep 0.2 \
    mousemove $((ix + iw / 2)) $((iy + ih / 2))
if pv_wait 5 balloon_shown; then
    sleep 0.3
    pv_shot "$display" "$shots/07-tool-tip.png" "$((PV_SCREEN_W - 420)),$((PV_SCREEN_H - 100)),420,100"
else
    pv_fail "resting the pointer on the icon showed no tool tip"
fi
pv_shutdown_from_menu "$display"
pv_wait_exit "$pid" 10 || pv_die "the second run did not end after \"Выключить сервер\""
[[ $PV_EXIT_CODE == 0 ]] || pv_fail "the second run ended with code $PV_EXIT_CODE"

pv_note "tray after the start"
# --- The program starts on a desktop without a tray: a stand-in and the notice why, neither with
# a task-bar button.
pv_start_xvfb "$work/late" late
# A port of its own: the first runs' may still be held for a while after they ended.
port=$(pv_free_port $((port + 1)))
pv_write_ini "$work/late-app/config/Pellavine/Pellavine.ini" "[config]" "sptime=500" "firststart=0" "port=$port"
pv_start_program "$late" "$work/late-app"
pid=$PV_LAST_PID
# The program's visible windows outside the tray, as "id width height".
loose_windows() {
    local w icon width height
    icon=$(pv_tray_icon "$late")
    for w in $(DISPLAY=$late xdotool search --onlyvisible --class "$PV_TRAY_CLASS" 2>/dev/null); do
        [[ $(printf '0x%x' "$w") == "$icon" ]] && continue
        read -r _ _ width height < <(pv_geometry "$late" "$w")
        echo "$w $width $height"
    done
}
stand_in() { loose_windows | awk '$2 == 32 && $3 == 32 { print $1; found = 1 } END { exit !found }'; }
has_stand_in() { stand_in >/dev/null; }
stand_in_and_notice() { has_stand_in && (($(loose_windows | wc -l) == 2)); }
no_loose_windows() { [[ -z $(loose_windows) ]]; }
if pv_wait 10 stand_in_and_notice; then
    for w in $(loose_windows | cut -d' ' -f1); do
        pv_has_state "$late" "$w" _NET_WM_STATE_SKIP_TASKBAR || pv_fail "the stand-in or notice has a task-bar button"
    done
    pv_shot "$late" "$shots/08-stand-in-before-the-tray.png"
else
    pv_fail "without a tray the program showed no stand-in and notice: $(loose_windows | tr '\n' ';')"
fi
# --- The tray comes: the icon moves into it, the stand-in and the notice go.
pv_start_icewm "$work/late" "$late"
if pv_wait 10 pv_has_tray_icon "$late"; then
    pv_wait 5 no_loose_windows || pv_fail "windows stayed outside the tray: $(loose_windows | tr '\n' ';')"
    pv_shot "$late" "$shots/09-tray-after-the-start.png"
    # --- The tray goes again: the stand-in made now has no task-bar button either.
    pv_start_icewm "$work/late" "$late" 0
    pv_wait 10 has_stand_in || pv_fail "the icon got no stand-in when the tray went away"
    pv_has_state "$late" "$(stand_in)" _NET_WM_STATE_SKIP_TASKBAR || pv_fail "the later stand-in has a task-bar button"
    pv_start_icewm "$work/late" "$late"
    pv_wait 10 pv_has_tray_icon "$late" || pv_fail "the icon did not move into the tray that came back"
    pv_shutdown_from_menu "$late"
    pv_wait_exit "$pid" 10 || pv_fail "the late-tray run did not end after \"Выключить сервер\""
else
    pv_fail "the icon did not move into the tray that came after the start"
    pv_shot "$late" "$shots/09-tray-after-the-start.png"
fi

pv_finish tray "$shots"
