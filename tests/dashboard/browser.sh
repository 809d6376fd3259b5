#!/usr/bin/env bash
# The page's tests in Debian's chromium under node's test runner. Exits 77
# (ctest: skipped) naming what is missing; under CI (CI=true) a skip fails.
set -euo pipefail
cd "$(dirname "$0")"
missing=()
command -v node >/dev/null || missing+=("node (package nodejs)")
[ -x /usr/bin/chromium ] || missing+=("/usr/bin/chromium (package chromium)")
[ -d node_modules/playwright-core ] || missing+=("tests/dashboard/node_modules (npm ci there)")
command -v unshare >/dev/null || missing+=("unshare (package util-linux)")
if [ ${#missing[@]} -gt 0 ]; then
    echo "browser tests: missing ${missing[*]}; scripts/setup-debian.sh installs them" >&2
    [ "${CI:-}" = true ] && exit 1
    exit 77
fi
exec node --test dashboard.test.mjs
