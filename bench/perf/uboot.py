#!/usr/bin/env python3
"""A stock U-Boot fetching one file through the U-Boot test's frame relay,
and two option-asking clients on loopback, in one run, alternating:

- U-Boot (qemu_arm64) `tftpboot` of a 32 MiB file from quorvane-headless in
  lock-step 512 (`tftpblocksize 512`), from quorvane-headless with
  `tftpblocksize 1468` and `tftpwindowsize 16`, and from tftpd-hpa's
  in.tftpd (which answers blksize but not windowsize) with the same settings;
- atftp (`--option "blksize 1468"`) and curl (`--tftp-blksize 1468`) fetching
  the same file from the station and from in.tftpd.

in.tftpd is extracted from its Debian package into BUILD_DIR/bench-servers,
never installed (installed, it starts a daemon on port 69). Prints the
median seconds per server and the ratios.

usage: bench/perf/uboot.py [--build DIR] [--rounds N] [--mib N]
"""
import argparse
import os
import pathlib
import random
import re
import statistics
import subprocess
import sys
import tempfile
import time
import zlib

here = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(here.parent))
sys.path.insert(0, str(here.parent.parent / "tests" / "uboot"))
from frame_relay import FrameRelay  # noqa: E402
from station import HeadlessStation  # noqa: E402
from stationbench import free_port  # noqa: E402
from tst_uboot import LOAD, LOCK_STEP, QEMU, STATION_IP, UBOOT, WINDOWS  # noqa: E402
from uboot_console import UBootConsole  # noqa: E402


class Relay(FrameRelay):
    """in.tftpd answers from a port of its own per transfer: a guest's later
    datagrams go there, its requests to the server's port."""

    def __init__(self, *args):
        super().__init__(*args)
        self.answered_from = {}  # guest port -> the server's port

    def _server(self, guest_port, payload):
        port = self.answered_from.get(guest_port) if payload[:2] != b"\0\1" else None
        return ("127.0.0.1", port or self.station_port)

    def _from_station(self, peer, payload, source):
        guest_port = next(p for p, s in self.peers.items() if s is peer)
        self.answered_from[guest_port] = source[1]
        super()._from_station(peer, payload, source)


def in_tftpd(build):
    servers = build / "bench-servers"
    binary = servers / "usr/sbin/in.tftpd"
    if not binary.exists():
        servers.mkdir(exist_ok=True)
        subprocess.run("apt-get download tftpd-hpa libwrap0 >/dev/null 2>&1 && "
                       "for deb in ./*.deb; do dpkg-deb -x \"$deb\" .; done",
                       shell=True, cwd=servers, check=True)
    libwrap = next(servers.rglob("libwrap.so.0")).parent
    return binary, dict(os.environ, LD_LIBRARY_PATH=str(libwrap))


def uboot_fetch(console, relay, port, env, want):
    console.run(env)
    relay.station_port = port
    relay.answered_from.clear()
    started = time.monotonic()
    out = console.run(f"tftpboot {LOAD} image && crc32 {LOAD} ${{filesize}}", timeout=600)
    took = time.monotonic() - started
    crc = re.search(r"==> ([0-9a-f]{8})", out)
    if not crc or int(crc.group(1), 16) != want:
        raise RuntimeError("U-Boot's copy differs:\n" + out[-400:])
    return took


def client_fetch(argv, out, want):
    started = time.monotonic()
    subprocess.run(argv, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    took = time.monotonic() - started
    if zlib.crc32(pathlib.Path(out).read_bytes()) != want:
        raise RuntimeError(f"{argv[0]}'s copy differs")
    return took


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=str(here.parent.parent / "build"))
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--mib", type=int, default=32)
    args = parser.parse_args()
    build = pathlib.Path(args.build).resolve()
    tftpd, tftpd_env = in_tftpd(build)
    with tempfile.TemporaryDirectory(prefix="quorvane-bench-") as work:
        folder = pathlib.Path(work) / "station"
        folder.mkdir()
        os.chmod(work, 0o755)
        os.chmod(folder, 0o755)
        data = random.Random(1).randbytes(args.mib << 20)
        (folder / "image").write_bytes(data)
        os.chmod(folder / "image", 0o644)
        want = zlib.crc32(data)
        station = HeadlessStation(str(build / "bin/quorvane-headless"), folder, 1)
        tftpd_port = free_port()
        server = subprocess.Popen([tftpd, "-L", "-a", f"127.0.0.1:{tftpd_port}", "-s", folder],
                                  env=tftpd_env)
        times = {}
        try:
            station.wait_started(60)
            with Relay(station.port, STATION_IP) as relay:
                console = UBootConsole(QEMU, UBOOT, relay.port)
                try:
                    console.boot(120)
                    console.run(f"setenv ipaddr 192.168.1.10; setenv netmask 255.255.255.0; "
                                f"setenv serverip {STATION_IP}; setenv tftptimeout 1000; "
                                f"setenv tftptimeoutcountmax 20; setenv netretry no")
                    runs = {"U-Boot, station 512": (station.port, LOCK_STEP),
                            "U-Boot, station 1468x16": (station.port, WINDOWS),
                            "U-Boot, in.tftpd 1468": (tftpd_port, WINDOWS)}
                    for _ in range(args.rounds):
                        for name, (port, env) in runs.items():
                            took = uboot_fetch(console, relay, port, env, want)
                            times.setdefault(name, []).append(took)
                            print(f"{name}: {took:.2f} s", flush=True)
                finally:
                    console.close()
            out = str(pathlib.Path(work) / "out")
            for _ in range(args.rounds):
                for server_name, port in (("station", station.port), ("in.tftpd", tftpd_port)):
                    clients = {
                        "atftp": ["atftp", "--option", "blksize 1468", "-g", "-r", "image",
                                  "-l", out, "127.0.0.1", str(port)],
                        "curl": ["curl", "-s", "--tftp-blksize", "1468", "-o", out,
                                 f"tftp://127.0.0.1:{port}/image"]}
                    for client, argv in clients.items():
                        took = client_fetch(argv, out, want)
                        times.setdefault(f"{client}, {server_name}", []).append(took)
                        print(f"{client}, {server_name}: {took:.2f} s", flush=True)
        finally:
            server.terminate()
            server.wait()
            station.close()
    median = {name: statistics.median(t) for name, t in times.items()}
    print(f"\n{args.mib} MiB, median of {args.rounds} (load {os.getloadavg()[0]:.1f}):")
    for name, t in median.items():
        print(f"  {name}: {t:.2f} s ({args.mib / t:.1f} MiB/s)")
    lock, win, hpa = (median[f"U-Boot, {s}"] for s in
                      ("station 512", "station 1468x16", "in.tftpd 1468"))
    print(f"  station 1468x16 / station 512: {win / lock:.2f} (aim: at most 0.25)")
    print(f"  in.tftpd 1468 / station 1468x16: {hpa / win:.2f} (aim: at least 1.5)")
    for client in ("atftp", "curl"):
        ratio = median[f"{client}, station"] / median[f"{client}, in.tftpd"]
        print(f"  {client} blksize 1468, station / in.tftpd: {ratio:.2f} (aim: at most 0.9)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
