#!/bin/sh
# Builds the fuzz target in its own build folder and runs it for SECONDS
# (default 60) over the committed seed corpus. New inputs go to a scratch
# corpus; the committed one is only read. Exit status: the fuzzer's.
set -eu

seconds=${1:-60}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${QUORVANE_FUZZ_BUILD:-$root/build-fuzz}
jobs=${QUORVANE_JOBS:-2}

# The sanitizers also instrument the libraries under test, so coverage
# guides the fuzzer through the handler, not just the entry point.
cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined" \
    -DQUORVANE_FUZZ=ON -DQUORVANE_GUI=OFF -DQUORVANE_WERROR=OFF >/dev/null
cmake --build "$build" --target fuzz_tftp_datagrams -j "$jobs"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$build/bin/fuzz_tftp_datagrams" -max_total_time="$seconds" -max_len=4096 \
    -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    "$scratch" "$here/corpus"
