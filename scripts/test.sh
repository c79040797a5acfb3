#!/usr/bin/env bash
# Builds and runs every test: the suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, the threaded tests again under ThreadSanitizer, and
# a short run of each libFuzzer target over its corpus.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc)

cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSORVANE_SANITIZE=address,undefined
cmake --build build/asan -j "$jobs"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build/asan --output-on-failure -j "$jobs"

# Tests that exercise threads carry the ctest label "threads".
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSORVANE_SANITIZE=thread -DSORVANE_BUILD_GUI=OFF
cmake --build build/tsan -j "$jobs"
# (The list is read whole first: grep -q leaving early would end ctest with SIGPIPE,
# and under pipefail the run would be skipped without a word.)
threaded=$(ctest --test-dir build/tsan -N -L threads)
if grep -q "Test *#" <<<"$threaded"; then
  TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build/tsan --output-on-failure -j "$jobs" -L threads
fi

# Fuzz targets: built with clang, each run briefly over its corpus.
if [ -f tests/fuzz/CMakeLists.txt ]; then
  CC=clang-14 CXX=clang++-14 cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSORVANE_FUZZ=ON
  cmake --build build/fuzz -j "$jobs"
  tests/fuzz/run-all.sh build/fuzz
fi
