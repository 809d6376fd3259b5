#!/usr/bin/env bash
# A mutation sample: puts each small fault of scripts/mutants.txt into core/
# one at a time, rebuilds, runs the suite and reports the faults it missed.
# The source tree is restored after each fault, also when interrupted.
#
# usage: [TESTS=regex] scripts/mutants.sh [BUILD_DIR] [FAULTS_FILE]
#   BUILD_DIR defaults to build (made by scripts/build.sh); the U-Boot test is
#   left out (it covers transfers the others do). TESTS runs only the ctest
#   tests it matches: a quick look while working on a few of them.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
faults=${2:-scripts/mutants.txt}
jobs=${JOBS:-2}
[ -f "$build/build.ninja" ] || { echo "mutants: no build in $build (run scripts/build.sh)" >&2; exit 2; }

saved=""
restore() { [ -n "$saved" ] && cp "$saved" "$current" && rm -f "$saved"; saved=""; }
trap 'restore' EXIT
trap 'restore; exit 130' INT TERM

killed=0 survived=0 invalid=0
survivors=()
while IFS=$'\t' read -r file text replacement what; do
    [ -z "$file" ] || [ "${file:0:1}" = "#" ] && continue
    current=$file
    saved=$(mktemp)
    cp "$file" "$saved"
    if ! python3 - "$file" "$text" "$replacement" <<'PY'
import sys
path, old, new = sys.argv[1:4]
text = open(path, encoding="utf-8").read()
if text.count(old) != 1:
    sys.exit(f"{path}: the text occurs {text.count(old)} times: {old}")
open(path, "w", encoding="utf-8").write(text.replace(old, new))
PY
    then
        invalid=$((invalid + 1)); restore; continue
    fi
    started=$SECONDS
    if ! cmake --build "$build" -j "$jobs" >/dev/null 2>&1; then
        verdict="no build"; invalid=$((invalid + 1))
    elif (cd "$build" && ctest -j "$jobs" -LE 'uboot' ${TESTS:+-R "$TESTS"} --stop-on-failure \
        --timeout 300 >/dev/null 2>&1); then
        verdict="SURVIVED"; survived=$((survived + 1)); survivors+=("$file: $what")
    else
        verdict="killed"; killed=$((killed + 1))
    fi
    restore
    printf '%-8s %4ss  %s: %s\n' "$verdict" $((SECONDS - started)) "$file" "$what"
done <"$faults"

cmake --build "$build" -j "$jobs" >/dev/null 2>&1 || true
total=$((killed + survived))
echo "mutants: $killed of $total killed, $survived survived, $invalid not applicable"
for s in "${survivors[@]}"; do echo "  survived: $s"; done
