#!/usr/bin/env bash
# Lines of tests against lines of code, counted as the owner counts them:
# non-blank, non-comment lines of .cpp and .h files that git tracks.
set -euo pipefail
cd "$(dirname "$0")/.."
lines() {
    git ls-files -z -- "$@" | grep -zE '\.(cpp|h)$' | xargs -0 -r cat |
        grep -vE '^\s*(//.*)?$' | wc -l
}
code=$(lines core gui headless tools)
tests=$(lines tests)
echo "code:  $code lines (core, gui, headless, tools)"
echo "tests: $tests lines"
awk -v t="$tests" -v c="$code" 'BEGIN { printf "ratio: %.1f %% (ceiling 40 %%)\n", 100 * t / c }'
