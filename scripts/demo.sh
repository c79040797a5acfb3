#!/usr/bin/env bash
# Builds the program and runs it against a simulated handheld on loopback.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DSORVANE_BUILD_TESTS=OFF
cmake --build build/release -j "$(nproc)"

sim_out=$(mktemp)
build/release/sim/sorvane-sim --host 127.0.0.1 --port 0 >"$sim_out" &
sim_pid=$!
trap 'kill $sim_pid 2>/dev/null || true; rm -f "$sim_out"' EXIT
for _ in $(seq 100); do grep -q '^ready' "$sim_out" && break; sleep 0.1; done
port=$(awk '$1 == "tcp" {print $3}' "$sim_out")
echo "sorvane-sim listens on 127.0.0.1:$port"
build/release/src/cli/sorvane-cli --host 127.0.0.1 --port "$port" info
