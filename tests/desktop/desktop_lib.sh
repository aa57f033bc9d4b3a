# Shared by the desktop tests: private X sessions (Xvfb + icewm), the real program in them, and
# the ways a person looks at the screen (windows, the tray, screenshots). Sourced, not run.
#
# Environment (set by ctest): PELLAVINE_BIN_DIR (the program), PV_GRAB (pv_grab_screen),
# PV_ARTIFACTS (where screenshots go).

PV_PROGRAM=${PELLAVINE_BIN_DIR:-}/pellavine
PV_GRAB=${PV_GRAB:-}
PV_SCREEN_W=1024
PV_SCREEN_H=768
PV_TRAY_CLASS=pellavine
PV_PIDS=()      # everything started here, killed on exit
PV_FAILURES=0

# Texts here are UTF-8; xdotool and bash read them by the locale.
export LC_ALL=C.UTF-8

# Interrupted or stopped by a time-out: still run the script's clean-up (its EXIT trap).
trap 'exit 130' INT
trap 'exit 143' TERM

pv_skip() { echo "SKIPPED: $*"; exit 77; }
pv_note() { echo "-- [${SECONDS}s] $*"; }
pv_fail() { echo "FAILED: $*" >&2; PV_FAILURES=$((PV_FAILURES + 1)); }
pv_die() { echo "FAILED: $*" >&2; exit 1; }

# Skips the test when a command it needs is missing.
pv_need() {
    local c
    for c in "$@"; do
        command -v "$c" >/dev/null 2>&1 || pv_skip "$c is not installed (tools/install-deps.sh --tests)"
    done
}

# The test's scratch folder $work (removed at exit, after everything started here is killed)
# and its screenshot folder $shots (artifacts/NAME, emptied).
pv_workspace() { # name
    work=$(mktemp -d "/tmp/pv-$1.XXXXXX")
    shots=${PV_ARTIFACTS:-$work/artifacts}/$1
    rm -rf "$shots"
    mkdir -p "$shots"
    trap 'pv_kill_all; rm -rf "$work"' EXIT
}

# The first TCP port from FIRST up that nothing listens on.
pv_free_port() { # first
    local port=$1
    while pv_listening "$port"; do port=$((port + 1)); done
    echo "$port"
}
pv_listening() { ss -Hltn "sport = :$1" 2>/dev/null | grep . >/dev/null; }

pv_check_build() {
    [[ -x $PV_PROGRAM ]] || pv_die "the program is not built: $PV_PROGRAM"
    [[ -x $PV_GRAB ]] || pv_die "pv_grab_screen is not built: $PV_GRAB"
}

# Runs "$@" until it succeeds or `seconds` pass; false on time-out.
pv_wait() {
    local seconds=$1
    shift
    local end=$((SECONDS + seconds))
    until "$@"; do
        ((SECONDS >= end)) && return 1
        sleep 0.1
    done
}

pv_not() { ! "$@"; }

pv_class_shown() { DISPLAY=$1 xdotool search --onlyvisible --class "$2" >/dev/null 2>&1; }

pv_kill_all() {
    local pid
    for pid in "${PV_PIDS[@]}"; do
        kill "$pid" 2>/dev/null
    done
    for pid in "${PV_PIDS[@]}"; do
        for _ in $(seq 30); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -9 "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    PV_PIDS=()
}

# Starts Xvfb and icewm with a quiet task bar (no clock or meters, so two pictures of it compare
# equal) and a grey-blue desktop (so nothing of the program is mistaken for the background).
# Sets the variable named by $2 to the display (":N"). $1: a private folder for the session.
pv_start_x() {
    pv_start_xvfb "$1" "$2"
    pv_start_icewm "$1" "${!2}"
    local colour="rgb:${PV_DESKTOP_RGB:0:2}/${PV_DESKTOP_RGB:2:2}/${PV_DESKTOP_RGB:4:2}"
    DISPLAY=${!2} HOME=$1/home icewmbg --color="$colour" --image= >"$1/icewmbg.log" 2>&1 &
    PV_PIDS+=($!)
    # The desktop background is painted a moment later.
    sleep 0.5
}

