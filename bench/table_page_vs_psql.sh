#!/usr/bin/env bash
# A report page with one table section over 1,000,000 rows x 5 columns (ID, a text, an integer,
# a numeric amount, a date shown with a DateFormat; totals "ALL"), written by `nimbo render` from
# PostgreSQL, against `psql --html` printing the same rows (FETCH_COUNT, so psql streams too),
# side by side with hyperfine, and the peak memory of both. Then the record-set benchmark
# (pg_record_source_bench) on the same table. A throwaway server is started for the run and
# stopped at its end. Usage: bench/table_page_vs_psql.sh [build-dir]
set -euo pipefail
build=$(realpath "${1:-build}")
here=$(cd "$(dirname "$0")" && pwd)
nimbo=$build/nimbo
work=$(mktemp -d)
chmod 755 "$work"
trap 'bash "$here/../tests/testing/pg_server.sh" stop "$work/server"; rm -rf "$work"' EXIT
bash "$here/../tests/testing/pg_server.sh" start "$work/server" >/dev/null
server=$(cat "$work/server/uri")
psql -qX "$server" -c "CREATE DATABASE big"
uri=${server/\/\/\/postgres/\/\/\/big}

psql -qX -v ON_ERROR_STOP=1 "$uri" <<'SQL'
CREATE TABLE nimbo_procedures (name text PRIMARY KEY, body text NOT NULL);
CREATE TABLE nav (id int, caption text, kind text, parent int, proc text, macro text,
                  image text, access text);
CREATE TABLE sections (id int, page int, unused text, caption text, proc text, macro text,
                       kind text, form int, totals text);
CREATE TABLE pages (id int, a text, b text, html text);
INSERT INTO nav VALUES (1, 'Home', 'F', 0, NULL, NULL, NULL, NULL),
                       (2, 'Big', 'N', 1, NULL, NULL, NULL, NULL);
INSERT INTO sections VALUES (1, 2, NULL, 'Orders', 'BigList', '', 'S', NULL, 'ALL');
INSERT INTO pages VALUES (1, '', '', 'front'), (2, '', '', '<html><body><div>');
CREATE TABLE big (id int, name text, qty int, price numeric(10, 2), sold date);
INSERT INTO big SELECT i, 'Customer ' || (i % 997), i % 50, (i % 10000) / 100.0,
  date '2026-01-01' + (i % 365) FROM generate_series(1, 1000000) AS i;
INSERT INTO nimbo_procedures VALUES
  ('xspb1', 'SELECT * FROM nav ORDER BY id'), ('xspb2', 'SELECT * FROM sections'),
  ('xspb3', 'SELECT * FROM pages WHERE id = @I1'),
  ('BigList', 'SELECT id AS "ID", name AS "Customer", qty AS "Units", price AS "Amount",
                      sold AS "Ordered" FROM big');
VACUUM ANALYZE big;
SQL

query='SELECT id, name, qty, price, sold FROM big'
render="$nimbo render --db '$uri' --folder $work --select Big --date-format 'dd Mmm yyyy' > /dev/null"
psql_html="psql -X --html -v FETCH_COUNT=10000 '$uri' -c '$query' > /dev/null"
hyperfine --warmup 1 --runs 5 --export-markdown "$work/result.md" \
  -n "nimbo render (page with the table)" "$render" \
  -n "psql --html (FETCH_COUNT=10000)" "$psql_html"
cat "$work/result.md"
/usr/bin/time -f "nimbo render peak memory: %M KiB" bash -c "$render"
/usr/bin/time -f "psql --html peak memory: %M KiB" bash -c "$psql_html"
ls -l "$work/oDatNav.htm" | awk '{print "page size: " $5 " bytes"}'
if [ -x "$build/bench/pg_record_source_bench" ]; then
  NIMBO_PG_URI=$uri "$build/bench/pg_record_source_bench"
fi
