#!/usr/bin/env bash
# Fuzzes one target for a bounded time: run.sh BINARY SEED_DIR WORK_DIR SECONDS.
# The seeds are read, never written; the inputs the fuzzer finds go to WORK_DIR/corpus in the
# build tree, so the checkout stays clean. A crash, a leak, a time-out or an out-of-memory fails
# the run and leaves its input in WORK_DIR; copy it into SEED_DIR, named for what it shows, so
# every later run replays it.
set -euo pipefail
binary=$1 seeds=$2 work=$3 seconds=$4

mkdir -p "$work/corpus" "$work/tmp"
# Files a target makes for itself stay in the build tree too.
export TMPDIR="$work/tmp"
rm -f "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-* "$work"/slow-unit-*

# Stack traces with names and lines, from the symbolizer of the same LLVM as the compiler.
[ -x /usr/lib/llvm-14/bin/llvm-symbolizer ] &&
  export ASAN_SYMBOLIZER_PATH=${ASAN_SYMBOLIZER_PATH:-/usr/lib/llvm-14/bin/llvm-symbolizer}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

status=0
(cd "$work" && "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$work/" corpus "$seeds") >"$work/log" 2>&1 || status=$?

# The coverage line and the run's figures, for whoever reads the test output.
grep -E '^#[0-9]+.*(DONE|INITED)|stat::number_of_executed_units|stat::average_exec_per_sec|stat::peak_rss_mb' \
  "$work/log" || true
if ((status != 0)); then
  tail -n 80 "$work/log"
  for found in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*; do
    [ -e "$found" ] && echo "run.sh: failing input kept as $found (add it to $seeds)"
  done
  exit "$status"
fi
