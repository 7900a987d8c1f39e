#!/usr/bin/env bash
# Sets up and builds the release tree in build/ (the nimbo program is build/nimbo).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNIMBO_WERROR=ON >/dev/null
cmake --build build -j "$(nproc)" --target nimbo_cli
