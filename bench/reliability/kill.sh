#!/usr/bin/env bash
# SIGKILL at random moments while a 48 MiB device package and "sysfile" are
# being written, 50 times each: the long run of tests/reliability's
# tst_crashsafety. Each kill must leave the old file or the new one, whole.
#
# usage: bench/reliability/kill.sh [BUILD_DIR] [ROUNDS] [ROOT_MIB]   (default build, 50, 48)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build}" && pwd)
test=$build/tests/tst_crashsafety
[[ -x $test ]] || { echo "no $test; build the target tst_crashsafety" >&2; exit 2; }
export QUORVANE_BIN_DIR=$build/bin
export QUORVANE_KILL_ROUNDS=${2:-50}
export QUORVANE_KILL_ROOT_MIB=${3:-48}
export QUORVANE_KILL_SEED=${QUORVANE_KILL_SEED:-$RANDOM}
echo "rounds $QUORVANE_KILL_ROUNDS, root image $QUORVANE_KILL_ROOT_MIB MiB, seed $QUORVANE_KILL_SEED"
start=$(date +%s)
"$test" -maxwarnings 0 2>&1 | grep -E 'kills:|PASS|FAIL|Totals'
echo "took $(( $(date +%s) - start )) s"
