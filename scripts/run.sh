#!/usr/bin/env bash
# The main job: sets up, builds, and serves the demo in the browser with `nimbo serve`.
# Prints the address to open (http://127.0.0.1:8080/ unless NIMBO_PORT says otherwise); Ctrl-C
# stops it. The demo and the pages it writes are kept in build/demo.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
mkdir -p build/demo
exec "$PWD/build/nimbo" serve --folder build/demo --port "${NIMBO_PORT:-8080}" --role 1 \
  --heading "Homeware & Co." --display-path --date-format "dd Mmm yyyy" \
  --form build/demo/form.json
