#!/usr/bin/env bash
# A throwaway PostgreSQL server for the tests, run by ctest as a fixture:
#   pg_server.sh start STATE   initdb + pg_ctl start in a new temporary folder, Unix socket only
#                              (no TCP); writes the server's URI to STATE/uri
#   pg_server.sh stop STATE    stops that server and removes its folder
# As root the server runs as the postgres user (initdb refuses root), so its folder is made
# reachable by that user. Without PostgreSQL's server programs, start writes no URI and says so;
# the tests that need the server then skip with that message, except under CI, where a missing
# server is a failure.
set -euo pipefail
action=$1
state=$2
mkdir -p "$state"

# Debian keeps the server programs out of PATH, under /usr/lib/postgresql/VERSION/bin.
find_bin() {
  local name=$1 dir
  if command -v "$name" >/dev/null 2>&1; then command -v "$name"; return; fi
  for dir in $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V -r); do
    [ -x "$dir/$name" ] && { echo "$dir/$name"; return; }
  done
  return 1
}

as_server_user() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

stop() {
  [ -f "$state/dir" ] || return 0
  local dir pg_ctl
  dir=$(cat "$state/dir")
  if [ -f "$dir/data/postmaster.pid" ] && pg_ctl=$(find_bin pg_ctl); then
    as_server_user "$pg_ctl" -D "$dir/data" -m immediate -w -t 30 stop >/dev/null 2>&1 || true
  fi
  rm -rf "$dir"
  rm -f "$state/dir" "$state/uri"
}

case $action in
  start)
    stop  # a server left behind by an interrupted run
    rm -f "$state/uri" "$state/missing"
    if ! initdb=$(find_bin initdb) || ! pg_ctl=$(find_bin pg_ctl); then
      echo "PostgreSQL's server programs (initdb, pg_ctl) are not installed" >"$state/missing"
      if [ -n "${CI:-}" ]; then
        echo "pg_server.sh: $(cat "$state/missing"); CI needs them (scripts/setup.sh installs them)" >&2
        exit 1
      fi
      echo "pg_server.sh: $(cat "$state/missing"); the PostgreSQL tests will skip"
      exit 0
    fi
    dir=$(mktemp -d /tmp/nimbo-pg.XXXXXX)
    echo "$dir" >"$state/dir"
    chmod 755 "$dir"
    user=$(id -un)
    if [ "$(id -u)" -eq 0 ]; then
      chown postgres "$dir"
      user=postgres
    fi
    as_server_user mkdir "$dir/data" "$dir/sock"
    as_server_user "$initdb" --no-sync -D "$dir/data" -A trust -U "$user" -E UTF8 --locale=C \
      >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; stop; exit 1; }
    # No TCP at all: the socket folder is the only way in. No disk syncs: the data is throwaway.
    as_server_user "$pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
      -o "-c listen_addresses='' -k $dir/sock -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c max_connections=200" \
      start >/dev/null || { cat "$dir/server.log" >&2; stop; exit 1; }
    echo "postgresql:///postgres?host=$dir/sock&user=$user" >"$state/uri"
    echo "pg_server.sh: server up at $(cat "$state/uri")"
    ;;
  stop)
    stop
    ;;
  *)
    echo "usage: $0 start|stop STATE" >&2
    exit 2
    ;;
esac
