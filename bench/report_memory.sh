#!/usr/bin/env bash
# Peak memory of the report task against the number of marked rows.
#
#   bench/report_memory.sh [varnel binary] [marked row counts...]
#
# For each count, builds a SQLite warehouse with the sqlite3 shell whose one
# dimension has that many marked rows (a business key and a surrogate key), runs
# `varnel -grep` on it under /usr/bin/time and prints the peak resident set size,
# the elapsed time and the size of the detailed page. The marked rows are streamed
# from the cursor to the page, so the peak should stay flat as the count grows.
set -euo pipefail

varnel=${1:-build/varnel}
shift || true
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(10 100000 1000000)
[ -x "$varnel" ] || { echo "no varnel binary at $varnel" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

printf '%12s %14s %10s %14s\n' "marked rows" "peak RSS (kB)" "seconds" "page (bytes)"
for n in "${counts[@]}"; do
    db="$work/w$n.db"
    sqlite3 "$db" <<SQL
CREATE TABLE dwm_tables (table_name varchar(128) NOT NULL, table_type varchar(20),
    where_clause varchar(4000), is_selected bit DEFAULT 0, org_pkey varchar(255));
CREATE TABLE dwm_star_relations (selected bit, primary_table varchar(128),
    primary_columns varchar(255), foreign_table varchar(128), foreign_columns varchar(255),
    slow_moving_dim bit, original_primary_key varchar(255));
CREATE TABLE dim_customer (id INTEGER PRIMARY KEY, code VARCHAR(12), surkey INTEGER,
    is_deletable bit NOT NULL DEFAULT 0, is_sustainable bit NOT NULL DEFAULT 0);
INSERT INTO dwm_tables VALUES ('dim_customer', 'DIMENSION', NULL, 1, 'code');
INSERT INTO dim_customer (id, code, surkey, is_deletable)
    WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < $n)
    SELECT i, printf('C%08d', i), i, 1 FROM n;
SQL
    logs="$work/logs$n"
    /usr/bin/time -f '%M %e' -o "$work/time$n" \
        "$varnel" -mac sqlite -db "$db" -ntaut -grep -log "$logs" >/dev/null 2>&1 \
        || { echo "varnel failed for $n rows" >&2; cat "$logs"/Varnel_Log*.txt >&2; exit 1; }
    read -r peak seconds < "$work/time$n"
    page=$(stat -c %s "$logs"/DetailedReport*.html)
    printf '%12s %14s %10s %14s\n' "$n" "$peak" "$seconds" "$page"
done
