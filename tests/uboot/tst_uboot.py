"""A stock U-Boot fetches files from quorvane-headless, all in one QEMU boot.

usage: tst_uboot.py STATION_PROGRAM
Exits 0 when every case passes, 1 when one fails, 77 (skipped) without QEMU or U-Boot.
"""
import dataclasses
import os
import random
import re
import signal
import sys
import tempfile
import time
import zlib

import losses
import processes
from frame_relay import FrameRelay
from station import HeadlessStation
from uboot_console import ConsoleError, UBootConsole

QEMU = "qemu-system-aarch64"
UBOOT = "/usr/lib/u-boot/qemu_arm64/u-boot.bin"  # Debian's u-boot-qemu
STATION_IP = "192.168.1.55"
LOAD = "0x40400000"  # kernel_addr_r: 512 MiB of RAM leave room for 32 MiB
FLAG_MAC = 1
GIVE_UP = 540  # s, under the ctest time-out
# U-Boot always asks for blksize: lock-step 512 as the routers fetch, or the
# windows a stock boot loader can have.
LOCK_STEP = "setenv tftpblocksize 512; setenv tftpwindowsize 1"
WINDOWS = "setenv tftpblocksize 1468; setenv tftpwindowsize 16"


@dataclasses.dataclass
class Case:
    title: str
    name: str  # as U-Boot asks for it
    size: int | None  # None: the MAC package the station builds for the request
    loss: type = losses.NoLoss
    loss_args: tuple = ()
    env: str = LOCK_STEP


CASES = [
    Case("MAC package", "mac", None),
    Case("empty file", "empty.bin", 0),
    Case("one full block, then an empty one", "one.bin", 512),
    Case("two full blocks, then an empty one", "two.bin", 1024),
    Case("65,536 blocks: numbers wrap to 0", "wrap.bin", 65536 * 512),
    Case("every 25th datagram lost each way", "lossy.bin", 30000, losses.EveryNth, (25,)),
    # U-Boot repeats its ACK of the block before: the last block must come again.
    Case("last short block lost once", "lastshort.bin", 1300, losses.LastBlockOnce),
    Case("last empty block lost once", "two.bin", 1024, losses.LastBlockOnce),
    Case("windows of 16 blocks of 1468", "window.bin", 3_000_000, env=WINDOWS),
    Case("windows, every 30th datagram lost each way", "windowlossy.bin", 200_000,
         losses.EveryNth, (30,), env=WINDOWS),
    Case("windows, last short block lost once", "windowlast.bin", 1468 * 40 + 100,
         losses.LastBlockOnce, (1468,), env=WINDOWS),
]


def content(size):
    return random.Random(size).randbytes(size)


def fetch(console, relay, case):
    """Returns what U-Boot printed, the number of datagrams the relay lost and
    the sizes of the datagrams the station sent."""
    console.run(case.env)
    relay.drop = policy = case.loss(*case.loss_args)
    relay.sizes = set()
    # U-Boot leaves filesize alone for an empty file: start it at 0. A station
    # that restarts the file at the wrap keeps U-Boot loading, so the wait is
    # bounded: 32 MiB take 25-55 s here, four times that is the limit.
    out = console.run(f"setenv filesize 0; tftpboot {LOAD} {case.name} && echo ${{m}}ok; "
                      f"crc32 {LOAD} ${{filesize}}; echo ${{m}}size ${{filesize}}",
                      timeout=60 + (case.size or 0) / 200_000)
    relay.drop = losses.NoLoss()
    return out, policy.lost, relay.sizes


def check(case, out, lost, sizes, path):
    """The problems with one case; none when U-Boot holds the file."""
    try:
        with open(path, "rb") as f:
            want = f.read()
    except OSError as e:
        return [f"the station's file: {e.strerror}"]
    problems = []
    if case.loss is not losses.NoLoss and not lost:
        problems.append("the relay lost nothing, so the case tested no loss")
    block = 1468 if case.env == WINDOWS else 512
    if (case.size or 0) >= block and 4 + block not in sizes:
        problems.append(f"no DATA of {block} bytes: the station did not answer tftpblocksize")
    if "@endok" not in out:
        return problems + ["tftpboot failed"]
    size = re.search(r"@endsize ([0-9a-fA-F]+)", out)
    crc = re.search(r"==> ([0-9a-f]{8})", out)
    if not size or not crc:
        return problems + ["no filesize or CRC in U-Boot's output"]
    got = (int(size.group(1), 16), int(crc.group(1), 16))
    if got != (len(want), zlib.crc32(want)):
        problems.append(f"U-Boot holds {got[0]} bytes, CRC {got[1]:08x}; the file has "
                        f"{len(want)} bytes, CRC {zlib.crc32(want):08x}")
    return problems


def run_cases(console, relay, folder):
    failures = []
    for case in CASES:
        started = time.monotonic()
        out, lost, sizes = fetch(console, relay, case)
        name = case.name if case.size is not None else "MAC"
        problems = check(case, out, lost, sizes, os.path.join(folder, name))
        print(f"{case.title}: {'; '.join(problems) or 'ok'} "
              f"({lost} lost, {time.monotonic() - started:.1f} s)", flush=True)
        if problems:
            print("  U-Boot:", out[-400:].strip().replace("\n", "\n  U-Boot: "))
            failures.append(case.title)
    return failures


def run(program, work):
    folder = os.path.join(work, "station")
    os.mkdir(folder)
    for case in CASES:
        if case.size is not None:
            with open(os.path.join(folder, case.name), "wb") as f:
                f.write(content(case.size))
    station = HeadlessStation(program, folder, FLAG_MAC)
    console = None
    try:
        station.wait_started(60)
        with FrameRelay(station.port, STATION_IP) as relay:
            console = UBootConsole(QEMU, UBOOT, relay.port)
            console.boot(120)
            console.run(f"setenv ipaddr 192.168.1.10; setenv netmask 255.255.255.0; "
                        f"setenv serverip {STATION_IP}; setenv tftptimeout 1000; "
                        f"setenv tftptimeoutcountmax 20; setenv netretry no")
            failures = run_cases(console, relay, folder)
            if station.asked():
                failures.append("the station asked the operator a question")
    except (ConsoleError, RuntimeError) as e:
        failures = [str(e)]
    finally:
        if console:
            console.close()
        output = station.close()
    if failures:
        print("FAILED:", *failures, sep="\n  ")
        print("station output (tail):\n" + output[-1500:])
    return 1 if failures else 0


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    if not os.access(sys.argv[1], os.X_OK):
        print(f"{sys.argv[1]}: no such program (build the target quorvane-headless)",
              file=sys.stderr)
        return 2
    for need, there in ((QEMU, processes.available(QEMU)), (UBOOT, os.path.isfile(UBOOT)),
                        ("setpriv", processes.available("setpriv"))):
        if not there:
            print(f"SKIP: {need} missing (scripts/setup-debian.sh installs qemu-system-arm "
                  "and u-boot-qemu)")
            return 77
    # Through the finally blocks: QEMU and the station stopped, the folder
    # removed. ctest's own time-out (600 s) would kill us without that.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("stopped by SIGTERM"))
    signal.signal(signal.SIGALRM, lambda *_: sys.exit(f"gave up after {GIVE_UP} s"))
    signal.alarm(GIVE_UP)
    started = time.monotonic()
    with tempfile.TemporaryDirectory(prefix="quorvane-uboot-") as work:
        result = run(os.path.abspath(sys.argv[1]), work)
    print(f"{'passed' if result == 0 else 'failed'} in {time.monotonic() - started:.0f} s")
    return result


if __name__ == "__main__":
    sys.exit(main())
