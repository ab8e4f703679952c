#!/bin/sh
# Runs the crash tests (ctest label "faults") several times, each with a seed of its
# own for the random kill point; a failing run prints the seed that repeats it.
#   scripts/faults.sh [--runs N] [build-dir]
set -eu
runs=1
if [ "${1:-}" = "--runs" ]; then
  runs=$2
  shift 2
fi
build_dir=${1:-build}
cmake --build "$build_dir" -j2 --target faults_tests
i=1
while [ "$i" -le "$runs" ]; do
  seed=$(od -An -N4 -tu4 /dev/urandom | tr -d ' ')
  echo "run $i of $runs, VARNEL_FAULT_SEED=$seed"
  (cd "$build_dir" && VARNEL_FAULT_SEED=$seed ctest -L faults --output-on-failure) || {
    echo "failed with VARNEL_FAULT_SEED=$seed"
    exit 1
  }
  i=$((i + 1))
done
