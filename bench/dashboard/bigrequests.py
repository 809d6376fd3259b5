#!/usr/bin/env python3
"""Oversized requests against quorvane-dashboard, run by hand
(bench/dashboard/README.md): its resident memory before and after.

bigrequests.py URL PID [REQUESTS]
"""
import pathlib
import socket
import sys
import urllib.parse

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent))
from stationbench import rss_kib  # noqa: E402

parts = urllib.parse.urlsplit(sys.argv[1])
pid = int(sys.argv[2])
count = int(sys.argv[3]) if len(sys.argv) > 3 else 200
big = b"a" * (200 * 1024)
kinds = {
    "200 kB header": b"GET / HTTP/1.1\r\nX-Big: " + big + b"\r\n\r\n",
    "200 kB body": b"POST / HTTP/1.1\r\nContent-Length: 204800\r\n\r\n" + big,
}


for name, request in kinds.items():
    before, answers = rss_kib(pid), set()
    for _ in range(count):
        with socket.create_connection((parts.hostname, parts.port)) as s:
            try:
                s.sendall(request)
            except OSError:
                pass  # cut off while sending: what the guard does
            try:
                answers.add(s.recv(64).split(b"\r\n")[0].decode())
            except OSError:
                answers.add("reset")
    print(f"{count} requests with a {name}: answered {sorted(answers)}; "
          f"dashboard RSS {before} kB before, {rss_kib(pid)} kB after")
