#!/usr/bin/env bash
# Builds the libFuzzer programs with clang (build-fuzz) and runs each for SECONDS, two at a
# time. Inputs that break a check are copied into fuzz/regressions/<target>/, which the
# normal test suite replays; the script then fails.
#   scripts/fuzz.sh SECONDS [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -lt 1 ] || ! [[ $1 =~ ^[0-9]+$ ]]; then
  echo "Usage: scripts/fuzz.sh SECONDS [TARGET...]" >&2
  exit 2
fi
seconds=$1
shift
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(split_arguments options command_file configuration_line records_query)
fi

scripts/deps.sh
scripts/deps.sh clang # clang brings libFuzzer
build_dir=${VARNEL_FUZZ_BUILD_DIR:-build-fuzz}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DVARNEL_FUZZ=ON -DVARNEL_BUILD_TESTS=OFF -DVARNEL_BUILD_BENCH=OFF -DVARNEL_WERROR=ON
cmake --build "$build_dir" -j2 --target "${targets[@]/#/fuzz_}"

run_one() {
  local target=$1
  local corpus=$build_dir/corpus/$target artifacts=$build_dir/artifacts/$target/
  mkdir -p "$corpus" "$artifacts"
  local extra=()
  # The command file target must be able to pass the 64 KiB limit.
  [ "$target" = command_file ] && extra=(-max_len=70000)
  "$build_dir/fuzz/fuzz_$target" "$corpus" "fuzz/regressions/$target" -max_total_time="$seconds" \
    -dict=fuzz/varnel.dict -artifact_prefix="$artifacts" -print_final_stats=1 "${extra[@]}" \
    >"$build_dir/fuzz_$target.log" 2>&1 || true
  echo "$target: $(grep -E '^stat::number_of_executed_units' "$build_dir/fuzz_$target.log" |
    awk '{print $2}') runs in ${seconds}s"
}

# Two at a time: the machine has two cores.
for ((i = 0; i < ${#targets[@]}; i += 2)); do
  run_one "${targets[i]}" &
  if [ $((i + 1)) -lt ${#targets[@]} ]; then run_one "${targets[i + 1]}" & fi
  wait
done

found=0
for target in "${targets[@]}"; do
  for finding in "$build_dir/artifacts/$target"/*; do
    [ -e "$finding" ] || continue
    cp "$finding" "fuzz/regressions/$target/"
    echo "Finding of $target kept as fuzz/regressions/$target/$(basename "$finding")" >&2
    echo "  (its log: $build_dir/fuzz_$target.log)" >&2
    rm "$finding"
    found=1
  done
done
exit "$found"
