#!/usr/bin/env bash
# AddressSanitizer + UndefinedBehaviorSanitizer build (preset asan-core: no
# window, to stay within CI's time) and the core, end-to-end and reliability
# suites under it. Any report fails the run.
#
# usage: scripts/ci-sanitize.sh [PRESET]   (default asan-core; asan adds the window and its tests)
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-asan-core}
jobs=${JOBS:-2}

cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$jobs"
ctest --preset "$preset" --parallel "$jobs"
