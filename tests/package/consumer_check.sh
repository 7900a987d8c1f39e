#!/usr/bin/env bash
# Builds and runs the minimal example the ways another program takes Nimbo in, against a static
# or a shared library:
#   consumer_check.sh install           KIND  builds Nimbo alone and installs it into WORK/KIND/prefix
#   consumer_check.sh find_package      KIND  a separate CMake project, find_package(nimbo)
#   consumer_check.sh pkg_config        KIND  g++ with pkg-config's flags (--static for static)
#   consumer_check.sh add_subdirectory  KIND  a host project with add_subdirectory(nimbo)
# KIND is static or shared. The example then runs on the demo database (run_example.sh).
# Environment: NIMBO_SOURCE_DIR, NIMBO_CLI (the nimbo program,
# for the demo database), NIMBO_PACKAGE_WORK (a scratch folder).
set -euo pipefail
way=$1
kind=$2
src=${NIMBO_SOURCE_DIR:?}
work=${NIMBO_PACKAGE_WORK:?}/$kind
prefix=$work/prefix
shared=OFF
[ "$kind" = shared ] && shared=ON
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)

case $way in
  install)
    rm -rf "$work/build" "$prefix"
    mkdir -p "$work"
    cmake -S "$src" -B "$work/build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
      -DBUILD_SHARED_LIBS=$shared -DNIMBO_INSTALL=ON -DNIMBO_TESTS=OFF -DNIMBO_BENCH=OFF \
      -DNIMBO_APPS=OFF -DNIMBO_EXAMPLES=OFF -DNIMBO_WERROR=ON >/dev/null
    cmake --build "$work/build"
    cmake --install "$work/build" --prefix "$prefix"
    # What the prefix holds, for the log.
    (cd "$prefix" && find . -type f -o -type l | sort)
    # The installed headers stand on the standard library and each other alone (the Qt
    # adapters' headers, nimbo/qt/, on Qt as well).
    if grep -rhoE '#include [<"][^>"]+[>"]' --exclude-dir=qt "$prefix/include/nimbo" |
       grep -vE '#include ("nimbo/[a-z_]+\.h"|<[a-z_]+>)$'; then
      echo "an installed header includes something other than the standard library or nimbo/" >&2
      exit 1
    fi
    if [ "$kind" = shared ]; then
      lib=$(find "$prefix" -name 'libnimbo.so.*.*.*' | head -n 1)
      soname=$(objdump -p "$lib" | awk '/SONAME/ {print $2}')
      echo "SONAME $soname"
      [[ $soname == libnimbo.so.* ]] || { echo "no SONAME on $lib" >&2; exit 1; }
      # Hidden by default: the library's internals are not in its dynamic symbol table.
      exported=$(nm -D --defined-only -C "$lib" | grep -c ' nimbo::' || true)
      internal=$(nm -D --defined-only -C "$lib" | grep -cE 'nimbo::(LoadBrowser|BuildPage|ReadData)\b' || true)
      echo "exported nimbo:: symbols: $exported"
      [ "$exported" -gt 0 ] && [ "$internal" -eq 0 ] || {
        echo "the shared library's exports are wrong ($exported public, $internal internal)" >&2
        exit 1
      }
    fi
    exit 0
    ;;
esac

if [ "$way" != add_subdirectory ] && [ ! -d "$prefix" ]; then
  echo "run '$0 install $kind' first" >&2
  exit 1
fi
out=$work/$way
rm -rf "$out"
mkdir -p "$out"

case $way in
  find_package)
    cmake -S "$src/examples/embed_minimal" -B "$out/build" "${generator[@]}" \
      -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
    cmake --build "$out/build"
    program=$out/build/embed_minimal
    ;;
  pkg_config)
    static=()
    [ "$kind" = static ] && static=(--static)
    flags=$(PKG_CONFIG_PATH="$(dirname "$(find "$prefix" -name nimbo.pc)")" \
            pkg-config "${static[@]}" --cflags --libs nimbo)
    echo "pkg-config ${static[*]} --cflags --libs nimbo: $flags"
    # shellcheck disable=SC2086 # the flags are words
    g++ -std=c++20 -O1 -o "$out/embed_minimal" "$src/examples/embed_minimal/main.cc" $flags
    program=$out/embed_minimal
    libdir=$(dirname "$(find "$prefix" -name 'libnimbo.*' | head -n 1)")
    export LD_LIBRARY_PATH=$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
    ;;
  add_subdirectory)
    cmake -S "$src/tests/package/add_subdirectory" -B "$out/build" "${generator[@]}" \
      -DCMAKE_BUILD_TYPE=Release -DNIMBO_SOURCE_DIR="$src" -DBUILD_SHARED_LIBS=$shared >/dev/null
    cmake --build "$out/build"
    program=$out/build/embed_minimal/embed_minimal
    ;;
  *)
    echo "unknown way: $way" >&2
    exit 2
    ;;
esac

# Static or shared as asked: a shared build's program needs libnimbo.so, a static one does not.
# ldd's list is read whole first: grep -q stops reading at its match, and with pipefail the
# writer's broken pipe would fail the check.
libraries=$(ldd "$program")
if [ "$kind" = shared ]; then
  grep -q 'libnimbo\.so' <<<"$libraries" || { echo "$program does not use libnimbo.so" >&2; exit 1; }
else
  ! grep -q 'libnimbo' <<<"$libraries" || { echo "$program is linked to a shared libnimbo" >&2; exit 1; }
fi

# Run it on the demo database.
bash "$(dirname "$0")/run_example.sh" "$out/run" "$program"
echo "ok: $way, $kind"
