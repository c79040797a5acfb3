#!/usr/bin/env bash
# Builds Sorvane (Release) and runs the desktop program against simulated handhelds
# on loopback.
#
#   scripts/demo.sh                      run the program; close its main window to end
#   scripts/demo.sh --screenshot FILE    connect, open Notes on the first device, type
#                                        and draw in it (with xdotool), take a PNG of the
#                                        screen into FILE, end
#
# Two simulated handhelds start on port 1899 (the agent's port, which WAN links use) of
# loopback addresses of their own: a 16-bit 240 x 320 device and an 8-bit one. They
# open on their home screens; "Start" (bottom left) opens their menu. Each has a file
# system of its own, a copy of the sample folder scripts/demo-files (the File Explorer
# and the device's Files program show it). When the settings
# hold no connections yet, the demo adds the WAN connections "Demo device" (shown at
# 2x) and "Demo device (8-bit)" (1x) for them, marked to connect at start-up. The
# settings live in a temporary folder removed at the end, unless SORVANE_CONFIG_DIR
# (and SORVANE_HOME) name folders of your own. Everything stays on 127.0.0.0/8.
#
# With SORVANE_DEMO_SKINS=1 the two devices are shown in the skins the program ships,
# and the 8-bit one has a second display (View > Toggle Flip State shows it).
#
# With SORVANE_DEMO_DEVICES=N (3 to 33) the demo is a fleet instead: N simulated
# handhelds "Scanner 01" ... on 127.0.0.2 upwards (an address already taken is skipped),
# of mixed depths, sizes and orientations, one WAN connection each (1x, connect at
# start-up), and the program opens with its Devices window (SORVANE_DEMO_GRID=0: without
# it). SORVANE_DEMO_PICTURE=synthetic shows the simulator's moving test picture, which
# changes at every poll, instead of the handheld's screens (bench/bench_fleet.sh).
# --screenshot then shows the Devices window over the whole screen once every device is
# connected.
#
# Environment: SORVANE_JOBS (build jobs, default: all processors), DISPLAY (an X
# display; for --screenshot one with a window manager, as scripts/screenshot.sh makes),
# SORVANE_DEMO_SKINS, SORVANE_DEMO_DEVICES, SORVANE_DEMO_GRID, SORVANE_DEMO_PICTURE,
# SORVANE_DEMO_BUILD (a build folder of your own whose sorvane and sorvane-sim are run
# as they are, instead of the Release build).
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
build=${SORVANE_DEMO_BUILD:-build/release}
if [ -z "${SORVANE_DEMO_BUILD:-}" ]; then
    cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DSORVANE_BUILD_TESTS=OFF >/dev/null
    cmake --build build/release -j "${SORVANE_JOBS:-$(nproc)}" --target sorvane sorvane-sim
fi

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
    local files="$work/files-$n"
    cp -R scripts/demo-files "$files"
    for _ in $(seq 40); do
        local out="$work/sim-$n.out"
        "$build/sim/sorvane-sim" --host "127.0.0.$n" --port 1899 --files "$files" "$@" >"$out" 2>"$work/sim-$n.err" &
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
# the skin, the scale, the address, 10 polls a second, mouse cursor in recordings,
# connect at start-up, and the name.
le32() { printf '%02x,%02x,%02x,%02x' $(($1 & 255)) $((($1 >> 8) & 255)) $((($1 >> 16) & 255)) $((($1 >> 24) & 255)); }
profile_hex() {
    local address=$1 name=$2 scale=$3 skin=$4
    local fields=(4 0 "$skin" "$scale" "$address" 0 0 1 1 0 10 0 0 0 0)
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

# Waits (up to 60 s) for a visible window whose title matches $1 and prints its id.
find_window() {
    local found=""
    for _ in $(seq 120); do
        found=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true)
        [ -n "$found" ] && break
        sleep 0.5
    done
    if [ -z "$found" ]; then
        echo "no window \"$1\" opened" >&2
        exit 1
    fi
    echo "$found"
}

# Takes the whole screen into $1 (a PNG of 256 colours), its plain border trimmed
# unless $2 is "whole".
shoot() {
    mkdir -p "$(dirname "$1")"
    import -window root "$work/screen.png"
    local trim=(-trim +repage)
    [ "${2:-}" = whole ] && trim=()
    convert "$work/screen.png" "${trim[@]}" -colors 256 "PNG8:$1"
    echo "screenshot: $1 ($(stat -c %s "$1") bytes)"
}

