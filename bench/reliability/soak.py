#!/usr/bin/env python3
"""Boards through quorvane-headless one after another, over a lossy line.

Each board is a quorvane-router run. In label mode (write-MAC off) it asks
for the file named after its own label and the station builds the board's
device package under that name. In scan mode (write-MAC on) it asks for
"boot", gets MACWAIT, a scanner stand-in types the board's label into the
station when it asks, and the router fetches the package MACSET names. The
router drops and duplicates datagrams in both directions, MACWAIT and
MACSET included. Every board must receive a package that checks and equals
the station's file byte for byte; the station's resident memory after the
run must stay within 5% of its memory after the first 50 boards.

usage: bench/reliability/soak.py [--bin DIR] [--boards N] [--loss P] [--dup P]
                                 [--root-kib N] [--mode label|scan] [--work DIR]
"""
import argparse
import hashlib
import json
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent))
from stationbench import free_port, rss_kib, sysfile  # noqa: E402

ASK_LINE = b"Check MAC 1 nexttime 0"


class Scanner(threading.Thread):
    """Types the current board's label each time the station asks for one."""

    def __init__(self, out_path, stdin):
        super().__init__(daemon=True)
        self.out_path, self.stdin = out_path, stdin
        self.label, self.asks, self.stopping = "", 0, False

    def run(self):
        seen = 0
        while not self.stopping:
            text = self.out_path.read_bytes()
            asks = text.count(ASK_LINE)
            for _ in range(asks - seen):
                self.asks += 1
                self.stdin.write((self.label + "\n").encode())
                self.stdin.flush()
            seen = asks
            time.sleep(0.005)


def main():
    here = pathlib.Path(__file__).resolve().parent
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", default=os.environ.get("QUORVANE_BIN_DIR", here / "../../build/bin"))
    ap.add_argument("--boards", type=int, default=1000)
    ap.add_argument("--loss", type=float, default=0.05)
    ap.add_argument("--dup", type=float, default=0.05)
    ap.add_argument("--root-kib", type=int, default=64)
    ap.add_argument("--first", type=int, default=1, help="number of the first board (label, seed)")
    ap.add_argument("--mode", choices=("label", "scan"), default="label")
    ap.add_argument("--work")
    ap.add_argument("--hold-on-failure", action="store_true",
                    help="at the first failed board, leave the station running for inspection")
    args = ap.parse_args()
    binary = pathlib.Path(args.bin).resolve()

    work = pathlib.Path(args.work or tempfile.mkdtemp(prefix="quorvane-soak."))
    station_dir = work / "station"
    src = work / "src"
    for d in (station_dir, src):
        d.mkdir(parents=True, exist_ok=True)
    (src / "uboot.bin").write_bytes(os.urandom(64 * 1024))
    (src / "root.bin").write_bytes(os.urandom(args.root_kib * 1024))
    (src / "default.cfg").write_bytes(
        b"Default\nSSID1=Line\nAuthMode=WPA2PSK\nWPAPSK1=\nWAN_MAC_ADDR=00:00:00:00:00:00\n")
    # Boot loader, configuration, root image; the MAC hand-over in scan mode.
    scan = args.mode == "scan"
    (station_dir / "sysfile").write_bytes(
        sysfile(0x0F if scan else 0x0E, src / "uboot.bin", src / "root.bin", src / "default.cfg"))
    crc = subprocess.run([binary / "quorvane-pack", "checksum", src / "uboot.bin"],
                         check=True, capture_output=True, text=True).stdout.split()[0]

    port = free_port()
    log = open(work / "headless.out", "wb")
    station = subprocess.Popen(
        [binary / "quorvane-headless", "--folder", station_dir, "--port", str(port)],
        stdin=subprocess.PIPE, stdout=log, stderr=subprocess.STDOUT, cwd=work)
    time.sleep(0.5)
    if station.poll() is not None:
        sys.exit(f"station did not start; see {work}/headless.out")

    scanner = None
    if scan:
        scanner = Scanner(work / "headless.out", station.stdin)
        scanner.start()
    failures, retransmissions, restarts, rescans = [], 0, 0, 0
    rss_at_50 = None
    started = time.monotonic()
    try:
        for board in range(args.first, args.first + args.boards):
            label = f"5E3A71{board:05X}8"
            extra = ["--name", label]
            if scanner:
                scanner.label, asks_before = label, scanner.asks
                extra = ["--name", "boot", "--scan-wait-ms", "3000"]
            run = subprocess.run(
                [binary / "quorvane-router", "--port", str(port), "--crc", crc,
                 "--loss", str(args.loss), "--dup", str(args.dup), "--seed", str(board),
                 "--timeout-ms", "15", "--retries", "1000", "--quiet"] + extra,
                capture_output=True, text=True, timeout=600)
            result = json.loads(run.stdout.strip().splitlines()[-1])
            if scanner:
                rescans += max(0, scanner.asks - asks_before - 1)
                if result.get("mac", "").upper() != label:
                    result["ok"] = False
            retransmissions += result.get("retransmissions", 0)
            restarts += result.get("restarts", 0)
            on_disk = (station_dir / label).read_bytes() if (station_dir / label).exists() else b""
            if not result.get("ok") or result.get("check") != "ok" or \
                    result.get("sha256") != hashlib.sha256(on_disk).hexdigest():
                failures.append((board, result))
                if args.hold_on_failure:
                    print(f"board {board} failed: {json.dumps(result)}\n"
                          f"station pid {station.pid} port {port}, folder {work}; holding", flush=True)
                    station.wait()
            # Generated packages are not kept, as on a line that clears them.
            (station_dir / label).unlink(missing_ok=True)
            if board == args.first + 49:
                rss_at_50 = rss_kib(station.pid)
            if (board - args.first + 1) % 100 == 0:
                print(f"board {board}: {len(failures)} failed, rss {rss_kib(station.pid)} KiB, "
                      f"{time.monotonic() - started:.0f} s", flush=True)
        rss_end = rss_kib(station.pid)
        alive = station.poll() is None
    finally:
        if scanner:
            scanner.stopping = True
        station.terminate()
        station.wait(timeout=10)
        log.close()

    elapsed = time.monotonic() - started
    growth = (rss_end - rss_at_50) / rss_at_50 if rss_at_50 else 0.0
    print(f"mode {args.mode}, boards {args.boards}, loss {args.loss}, dup {args.dup}, "
          f"root {args.root_kib} KiB")
    if scanner:
        print(f"operator asked again for the same board {rescans} times")
    print(f"failed boards {len(failures)}; router retransmissions {retransmissions}, "
          f"restarts {restarts}; {elapsed:.0f} s ({elapsed / args.boards:.2f} s a board)")
    print(f"station rss after 50 boards {rss_at_50} KiB, after {args.boards} {rss_end} KiB "
          f"({growth * 100:+.1f}%); station alive at the end: {alive}")
    for board, result in failures[:10]:
        print(f"  board {board}: {json.dumps(result)}")
    ok = not failures and alive and (rss_at_50 is None or growth <= 0.05)
    if ok and not args.work:
        shutil.rmtree(work)
    print("PASS" if ok else f"FAIL (work folder {work})")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