# Xvfb alone: a desktop with neither window manager nor tray (until pv_start_icewm).
pv_start_xvfb() {
    local dir=$1 var=$2
    mkdir -p "$dir/home/.icewm" "$dir/run"
    chmod 700 "$dir/run"
    # Our own X tools (screenshots) want a private runtime folder too.
    PV_TOOL_RUNTIME=$dir/run
    : >"$dir/display"
    Xvfb -displayfd 3 -screen 0 ${PV_SCREEN_W}x${PV_SCREEN_H}x24 -nolisten tcp 3>"$dir/display" \
        >"$dir/xvfb.log" 2>&1 &
    PV_PIDS+=($!)
    pv_wait 10 test -s "$dir/display" || pv_skip "Xvfb did not start: $(tail -n3 "$dir/xvfb.log")"
    printf -v "$var" '%s' ":$(head -n1 "$dir/display")"
}

# icewm on the display, in place of one running there; with a system tray unless $3 is 0.
pv_start_icewm() { # folder display [tray]
    local dir=$1 shown=$2 tray=${3:-1}
    cat >"$dir/home/.icewm/preferences" <<EOF
TaskBarShowClock=0
TaskBarShowCPUStatus=0
TaskBarShowMEMStatus=0
TaskBarShowNetStatus=0
TaskBarShowMailboxStatus=0
TaskBarShowAPMStatus=0
TaskBarEnableSystemTray=$tray
ShowPopupsAbovePointer=0
EOF
    DISPLAY=$shown HOME=$dir/home icewm --replace >"$dir/icewm.log" 2>&1 &
    PV_PIDS+=($!)
    if ((tray)); then
        pv_wait 15 pv_has_system_tray "$shown" ||
            pv_die "icewm shows no system tray on $shown: $(tail -n5 "$dir/icewm.log")"
    else
        pv_wait 15 pv_not pv_has_system_tray "$shown" || pv_die "icewm kept its system tray on $shown"
    fi
}

pv_has_system_tray() { DISPLAY=$1 xwininfo -root -tree 2>/dev/null | grep '"SystemTray"' >/dev/null; }

# Writes an INI file in code page 1251 with CR LF line ends; arguments are its lines.
pv_write_ini() {
    local file=$1
    shift
    mkdir -p "$(dirname "$file")"
    printf '%s\r\n' "$@" | iconv -f UTF-8 -t CP1251 >"$file"
}

