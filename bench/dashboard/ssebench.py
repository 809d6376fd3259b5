#!/usr/bin/env python3
"""Event-stream clients against quorvane-dashboard, run by hand
(bench/dashboard/README.md). Prints figures; asserts nothing.

ssebench.py URL PID sqlite:FILE|pg:SOCKETDIR:DATABASE [CLIENTS] [ROWS]
"""
import http.client
import json
import pathlib
import subprocess
import sys
import threading
import time
import urllib.parse

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent))
from stationbench import rss_kib  # noqa: E402

url, pid, record = sys.argv[1], int(sys.argv[2]), sys.argv[3]
clients = int(sys.argv[4]) if len(sys.argv) > 4 else 50
streamed = int(sys.argv[5]) if len(sys.argv) > 5 else 10000
parts = urllib.parse.urlsplit(url)
tag = f"bench-sse-{time.time_ns()}-"  # a run's own ids


def insert(first, count):
    """Commits rows TAG FIRST.. in one transaction; the time after the commit."""
    now = int(time.time() * 1000)
    if record.startswith("sqlite:"):
        import sqlite3
        db = sqlite3.connect(record[7:], timeout=30)
        db.executemany(
            "INSERT INTO boards (id, station, folder, claimed_at, finished_at, outcome, label)"
            " VALUES (?, 'bench', '/f/', ?, ?, 'written-done', '5E3A71ABCDEF')",
            [(f"{tag}{i}", now, now + 1) for i in range(first, first + count)])
        db.commit()
        db.close()
    else:
        _, socket, database = record.split(":")
        sql = (f"INSERT INTO boards (id, station, folder, claimed_at, finished_at, outcome, label)"
               f" SELECT '{tag}' || g, 'bench', '/f/', {now}, {now + 1}, 'written-done',"
               f" '5E3A71ABCDEF' FROM generate_series({first}, {first + count - 1}) g")
        subprocess.run(["psql", "-qX", "-h", socket, "-U", "qv", "-d", database, "-c", sql],
                       check=True)
    return time.monotonic()


class Client(threading.Thread):
    """Reads /events as the page does: when the dashboard lets a slow stream
    go, it reads what it missed from /api/boards by its cursor and opens the
    stream again from there."""

    def __init__(self):
        super().__init__(daemon=True)
        self.seen = {}  # row id -> arrival
        self.ready = threading.Event()
        self.cursor = 0
        self.let_go = 0

    def note(self, data):
        start = data.find(b'"id":"') + 6
        self.seen[data[start:data.find(b'"', start)].decode()] = time.monotonic()

    def catch_up(self):
        while True:
            c = http.client.HTTPConnection(parts.hostname, parts.port)
            c.request("GET", f"/api/boards?since={self.cursor}&limit=500")
            page = json.loads(c.getresponse().read())
            for board in page["boards"]:
                self.seen.setdefault(board["id"], time.monotonic())
            cursor = int(page["cursor"])
            if cursor <= self.cursor or len(page["boards"]) < 500:
                self.cursor = max(self.cursor, cursor)
                return
            self.cursor = cursor

    def run(self):
        while True:
            c = http.client.HTTPConnection(parts.hostname, parts.port)
            c.request("GET", f"/events?since={self.cursor}" if self.cursor else "/events")
            r = c.getresponse()
            self.ready.set()
            for line in r:
                if line.startswith(b"id: "):
                    self.cursor = int(line[4:])
                elif line.startswith(b"data: "):
                    self.note(line)
            self.let_go += 1
            self.catch_up()


fleet = [Client() for _ in range(clients)]
for c in fleet:
    c.start()
for c in fleet:
    c.ready.wait(30)
time.sleep(0.5)
worst = []
for k in range(10 if streamed == 0 else 0):
    committed = insert(k, 1)
    deadline = time.monotonic() + 10
    while any(f"{tag}{k}" not in c.seen for c in fleet) and time.monotonic() < deadline:
        time.sleep(0.005)
    arrivals = [c.seen.get(f"{tag}{k}", deadline) - committed for c in fleet]
    worst.append(max(arrivals))
    time.sleep(0.3)
worst.sort()
if worst:
    print(f"{clients} streams, commit to the last of them: median {worst[5] * 1000:.0f} ms, "
          f"worst {worst[-1] * 1000:.0f} ms (10 rows)")

if streamed == 0:
    sys.exit(0)
before = rss_kib(pid)
samples = []
for first in range(100, 100 + streamed, 100):
    insert(first, 100)
    time.sleep(0.1)  # a busy line, not a flood: the clients are Python threads
    if first % 2000 == 0:
        samples.append(rss_kib(pid))
time.sleep(2)
got = min(sum(k.startswith(tag) for k in c.seen) for c in fleet)
let_go = sum(c.let_go for c in fleet)
print(f"{streamed} rows streamed to {clients} clients (each got {got}; streams let go as slow "
      f"and caught up by cursor: {let_go}): dashboard RSS "
      f"{before} kB before, {rss_kib(pid)} kB after; along the way {samples} kB")
