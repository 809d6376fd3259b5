#!/usr/bin/env bash
# A mutation sample: puts each small fault of scripts/mutants.txt into core/
# one at a time, rebuilds, runs the suite and reports the faults it missed.
# The source tree is restored after each fault, also when interrupted.
#
# usage: [TESTS=regex] scripts/mutants.sh [BUILD_DIR] [FAULTS_FILE]
#        [TESTS=regex] scripts/mutants.sh --random SEED COUNT [BUILD_DIR]
#        scripts/mutants.sh --random --list SEED COUNT
#   BUILD_DIR defaults to build (made by scripts/build.sh); the U-Boot test is
#   left out (it covers transfers the others do). TESTS runs only the ctest
#   tests it matches: a quick look while working on a few of them.
#
#   --random draws COUNT faults that nobody chose, so the sample does not
#   flatter the suite: places drawn uniformly over every core/**/*.cpp by
#   scripts/mutants-random.py (a comparison flipped, a boundary moved, a bare
#   call dropped, an integer constant changed, a boolean flipped). The same
#   SEED on the same tree draws the same faults. A fault that does not build
#   is not counted and the next drawn one takes its place. The install test
#   is left out as well: it checks where files land, which no fault in core/
#   changes. --list only prints the first COUNT drawn faults, without building.
#   MUTATE_DIRS="dashboard core/record" draws from those folders instead.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-2}

saved=""
restore() { [ -n "$saved" ] && cp "$saved" "$current" && rm -f "$saved"; saved=""; }
trap 'restore' EXIT
trap 'restore; exit 130' INT TERM

random_sample() {
    local list=0
    [ "${1-}" = --list ] && { list=1; shift; }
    local seed=${1-} count=${2-} build=${3:-build}
    [[ "$seed" =~ ^[0-9]+$ && "$count" =~ ^[1-9][0-9]*$ ]] ||
        { echo "usage: scripts/mutants.sh --random [--list] SEED COUNT [BUILD_DIR]" >&2; exit 2; }
    local sites
    sites=$(mktemp)
    python3 scripts/mutants-random.py sites "$seed" >"$sites"
    echo "mutants: seed $seed, $count of $(wc -l <"$sites") candidate faults in ${MUTATE_DIRS:-core}"
    if [ "$list" = 1 ]; then
        head -n "$count" "$sites" | awk -F'\x1f' '{ printf "%s:%s  %-8s  %s\n", $1, $2, $4, $7 }'
        rm -f "$sites"; return
    fi
    [ -f "$build/build.ninja" ] || { echo "mutants: no build in $build (run scripts/build.sh)" >&2; exit 2; }
    suite() {
        (cd "$build" && ctest -j "$jobs" -LE 'uboot' -E 'install_layout' ${TESTS:+-R "$TESTS"} \
            --stop-on-failure --timeout 300 >mutants-suite.log 2>&1)
    }
    # A suite that fails with no fault in place would count every fault as killed.
    if ! cmake --build "$build" -j "$jobs" >/dev/null 2>&1 || ! suite; then
        echo "mutants: the build or the suite fails on the unchanged tree in $build:" >&2
        grep -E '^\s+[0-9]+ - ' "$build/mutants-suite.log" >&2 || true
        exit 2
    fi

    local killed=0 survived=0 nobuild=0 verdict started
    local -a survivors=()
    while [ $((killed + survived)) -lt "$count" ] &&
        IFS=$'\x1f' read -r -u 3 file line col kind old new shown; do
        current=$file
        saved=$(mktemp)
        cp "$file" "$saved"
        python3 scripts/mutants-random.py apply "$file" "$line" "$col" "$kind" "$old" "$new"
        started=$SECONDS
        if ! cmake --build "$build" -j "$jobs" >/dev/null 2>&1; then
            verdict="no build"; nobuild=$((nobuild + 1))
        elif suite; then
            verdict="SURVIVED"; survived=$((survived + 1)); survivors+=("$file:$line  $kind  $shown")
        else
            verdict="killed"; killed=$((killed + 1))
        fi
        restore
        printf '%-8s %4ss  %s:%s  %-8s  %s\n' "$verdict" $((SECONDS - started)) "$file" "$line" "$kind" "$shown"
    done 3<"$sites"
    rm -f "$sites"

    cmake --build "$build" -j "$jobs" >/dev/null 2>&1 || true
    local total=$((killed + survived))
    [ "$total" -lt "$count" ] && echo "mutants: only $total faults built, the drawn places ran out"
    echo "mutants: $killed of $total killed ($(( total ? killed * 100 / total : 0 )) %), $nobuild drawn faults did not build"
    for s in "${survivors[@]}"; do echo "  survived: $s"; done
}

if [ "${1-}" = --random ]; then
    shift
    random_sample "$@"
    exit 0
fi

build=${1:-build}
faults=${2:-scripts/mutants.txt}
[ -f "$build/build.ninja" ] || { echo "mutants: no build in $build (run scripts/build.sh)" >&2; exit 2; }

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
