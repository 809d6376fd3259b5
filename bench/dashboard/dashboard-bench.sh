#!/usr/bin/env bash
# quorvane-dashboard over 1,000,000 rows, on SQLite and on a throwaway
# PostgreSQL cluster: the summary, the page's first load, 50 event streams,
# memory over 10,000 rows streamed. Run by hand (bench/dashboard/README.md);
# prints figures, asserts nothing.
#   bench/dashboard/dashboard-bench.sh [BUILD_DIR] [ROWS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build}" && pwd)
rows=${2:-1000000}
bin=$build/bin
for tool in sqlite3 curl python3; do
    command -v $tool >/dev/null || { echo "missing: $tool (apt-get install $tool)" >&2; exit 1; }
done
work=$(mktemp -d /tmp/qv-dashbench-XXXXXX)
chmod 755 "$work"
dash=
cleanup() {
    [ -n "$dash" ] && kill "$dash" 2>/dev/null || true
    if [ -f "$work/pg/PG_VERSION" ]; then
        runuser -u postgres -- "$pgbin/pg_ctl" -D "$work/pg" -m fast -w stop >/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# Median of N runs of a command, in ms.
median_ms() {
    local n=$1 i t
    shift
    for i in $(seq "$n"); do
        t=$(date +%s%N)
        "$@" >/dev/null
        echo $((($(date +%s%N) - t) / 1000000))
    done | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'
}

start_dashboard() {
    "$bin/quorvane-dashboard" --db "$1" --listen 127.0.0.1:0 --target 60 >"$work/dash.out" 2>"$work/dash.err" &
    dash=$!
    for _ in $(seq 100); do
        grep -q "serving" "$work/dash.out" 2>/dev/null && break
        sleep 0.1
    done
    base=$(grep -o 'http://[^ ]*' "$work/dash.out" | sed 's|/$||')
}

first_load() {
    curl -sf "$base/" && curl -sf "$base/api/boards?limit=100" && curl -sf "$base/api/summary" &&
        curl -sf "$base/api/stations" && curl -sf "$base/api/alerts"
}

measure() { # what peer...
    local what=$1
    shift
    local summary load peer
    summary=$(median_ms 5 curl -sf "$base/api/summary?since=2000-01-01")
    shift_summary=$(median_ms 5 curl -sf "$base/api/summary")
    load=$(median_ms 5 first_load)
    peer=$(median_ms 5 "$@")
    echo "$what: /api/summary over all $rows rows ${summary} ms, of this shift ${shift_summary} ms;"
    echo "   the page's first load ${load} ms;"
    echo "   peer (COUNT(*) GROUP BY station over the table, same run) ${peer} ms:" \
        "summary/peer $(awk -v a="$summary" -v b="$peer" 'BEGIN { printf "%.2f", a / (b ? b : 1) }')"
}

echo "== SQLite ($rows rows)"
"$build/bin/quorvane-record-bench" generate "$work/production.db" "$rows" 2>&1 | tail -1
start_dashboard "$work/production.db"
measure SQLite sqlite3 "$work/production.db" "SELECT station, COUNT(*) FROM boards GROUP BY station"
python3 "$here/ssebench.py" "$base" "$dash" "sqlite:$work/production.db" 50 0
python3 "$here/ssebench.py" "$base" "$dash" "sqlite:$work/production.db" 5 10000
python3 "$here/bigrequests.py" "$base" "$dash" 200
kill "$dash" && wait "$dash" 2>/dev/null || true
dash=

pgbin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | tail -1)
if [ -z "$pgbin" ]; then
    echo "PostgreSQL not installed (apt-get install postgresql): its half skipped"
    exit 0
fi
echo "== PostgreSQL ($rows rows)"
chown postgres "$work"
runuser -u postgres -- "$pgbin/initdb" -D "$work/pg" -A trust -U qv --no-sync >/dev/null
runuser -u postgres -- "$pgbin/pg_ctl" -D "$work/pg" -o "-k $work -c listen_addresses=''" \
    -l "$work/pg.log" -w start >/dev/null
psql -qX -h "$work" -U qv -d postgres -c "CREATE DATABASE line"
url="postgresql://qv@localhost/line?host=$work"
# The schema from a station's code, then the SQLite file's rows copied in
# (generating them row by row over a socket would take most of an hour).
"$build/bin/quorvane-record-bench" generate "$url" 1 99 2>/dev/null
columns=$(sqlite3 "$work/production.db" \
    "SELECT group_concat(name, ',') FROM pragma_table_info('boards') WHERE name <> 'change'")
t=$(date +%s)
sqlite3 -csv "$work/production.db" "SELECT $columns FROM boards" |
    psql -qX -h "$work" -U qv -d line -c "\\copy boards ($columns) FROM STDIN WITH (FORMAT csv, FORCE_NOT_NULL ($columns))"
echo "$rows rows copied in $(($(date +%s) - t)) s"
psql -qX -h "$work" -U qv -d line -c "VACUUM ANALYZE boards"
start_dashboard "$url"
measure PostgreSQL psql -qX -h "$work" -U qv -d line -c "SELECT station, COUNT(*) FROM boards GROUP BY station"
python3 "$here/ssebench.py" "$base" "$dash" "pg:$work:line" 50 0
python3 "$here/ssebench.py" "$base" "$dash" "pg:$work:line" 5 10000
