#!/usr/bin/env bash
# The receiving end measured beside a raw epoll receiver and a receiver on QTcpServer/QTcpSocket
# in the same run (this machine is noisy: only figures taken together are compared). Prints one
# table, then what each does out of descriptors.
#   bench/run.sh [BUILD_DIR]
#   PELLAVINE_PROGRAM=/other/build/bin/pellavine bench/run.sh   measures another build of the program
# Needs a built tree (tools/build.sh). Uses a private Xvfb with icewm when they are installed
# (tools/install-deps.sh --tests), else the offscreen platform (no first-window time then).
# Everything goes to loopback ports of this machine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${PELLAVINE_BUILD_DIR:-$root/build}}
program=${PELLAVINE_PROGRAM:-$build/bin/pellavine}
load=$build/bench/pv_load
raw=$build/bench/pv_epoll_receiver
qt=$build/bench/pv_qt_receiver
receiving_end=$build/bench/pv_program_receiver
black_list=$build/bench/pv_black_list_bench
for f in "$program" "$load" "$raw" "$qt" "$receiving_end" "$black_list"; do
    [[ -x $f ]] || { echo "bench: $f is missing; build first (tools/build.sh)" >&2; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

free_port() {
    local port
    while :; do
        port=$((20000 + RANDOM % 20000))
        ss -Htln "sport = :$port" | grep -q . || { echo "$port"; return; }
    done
}
listens() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
now_ms() { echo $(($(date +%s%N) / 1000000)); }
# Context switches of every thread of a process: each one is a wake-up.
switches() {
    local sum=0 n
    for s in /proc/"$1"/task/*/status; do
        n=$(awk '/ctxt_switches/ { t += $2 } END { print t + 0 }' "$s" 2>/dev/null || echo 0)
        sum=$((sum + n))
    done
    echo "$sum"
}
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
rss_mib() { awk '/VmRSS/ { printf "%.1f", $2 / 1024 }' "/proc/$1/status"; }
fds() { ls "/proc/$1/fd" | wc -l; }

display=
if command -v Xvfb >/dev/null && command -v icewm >/dev/null; then
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
    pids+=($!)
    for _ in $(seq 50); do [[ -s $work/display ]] && break; sleep 0.1; done
    display=:$(cat "$work/display")
    DISPLAY=$display HOME=$work icewm >/dev/null 2>&1 &
    pids+=($!)
    sleep 1
fi

port=$(free_port)
mkdir -p "$work/config/Pellavine" "$work/run"
printf '[config]\r\nport=%s\r\nsptime=500\r\nsnd=0\r\nfirststart=0\r\nautofocus=0\r\n' "$port" \
    >"$work/config/Pellavine/Pellavine.ini"
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run
if [[ -n $display ]]; then
    export DISPLAY=$display QT_QPA_PLATFORM=xcb
else
    export QT_QPA_PLATFORM=offscreen
fi

started=$(now_ms)
"$program" >"$work/program.log" 2>&1 &
app=$!
pids+=($app)
first_window=n/a
if [[ -n $display ]] && command -v xdotool >/dev/null; then
    for _ in $(seq 1000); do
        if xdotool search --name 'Окно приветствия' >/dev/null 2>&1; then
            first_window=$(($(now_ms) - started))
            break
        fi
        sleep 0.01
    done
fi
for _ in $(seq 100); do listens "$port" && break; sleep 0.1; done
listens "$port" || { echo "bench: the program does not listen on $port" >&2; cat "$work/program.log" >&2; exit 1; }

# Idle in the tray: nothing should wake the program.
sleep 2
before=$(switches "$app")
sleep 10
idle_wakeups=$(awk -v a="$before" -v b="$(switches "$app")" 'BEGIN { printf "%.1f", (b - a) / 10 }')
idle_rss=$(rss_mib "$app")

start() { # port command... -> pid in $started_pid
    "${@:2}" >/dev/null &
    started_pid=$!
    pids+=($started_pid)
    for _ in $(seq 50); do listens "$1" && break; sleep 0.1; done
}
raw_port=$(free_port)
start "$raw_port" "$raw" "$raw_port"
rawpid=$started_pid
qt_port=$(free_port)
start "$qt_port" "$qt" "$qt_port"
qtpid=$started_pid
shed_port=$(free_port)
start "$shed_port" "$qt" "$shed_port" shed
shedpid=$started_pid

field() { sed -n "s/.*$1=\([^ ]*\).*/\1/p"; }
measure() { # port mode args... -> "p50/p99 (failed)"
    local out
    out=$("$load" "$@")
    echo "$(($(echo "$out" | field p50_us))) / $(($(echo "$out" | field p99_us))) µs ($(echo "$out" | field failed) failed)"
}
burst() {
    local out
    out=$("$load" "$1" burst 2000 10)
    echo "$(echo "$out" | field seconds) s, p99 $(($(echo "$out" | field p99_us) / 1000)) ms ($(echo "$out" | field failed) failed)"
}
hz=$(getconf CLK_TCK)
# The receiver's CPU per connection (accepted, read to its end, closed), 2000 in a row, while
# `held` idle connections from 17 computers are open: what they add to every turn of the loop.
per_connection() { # port pid held
    local h= ticks out
    if (($3 > 0)); then
        "$load" "$1" keep "$3" 30 17 >/dev/null 2>&1 &
        h=$!
        sleep 2
    fi
    ticks=$(cpu_ticks "$2")
    out=$("$load" "$1" accept 2000)
    echo -n "$(awk -v a="$ticks" -v b="$(cpu_ticks "$2")" -v hz="$hz" 'BEGIN { printf "%.0f", (b - a) * 1e6 / hz / 2000 }') µs"
    echo " ($(echo "$out" | field failed) failed)"
    if [[ -n $h ]]; then
        kill "$h"
        wait "$h" 2>/dev/null || true
        sleep 1
    fi
}
# One computer holds 2000 connections for 15 s; meanwhile another sends and the receiver's CPU is read.
holder() { # port pid
    local fds_before ticks cpu other fds_during fds_after
    fds_before=$(fds "$2")
    "$load" "$1" hold 2000 10 1 >/dev/null &
    local h=$!
    sleep 3
    ticks=$(cpu_ticks "$2")
    sleep 5
    cpu=$(awk -v a="$ticks" -v b="$(cpu_ticks "$2")" -v hz="$hz" 'BEGIN { printf "%.1f %%", 100 * (b - a) / hz / 5 }')
    other=$(measure "$1" latency 20)
    fds_during=$(fds "$2")
    wait "$h"
    sleep 1
    fds_after=$(fds "$2")
    echo "cpu $cpu | other peer $other | descriptors $fds_before → $fds_during → $fds_after"
}

# Out of descriptors: the receiver's limit drops to 64 (for the rest of the run: this comes last)
# and 500 connections come from 16 computers (within the bounds per peer); they are let go after
# 6 s. In between, CPU tells a loop that spins on a listener it cannot empty (a spinning loop
# never sleeps, so it shows few wake-ups); then a message sent meanwhile and one sent after.
starved() { # port pid
    local hold ticks before meanwhile fds_during after
    prlimit --pid "$2" --nofile=64:64 || { echo "not measured (prlimit failed)"; return; }
    "$load" "$1" hold 500 6 16 >/dev/null 2>&1 &
    hold=$!
    sleep 2
    ticks=$(cpu_ticks "$2")
    before=$(switches "$2")
    "$load" "$1" latency 1 >"$work/meanwhile" 2>&1 &
    meanwhile=$!
    sleep 3
    fds_during=$(fds "$2")
    echo -n "cpu $(awk -v a="$ticks" -v b="$(cpu_ticks "$2")" -v hz="$hz" 'BEGIN { printf "%.0f %%", 100 * (b - a) / hz / 3 }')"
    echo -n ", $(awk -v a="$before" -v b="$(switches "$2")" 'BEGIN { printf "%.0f", (b - a) / 3 }') wake-ups/s"
    echo -n ", $fds_during descriptors"
    wait "$hold"
    after=$("$load" "$1" latency 1)
    wait "$meanwhile" || true
    echo -n " | meanwhile: $(outcome <"$work/meanwhile")"
    echo " | after: $(echo "$after" | outcome)"
}
outcome() {
    local out
    out=$(cat)
    if [[ $(echo "$out" | field failed) == 0 ]]; then
        echo "ok in $(($(echo "$out" | field p50_us) / 1000)) ms"
    else
        echo "lost ($(echo "$out" | field seconds) s)"
    fi
}

# 600 connections from 30 addresses dripping a byte every 20 s; after 12 s another computer sends.
dripped() { # port
    local d out
    "$load" "$1" drip 600 25 30 >/dev/null 2>&1 &
    d=$!
    sleep 12
    out=$("$load" "$1" latency 1)
    wait "$d" 2>/dev/null || true
    echo "$out" | outcome
}
printf '%-34s | %-34s | %-34s | %s\n' "" "Pellavine" "QTcpServer/QTcpSocket" "raw epoll receiver"
row() { printf '%-34s | %-34s | %-34s | %s\n' "$@"; }
row "message latency p50 / p99" "$(measure "$port" latency 300)" "$(measure "$qt_port" latency 300)" \
    "$(measure "$raw_port" latency 300)"
row "burst: 2000 messages, 10 senders" "$(burst "$port")" "$(burst "$qt_port")" "$(burst "$raw_port")"
for held in 0 500 1000; do
    mark=
    if ((held > 512)); then mark=" *"; fi
    row "accept p50 / p99, $held held$mark" "$(measure "$port" accept 300 "$held")" \
        "$(measure "$qt_port" accept 300 "$held")" "$(measure "$raw_port" accept 300 "$held")"
done
for held in 0 500; do
    row "CPU per connection, $held held" "$(per_connection "$port" "$app" "$held")" \
        "$(per_connection "$qt_port" "$qtpid" "$held")" "$(per_connection "$raw_port" "$rawpid" "$held")"
done
echo "* past the bound of 512 in all: the Qt receiver closes the newcomer at once, unread; Pellavine closes"
echo "  the connection held longest by the address holding the most, and takes the newcomer"
echo
echo "one computer holding 2000 connections:"
echo "  Pellavine:  $(holder "$port" "$app")"
echo "  QTcpServer: $(holder "$qt_port" "$qtpid")"
echo "  raw epoll:  $(holder "$raw_port" "$rawpid")"
echo
echo "idle in the tray: $idle_wakeups wake-ups/s, RSS $idle_rss MiB; after the load: RSS $(rss_mib "$app") MiB"
echo "time to the first window: $first_window ms"
echo "600 dripping from 30 addresses, the program: another computer's message $(dripped "$port")"
echo
echo "out of descriptors (limit 64, 500 connections offered):"
echo "  Pellavine:               $(starved "$port" "$app")"
echo "  QTcpServer:              $(starved "$qt_port" "$qtpid")"
echo "  QTcpSocket, own accept:  $(starved "$shed_port" "$shedpid")"
echo "  raw epoll:               $(starved "$raw_port" "$rawpid")"

# Bursts, drips and the black list. The receiving end is the program's own code without its windows
# (pv_program_receiver), which counts what it records; the raw receiver counts connections that
# brought data, with the queue of 5 and with the system's.
counted() { # port file command... -> pid in $started_pid
    "${@:3}" >"$2" 2>/dev/null &
    started_pid=$!
    pids+=($started_pid)
    for _ in $(seq 50); do listens "$1" && break; sleep 0.1; done
}
count_of() { { tail -n1 "$1" 2>/dev/null || true; } | awk '{ print $2 + 0 }'; }
end_port=$(free_port)
counted "$end_port" "$work/end.count" "$receiving_end" "$end_port"
endpid=$started_pid
raw5_port=$(free_port)
counted "$raw5_port" "$work/raw5.count" "$raw" "$raw5_port" 5
rawq_port=$(free_port)
counted "$rawq_port" "$work/rawq.count" "$raw" "$rawq_port" 4096
# 400 connections at once from 400 addresses, each sending its tag and closing.
tagged() { # port countfile
    local before
    before=$(count_of "$2")
    "$load" "$1" tags 400 >/dev/null
    for _ in $(seq 50); do (($(count_of "$2") - before >= 400)) && break; sleep 0.2; done
    echo "$(($(count_of "$2") - before)) of 400 recorded"
}
echo
printf '%-36s | %-30s | %-30s | %s\n' "" "Pellavine receiving end" "raw epoll, queue 5" "raw epoll, system's queue"
wide() { printf '%-36s | %-30s | %-30s | %s\n' "$@"; }
wide "400 at once from 400 addresses" "$(tagged "$end_port" "$work/end.count")" \
    "$(tagged "$raw5_port" "$work/raw5.count")" "$(tagged "$rawq_port" "$work/rawq.count")"
wide "600 dripping from 30: another's" "$(dripped "$end_port")" "n/a" "$(dripped "$rawq_port")"
echo "black list of 100,000 names, per message: $("$black_list" 100000)"
