#!/bin/sh
# Time per block for a 32 MiB file served by quorvane-tftp-serve and by
# tftpd-hpa's in.tftpd, to the same clients, alternating, in one run.
# Reports per-client medians and the ratio (ours / in.tftpd; <= 1.0 is the aim).
#
#   bench/tftp/bench.sh [BUILD_DIR] [ROUNDS]
#
# in.tftpd (and the libwrap it links) are extracted from the Debian packages
# into BUILD_DIR/bench-tftpd, never installed: installed, tftpd-hpa would
# start a daemon on port 69.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
rounds=${2:-5}
serve="$build/bin/quorvane-tftp-serve"
[ -x "$serve" ] || { echo "build quorvane-tftp-serve first" >&2; exit 2; }

tftpd_dir="$build/bench-tftpd"
tftpd="$tftpd_dir/usr/sbin/in.tftpd"
if [ ! -x "$tftpd" ]; then
    mkdir -p "$tftpd_dir"
    (cd "$tftpd_dir" && apt-get download tftpd-hpa libwrap0 >/dev/null 2>&1 &&
        for deb in ./*.deb; do dpkg-deb -x "$deb" .; done)
fi
LD_LIBRARY_PATH="$(find "$tftpd_dir" -name 'libwrap.so.0' -printf '%h:' 2>/dev/null)${LD_LIBRARY_PATH:-}"
export LD_LIBRARY_PATH

work=$(mktemp -d)
chmod 755 "$work"
pids=""
cleanup() {
    for p in $pids; do kill "$p" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

mkdir -p "$work/files" "$work/log"
chmod 755 "$work/files"
head -c 33554432 /dev/urandom >"$work/files/image"
chmod 644 "$work/files/image"
blocks=65537 # 65,536 full blocks and the empty last one

free_port() {
    python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

"$serve" "$work/files" 0 "$work/log" >"$work/serve.out" &
pids="$pids $!"
tries=0
while ! grep -q listening "$work/serve.out" 2>/dev/null; do
    tries=$((tries + 1)); [ $tries -lt 100 ] || { echo "server did not start" >&2; exit 1; }
    sleep 0.05
done
our_port=$(awk '/listening/ {print $2}' "$work/serve.out")

their_port=$(free_port)
"$tftpd" -L -a "127.0.0.1:$their_port" -s "$work/files" &
tftpd_pid=$!
pids="$pids $tftpd_pid"
sleep 0.3
kill -0 "$tftpd_pid" 2>/dev/null || { echo "in.tftpd did not start" >&2; exit 1; }

fetch() { # client port -> elapsed nanoseconds; checks the bytes
    rm -f "$work/out"
    start=$(date +%s%N)
    case $1 in
    tftp) tftp 127.0.0.1 "$2" -m binary -c get image "$work/out" >/dev/null 2>&1 ;;
    curl) curl -s --tftp-no-options -o "$work/out" "tftp://127.0.0.1:$2/image" ;;
    esac
    end=$(date +%s%N)
    cmp -s "$work/out" "$work/files/image" || { echo "$1 on port $2: wrong bytes" >&2; exit 1; }
    echo $((end - start))
}

median() { sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

printf '%-6s %-10s %s\n' client server "us/block per round"
for client in tftp curl; do
    command -v "$client" >/dev/null || { echo "$client: not installed, skipped"; continue; }
    : >"$work/ours" ; : >"$work/theirs"
    i=0
    while [ $i -lt "$rounds" ]; do
        # Alternate which server goes first, so drift hits both alike.
        if [ $((i % 2)) -eq 0 ]; then
            fetch $client "$our_port" >>"$work/ours"
            fetch $client "$their_port" >>"$work/theirs"
        else
            fetch $client "$their_port" >>"$work/theirs"
            fetch $client "$our_port" >>"$work/ours"
        fi
        i=$((i + 1))
    done
    for who in ours theirs; do
        printf '%-6s %-10s %s\n' $client "$( [ $who = ours ] && echo quorvane || echo in.tftpd)" \
            "$(awk -v b=$blocks '{printf "%.1f ", $1 / b / 1000}' "$work/$who")"
    done
    o=$(median <"$work/ours"); t=$(median <"$work/theirs")
    awk -v o="$o" -v t="$t" -v b=$blocks -v c=$client 'BEGIN {
        printf "%-6s median: quorvane %.1f us/block, in.tftpd %.1f us/block, ratio %.3f\n",
               c, o / b / 1000, t / b / 1000, o / t }'
done
