#!/usr/bin/env bash
# Installs what is missing, builds Quilton with its tests and runs them all.
#   scripts/test.sh             normal build in build/
#   scripts/test.sh --sanitize  AddressSanitizer + UBSan build in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test

dir=build
extra=(-DQUILTON_TESTS=ON -DQUILTON_BENCH=ON -DQUILTON_SANITIZE=OFF)
if [ "${1:-}" = "--sanitize" ]; then
    dir=build-asan
    extra=(-DQUILTON_TESTS=ON -DQUILTON_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug -DQUILTON_BENCH=OFF)
    export ASAN_OPTIONS=halt_on_error=1:detect_leaks=0
    export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
fi
cmake -S . -B "$dir" -G Ninja "${extra[@]}"
cmake --build "$dir"
ctest --test-dir "$dir" --output-on-failure -j2
