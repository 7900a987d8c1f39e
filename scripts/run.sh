#!/usr/bin/env bash
# The main job: sets up, builds, and runs the nimbo program.
# Node display is not built yet, so for now this shows the component's version and drives the
# design-time property page over a scratch property file.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
nimbo=build/nimbo
"$nimbo" --version
"$nimbo" props --help
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$nimbo" props "$scratch/form.json" --set ActivePort=80
echo "saved: $(tr -d '\n ' < "$scratch/form.json")"
