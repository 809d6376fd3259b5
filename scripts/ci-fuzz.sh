#!/usr/bin/env bash
# Builds every libFuzzer target with clang (the core libraries instrumented as
# well) and runs each one for SECONDS on a copy of its seed corpus. Fails when
# a target finds a crash, a leak or a time-out; the input is left in
# BUILD_DIR/artifacts for tests/*/fuzz/corpus.
#
# usage: scripts/ci-fuzz.sh [SECONDS_PER_TARGET] [BUILD_DIR]   (default 60, build-ci-fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=${2:-build-ci-fuzz}
jobs=${JOBS:-2}

command -v clang++ >/dev/null || { echo "ci-fuzz: clang++ is needed" >&2; exit 2; }
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
# Warnings are enforced by the g++ build; clang's own extra ones must not stop fuzzing.
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUORVANE_FUZZ=ON -DQUORVANE_GUI=OFF -DQUORVANE_WERROR=OFF \
    -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null

targets=$(ninja -C "$build" -t targets all | sed -n 's/^\(fuzz_[A-Za-z0-9_]*\): phony$/\1/p' | grep -v autogen | sort -u || true)
[ -n "$targets" ] || { echo "ci-fuzz: no fuzz_* target" >&2; exit 2; }
# shellcheck disable=SC2086
cmake --build "$build" --target $targets -j "$jobs"

mkdir -p "$build/artifacts"
status=0
for target in $targets; do
    exe=$(find "$build" -type f -name "$target" -perm -u+x -print -quit)
    # Seeds: the corpus folder beside the target's source (tests/<area>/fuzz/corpus).
    src=$(grep -rl --include=CMakeLists.txt "add_executable($target\b" tests || true)
    src=${src%%$'\n'*}
    seeds=$(dirname "$src")/corpus
    work=$build/corpus-$target
    mkdir -p "$work"
    [ -d "$seeds" ] && cp -n "$seeds"/* "$work"/ 2>/dev/null || true
    echo "ci-fuzz: $target for ${seconds}s (seeds: $seeds)"
    if ! ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 \
        "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
        -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
        "$work" >"$build/$target.log" 2>&1; then
        echo "ci-fuzz: $target FAILED; see $build/$target.log and $build/artifacts" >&2
        tail -n 40 "$build/$target.log" >&2
        status=1
    fi
    grep -E '^stat::(number_of_executed_units|peak_rss_mb)|DONE|cov: ' "$build/$target.log" | tail -n 3 || true
done
exit $status
