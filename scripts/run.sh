#!/usr/bin/env bash
# The main job: sets up, builds, and serves the demo in the browser with `nimbo serve`.
# Prints the address to open (http://127.0.0.1:8080/ unless NIMBO_PORT says otherwise); Ctrl-C
# stops it. The demo and the pages it writes are kept in build/demo. NIMBO_SMTP=HOST[:PORT] (and
# NIMBO_FROM=ADDRESS) turn on mailing pages.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
mkdir -p build/demo
# Mail needs a mail server: NIMBO_SMTP=HOST[:PORT] lets the user mail pages through it.
mail=()
if [ -n "${NIMBO_SMTP:-}" ]; then
  mail=(--can-mail --smtp "$NIMBO_SMTP" --from "${NIMBO_FROM:-nimbo@localhost}" --from-name "Nimbo")
fi
exec "$PWD/build/nimbo" serve --folder build/demo --port "${NIMBO_PORT:-8080}" --role 1 \
  --heading "Homeware & Co." --display-path --date-format "dd Mmm yyyy" \
  --form build/demo/form.json "${mail[@]}"
