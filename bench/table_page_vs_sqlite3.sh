#!/usr/bin/env bash
# A report page with one table section over 1,000,000 rows x 6 columns (ID, a text of which some
# need escaping, an integer, a currency, a date shown with a DateFormat, a note that is null in a
# third of the rows; totals "ALL"), written by `nimbo render`, against `sqlite3 -html` printing
# the same query, side by side with hyperfine: once to /dev/null, as the shell's tool is mostly
# used, and once to a file, as the page is written. Also reports the peak memory of the render,
# and checks that the page is written within the default read limits.
# Usage: bench/table_page_vs_sqlite3.sh [build-dir]
set -euo pipefail
build=${1:-build-rel}
nimbo=$(realpath "$build/nimbo")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

sqlite3 "$work/big.db" <<'SQL'
PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;
CREATE TABLE nimbo_procedures (name TEXT PRIMARY KEY COLLATE NOCASE, body TEXT NOT NULL);
CREATE TABLE nav (id INTEGER, caption TEXT, kind TEXT, parent INTEGER, proc TEXT, macro TEXT,
                  image TEXT, access TEXT);
CREATE TABLE sections (id INTEGER, page INTEGER, unused TEXT, caption TEXT, proc TEXT,
                       macro TEXT, kind TEXT, form INTEGER, totals TEXT);
CREATE TABLE pages (id INTEGER, a TEXT, b TEXT, html TEXT);
INSERT INTO nav VALUES (1, 'Home', 'F', 0, NULL, NULL, NULL, NULL),
                       (2, 'Big', 'N', 1, NULL, NULL, NULL, NULL);
INSERT INTO sections VALUES (1, 2, NULL, 'Orders', 'BigList', '', 'S', NULL, 'ALL');
INSERT INTO pages VALUES (1, '', '', 'front'), (2, '', '', '<html><body><div>');
CREATE TABLE orders (ID INTEGER, Customer TEXT, Units INTEGER, Amount CURRENCY, Ordered DATE,
                     Note TEXT);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000000)
INSERT INTO orders SELECT i,
  CASE WHEN i % 10 = 0 THEN 'Smith & Sons <' || (i % 997) || '>' ELSE 'Customer ' || (i % 997) END,
  i % 50, (i % 10000) / 100.0, date('2026-01-01', '+' || (i % 365) || ' days'),
  CASE WHEN i % 3 = 0 THEN NULL ELSE 'note ' || (i % 89) END FROM n;
INSERT INTO nimbo_procedures VALUES
  ('xspb1', 'SELECT * FROM nav ORDER BY rowid'), ('xspb2', 'SELECT * FROM sections'),
  ('xspb3', 'SELECT * FROM pages WHERE id = @I1'),
  ('BigList', 'SELECT ID, Customer, Units, Amount, Ordered, Note FROM orders');
SQL

query='SELECT ID, Customer, Units, Amount, Ordered, Note FROM orders'
render="$nimbo render --db $work/big.db --select Big --date-format 'dd Mmm yyyy' > /dev/null"
hyperfine --warmup 1 --runs 5 --export-markdown "$work/result.md" \
  -n "nimbo render (page with the table)" "$render" \
  -n "sqlite3 -html" "sqlite3 -html $work/big.db '$query' > /dev/null" \
  -n "sqlite3 -html to a file" "sqlite3 -html $work/big.db '$query' > $work/sqlite3.html"
cat "$work/result.md"
/usr/bin/time -f "nimbo render peak memory: %M KiB" bash -c "$render"
ls -l "$work/oDatNav.htm" | awk '{print "page size: " $5 " bytes"}'
# The render runs under the record source's default limits (30 s per query, 1 GiB per record
# set); a read that either stopped would raise a diagnostic with --talking.
if "$nimbo" render --db "$work/big.db" --select Big --talking | grep -q '"BlaBla"'; then
  echo "the page did not fit the default limits:" >&2
  "$nimbo" render --db "$work/big.db" --select Big --talking | grep '"BlaBla"' >&2
  exit 1
fi
echo "page of $(grep -o '<tr>' "$work/oDatNav.htm" | wc -l) table rows written within the default limits"