# The fleet: $fleet simulated handhelds, one connection each, the Devices window.
fleet_demo() {
    # depth:width:height:orientation, in turn: portrait and landscape 16-bit, 8-bit,
    # turned 4-bit, a square 2-bit display, VGA, a small phone-like one, turned 8-bit.
    local formats=(16:240:320:0 8:240:320:0 16:320:240:0 4:240:320:90 2:160:160:0 16:480:640:0 16:176:208:0
        8:320:240:270)
    local picture=()
    [ "${SORVANE_DEMO_PICTURE:-}" = synthetic ] && picture=(--picture synthetic --still-after 0)
    local data="" n=2 i depth width height orientation name
    for ((i = 1; i <= fleet; i++)); do
        IFS=: read -r depth width height orientation <<<"${formats[$(((i - 1) % ${#formats[@]}))]}"
        name=$(printf 'Scanner %02d' "$i")
        start_sim "$n" --depth "$depth" --width "$width" --height "$height" --orientation "$orientation" \
            --name "$name" "${picture[@]}"
        data+="${data:+,}$(profile_hex $((0x7F000000 + started)) "$name" 1 0)"
        n=$((started + 1))
    done
    echo "$fleet simulated devices on 127.0.0.2 to 127.0.0.$started, port 1899"
    local settings="$config/settings.reg"
    {
        echo "Sorvane settings store 1"
        echo
        echo '[SOFTWARE\Halvard\Sorvane]'
        printf '"ConnTypes"=dword:%08x\n' "$fleet"
        echo "\"ConnData\"=hex:$data"
        echo '"AcceptInbound"=dword:00000000'
    } >"$settings"
    local args=()
    [ "${SORVANE_DEMO_GRID:-1}" = 1 ] && args=(--grid)
    export SORVANE_CONFIG_DIR=$config SORVANE_HOME=$home
    # In the background, so that a TERM ends the demo (and its simulators) at once.
    "$build/src/app/sorvane" "${args[@]}" &
    pids+=("$!")
    if [ -z "$screenshot" ]; then
        wait "$!" || true
        return 0
    fi
    find_window "^$(printf 'Scanner %02d' "$fleet") - " >/dev/null
    local grid
    grid=$(find_window '^Devices')
    # Over the whole screen, its frame included (xprop tells the frame's borders, the
    # window manager places the window's inside).
    local left right top bottom screen_width screen_height
    IFS=', ' read -r left right top bottom < <(xprop -id "$grid" _NET_FRAME_EXTENTS | sed 's/^.*= //')
    read -r screen_width screen_height < <(xdotool getdisplaygeometry)
    xdotool windowactivate --sync "$grid" windowmove --sync "$grid" "$left" "$top" \
        windowsize --sync "$grid" $((screen_width - left - right)) $((screen_height - top - bottom))
    sleep 3
    shoot "$screenshot" whole
}

fleet=${SORVANE_DEMO_DEVICES:-2}
if [ "$fleet" != 2 ]; then
    if ! [[ "$fleet" =~ ^[0-9]+$ ]] || ((fleet < 3 || fleet > 33)); then
        echo "SORVANE_DEMO_DEVICES must be 2 (the usual demo) or 3 to 33" >&2
        exit 2
    fi
    fleet_demo
    exit 0
fi

start_sim $((60 + RANDOM % 100)) --name "Pocket PC"
first=$started
skins=${SORVANE_DEMO_SKINS:-0}
second_display=()
[ "$skins" = 1 ] && second_display=(--second 16:120x160:0)
start_sim $((first + 1)) --depth 8 "${second_display[@]}" --name "Handheld 8"
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
        echo "\"ConnData\"=hex:$(profile_hex $((0x7F000000 + first)) "Demo device" 2 $((skins == 1 ? 1 : 0))),$(profile_hex $((0x7F000000 + second)) "Demo device (8-bit)" 1 $((skins == 1 ? 2 : 0)))"
        echo '"AcceptInbound"=dword:00000000'
    } >"$settings"
elif ! grep -q '^"ConnTypes"=dword:0*[1-9a-f]' "$settings"; then
    # Settings of your own without connections: the program adds one for the device.
    args=(--connect "127.0.0.$first")
fi

export SORVANE_CONFIG_DIR=$config SORVANE_HOME=$home
if [ -z "$screenshot" ]; then
    "$build/src/app/sorvane" "${args[@]}"
    exit 0
fi

"$build/src/app/sorvane" "${args[@]}" &
pids+=("$!")
# Both device windows, once they have opened (while a connect dialog is still up, the
# other windows take no input).
window=$(find_window '^Demo device - ')
find_window '^Demo device [(]8-bit[)] - ' >/dev/null
sleep 2
# A newcomer's first steps: F3 (sent as the Windows key) opens the Start menu, Enter
# opens its first item, Notes; then some typing and a few strokes of the stylus. The
# picture fills the bottom of the window at 2x (in a skin, it sits at (30, 56) of the
# 300 x 480 case).
xdotool windowactivate --sync "$window"
xdotool key F3 && sleep 0.5 && xdotool key Return && sleep 0.5
xdotool type --delay 40 "Hello from the PC!"
eval "$(xdotool getwindowgeometry --shell "$window")"
if [ "$skins" = 1 ]; then
    at() { echo $((X + 2 * (30 + $1))) $((Y + HEIGHT - 960 + 2 * (56 + $2))); }
else
    at() { echo $((X + 2 * $1)) $((Y + HEIGHT - 640 + 2 * $2)); }
fi
stroke() {
    xdotool mousemove $(at "$1" "$2") mousedown 1
    shift 2
    while (($# >= 2)); do
        sleep 0.03
        xdotool mousemove $(at "$1" "$2")
        shift 2
    done
    xdotool mouseup 1
}
stroke 40 120 60 100 80 120 100 100 120 120 140 100 160 120 180 100 200 120
stroke 90 170 90 230 150 230 150 170 90 170
stroke 105 190 110 190
stroke 130 190 135 190
stroke 100 210 110 218 130 218 140 210
if [ "$skins" = 1 ]; then
    xdotool mousemove $(at 12 376) # the case's Calendar button: its tooltip shows
else
    xdotool mousemove $(at 230 300)
fi
sleep 2
shoot "$screenshot"
