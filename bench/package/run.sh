#!/usr/bin/env bash
# Times quorvane-pack building the device package (48 MiB root image, 128 KiB
# boot loader, configuration template) and the MAC package from the same
# files, against cp of the same bytes, in alternating rounds on this machine.
# Prints each round's medians and the median ratio over all rounds.
#
# usage: bench/package/run.sh [BIN_DIR] [ROUNDS] [WORK_DIR]
#   BIN_DIR   folder holding quorvane-pack (default: $QUORVANE_BIN_DIR or build/bin)
#   ROUNDS    alternating rounds of hyperfine runs (default 5)
#   WORK_DIR  where the files are made (default: a new folder under ${TMPDIR:-/tmp})
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
bin_dir=${1:-${QUORVANE_BIN_DIR:-$here/../../build/bin}}
rounds=${2:-5}
pack=$bin_dir/quorvane-pack
[[ -x $pack ]] || { echo "no quorvane-pack in $bin_dir" >&2; exit 2; }
command -v hyperfine >/dev/null || { echo "hyperfine is needed" >&2; exit 2; }
command -v python3 >/dev/null || { echo "python3 is needed" >&2; exit 2; }

if [[ -n ${3:-} ]]; then
    work=$3
    mkdir -p "$work"
else
    work=$(mktemp -d "${TMPDIR:-/tmp}/quorvane-bench.XXXXXX")
    trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$work/in" "$work/out"

head -c $((48 * 1024 * 1024)) /dev/urandom >"$work/in/root.bin"
head -c $((128 * 1024)) /dev/urandom >"$work/in/uboot.bin"
{
    printf '#The word of "Default" must not be removed\nDefault\n'
    for i in $(seq 1 120); do printf 'Key%d=value%d\n' "$i" "$i"; done
    printf 'SSID1=Office\nAuthMode=WPA2PSK\nWPAPSK1=\nWAN_MAC_ADDR=00:00:00:00:00:00\n'
} >"$work/in/default.cfg"
# cp copies the very bytes the packages carry.
cat "$work/in/uboot.bin" "$work/in/default.cfg" "$work/in/root.bin" >"$work/in/all.bin"

in=$work/in
out=$work/out
cmd_cp="cp $in/all.bin $out/copy.bin"
cmd_device="$pack device --label 5e3a71123458 --flags 0x0f --bootloader $in/uboot.bin --config $in/default.cfg --root $in/root.bin --out $out"
cmd_mac="$pack mac --serial 12345 --flags 0x0f --wpa on --bootloader $in/uboot.bin --config $in/default.cfg --root $in/root.bin --out $out"

load() { cut -d' ' -f1-3 /proc/loadavg 2>/dev/null || echo unknown; }
echo "work folder: $work ($(df -T "$work" | awk 'NR==2 {print $2}')), load average $(load)"
for round in $(seq 1 "$rounds"); do
    hyperfine --style none --warmup 1 --runs 7 --export-json "$work/round$round.json" \
        -n cp "$cmd_cp" -n device "$cmd_device" -n mac "$cmd_mac" >/dev/null
done

python3 - "$work" "$rounds" <<'PY'
import json, statistics, sys
work, rounds = sys.argv[1], int(sys.argv[2])
ratios = {"device": [], "mac": []}
for r in range(1, rounds + 1):
    results = {x["command"]: statistics.median(x["times"])
               for x in json.load(open(f"{work}/round{r}.json"))["results"]}
    line = f"round {r}: cp {results['cp']*1000:7.1f} ms"
    for name in ratios:
        ratios[name].append(results[name] / results["cp"])
        line += f"  {name} {results[name]*1000:7.1f} ms ({ratios[name][-1]:.2f}x)"
    print(line)
for name, values in ratios.items():
    print(f"{name} package / cp: median {statistics.median(values):.2f}x over {rounds} rounds")
PY
echo "load average after the run: $(load)"
