#!/usr/bin/env bash
# Installs what is missing, builds Varnel, makes a small demo warehouse as a
# SQLite file and runs Varnel on it unattended, then shows what it did.
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
export VARNEL_HISTORY="$PWD/$demo/job_history.db"

echo "== Demo warehouse: $demo/warehouse.db"
sqlite3 -header -column "$demo/warehouse.db" \
  "SELECT table_name, table_type, is_selected, where_clause FROM dwm_tables;"

run() {
  echo
  echo "== varnel $*"
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

show_marks() {
  echo
  echo "== Rows marked unused (is_deletable = 1)"
  for t in dim_date dim_product dim_category dim_store dim_customer; do
    echo "$t: $(sqlite3 "$demo/warehouse.db" \
      "SELECT count(*) || ' of ' || (SELECT count(*) FROM $t) FROM $t WHERE is_deletable = 1;")"
  done
}

# A copy with broken metadata, to show that the check refuses it before anything changes.
cp "$demo/warehouse.db" "$demo/broken.db"
sqlite3 "$demo/broken.db" "UPDATE dwm_star_relations SET original_primary_key = NULL
  WHERE primary_table = 'dim_customer' AND foreign_table = 'fact_returns';"

run -mac sqlite -db "$demo/warehouse.db" -ntaut -log "$demo/logs" \
    -statusfile "$demo/status.txt" -job_id demo -chkmd -mark -grep
show_marks

echo
echo "== Reports"
for page in "$demo"/logs/SummaryReport*.html "$demo"/logs/DetailedReport*.html \
            "$demo"/logs/TableFilterReport*.html; do
  echo "-- $page"
  # one line per table row: cells separated by " | "
  tr -d '\r\n\t' < "$page" | sed -e 's|</TR>|\n|g' | sed -e 's|</TD>| \| |g' -e 's|</TH>| \| |g' \
    -e 's/<[^>]*>//g' -e 's/&nbsp;//g' -e 's/&lt;/</g' -e 's/&gt;/>/g' -e 's/&amp;/\&/g' \
    -e 's/  */ /g' -e 's/^ *//' -e 's/[ |]*$//' | grep -v '^$' | tail -n +2 | head -20
done

echo
echo "== A warehouse whose metadata is broken is refused"
rm -rf "$demo/logs-broken"
"$build_dir/varnel" -mac sqlite -db "$demo/broken.db" -ntaut -log "$demo/logs-broken" \
    -statusfile "$demo/status.txt" -chkmd -mark && code=0 || code=$?
echo "exit status: $code, status file: $(tr -d '\r' < "$demo/status.txt")"
tr -d '\r' < "$(ls "$demo"/logs-broken/Varnel_Log*.txt | head -n 1)" | head -3

echo
echo "== Job history ($VARNEL_HISTORY)"
sqlite3 -header -column "$VARNEL_HISTORY" \
  "SELECT category, table_name, status, record_count, count_unit, message FROM job_history;"

echo
echo "== Lock row afterwards (lock, user_name)"
sqlite3 "$demo/warehouse.db" "SELECT lock, user_name FROM dwm_multiuse;"
