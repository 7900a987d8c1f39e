#!/usr/bin/env bash
# Sets up, builds and runs every test twice: a normal build with warnings as errors,
# then an address+undefined sanitizer build. Then fuzzes each parser and encoder for a short,
# bounded time (clang's libFuzzer, address+undefined sanitizers), and runs the tests whose
# threads meet (the web host, the mail wiring, the socket) and the browser tests under the
# thread sanitizer.
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

# Fuzzing: the libFuzzer targets of tests/fuzz, each run for 20 s from its seeds
# (tests/fuzz/run.sh).
# -O1 keeps the asserts of a debug build and runs several times faster than -O0.
CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" -DNIMBO_WERROR=ON -DNIMBO_FUZZ=ON
cmake --build build-fuzz -j "$jobs"
ctest --test-dir build-fuzz --output-on-failure -j "$jobs"

# Thread sanitizer: the tests of the web host (apps), the mail wiring and conversation (mail) and
# the socket, then the browser tests against this build's `nimbo serve`. A report ends the
# program that raised it and so fails its test; the browser tests' servers write theirs to
# files, which are checked after the run.
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNIMBO_WERROR=ON \
  -DNIMBO_SANITIZE=thread -DNIMBO_BENCH=OFF -DNIMBO_EXAMPLES=OFF
cmake --build build-tsan -j "$jobs" --target nimbo_apps_tests nimbo_mail_tests nimbo_platform_tests
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tests/tsan.supp"
ctest --test-dir build-tsan --output-on-failure -j "$jobs" -L '^(apps|mail)$'
ctest --test-dir build-tsan --output-on-failure -j "$jobs" -L '^platform$' -R '^TcpSocket'
rm -rf build-tsan/web-tsan && mkdir -p build-tsan/web-tsan
(cd tests/web && NIMBO_BIN="$PWD/../../build-tsan/nimbo" NIMBO_ARTIFACTS="$PWD/../../build-tsan/web-artifacts" \
  TSAN_OPTIONS="$TSAN_OPTIONS log_path=$PWD/../../build-tsan/web-tsan/report" \
  node --test --test-concurrency=1)
if compgen -G "build-tsan/web-tsan/report*" >/dev/null; then
  cat build-tsan/web-tsan/report*
  echo "test.sh: the thread sanitizer reported on nimbo serve during the browser tests" >&2
  exit 1
fi
