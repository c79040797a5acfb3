#!/usr/bin/env bash
# Runs every fuzz target built in BUILD_DIR briefly: first over its corpus as it
# stands (every regression input must pass), then for FUZZ_SECONDS (default 10)
# of new inputs, which are written to a temporary folder, never into the corpus.
set -euo pipefail
build=${1:?usage: run-all.sh BUILD_DIR}
here=$(cd "$(dirname "$0")" && pwd)
seconds=${FUZZ_SECONDS:-10}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for bin in "$build"/tests/fuzz/*_fuzz; do
  [ -x "$bin" ] || continue
  name=$(basename "$bin")
  corpus="$here/corpus/$name"
  mkdir -p "$work/$name"
  echo "== $name"
  if [ -d "$corpus" ] && [ -n "$(ls -A "$corpus")" ]; then
    "$bin" -runs=0 -artifact_prefix="$work/$name-" "$corpus" >"$work/$name.log" 2>&1 || { cat "$work/$name.log"; status=1; continue; }
  fi
  seed=()
  [ -d "$corpus" ] && seed=("$corpus")
  if ! "$bin" -max_total_time="$seconds" -artifact_prefix="$work/$name-" -print_final_stats=0 \
       "$work/$name" "${seed[@]}" >"$work/$name.log" 2>&1; then
    tail -40 "$work/$name.log"
    echo "crash input kept in: $(ls "$work"/"$name"-* 2>/dev/null | head -1)"
    for f in "$work"/"$name"-*; do [ -f "$f" ] && cp "$f" "$build/"; done
    status=1
  fi
done
exit $status
