#!/usr/bin/env bash
# The Qt host example, run headless on a fresh demo (it prints the nodes under the root and quits
# once the front page is shown):
#   qt_embed_check.sh KIND              builds examples/qt_embed against the package installed
#                                       by 'consumer_check.sh install KIND' (find_package(nimbo
#                                       COMPONENTS qt)), runs it, and checks that a prefix without
#                                       the Qt adapters fails the component cleanly
#   qt_embed_check.sh in-tree PROGRAM DIR   runs a qt_embed built in this tree, in DIR
# Environment: NIMBO_SOURCE_DIR, NIMBO_CLI (the nimbo program, for the demo),
# NIMBO_PACKAGE_WORK (a scratch folder; not for in-tree).
set -euo pipefail
mode=$1
src=${NIMBO_SOURCE_DIR:?}
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)

if [ "$mode" = in-tree ]; then
  program=$2
  out=$3
else
  work=${NIMBO_PACKAGE_WORK:?}/$mode
  prefix=$work/prefix
  out=$work/qt_embed
  rm -rf "$out"
  mkdir -p "$out"
  config=$(find "$prefix" -name nimboQtTargets.cmake | head -n 1)
  [ -n "$config" ] || { echo "the installed package has no nimboQtTargets.cmake" >&2; exit 1; }
  cmake -S "$src/examples/qt_embed" -B "$out/build" "${generator[@]}" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
  cmake --build "$out/build"
  program=$out/build/qt_embed
  if [ "$mode" = shared ]; then
    libraries=$(ldd "$program")
    grep -q 'libnimbo_qt\.so' <<<"$libraries" || { echo "$program does not use libnimbo_qt.so" >&2; exit 1; }
  fi

  # The same package without the adapters: asking for qt fails cleanly, optional qt does not.
  bare=$out/bare-prefix
  cp -a "$prefix" "$bare"
  find "$bare" -name 'nimboQtTargets*.cmake' -delete
  probe=$out/probe
  mkdir -p "$probe"
  cat >"$probe/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.22)
project(probe LANGUAGES CXX)
find_package(nimbo CONFIG ${PROBE_ARGS})
message(STATUS "probe: nimbo_FOUND=${nimbo_FOUND} nimbo_qt_FOUND=${nimbo_qt_FOUND}")
CMAKE
  probe() {
    rm -rf "$probe/build"
    cmake -S "$probe" -B "$probe/build" -DCMAKE_PREFIX_PATH="$bare" "-DPROBE_ARGS=$1" 2>&1
  }
  if log=$(probe "REQUIRED;COMPONENTS;qt"); then
    echo "find_package(nimbo REQUIRED COMPONENTS qt) succeeded without the adapters" >&2
    exit 1
  fi
  grep -q 'component "qt"' <<<"$log" || { echo "$log" >&2; echo "no clear message" >&2; exit 1; }
  log=$(probe "OPTIONAL_COMPONENTS;qt")
  grep -q 'probe: nimbo_FOUND=1 nimbo_qt_FOUND=FALSE' <<<"$log" ||
    { echo "$log" >&2; echo "optional qt: nimbo::nimbo should stay found" >&2; exit 1; }
  echo "ok: a package without the adapters refuses the qt component"
fi

dir=$out/run
rm -rf "$dir"
mkdir -p "$dir/xdg"
chmod 700 "$dir/xdg"
"${NIMBO_CLI:?}" demo "$dir/demo" >/dev/null
cat >"$dir/form.json" <<JSON
{"ApplicationFolder": "$dir/demo", "ConnectionString": "$dir/demo/demo.db", "ActivePort": 80}
JSON
export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 XDG_RUNTIME_DIR=$dir/xdg \
  XDG_CACHE_HOME=$dir/xdg/cache XDG_CONFIG_HOME=$dir/xdg/config XDG_DATA_HOME=$dir/xdg/data \
  QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu --disable-gpu-watchdog"
(cd "$dir" && timeout 120 "$program" form.json --quit-after-refresh) >"$dir/out.txt"
cat "$dir/out.txt"
for node in Customers Finance Products "Sales by Region"; do
  grep -qxF "Node: $node" "$dir/out.txt" || { echo "no node $node" >&2; exit 1; }
done
echo "ok: qt_embed ($mode)"
