#!/usr/bin/env bash
# The main job: sets up, builds, and shows the demo. It renders a walk through the demo
# database's tree with `nimbo render` and says where the report page is.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
nimbo=$PWD/build/nimbo
mkdir -p build/demo
"$nimbo" render --folder build/demo --role 1 --heading "Homeware & Co." --display-path \
  --date-format "dd Mmm yyyy" --select Customers --select "Blue Door Bakery" --tree
echo
echo "Report page: $PWD/build/demo/oDatNav.htm (front page: $PWD/build/demo/fp.htm)"
