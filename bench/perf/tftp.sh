#!/usr/bin/env bash
# Time per block for one 32 MiB file served on loopback by the station's
# transfer server (quorvane-tftp-serve), tftpd-hpa's in.tftpd and atftpd, to
# the same three clients (tftp-hpa, atftp, curl without options: 512-byte
# blocks everywhere), in one run, servers alternating within each round.
# Prints per-client medians and the ratios quorvane / in.tftpd and
# quorvane / atftpd (the aim: at most 1.0).
#
# The two other servers are extracted from their Debian packages into
# BUILD_DIR/bench-servers, never installed (installed, they start a daemon on
# port 69).
#
# usage: bench/perf/tftp.sh [BUILD_DIR] [ROUNDS]    (default build, 5)
#
# BASELINE=/path/to/an/older/quorvane-tftp-serve adds that build to the same
# rotation and prints the ratio quorvane / baseline, for before-and-after
# figures taken in one run.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build}" && pwd)
rounds=${2:-5}
serve=$build/bin/quorvane-tftp-serve
[[ -x $serve ]] || { echo "build the target quorvane-tftp-serve first" >&2; exit 2; }

servers=$build/bench-servers
if [[ ! -x $servers/usr/sbin/atftpd || ! -x $servers/usr/sbin/in.tftpd ]]; then
    mkdir -p "$servers"
    (cd "$servers" && apt-get download tftpd-hpa atftpd libwrap0 >/dev/null 2>&1 &&
        for deb in ./*.deb; do dpkg-deb -x "$deb" .; done)
fi
LD_LIBRARY_PATH="$(dirname "$(find "$servers" -name 'libwrap.so.0' | head -n 1)"):${LD_LIBRARY_PATH:-}"
export LD_LIBRARY_PATH

work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT INT TERM
chmod 755 "$work"
mkdir -p "$work/files" "$work/log"
chmod 777 "$work/files" # atftpd wants a world-writable folder
head -c $((32 * 1024 * 1024)) /dev/urandom >"$work/files/image"
chmod 644 "$work/files/image"
blocks=65537 # 65,536 full blocks and the empty last one

free_port() {
    python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

"$serve" "$work/files" 0 "$work/log" >"$work/serve.out" &
pids+=($!)
for _ in $(seq 100); do grep -q listening "$work/serve.out" 2>/dev/null && break; sleep 0.05; done
declare -A port
port[quorvane]=$(awk '/listening/ {print $2}' "$work/serve.out")
[[ -n ${port[quorvane]} ]] || { echo "quorvane-tftp-serve did not start" >&2; exit 1; }
names=(quorvane in.tftpd atftpd)

if [[ -n ${BASELINE:-} ]]; then
    "$BASELINE" "$work/files" 0 "$work/log" >"$work/baseline.out" &
    pids+=($!)
    for _ in $(seq 100); do grep -q listening "$work/baseline.out" 2>/dev/null && break; sleep 0.05; done
    port[baseline]=$(awk '/listening/ {print $2}' "$work/baseline.out")
    [[ -n ${port[baseline]} ]] || { echo "the baseline server did not start" >&2; exit 1; }
    names+=(baseline)
fi

port[in.tftpd]=$(free_port)
"$servers/usr/sbin/in.tftpd" -L -a "127.0.0.1:${port[in.tftpd]}" -s "$work/files" &
pids+=($!)

port[atftpd]=$(free_port)
"$servers/usr/sbin/atftpd" --daemon --no-fork --user root.root --port "${port[atftpd]}" \
    --bind-address 127.0.0.1 --logfile /dev/null --no-multicast "$work/files" &
pids+=($!)
sleep 0.5

fetch() { # client server -> elapsed nanoseconds; checks the bytes
    local p=${port[$2]}
    rm -f "$work/out"
    local start end
    start=$(date +%s%N)
    case $1 in
    tftp) tftp 127.0.0.1 "$p" -m binary -c get image "$work/out" >/dev/null 2>&1 ;;
    atftp) atftp -g -r image -l "$work/out" 127.0.0.1 "$p" >/dev/null 2>&1 ;;
    curl) curl -s --tftp-no-options -o "$work/out" "tftp://127.0.0.1:$p/image" ;;
    esac
    end=$(date +%s%N)
    cmp -s "$work/out" "$work/files/image" || { echo "$1 from $2: wrong bytes" >&2; exit 1; }
    echo $((end - start))
}

median() { sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

echo "32 MiB, $blocks blocks, $rounds rounds; $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
for client in tftp atftp curl; do
    for s in "${names[@]}"; do : >"$work/$client-$s"; done
    for i in $(seq 0 $((rounds - 1))); do
        # Rotate the order each round so that drift hits every server alike.
        for k in $(seq 0 $((${#names[@]} - 1))); do
            s=${names[$(((i + k) % ${#names[@]}))]}
            fetch "$client" "$s" >>"$work/$client-$s"
        done
    done
    declare -A med
    for s in "${names[@]}"; do
        med[$s]=$(median <"$work/$client-$s")
        printf '%-6s %-9s us/block per round: %s\n' "$client" "$s" \
            "$(awk -v b=$blocks '{printf "%.1f ", $1 / b / 1000}' "$work/$client-$s")"
    done
    awk -v q="${med[quorvane]}" -v h="${med[in.tftpd]}" -v a="${med[atftpd]}" -v b=$blocks -v c="$client" 'BEGIN {
        printf "%-6s median us/block: quorvane %.1f, in.tftpd %.1f, atftpd %.1f; ratio to in.tftpd %.3f, to atftpd %.3f\n",
               c, q / b / 1000, h / b / 1000, a / b / 1000, q / h, q / a }'
    if [[ -n ${med[baseline]:-} ]]; then
        awk -v q="${med[quorvane]}" -v o="${med[baseline]}" -v b=$blocks -v c="$client" 'BEGIN {
            printf "%-6s median us/block: baseline %.1f; ratio quorvane / baseline %.3f\n", c, o / b / 1000, q / o }'
    fi
done
echo "load at the end $(cut -d' ' -f1-3 /proc/loadavg)"
