#!/usr/bin/env bash
# Renders docs/screenshot.png (the running window) and docs/screenshot-boards.png
# (three boards at different stages) under a virtual X server, and
# docs/dashboard.png (the line dashboard over two stations) in the browser
# test's own line and chromium. `dashboard` as the argument: only that one.
# Needs xvfb and fonts-wqy-microhei. BUILD_DIR picks the build folder (default build).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD_DIR:-build}"
if [ "${1:-}" != dashboard ]; then
    cmake --build "$build" --target quorvane-screenshots quorvane-router -j2
    xvfb-run -a -s "-screen 0 1280x800x24" "$build/bin/quorvane-screenshots" docs
fi
scripts/setup-debian.sh
cmake --build "$build" --target quorvane-dashboard quorvane-headless quorvane-router -j2
QUORVANE_BIN_DIR="$(realpath "$build/bin")" QUORVANE_SCREENSHOT="$PWD/docs/dashboard.png" \
    tests/dashboard/browser.sh
