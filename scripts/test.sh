#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors, runs every test, then
# checks that every tracked C++ file is as clang-format writes it.
#
# scripts/test.sh --sanitize does the same in its own build directory (build-sanitize)
# with AddressSanitizer and UndefinedBehaviorSanitizer; any finding fails its test.
set -euo pipefail
cd "$(dirname "$0")/.."

sanitize=0
case "${1:-}" in
  "") ;;
  --sanitize) sanitize=1 ;;
  *)
    echo "Usage: scripts/test.sh [--sanitize]" >&2
    exit 2
    ;;
esac

scripts/deps.sh
if [ "$sanitize" -eq 1 ]; then
  build_dir=${VARNEL_BUILD_DIR:-build-sanitize}
  # Everything started from here inherits these: the build, which runs the sanitized test
  # programs to list their tests, ctest, the tests and the programs they start.
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_init_order=1
  export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNEL_WERROR=ON \
    -DVARNEL_SANITIZE=ON
else
  build_dir=${VARNEL_BUILD_DIR:-build}
  cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNEL_WERROR=ON
fi
cmake --build "$build_dir" -j2
(cd "$build_dir" && ctest --output-on-failure -j2)

# The format is checked after the tests, so that a layout slip does not hide
# what the tests say; it fails the script all the same.
if ! git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  echo "Not a git checkout: the format of the sources was not checked." >&2
  exit 0
fi
# One clang-format process for all files: it names each place that would change.
report=$(git ls-files -z -- '*.cpp' '*.h' | xargs -0 -r clang-format --style=file --dry-run 2>&1) || {
  echo "$report" >&2
  exit 1
}
mapfile -t unformatted < <(grep -E '^[^ :]+:[0-9]+:[0-9]+: .*\[-Wclang-format-violations\]' \
  <<<"$report" | cut -d: -f1 | sort -u)
if [ ${#unformatted[@]} -gt 0 ]; then
  echo "These files differ from clang-format's output (clang-format -i FILE rewrites one):" >&2
  printf '  %s\n' "${unformatted[@]}" >&2
  exit 1
fi
echo "Every C++ file is as clang-format writes it."
