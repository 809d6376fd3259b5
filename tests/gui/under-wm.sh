#!/usr/bin/env bash
# Runs a program on a virtual X server under a real window manager (openbox),
# so that its windows get frames and titles as on the line's desktops.
# Exits 77 (ctest: skipped) when a tool is missing.
set -euo pipefail
for tool in xvfb-run openbox xprop xdotool; do
    if ! command -v "$tool" >/dev/null; then
        echo "under-wm: $tool is missing; scripts/setup-debian.sh installs it" >&2
        exit 77
    fi
done
if [ "${1:-}" != --inside ]; then
    exec xvfb-run -a -s "-screen 0 1280x800x24" "$0" --inside "$@"
fi
shift

openbox --sm-disable >/dev/null 2>&1 &
wm=$!
trap 'kill "$wm" 2>/dev/null || true' EXIT
# The window manager is up once it has announced itself on the root window.
for _ in $(seq 100); do
    if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; then
        QT_QPA_PLATFORM=xcb "$@"
        exit
    fi
    sleep 0.1
done
echo "under-wm: openbox did not start" >&2
exit 1
