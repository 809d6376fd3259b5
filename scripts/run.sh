#!/usr/bin/env bash
# Sets up, builds and starts the station.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
scripts/build.sh
if [ -x build/bin/quorvane ]; then
    exec build/bin/quorvane "$@"
fi
exec build/bin/quorvane-headless "$@"
