#!/usr/bin/env bash
# Installs what is missing, builds Quilton and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh run
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILTON_TESTS=OFF -DQUILTON_BENCH=OFF
cmake --build build
exec build/bin/quilton "$@"
