#!/usr/bin/env bash
# The Release build that people make from the README (preset "package"), here
# with warnings as errors so that a warning only -O3 shows cannot come back,
# and its .deb (build-package/quorvane_*.deb) for the install test.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-2}
cmake --preset package -DQUORVANE_WERROR=ON >/dev/null
cmake --build --preset package -j "$jobs"
(cd build-package && cpack >/dev/null)
ls build-package/quorvane_*.deb
