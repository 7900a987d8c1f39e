#!/usr/bin/env bash
# The README's embedding example must be examples/embed_minimal/main.cc, byte for byte, so the
# code a new user copies is code that ctest compiles and runs.
set -euo pipefail
root=${1:?source tree}
shown=$(awk '/^<!-- examples\/embed_minimal\/main.cc -->$/ {marked = 1; next}
             marked && /^```cpp$/ {inside = 1; next}
             inside && /^```$/ {exit}
             inside {print}' "$root/README.md")
if [ "$shown" != "$(cat "$root/examples/embed_minimal/main.cc")" ]; then
  diff <(printf '%s\n' "$shown") "$root/examples/embed_minimal/main.cc" || true
  echo "the README's embedding example differs from examples/embed_minimal/main.cc" >&2
  exit 1
fi
