#!/usr/bin/env bash
# Builds the screenshot tool and grabs the windows into docs/screenshots/*.png
# under a virtual X server (xvfb-run), so that their look can be reviewed.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
build_dir=${VARNEL_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir" -j2 --target varnel_screenshots varnel_dialog_screenshots

out=docs/screenshots
mkdir -p "$out"
# -a picks a free display; the screen is large enough for any window of the tool.
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$build_dir/tools/varnel_screenshots" "$out"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$build_dir/tools/varnel_dialog_screenshots" "$out"
