#!/usr/bin/env bash
# Installs every Debian package that building, testing and benchmarking Nimbo needs.
# Idempotent: asks apt only for what is missing, and updates the lists once at most.
set -euo pipefail

packages=(
  build-essential g++ cmake ninja-build pkg-config
  libsqlite3-dev sqlite3
  libpq-dev postgresql postgresql-client
  libgif-dev libjpeg-dev
  libfmt-dev libasio-dev libboost-dev libcli11-dev nlohmann-json3-dev libcpp-httplib-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang-14 libclang-rt-14-dev llvm-14
  sharutils hyperfine time
  python3-aiosmtpd chromium
  # The desktop host and the Qt adapters: widgets, the web engine view, printing, QtTest.
  qt6-base-dev qt6-webengine-dev
)
# The browser tests run on the machine's Node.js; Debian's is the fallback where there is none.
command -v node >/dev/null && command -v npm >/dev/null || packages+=(nodejs npm)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  echo "setup: installing ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The browser tests' npm packages, exactly as the lock file pins them.
web_tests="$(dirname "$0")/../tests/web"
if [ ! -f "$web_tests/node_modules/.package-lock.json" ] ||
   [ "$web_tests/package-lock.json" -nt "$web_tests/node_modules/.package-lock.json" ]; then
  (cd "$web_tests" && npm ci --no-audit --no-fund --loglevel=error)
fi
