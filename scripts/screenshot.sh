#!/usr/bin/env bash
# Takes the README's picture, docs/screenshot.png: the demo (scripts/demo.sh
# --screenshot) on a virtual X display of its own with a window manager, so that the
# windows have frames. Needs Xvfb, openbox, xdotool and imagemagick
# (scripts/install-deps.sh installs them).
#
#   scripts/screenshot.sh [FILE]    default docs/screenshot.png
#
# SORVANE_SCREEN sets the virtual screen's size (default 1600x900); the demo's own
# environment (SORVANE_DEMO_SKINS, SORVANE_DEMO_DEVICES) passes through. docs/skins.png
# was taken with
#   SORVANE_DEMO_SKINS=1 SORVANE_SCREEN=2400x1100 scripts/screenshot.sh docs/skins.png
# and the Devices window's pictures with
#   SORVANE_DEMO_DEVICES=33 SORVANE_SCREEN=1920x1080 scripts/screenshot.sh docs/devices-33.png
#   SORVANE_DEMO_DEVICES=4 SORVANE_SCREEN=1920x1080 scripts/screenshot.sh docs/devices-4.png
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/docs/screenshot.png}

# The first free display from :91 on.
display=""
for n in $(seq 91 120); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
        display=":$n"
        break
    fi
done
[ -n "$display" ] || { echo "no free X display" >&2; exit 1; }

pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
}
trap cleanup EXIT
Xvfb "$display" -screen 0 "${SORVANE_SCREEN:-1600x900}x24" -nolisten tcp >/dev/null 2>&1 &
pids+=("$!")
export DISPLAY=$display
for _ in $(seq 50); do
    xdotool getdisplaygeometry >/dev/null 2>&1 && break
    sleep 0.1
done
openbox >/dev/null 2>&1 &
pids+=("$!")
sleep 1
bash "$root/scripts/demo.sh" --screenshot "$out"
