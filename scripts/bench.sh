#!/usr/bin/env bash
# Times Varnel's marking, deletion, archiving and report tasks against the same
# statements run by the bare sqlite3 shell, at 100k, 1M and 10M fact rows, and
# prints one table of medians with their ranges.
#
#   scripts/bench.sh [--quick] [--runs N]
#
# --quick stops at 1M fact rows; --runs N times each size N times (default 5, at
# least 5), Varnel and the shell in turn. Each warehouse is generated once per size
# and copied for every run. Files go to $VARNEL_BENCH_DIR (default: a new folder
# under /tmp, removed at the end); the programs' own output is kept in bench.log
# there when $VARNEL_BENCH_DIR is given. $VARNEL_BUILD_DIR names the build (default build).
set -euo pipefail
cd "$(dirname "$0")/.."

runs=5
sizes=(100000 1000000 10000000)
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) sizes=(100000 1000000) ;;
    --runs)
      [ $# -ge 2 ] && [[ "$2" =~ ^[0-9]+$ ]] || { echo "--runs wants a number" >&2; exit 2; }
      runs=$2
      shift ;;
    -h|--help) sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "unknown argument: $1 (usage: scripts/bench.sh [--quick] [--runs N])" >&2; exit 2 ;;
  esac
  shift
done
if [ "$runs" -lt 5 ]; then
  echo "--runs $runs is raised to 5: a median of fewer runs says little" >&2
  runs=5
fi
command -v sqlite3 >/dev/null || { echo "the sqlite3 shell is missing (scripts/deps.sh installs it)" >&2; exit 1; }

build_dir=${VARNEL_BUILD_DIR:-build}
programs=(mark_bench delete_bench archive_bench report_bench)
if [ ! -f "$build_dir/build.ninja" ]; then
  cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build_dir" -j2 --target varnel "${programs[@]}" >/dev/null

if [ -n "${VARNEL_BENCH_DIR:-}" ]; then
  work=$VARNEL_BENCH_DIR
  mkdir -p "$work"
else
  work=$(mktemp -d /tmp/varnel-bench.XXXXXX)
  trap 'rm -rf "$work"' EXIT
fi
export VARNEL_BENCH_DIR=$work
log=$work/bench.log
: >"$log"

start=$(date +%s)
echo "fact rows: ${sizes[*]}; $runs runs each; files in $work" >&2
for program in "${programs[@]}"; do
  echo "== $program" >&2
  # The shared warehouses stay; each program's copies go once it is done.
  "$build_dir/bench/$program" --runs "$runs" --warehouses "$work/warehouses" "${sizes[@]}" \
    | tee -a "$log" >&2
  rm -rf "$work/varnel-bench-${program%_bench}"
done
elapsed=$(($(date +%s) - start))

echo
echo "| task | fact rows | Varnel s (min-max) | bare s (min-max) | ratio | fixed cost ms | peak RSS MB |"
echo "|---|---:|---:|---:|---:|---:|---:|"
grep '^RESULT ' "$log" | awk '{
  delete v
  for (i = 2; i <= NF; ++i) { split($i, kv, "="); v[kv[1]] = kv[2] }
  ratio = v["bare_s"] > 0 ? v["varnel_s"] / v["bare_s"] : 0
  printf "| %s | %d | %.3f (%.3f-%.3f) | %.3f (%.3f-%.3f) | %.2f | %.0f (%.0f-%.0f) | %.1f |\n",
    v["task"], v["rows"], v["varnel_s"], v["varnel_min_s"], v["varnel_max_s"],
    v["bare_s"], v["bare_min_s"], v["bare_max_s"], ratio,
    v["fixed_ms"], v["fixed_min_ms"], v["fixed_max_ms"], v["peak_rss_mb"]
}'
echo
echo "Medians of $runs runs, Varnel and the bare sqlite3 shell in turn; whole run $((elapsed / 60)) min $((elapsed % 60)) s."
