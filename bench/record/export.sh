#!/usr/bin/env bash
# Times `quorvane-record export --format csv` against
# `sqlite3 -csv -header FILE 'SELECT * FROM boards'` on the same record of
# ROWS boards, in alternating rounds on this machine, and prints each round's
# medians and the median ratio over all rounds. Target: at most 1.5.
#
# usage: bench/record/export.sh [BIN_DIR] [ROWS] [ROUNDS] [WORK_DIR]
#   BIN_DIR   folder holding quorvane-record and quorvane-record-bench
#             (default: $QUORVANE_BIN_DIR or build/bin)
#   ROWS      boards in the record (default 1000000)
#   ROUNDS    alternating rounds of hyperfine runs (default 5)
#   WORK_DIR  where the record is made (default: a new folder under ${TMPDIR:-/tmp})
# BASELINE=/path/to/an/older/quorvane-record adds it to the rotation and
# checks that both export the same bytes.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
bin_dir=${1:-${QUORVANE_BIN_DIR:-$here/../../build/bin}}
rows=${2:-1000000}
rounds=${3:-5}
tool=$bin_dir/quorvane-record
[[ -x $tool && -x $bin_dir/quorvane-record-bench ]] ||
    { echo "no quorvane-record or quorvane-record-bench in $bin_dir" >&2; exit 2; }
command -v hyperfine >/dev/null || { echo "hyperfine is needed (scripts/setup-debian.sh)" >&2; exit 2; }
command -v python3 >/dev/null || { echo "python3 is needed" >&2; exit 2; }
command -v sqlite3 >/dev/null ||
    { echo "sqlite3, the peer of this benchmark, is needed (scripts/setup-debian.sh)" >&2; exit 2; }

if [[ -n ${4:-} ]]; then
    work=$4
    mkdir -p "$work"
else
    work=$(mktemp -d "${TMPDIR:-/tmp}/quorvane-export.XXXXXX")
    trap 'rm -rf "$work"' EXIT
fi
db=$work/production.db
rm -f "$db"
# The station's schema, then the rows in one statement: a line of four
# stations, one claim about every 15 s up to now, the outcomes in about the
# shares `quorvane-record-bench generate` uses.
"$bin_dir/quorvane-record-bench" generate "$db" 0 2>/dev/null
start=$((($(date +%s) - rows * 15) * 1000))
sqlite3 "$db" >/dev/null <<SQL
PRAGMA journal_mode=OFF;
PRAGMA synchronous=OFF;
PRAGMA cache_size=-400000;
BEGIN;
WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < $rows - 1),
r AS (SELECT i, (i * 2654435761) % 4294967296 AS h, $start + i * 15000 + (i * 7919) % 9000 AS at
      FROM n),
o AS (SELECT *, CASE
        WHEN h % 1000 < 860 THEN 'written-done'   WHEN h % 1000 < 920 THEN 'written-timer'
        WHEN h % 1000 < 940 THEN 'released'       WHEN h % 1000 < 950 THEN 'stopped'
        WHEN h % 1000 < 975 THEN 'scan-cancelled' WHEN h % 1000 < 980 THEN 'reburn-refused'
        WHEN h % 1000 < 990 THEN 'delivered'      WHEN h % 1000 < 995 THEN 'prepared'
        WHEN h % 1000 < 997 THEN 'fetched-again'  ELSE 'in-progress' END AS outcome,
        40000 + (h / 1000) % 40000 AS ms FROM r),
b AS (SELECT *, CASE WHEN outcome = 'written-done' THEN at + ms
                     WHEN outcome = 'written-timer' THEN at + 90000 + ms / 4 ELSE 0 END AS fin
      FROM o)
INSERT INTO boards (id, station, folder, router_address, router_port, label, base_mac, model_mac,
    wan_mac, model_code, model_name, selection, bootloader_name, bootloader_size, bootloader_crc,
    root_name, root_size, root_crc, config_name, config_size, config_crc, claimed_at, scanned_at,
    built_at, transferred_at, finished_at, elapsed_ms, outcome, refetches, reburn)
