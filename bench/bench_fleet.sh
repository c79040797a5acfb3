#!/usr/bin/env bash
# The desktop program with a fleet of 33 simulated handhelds, each polled 10 times a
# second and changing its picture at every poll (scripts/demo.sh's fleet, the moving
# test picture): the whole program's CPU use (connection threads, input senders and the
# user-interface thread's painting), with its 33 device windows alone and with the
# Devices window open over them. Runs on a virtual X display of its own (xvfb-run,
# 1920 x 1080); the X server's and the simulators' CPU are printed beside, not counted.
#
#   bench/bench_fleet.sh [BUILD]     BUILD: a Release build folder (default build/bench)
#
# Environment: SORVANE_BENCH_SECONDS (the measured span, default 20), SORVANE_BENCH_ROUNDS
# (runs of each mode, alternating, default 2). The last lines hold the goals as ratios:
# the program under one core with the Devices window open, and the Devices window's part
# (with it less without it) under a third of that. Everything stays on 127.0.0.0/8.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/bench}
seconds=${SORVANE_BENCH_SECONDS:-20}
rounds=${SORVANE_BENCH_ROUNDS:-2}
devices=33

if [ -z "${SORVANE_FLEET_INNER:-}" ]; then
    cmake --build "$build" -j 2 --target sorvane sorvane-sim >/dev/null
    export SORVANE_FLEET_INNER=1
    exec xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" bash "$0" "$build"
fi

hz=$(getconf CLK_TCK)
# utime + stime of processes, in clock ticks (one read of all their stat files; the
# fields after the command's closing parenthesis: utime and stime are the 12th and 13th).
ticks() {
    local files=() pid
    for pid in "$@"; do
        files+=("/proc/$pid/stat")
    done
    cat "${files[@]}" 2>/dev/null | sed 's/^.*) //' | awk '{ s += $12 + $13 } END { print s + 0 }'
}
# TCP segments with data the program has sent to the devices (its requests: one a poll,
# a palette query where a device asks for one, input).
requests() {
    ss -tinpH state established '( dport = :1899 )' | grep -A1 "pid=$program," |
        grep -o 'data_segs_out:[0-9]*' | awk -F: '{ s += $2 } END { print s + 0 }'
}
# "seconds program xserver sims requests" now.
snapshot() {
    echo "$(date +%s.%N) $(ticks "$program") $(ticks "$xserver") $(ticks $sims) $(requests)"
}
# xvfb-run's X server: our sibling.
xserver=$(pgrep -o -x Xvfb -P "$(ps -o ppid= $$ | tr -d ' ')" || true)

# One run: the demo's fleet with (1) or without (0) the Devices window; prints
# "program_cores xserver_cores sims_cores".
run() {
    local grid=$1 log
    log=$(mktemp)
    SORVANE_DEMO_DEVICES=$devices SORVANE_DEMO_PICTURE=synthetic SORVANE_DEMO_GRID=$grid \
        SORVANE_DEMO_BUILD=$build bash "$root/scripts/demo.sh" >"$log" 2>&1 &
    local demo=$!
    program="" sims=""
    local windows=0
    for _ in $(seq 240); do
        [ -z "$program" ] && program=$(pgrep -P "$demo" -x sorvane || true)
        windows=$(xdotool search --onlyvisible --name '^Scanner [0-9]+ - ' 2>/dev/null | wc -l || true)
        ((windows >= devices)) && break
        sleep 0.5
    done
    if [ -z "$program" ] || ((windows < devices)); then
        echo "the fleet did not connect ($windows of $devices windows):" >&2
        cat "$log" >&2
        kill "$demo"
        wait "$demo" || true
        return 1
    fi
    if [ "$grid" = 1 ] && ! xdotool search --onlyvisible --name '^Devices' >/dev/null 2>&1; then
        echo "the Devices window did not open" >&2
        kill "$demo"
        return 1
    fi
    sleep 5 # the first whole pictures, the windows' first paints
    sims=$(pgrep -P "$demo" -x sorvane-sim | tr '\n' ' ')
    local before after
    before=$(snapshot)
    sleep "$seconds"
    after=$(snapshot)
    kill "$demo"
    wait "$demo" 2>/dev/null || true
    rm -f "$log"
    echo "$before $after" | awk -v hz="$hz" -v n="$devices" '{ t = $6 - $1
        printf "%.3f %.3f %.3f %.1f\n", ($7 - $2) / hz / t, ($8 - $3) / hz / t, ($9 - $4) / hz / t, ($10 - $5) / t / n }'
}

echo "$devices devices at 10 polls/s, pictures changing at every poll, ${seconds} s per run, in cores (1.0 = one busy core)"
printf '%-28s %8s %9s %11s %20s\n' mode program "X server" simulators "requests/s a device"
declare -A sum
for ((r = 1; r <= rounds; r++)); do
    for grid in 0 1; do
        figures=$(run "$grid")
        read -r p x s q <<<"$figures"
        label=$([ "$grid" = 1 ] && echo "device windows + Devices" || echo "device windows")
        printf '%-28s %8.3f %9.3f %11.3f %20.1f\n' "$label" "$p" "$x" "$s" "$q"
        sum[$grid]=$(awk -v a="${sum[$grid]:-0}" -v b="$p" 'BEGIN { print a + b }')
    done
done
awk -v without="${sum[0]}" -v with="${sum[1]}" -v n="$rounds" 'BEGIN {
    w = with / n; o = without / n; part = (w - o) / w
    printf "goal: the program under one core with the Devices window open: %.3f cores (%s)\n", w, w < 1 ? "met" : "MISSED"
    printf "goal: the Devices window under a third of it: %.3f - %.3f = %.3f cores, %.2f of the whole (%s)\n",
        w, o, w - o, part, part < 1 / 3 ? "met" : "MISSED"
}'
