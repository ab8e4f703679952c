#!/usr/bin/env bash
# Installs what is missing, builds Varnel, makes a small demo warehouse as a
# SQLite file and cleans it with Varnel unattended: check the metadata, archive
# old fact rows, mark unused dimension rows, write the reports, then delete the
# marked rows plainly (repairing the customer history) and, on a copy, atomically.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
build_dir=${VARNEL_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build "$build_dir" -j2 --target varnel

demo=demo
rm -rf "$demo"
mkdir -p "$demo"
sqlite3 "$demo/warehouse.db" < scripts/demo_warehouse.sql
: > "$demo/archive.db"  # the archive database is made by the operator; an empty file will do
export VARNEL_HISTORY="$PWD/$demo/job_history.db"
db="$demo/warehouse.db"
dims="dim_date dim_product dim_category dim_store dim_customer"

title() { echo; echo "== $*"; }

run() {
  title "varnel $*"
  set +e
  "$build_dir/varnel" "$@"
  local code=$?
  set -e
  echo "exit status: $code, status file: $(tr -d '\r' < "$demo/status.txt")"
  local log
  log=$(ls -t "$demo"/logs/Varnel_Log*.txt | head -n 1)
  echo "-- $log"
  tr -d '\r' < "$log"
}

counts() {  # rows per table of a warehouse file
  for t in fact_sales fact_returns $dims; do
    printf '%-14s %s rows\n' "$t" "$(sqlite3 "$1" "SELECT count(*) FROM $t;")"
  done
}

customers() {
  sqlite3 -header -column "$1" "SELECT customer_key, customer_code, start_date, end_date, \
    is_current, is_deletable FROM dim_customer ORDER BY customer_code, start_date;"
}

title "Demo warehouse: $db"
sqlite3 -header -column "$db" "SELECT table_name, table_type, is_selected, where_clause FROM dwm_tables;"
counts "$db"

# A copy with broken metadata, to show that the check refuses it before anything changes.
cp "$db" "$demo/broken.db"
sqlite3 "$demo/broken.db" "UPDATE dwm_star_relations SET original_primary_key = NULL
  WHERE primary_table = 'dim_customer' AND foreign_table = 'fact_returns';"

run -mac sqlite -db "$db" -bkmac sqlite -bkdb "$demo/archive.db" \
    -log "$demo/logs" -statusfile "$demo/status.txt" -job_id demo -chkmd -clsf -mark -grep

title "Archive database: $demo/archive.db"
sqlite3 -header -column "$demo/archive.db" "SELECT 'fact_sales' AS archive_table, count(*) AS rows,
  min(date_of_archiving) AS archived_on FROM fact_sales UNION ALL
  SELECT 'fact_returns', count(*), min(date_of_archiving) FROM fact_returns;"

title "Rows marked unused (is_deletable = 1)"
for t in $dims; do
  printf '%-14s %s\n' "$t" "$(sqlite3 "$db" \
    "SELECT count(*) || ' of ' || (SELECT count(*) FROM $t) FROM $t WHERE is_deletable = 1;")"
done

title "Reports"
for page in "$demo"/logs/SummaryReport*.html "$demo"/logs/DetailedReport*.html \
            "$demo"/logs/TableFilterReport*.html; do
  echo "-- $page"
  # one line per table row: cells separated by " | "
  tr -d '\r\n\t' < "$page" | sed -e 's|</TR>|\n|g' | sed -e 's|</TD>| \| |g' -e 's|</TH>| \| |g' \
    -e 's/<[^>]*>//g' -e 's/&nbsp;//g' -e 's/&lt;/</g' -e 's/&gt;/>/g' -e 's/&amp;/\&/g' \
    -e 's/  */ /g' -e 's/^ *//' -e 's/[ |]*$//' | grep -v '^$' | tail -n +4 | head -20
done

cp "$db" "$demo/atomic.db"  # the same marks, for the atomic deletion below

title "dim_customer (a slowly changing dimension) before deletion"
customers "$db"

run -mac sqlite -db "$db" -log "$demo/logs" -statusfile "$demo/status.txt" -job_id demo -del
title "dim_customer after plain deletion: the surviving versions still cover the history"
customers "$db"
title "Rows per table after plain deletion"
counts "$db"

run -mac sqlite -db "$demo/atomic.db" -log "$demo/logs" -statusfile "$demo/status.txt" \
    -job_id demo -del -datom
title "dim_customer after atomic deletion: only customers whose versions were all marked are gone"
customers "$demo/atomic.db"

title "A warehouse whose metadata is broken is refused"
rm -rf "$demo/logs-broken"
"$build_dir/varnel" -mac sqlite -db "$demo/broken.db" -log "$demo/logs-broken" \
    -statusfile "$demo/status.txt" -chkmd -mark && code=0 || code=$?
echo "exit status: $code, status file: $(tr -d '\r' < "$demo/status.txt")"
tr -d '\r' < "$(ls "$demo"/logs-broken/Varnel_Log*.txt | head -n 1)" | head -3

title "Job history ($VARNEL_HISTORY)"
sqlite3 -header -column "$VARNEL_HISTORY" "SELECT category, table_name, status, record_count,
  count_unit, remark, replace(replace(message, char(13), ''), char(10), ' / ') AS message
  FROM job_history;"

title "Lock row afterwards (lock, user_name)"
sqlite3 "$db" "SELECT lock, user_name FROM dwm_multiuse;"
