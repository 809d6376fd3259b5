#!/usr/bin/env python3
"""The station's start-up time and resident memory.

- Window: time from exec until a window of the new process is viewable
  (mapped) on a private Xvfb display; Qt paints a widget window at its first
  expose, right after the map. Median of several starts; resident memory once
  idle.
- quorvane-headless: resident memory idle after start, and the peak while a
  tftp client fetches the MAC package built from a 48 MiB root image.

usage: bench/perf/station.py [--bin DIR] [--runs N] [--root-mib N]
"""
import argparse
import os
import pathlib
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent))
from stationbench import free_port, rss_kib, sysfile  # noqa: E402


def top_windows(display):
    out = subprocess.run(["xwininfo", "-display", display, "-root", "-children"],
                         capture_output=True, text=True).stdout
    return {line.split()[0] for line in out.splitlines() if line.strip().startswith("0x")}


def viewable(display, window_id):
    out = subprocess.run(["xwininfo", "-display", display, "-id", window_id],
                         capture_output=True, text=True).stdout
    return "IsViewable" in out


def any_new_viewable(display, before):
    return any(viewable(display, w) for w in top_windows(display) - before)


def window(binary, runs, work):
    exe = binary / "quorvane"
    if not exe.exists() or not shutil.which("Xvfb") or not shutil.which("xwininfo"):
        print("window: quorvane, Xvfb or xwininfo missing; skipped")
        return
    display = ":%d" % (90 + os.getpid() % 100)
    xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(1.0)
    times, rss = [], []
    try:
        for _ in range(runs):
            folder = pathlib.Path(tempfile.mkdtemp(dir=work))
            shutil.copy2(exe, folder / "quorvane")  # its own program folder
            before = top_windows(display)
            env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb")
            start = time.monotonic()
            p = subprocess.Popen([folder / "quorvane"], cwd=folder, env=env,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            while not any_new_viewable(display, before) and time.monotonic() - start < 30:
                time.sleep(0.002)
            times.append(time.monotonic() - start)
            time.sleep(1.5)
            rss.append(rss_kib(p.pid))
            p.terminate()
            p.wait(timeout=10)
    finally:
        xvfb.terminate()
        xvfb.wait()
    print(f"window start-up to viewable: median {statistics.median(times) * 1000:.0f} ms "
          f"(runs: {' '.join(f'{t * 1000:.0f}' for t in times)} ms)")
    print(f"window resident memory idle: median {statistics.median(rss) / 1024:.1f} MiB")


def headless(binary, root_mib, work):
    folder = pathlib.Path(tempfile.mkdtemp(dir=work))
    (folder / "root.bin").write_bytes(os.urandom(root_mib * 1024 * 1024))
    (folder / "sysfile").write_bytes(sysfile(0x08, root=folder / "root.bin"))
    port = free_port()
    p = subprocess.Popen([binary / "quorvane-headless", "--folder", folder, "--port", str(port)],
                         cwd=folder, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL)
    try:
        time.sleep(1.5)
        idle = rss_kib(p.pid)
        peak = [0]
        done = threading.Event()

        def sample():
            while not done.is_set():
                peak[0] = max(peak[0], rss_kib(p.pid))
                time.sleep(0.01)

        sampler = threading.Thread(target=sample)
        sampler.start()
        start = time.monotonic()
        subprocess.run(["tftp", "127.0.0.1", str(port), "-m", "binary", "-c", "get", "mac",
                        str(folder / "fetched")], capture_output=True)
        elapsed = time.monotonic() - start
        done.set()
        sampler.join()
        size = (folder / "fetched").stat().st_size if (folder / "fetched").exists() else 0
        after = rss_kib(p.pid)
    finally:
        p.terminate()
        p.wait(timeout=10)
    print(f"headless resident memory: idle {idle / 1024:.1f} MiB, peak while serving "
          f"{peak[0] / 1024:.1f} MiB, after {after / 1024:.1f} MiB "
          f"(MAC package of {size / 1048576:.1f} MiB built and served in {elapsed:.1f} s)")


def main():
    here = pathlib.Path(__file__).resolve().parent
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", default=os.environ.get("QUORVANE_BIN_DIR", here / "../../build/bin"))
    ap.add_argument("--runs", type=int, default=7)
    ap.add_argument("--root-mib", type=int, default=48)
    args = ap.parse_args()
    binary = pathlib.Path(args.bin).resolve()
    work = tempfile.mkdtemp(prefix="quorvane-perf.")
    try:
        window(binary, args.runs, work)
        headless(binary, args.root_mib, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
