#!/usr/bin/env bash
# Lines of tests against lines of code, counted as the owner counts them:
# non-blank, non-comment lines of every file git tracks. Tests: all code under
# tests/ (C++, Python, shell, JavaScript, the shared support included). Code:
# the programs (core, gui, headless, tools, dashboard) with any page or
# script they ship; vendored and minified files are not ours.
set -euo pipefail
cd "$(dirname "$0")/.."

count() {
    local f n=0
    while IFS= read -r -d '' f; do
        case "$f" in
        *.min.js | */vendor/*) continue ;;
        *.cpp | *.h | *.js | *.mjs | *.css) n=$((n + $(grep -cvE '^\s*(//.*|/\*.*|\*.*)?$' "$f" || true))) ;;
        *.py | *.sh) n=$((n + $(grep -cvE '^\s*(#.*)?$' "$f" || true))) ;;
        *.html) n=$((n + $(grep -cvE '^\s*(<!--.*)?$' "$f" || true))) ;;
        esac
    done < <(git ls-files -z -- "$@")
    echo "$n"
}
code=$(count core gui headless tools dashboard)
tests=$(count tests)
echo "code:  $code lines (core, gui, headless, tools, dashboard: every language)"
echo "tests: $tests lines (tests/: every language)"
awk -v t="$tests" -v c="$code" 'BEGIN { printf "ratio: %.1f %% (ceiling 40 %%)\n", 100 * t / c }'
