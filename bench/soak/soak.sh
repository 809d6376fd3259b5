#!/bin/sh
# Soak: boards in a row through quorvane-headless, each fetched by
# quorvane-router over a lossy link (loss and duplication in both directions).
# Every package must arrive whole and check; the station's memory must stay flat.
#
#   bench/soak/soak.sh BUILD_DIR [BOARDS=300] [LOSS=0.05] [DUP=0.05] [MODE=label]
#
# MODE label: no MAC writing, each board asks for the package named after its
# own label. MODE scan: MAC writing on; a scanner stand-in types a new label
# every 20 ms (lines that come while no board waits are ignored).
#
# Prints one line per 25 boards (board, failures, station RSS in KiB) and a
# summary. Exit status 0 when every board got its package.
set -eu

build=$(cd "$1" && pwd)
boards=${2:-300}
loss=${3:-0.05}
dup=${4:-0.05}
mode=${5:-label}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
port=$((20000 + $$ % 20000))

"$here/../../samples/make-samples.sh" "$work" >/dev/null
# Configuration and root image, no MAC writing: each board asks for the
# package named after its own label.
if [ "$mode" = scan ]; then
    printf '\015' | dd of="$work/sysfile" bs=1 conv=notrunc 2>/dev/null
else
    printf '\014' | dd of="$work/sysfile" bs=1 conv=notrunc 2>/dev/null
fi
# A small root image keeps a board near 160 blocks.
head -c 20000 "$work/root.bin" >"$work/root.small" && mv "$work/root.small" "$work/root.bin"

cd "$work"
scanner() {
    n=1
    while :; do
        printf '5e3a71%05x8\n' "$n" || exit 0
        n=$((n + 1))
        sleep 0.02
    done
}
if [ "$mode" = scan ]; then
    mkfifo "$work/scans"
    scanner >"$work/scans" &
    feeder=$!
    exec 3<"$work/scans"
else
    feeder=
    exec 3</dev/null
fi
"$build/bin/quorvane-headless" --folder "$work" --port "$port" <&3 \
    >"$work/station.out" 2>"$work/station.err" &
station=$!
exec 3<&-
trap 'kill "$station" $feeder 2>/dev/null || true' EXIT
sleep 1

rss() { awk '/VmRSS/ { print $2 }' "/proc/$station/status"; }
first_rss=
failures=0
started=$(date +%s)
i=1
while [ "$i" -le "$boards" ]; do
    if [ "$mode" = scan ]; then
        name=mac
    else
        name=$(printf '5e3a71%05x8' "$i")
    fi
    result=$("$build/bin/quorvane-router" --port "$port" --name "$name" --crc 1 \
        --loss "$loss" --dup "$dup" --seed "$i" --timeout-ms 50 --retries 60 \
        --scan-wait-ms 5000 --out "$work/received.bin" --quiet 2>/dev/null || true)
    # The package the station built for this board is named after its label:
    # the one MACSET carried last.
    label=$(printf '%s' "$result" | sed -n 's/.*"mac":"\([^"]*\)".*/\1/p')
    label=${label:-$name}
    expected=$(sha256sum "$work/$label" 2>/dev/null | cut -d' ' -f1)
    case "$result" in
    *'"ok":true'*"\"sha256\":\"$expected\""* | *"\"sha256\":\"$expected\""*'"ok":true'*) ;;
    *)
        failures=$((failures + 1))
        echo "board $i ($label) failed: $result" >&2
        ;;
    esac
    if [ "$i" -eq 10 ]; then first_rss=$(rss); fi
    if [ $((i % 25)) -eq 0 ]; then
        echo "board $i failures $failures rss_kib $(rss)"
    fi
    i=$((i + 1))
done
last_rss=$(rss)
elapsed=$(($(date +%s) - started))

kill -TERM "$station"
wait "$station" || true
[ -z "$feeder" ] || kill "$feeder" 2>/dev/null || true
trap - EXIT
echo "mode $mode boards $boards loss $loss dup $dup failures $failures seconds $elapsed" \
    "rss_kib_at_10 $first_rss rss_kib_at_end $last_rss" \
    "log_lines $(wc -l <"$work/station.out")"
if [ "$failures" -eq 0 ]; then
    rm -rf "$work"
else
    echo "kept for inspection: $work" >&2
    exit 1
fi
