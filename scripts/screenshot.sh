#!/usr/bin/env bash
# Renders docs/screenshot.png (the running window) and docs/screenshot-boards.png
# (three boards at different stages) under a virtual X server.
# Needs xvfb and fonts-wqy-microhei. BUILD_DIR picks the build folder (default build).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD_DIR:-build}"
cmake --build "$build" --target quorvane-screenshots quorvane-router -j2
xvfb-run -a -s "-screen 0 1280x800x24" "$build/bin/quorvane-screenshots" docs