# Prints the value of key $3 in section $2 of the INI file $1 (code page 1251).
pv_ini_value() {
    iconv -f CP1251 -t UTF-8 "$1" | tr -d '\r' | awk -v section="[$2]" -v key="$3" '
        /^\[/ { inside = ($0 == section); next }
        inside { i = index($0, "="); if (i > 0 && substr($0, 1, i - 1) == key) { print substr($0, i + 1); exit } }'
}

# The lines of a list file (code page 1251, CR LF), one per line, in UTF-8.
pv_list_lines() { iconv -f CP1251 -t UTF-8 "$1" | tr -d '\r'; }

# Visible windows of the program whose title is exactly $2, on display $1.
pv_windows_titled() {
    local w
    for w in $(DISPLAY=$1 xdotool search --onlyvisible --class "$PV_TRAY_CLASS" 2>/dev/null); do
        [[ $(DISPLAY=$1 xdotool getwindowname "$w" 2>/dev/null) == "$2" ]] && echo "$w"
    done
}

pv_window_shown() { [[ -n $(pv_windows_titled "$1" "$2") ]]; }

# "X Y W H" of a window, its position on the screen.
pv_geometry() {
    DISPLAY=$1 xwininfo -id "$2" 2>/dev/null | awk '
        /Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
        /^ *Width:/ { w = $NF } /^ *Height:/ { h = $NF }
        END { if (w != "") print x, y, w, h }'
}

pv_map_state() { DISPLAY=$1 xwininfo -id "$2" 2>/dev/null | awk '/Map State:/ { print $NF }'; }

# The program's icon in icewm's system tray: the program's window that icewm embedded under its
# "SystemTray" window. Prints its id.
pv_tray_icon() {
    DISPLAY=$1 xwininfo -root -tree 2>/dev/null | awk -v cls="(\"$PV_TRAY_CLASS\"" '
        /"SystemTray":/ { depth = match($0, /[^ ]/); inside = 1; next }
        inside { d = match($0, /[^ ]/); if (d <= depth) { inside = 0; next }
                 if (index($0, cls) && $1 ~ /^0x/) { print $1; exit } }'
}

pv_has_tray_icon() { [[ -n $(pv_tray_icon "$1") && $(pv_map_state "$1" "$(pv_tray_icon "$1")") == IsViewable ]]; }

# Whether the window carries the state atom $3 (_NET_WM_STATE_SKIP_TASKBAR ...).
pv_has_state() { DISPLAY=$1 xprop -id "$2" _NET_WM_STATE 2>/dev/null | grep -w "$3" >/dev/null; }

pv_window_type() { DISPLAY=$1 xprop -id "$2" _NET_WM_WINDOW_TYPE 2>/dev/null; }

# The program's visible top-level window of type $2 (_NET_WM_WINDOW_TYPE_TOOLTIP ...).
pv_window_of_type() {
    local w
    for w in $(DISPLAY=$1 xdotool search --onlyvisible --class "$PV_TRAY_CLASS" 2>/dev/null); do
        pv_window_type "$1" "$w" | grep -w "$2" >/dev/null && { echo "$w"; return 0; }
    done
    return 1
}

pv_override_redirect() { DISPLAY=$1 xwininfo -id "$2" 2>/dev/null | grep 'Override Redirect State: yes' >/dev/null; }

# The program's open popup menu: a visible override-redirect window that is neither the tray
# icon nor a tip (Qt marks its menus as "normal" windows).
pv_popup_menu() {
    local w icon
    icon=$(pv_tray_icon "$1")
    for w in $(DISPLAY=$1 xdotool search --onlyvisible --class "$PV_TRAY_CLASS" 2>/dev/null); do
        [[ $(printf '0x%x' "$w") == "$icon" ]] && continue
        pv_override_redirect "$1" "$w" || continue
        pv_window_type "$1" "$w" | grep -w _NET_WM_WINDOW_TYPE_TOOLTIP >/dev/null && continue
        echo "$w"
        return 0
    done
    return 1
}

# The centre of a window, "X Y".
pv_centre() {
    local x y w h
    read -r x y w h < <(pv_geometry "$1" "$2")
    echo "$((x + w / 2)) $((y + h / 2))"
}

# A click at screen point (x, y) with button $4 (1 left, 3 right).
# (No --sync: it waits long when the pointer is already there.)
pv_click() { DISPLAY=$1 xdotool mousemove "$2" "$3" sleep 0.1 click "${4:-1}"; }

# Gives every character of the text outside ASCII a key of its own on the display (on keys
# that are empty or multimedia keys), so that xdotool types it with one steady key map. Left to
# itself, xdotool borrows a key for each such letter and gives it back at once, and a busy
# program reads the key map after it was given back: the letter is lost.
pv_map_keys() {
    local display=$1 text=$2 ch code i=0 pool exprs=()
    local -A seen=()
    read -r -a pool < <(DISPLAY=$display xmodmap -pke | awk 'NF == 3 || $4 ~ /^XF86/ { printf "%s ", $2 }')
    while IFS= read -r -n1 ch; do
        [[ -z $ch || -n ${seen[$ch]:-} ]] && continue
        code=$(printf '%d' "'$ch")
        ((code < 128)) && continue
        seen[$ch]=1
        ((i < ${#pool[@]})) || { pv_note "no free key left for $ch"; break; }
        exprs+=(-e "keycode ${pool[$i]} = $(printf 'U%04X U%04X' "$code" "$code")")
        i=$((i + 1))
    done <<<"$text"
    ((${#exprs[@]} == 0)) && return 0
    DISPLAY=$display xmodmap "${exprs[@]}" || pv_note "xmodmap failed"
    sleep 0.3 # the program takes in the new key map
}

pv_type() {
    pv_map_keys "$1" "$2"
    DISPLAY=$1 xdotool type --delay 50 -- "$2"
}

# Types text into the focused field and reads it back through the clipboard; should a key be
# lost on a busy machine, the field is selected and typed again, up to three times.
pv_type_checked() {
    local display=$1 text=$2 try got
    for try in 1 2 3; do
        pv_type "$display" "$text"
        pv_key "$display" ctrl+a ctrl+c
        pv_wait 3 pv_clipboard_is "$display" "$text" && return 0
        got=$(pv_clipboard "$display")
        pv_note "typing try $try gave \"$got\"; again"
    done
    pv_fail "could not type \"$text\" on $display"
    return 1
}

pv_key() { DISPLAY=$1 xdotool key --delay 40 "${@:2}"; }

pv_clipboard() { DISPLAY=$1 timeout 5 xclip -selection clipboard -o 2>/dev/null; }
pv_clipboard_is() { [[ $(pv_clipboard "$1") == "$2" ]]; }

# Selects all of a text field under the point, copies it and prints the clipboard (once it has
# changed, or after 3 s when the text was the one already there).
pv_copy_text_at() {
    local display=$1 x=$2 y=$3 before
    before=$(pv_clipboard "$display")
    pv_click "$display" "$x" "$y"
    pv_key "$display" ctrl+a ctrl+c
    pv_wait 3 pv_clipboard_differs "$display" "$before"
    pv_clipboard "$display"
}

pv_clipboard_differs() { [[ $(pv_clipboard "$1") != "$2" ]]; }

# Screenshot of the whole screen, or of part "X,Y,W,H".
pv_shot() {
    local display=$1 file=$2 part=${3:-}
    mkdir -p "$(dirname "$file")"
    if [[ -n $part ]]; then
        DISPLAY=$display XDG_RUNTIME_DIR=${PV_TOOL_RUNTIME:-} "$PV_GRAB" "$file" --rect "$part" ||
            pv_fail "no screenshot $file"
    else
        DISPLAY=$display XDG_RUNTIME_DIR=${PV_TOOL_RUNTIME:-} "$PV_GRAB" "$file" || pv_fail "no screenshot $file"
    fi
}

# Screenshot of one window, cut from the screen (frame and all that covers it).
pv_shot_window() {
    local x y w h
    read -r x y w h < <(pv_geometry "$1" "$2")
    [[ -n $w ]] || { pv_fail "window $2 is gone, no screenshot $3"; return; }
    pv_shot "$1" "$3" "$x,$y,$w,$h"
}

# The desktop's colour (see pv_start_x).
PV_DESKTOP_RGB=506078

# Pixels of a window's picture (or of part "X,Y,W,H" of it) that the program did not draw: pure
# black (what X shows in an unpainted see-through window) or the desktop's colour showing
# through. The program draws neither.
pv_undrawn_pixels() {
    local file=$1 part=${2:-} black desk
    black=$("$PV_GRAB" --count "$file" 000000 ${part:+--rect "$part"}) || return 1
    desk=$("$PV_GRAB" --count "$file" "$PV_DESKTOP_RGB" ${part:+--rect "$part"}) || return 1
    echo $((black + desk))
}

# Where icewm puts task buttons (between the workspace buttons and the tray).
PV_TASKPANE_RECT="240,$((PV_SCREEN_H - 25)),560,24"

pv_taskpane_differs() { # base.png now.png: true when task buttons changed
    local n
    n=$("$PV_GRAB" --diff "$1" "$2" --rect "$PV_TASKPANE_RECT") || return 0
    ((n > 0))
}

# Starts the program on display $1 with its own folders under $2; the arguments after those are
# a command to start it through (such as "ip netns exec NS"). Sets PV_LAST_PID. With an
# accessibility bus (pv_start_atspi) the program gets its session bus and speaks to it.
pv_start_program() {
    local display=$1 dir=$2 bus=()
    shift 2
    mkdir -p "$dir/home" "$dir/config" "$dir/run"
    chmod 700 "$dir/run"
    [[ -n ${PV_SESSION_BUS:-} ]] && bus=(DBUS_SESSION_BUS_ADDRESS="$PV_SESSION_BUS" QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1)
    "$@" env -u DBUS_SESSION_BUS_ADDRESS -u SESSION_MANAGER "${bus[@]}" DISPLAY="$display" QT_QPA_PLATFORM=xcb \
        HOME="$dir/home" XDG_CONFIG_HOME="$dir/config" XDG_RUNTIME_DIR="$dir/run" LANG=C.UTF-8 \
        "$PV_PROGRAM" >"$dir/program.log" 2>&1 &
    PV_LAST_PID=$!
    PV_PIDS+=("$PV_LAST_PID")
}

# A session bus of its own with the accessibility bus on it (at-spi2-core), where the program and
# pyatspi meet as the program and a screen reader do on a desktop. Sets PV_SESSION_BUS; false
# where the buses cannot be started.
PV_ATSPI_LAUNCHER=/usr/libexec/at-spi-bus-launcher
pv_start_atspi() { # dir display
    local dir=$1 display=$2 address pid
    command -v dbus-launch >/dev/null && [[ -x $PV_ATSPI_LAUNCHER && -x /usr/bin/python3 ]] || return 1
    /usr/bin/python3 -c 'import pyatspi' 2>/dev/null || return 1
    mkdir -p "$dir"
    eval "$(DISPLAY=$display dbus-launch --sh-syntax 2>"$dir/dbus.log" |
        sed -n 's/^DBUS_SESSION_BUS_ADDRESS=/address=/p; s/^DBUS_SESSION_BUS_PID=/pid=/p')"
    [[ -n ${address:-} && -n ${pid:-} ]] || return 1
    pid=${pid%;}
    PV_PIDS+=("$pid")
    # Its bus's socket goes into a private runtime folder, not into the home folder.
    mkdir -p "$dir/run"
    chmod 700 "$dir/run"
    DBUS_SESSION_BUS_ADDRESS=$address DISPLAY=$display XDG_RUNTIME_DIR=$dir/run "$PV_ATSPI_LAUNCHER" \
        --launch-immediately >"$dir/atspi.log" 2>&1 &
    PV_PIDS+=($!)
    PV_SESSION_BUS=$address
    pv_wait 10 pv_atspi_up "$display" || { PV_SESSION_BUS=; return 1; }
}
pv_atspi_up() {
    DBUS_SESSION_BUS_ADDRESS=$PV_SESSION_BUS timeout 5 dbus-send --session --print-reply --dest=org.a11y.Bus \
        /org/a11y/bus org.a11y.Bus.GetAddress 2>/dev/null | grep -q 'string "'
}

# Runs tests/desktop/atspi.py against the program on display $1 (what a screen reader reads).
pv_atspi() { # display command args...
    local display=$1
    shift
    DBUS_SESSION_BUS_ADDRESS=$PV_SESSION_BUS DISPLAY=$display timeout 30 /usr/bin/python3 \
        "$(dirname "${BASH_SOURCE[0]}")/atspi.py" "$@"
}

# Whether a child has ended (gone, or a zombie not yet collected).
pv_ended() {
    local state
    state=$(ps -o stat= -p "$1" 2>/dev/null) || return 0
    [[ $state == Z* ]]
}

# Waits for a child process to end by itself; sets PV_EXIT_CODE. Not in a subshell: only this
# shell can collect its children.
pv_wait_exit() {
    local pid=$1 seconds=$2
    PV_EXIT_CODE=
    pv_wait "$seconds" pv_ended "$pid" || return 1
    wait "$pid" 2>/dev/null
    PV_EXIT_CODE=$?
}

# Right click on the tray icon and a click on the menu's last item ("Выключить сервер").
pv_shutdown_from_menu() {
    local display=$1 shot=${2:-} icon cx cy menu x y w h
    icon=$(pv_tray_icon "$display")
    [[ -n $icon ]] || { pv_fail "no tray icon to open the menu from on $display"; return 1; }
    read -r cx cy < <(pv_centre "$display" "$icon")
    pv_click "$display" "$cx" "$cy" 3
    if ! pv_wait 5 pv_popup_menu "$display" >/dev/null; then
        pv_fail "the tray menu did not open on $display"
        return 1
    fi
    menu=$(pv_popup_menu "$display")
    sleep 0.3 # the menu's opening animation
    [[ -n $shot ]] && pv_shot "$display" "$shot"
    read -r x y w h < <(pv_geometry "$display" "$menu")
    pv_click "$display" $((x + w / 2)) $((y + h - 12))
}

# The closing lines of every desktop test: fails when a check failed, else says it passed.
pv_finish() { # test-name shots-folder
    if ((PV_FAILURES > 0)); then
        echo "$PV_FAILURES check(s) failed; screenshots in $2"
        exit 1
    fi
    echo "$1 test passed; screenshots in $2"
}
