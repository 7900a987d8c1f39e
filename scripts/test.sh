#!/usr/bin/env bash
# Sets up, builds and runs every test twice: a normal build with warnings as errors,
# then an address+undefined sanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNIMBO_WERROR=ON
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

# Browser tests: the release build's `nimbo serve` on a free loopback port, driven through
# Chromium; screenshots of the main states land in build/web-artifacts.
(cd tests/web && NIMBO_BIN="$PWD/../../build/nimbo" NIMBO_ARTIFACTS="$PWD/../../build/web-artifacts" \
  node --test --test-concurrency=1)

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DNIMBO_WERROR=ON -DNIMBO_SANITIZE=ON \
  -DNIMBO_BENCH=OFF
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"
