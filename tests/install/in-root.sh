#!/bin/bash
# Runs inside the fresh root made by deb-install.sh, as root there.
#   in-root.sh install PACKAGE.deb   apt installs it; the capability must be set
#   in-root.sh run                   an ordinary user's station and router
set -euo pipefail

step="${1:-}"
fail() {
    echo "in-root: FAILED at step '$step': $*" >&2
    exit 1
}
begin() {
    step=$1
    echo "in-root: -- $step"
}

export DEBIAN_FRONTEND=noninteractive LANG=C.UTF-8

install_package() {
    begin "apt-get update"
    apt-get update -qq || fail "apt-get update failed"
    begin "apt-get install $1"
    # Recommends too, as apt does by default: libcap2-bin comes with them.
    apt-get install -y -q "$1" || fail "apt-get install failed"
    begin "capability of the installed stations"
    for program in /usr/bin/quorvane /usr/bin/quorvane-headless; do
        [ -x "$program" ] || continue
        getcap "$program" | grep -q cap_net_bind_service ||
            fail "getcap $program: no cap_net_bind_service ($(getcap "$program"))"
    done
    [ -x /usr/bin/quorvane-headless ] || fail "/usr/bin/quorvane-headless not installed"
}

runs=/var/tmp/qv-runs

# as USER COMMAND...: the user's own clean environment, no root left.
as() {
    local user=$1
    shift
    runuser -u "$user" -- env -i HOME="/home/$user" USER="$user" LOGNAME="$user" \
        PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"
}

# sysfile FILE FLAGS ROOT_IMAGE: the 789-byte settings record, NUL-padded.
sysfile() {
    head -c 789 /dev/zero >"$1"
    printf "\\$(printf '%03o' "$2")" | dd of="$1" conv=notrunc status=none
    printf '%s' "$3" | dd of="$1" bs=1 seek=275 conv=notrunc status=none
}

# Starts quorvane-headless for USER from the home folder, the way a user types
# it, and waits until it listens or ends.
start_station() {
    local user=$1 dir=$runs/$1
    shift
    as "$user" sh -c 'cd && echo $$ >"$0/pid" && exec /usr/bin/quorvane-headless "$@" \
        </dev/null >"$0/out" 2>"$0/err"' "$dir" "$@" &
    station_runner=$!
    # A bound on a hang, not a measurement.
    for _ in $(seq 600); do
        grep -q '服务器已启动' "$dir/out" 2>/dev/null && return 0
        kill -0 "$station_runner" 2>/dev/null || break
        sleep 0.1
    done
    local status=0
    wait "$station_runner" || status=$?
    station_runner=""
    fail "quorvane-headless $* did not start (exit status $status):
$(cat "$dir/err" "$dir/out" 2>/dev/null)"
}

stop_station() {
    local user=$1 dir=$runs/$1 status=0
    kill -TERM "$(cat "$dir/pid")"
    wait "$station_runner" || status=$?
    station_runner=""
    [ "$status" -eq 0 ] || fail "quorvane-headless ended with status $status after SIGTERM:
$(cat "$dir/err")"
}

run_as_user() {
    local user=quorvane-op
    local home=/home/$user
    local folder=$home/.local/share/Quorvane
    local dir=$runs/$user
    station_runner=""
    trap '[ -n "$station_runner" ] && kill -KILL "$(cat "$runs/quorvane-op/pid")" 2>/dev/null; true' EXIT

    begin "an ordinary user with a root image and a sysfile in the station folder"
    useradd --create-home --shell /bin/bash "$user" || fail "useradd $user"
    mkdir -p "$dir"
    chown "$user:" "$dir"
    as "$user" mkdir -p "$folder"
    as "$user" sh -c "head -c 70000 /dev/urandom >'$folder/root.bin'"
    as "$user" bash -c "$(declare -f sysfile); sysfile '$folder/sysfile' 8 '$folder/root.bin'"

    begin "quorvane-headless on port 69 as $user"
    start_station "$user" --port 69

    begin "quorvane-router fetches \"mac\" (CRC 0) from 127.0.0.1:69"
    local result status=0
    result=$(as "$user" timeout 120 /usr/bin/quorvane-router --server 127.0.0.1 --port 69 \
        --name mac --crc 0 --out "$dir/mac.bin" --quiet) || status=$?
    [ "$status" -eq 0 ] || fail "quorvane-router exited $status: $result"
    grep -q '"ok": *true' <<<"$result" || fail "quorvane-router's result is not ok: $result"

    begin "SIGTERM ends the station"
    stop_station "$user"

    begin "the files are in $folder"
    cmp -s "$folder/MAC" "$dir/mac.bin" ||
        fail "$folder/MAC is missing or not the file the router received ($(ls -A "$folder"))"
    [ -s "$folder/production.db" ] || fail "no production record in $folder ($(ls -A "$folder"))"
    local log
    log=$(iconv -f GBK -t UTF-8 "$folder/Log/log.txt") || fail "no Log/log.txt, or not GBK text"
    for line in '开始时间:' '服务器已启动' 'Uboot crc: 0' '强制关闭服务' '结速时间:'; do
        grep -qF "$line" <<<"$log" || fail "Log/log.txt lacks \"$line\":
$log"
    done
    local runfiles
    runfiles=$(find "$folder" -mindepth 2 -maxdepth 2 -ipath "$folder/log/*.txt" ! -name log.txt)
    [ -n "$runfiles" ] || fail "no run file under $folder/log ($(find "$folder" | sort | tr '\n' ' '))"

    trap - EXIT
}

case "${1:-}" in
install) install_package "$2" ;;
run) run_as_user ;;
*) fail "usage: in-root.sh install PACKAGE.deb | run" ;;
esac
echo "in-root: $1 passed"