SELECT printf('{%08x-%04x-4%03x-a%03x-%012x}', i, h % 65536, h % 4096, (h / 7) % 4096, i * 40503),
    'line1-' || char(97 + i % 4), '/home/line/.local/share/Quorvane/',
    '192.168.1.' || (10 + i % 8), 2000 + i % 50000,
    printf('5E3A71%06X', i % 16777216), printf('5E3A71%06X', i % 16777216),
    printf('5E3A71%06X', (i + 1) % 16777216), printf('5E3A71%06X', (i + 2) % 16777216),
    5, 'AX1800', 15, 'uboot.bin', 65536, 471407779, 'root.bin', 8388608, 775899739,
    'factory.cfg', 412, 2578103244, at, at + 3000, at + 3200,
    CASE WHEN fin > 0 OR outcome = 'delivered' THEN at + ms / 2 ELSE 0 END, fin,
    CASE WHEN fin > 0 THEN fin - at ELSE -1 END, outcome, CASE WHEN h % 100 < 3 THEN 1 ELSE 0 END,
    CASE WHEN h % 200 = 7 THEN 'confirmed' ELSE '' END
FROM b;
COMMIT;
SQL

cmd_sqlite="sqlite3 -csv -header $db 'SELECT * FROM boards'"
cmd_export="$tool --db $db export --format csv"
names=(-n sqlite3 "$cmd_sqlite" -n export "$cmd_export")
if [[ -n ${BASELINE:-} ]]; then
    names+=(-n baseline "$BASELINE --db $db export --format csv")
    cmp <($tool --db "$db" export --format csv) <("$BASELINE" --db "$db" export --format csv) ||
        { echo "the export's bytes differ from the baseline's" >&2; exit 1; }
    echo "same bytes as the baseline"
fi
echo "bytes per row: export $(($($tool --db "$db" export --format csv | wc -c) / rows))," \
    "sqlite3 $(($(sqlite3 -csv -header "$db" 'SELECT * FROM boards' | wc -c) / rows))"

load() { cut -d' ' -f1-3 /proc/loadavg 2>/dev/null || echo unknown; }
echo "$rows rows in $work ($(df -T "$work" | awk 'NR==2 {print $2}')), load average $(load)"
for round in $(seq 1 "$rounds"); do
    hyperfine -N --style none --warmup 1 --runs 3 --export-json "$work/round$round.json" \
        "${names[@]}" >/dev/null
    echo "round $round done, load average $(load)"
done

python3 - "$work" "$rounds" <<'PY'
import json, statistics, sys
work, rounds = sys.argv[1], int(sys.argv[2])
ratios, cpus = {}, {}
for r in range(1, rounds + 1):
    res = {x["command"]: x for x in json.load(open(f"{work}/round{r}.json"))["results"]}
    base = statistics.median(res["sqlite3"]["times"])
    base_cpu = res["sqlite3"]["user"] + res["sqlite3"]["system"]
    line = f"round {r}: sqlite3 {base:6.2f} s (cpu {base_cpu:5.2f})"
    for name in ("export", "baseline"):
        if name in res:
            t = statistics.median(res[name]["times"])
            cpu = res[name]["user"] + res[name]["system"]
            ratios.setdefault(name, []).append(t / base)
            cpus.setdefault(name, []).append(cpu / base_cpu)
            line += f"  {name} {t:6.2f} s (cpu {cpu:5.2f}) x{t / base:.2f}"
    print(line)
for name, values in ratios.items():
    print(f"{name} / sqlite3: median x{statistics.median(values):.2f} "
          f"(rounds {min(values):.2f} to {max(values):.2f}; target at most 1.5 for export); "
          f"CPU time x{statistics.median(cpus[name]):.2f}")
PY
