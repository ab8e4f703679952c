#!/usr/bin/env bash
# Installs the Debian packages that building, testing, the demo and the
# benchmarks need, or the packages named as arguments (scripts/fuzz.sh asks for
# clang this way). Safe to run again: only missing packages are installed.
set -euo pipefail

packages=("$@")
if [ $# -eq 0 ]; then
  packages=(
  # build
  build-essential cmake ninja-build pkg-config
  unixodbc-dev qt6-base-dev libxcb1-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  # run
  unixodbc odbcinst libsqliteodbc tdsodbc libqt6widgets6
  # demo, tests, benchmarks
  sqlite3 xvfb xauth procps time
  # formatting check
  clang-format
  )
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi

echo "Installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
