#!/usr/bin/env bash
# Runs an example host on a fresh demo database:  run_example.sh DIR PROGRAM [ARGS...]
# Writes the demo into DIR/demo and the saved instance DIR/form.json, runs PROGRAM form.json
# ARGS in DIR, and checks that it displayed a node below the root (a "View" audit entry) and
# wrote the page; NIMBO_EXPECT, when set, is a fixed line the output must also hold. NIMBO_CLI names the nimbo program, which writes the demo.
set -euo pipefail
dir=$1
program=$2
shift 2
rm -rf "$dir"
mkdir -p "$dir"
"${NIMBO_CLI:?}" demo "$dir/demo" >/dev/null
cat >"$dir/form.json" <<JSON
{"ApplicationFolder": "$dir/demo", "ConnectionString": "$dir/demo/demo.db", "ActivePort": 80}
JSON
(cd "$dir" && "$program" form.json "$@") >"$dir/events.txt"
cat "$dir/events.txt"
grep -qx 'View: Data Browser\\[^\\]*.*' "$dir/events.txt" || { echo "no View audit entry below the root" >&2; exit 1; }
grep -qi '<html' "$dir/demo/oDatNav.htm" || { echo "no page written" >&2; exit 1; }
if [ -n "${NIMBO_EXPECT:-}" ]; then
  grep -qxF -- "$NIMBO_EXPECT" "$dir/events.txt" || { echo "no line \"$NIMBO_EXPECT\"" >&2; exit 1; }
fi
