#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need.
# Quick and silent when everything is already there.
set -euo pipefail

PACKAGES=(
    # build
    cmake ninja-build g++ pkg-config
    # the Windows compile check
    g++-mingw-w64-x86-64-posix
    qt6-base-dev qt6-multimedia-dev zlib1g-dev libsqlite3-dev
    # the line dashboard's server (Debian's Qt HTTP Server cmake files also need WebSockets')
    qt6-httpserver-dev qt6-websockets-dev
    # the production record: Qt's SQLite and PostgreSQL drivers, a server for its tests
    libqt6sql6-sqlite libqt6sql6-psql postgresql
    # tests: real TFTP peers, offscreen and Xvfb desktop, CJK glyphs, sounds
    tftp-hpa atftp curl xvfb xauth fonts-wqy-microhei sox
    # tests: a stock U-Boot in QEMU as the router (tests/uboot, Python stdlib)
    qemu-system-arm u-boot-qemu python3
    # tests under a real window manager: frames and titles
    openbox xdotool x11-utils
    # fuzzing and sanitizers
    clang libclang-rt-14-dev
    # benchmarks (in.tftpd is extracted from its package by bench/, not installed);
    # sqlite3 is the export's peer
    hyperfine sqlite3
    # the install test: a fresh Debian 12 root, a network namespace's loopback
    debootstrap debian-archive-keyring iproute2
    # the dashboard's page in a real browser (tests/dashboard)
    chromium
)
# Node from Debian only where the machine has none: a Node of another origin
# conflicts with Debian's npm.
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
    PACKAGES+=(nodejs npm)
fi

# The browser tests' npm modules, exactly as the lock file pins them; again
# only when the lock file changed.
npm_modules() {
    local dir=tests/dashboard
    if ! cmp -s "$dir/package-lock.json" "$dir/node_modules/.quorvane-lock"; then
        (cd "$dir" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error)
        cp "$dir/package-lock.json" "$dir/node_modules/.quorvane-lock"
    fi
}
cd "$(dirname "$0")/.."

missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -eq 0 ]; then
    npm_modules
    exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
echo "setup-debian: installing ${missing[*]}"
$SUDO apt-get update -qq
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
npm_modules
