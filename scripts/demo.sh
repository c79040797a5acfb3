#!/usr/bin/env bash
# Builds Sorvane (Release) and runs the desktop program against simulated handhelds
# on loopback.
#
#   scripts/demo.sh                      run the program; close its main window to end
#   scripts/demo.sh --screenshot FILE    connect, take a PNG of the screen into FILE, end
#
# Two simulated devices start on port 1899 (the agent's port, which WAN links use) of
# loopback addresses of their own: a 16-bit 240 x 320 device and an 8-bit one. When
# the settings hold no connections yet, the demo adds the WAN connections "Demo
# device" and "Demo device (8-bit)" for them, marked to connect at start-up. The
# settings live in a temporary folder removed at the end, unless SORVANE_CONFIG_DIR
# (and SORVANE_HOME) name folders of your own. Everything stays on 127.0.0.0/8.
#
# Environment: SORVANE_JOBS (build jobs, default: all processors), DISPLAY (an X
# display; for --screenshot e.g. one of Xvfb: `Xvfb :97 -screen 0 1280x1024x24 &`).
set -euo pipefail

screenshot=""
case "${1:-}" in
--screenshot)
    screenshot=${2:?"--screenshot needs a file name"}
    ;;
"") ;;
*)
    echo "usage: scripts/demo.sh [--screenshot FILE]" >&2
    exit 2
    ;;
esac

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DSORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build build/release -j "${SORVANE_JOBS:-$(nproc)}" --target sorvane sorvane-sim

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

config=${SORVANE_CONFIG_DIR:-$work/config}
home=${SORVANE_HOME:-$work/home}
mkdir -p "$config" "$home"

# Starts a simulator on port 1899 of the first free address 127.0.0.N from $1 on and
# sets started to N (no subshell, so that cleanup knows its pid).
started=""
start_sim() {
    local n=$1
    shift
    for _ in $(seq 40); do
        local out="$work/sim-$n.out"
        build/release/sim/sorvane-sim --host "127.0.0.$n" --port 1899 "$@" >"$out" 2>"$work/sim-$n.err" &
        local pid=$!
        for _ in $(seq 100); do
            if grep -q '^ready' "$out"; then
                pids+=("$pid")
                started=$n
                return 0
            fi
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.05
        done
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
        n=$((n + 1))
    done
    echo "no loopback address with a free port 1899" >&2
    return 1
}

# A 136-byte connection record as the settings file's hex list: link kind 4 (WAN),
# the address, scale 1, 10 polls a second, mouse cursor in recordings, connect at
# start-up, and the name.
le32() { printf '%02x,%02x,%02x,%02x' $(($1 & 255)) $((($1 >> 8) & 255)) $((($1 >> 16) & 255)) $((($1 >> 24) & 255)); }
profile_hex() {
    local address=$1 name=$2
    local fields=(4 0 0 1 "$address" 0 0 1 1 0 10 0 0 0 0)
    local out="" f
    for f in "${fields[@]}"; do
        out+="$(le32 "$f"),"
    done
    out+=$(printf '00,%.0s' $(seq 12))
    local bytes
    bytes=$(printf '%s' "$name" | od -An -tx1 -v | tr -s ' \n' ' ')
    local count=0 b
    for b in $bytes; do
        out+="$b,"
        count=$((count + 1))
    done
    out+=$(printf '00,%.0s' $(seq $((64 - count))))
    printf '%s' "${out%,}"
}

start_sim $((60 + RANDOM % 100)) --still-after 0 --name "Pocket PC"
first=$started
start_sim $((first + 1)) --still-after 0 --depth 8 --name "Handheld 8"
second=$started
echo "simulated devices on 127.0.0.$first:1899 and 127.0.0.$second:1899"

args=()
settings="$config/settings.reg"
if [ ! -e "$settings" ]; then
    {
        echo "Sorvane settings store 1"
        echo
        echo '[SOFTWARE\Halvard\Sorvane]'
        echo '"ConnTypes"=dword:00000002'
        echo "\"ConnData\"=hex:$(profile_hex $((0x7F000000 + first)) "Demo device"),$(profile_hex $((0x7F000000 + second)) "Demo device (8-bit)")"
        echo '"AcceptInbound"=dword:00000000'
    } >"$settings"
elif ! grep -q '^"ConnTypes"=dword:0*[1-9a-f]' "$settings"; then
    # Settings of your own without connections: the program adds one for the device.
    args=(--connect "127.0.0.$first")
fi

export SORVANE_CONFIG_DIR=$config SORVANE_HOME=$home
if [ -z "$screenshot" ]; then
    build/release/src/app/sorvane "${args[@]}"
    exit 0
fi

build/release/src/app/sorvane "${args[@]}" &
pids+=("$!")
# Each connect dialog makes its first attempt after 7 seconds; the two devices
# connect one after the other, then their first pictures arrive.
sleep 18
mkdir -p "$(dirname "$screenshot")"
import -window root "$work/screen.png"
convert "$work/screen.png" -trim +repage -colors 256 "PNG8:$screenshot"
echo "screenshot: $screenshot ($(stat -c %s "$screenshot") bytes)"
