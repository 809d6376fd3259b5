"""Helpers the Python benchmarks share: a free port, a process's resident
memory, and a "sysfile" settings record to start a station with."""
import os
import pathlib
import socket


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def rss_kib(pid):
    """VmRSS of a process in KiB; 0 once it is gone."""
    try:
        for line in pathlib.Path(f"/proc/{pid}/status").read_text().splitlines():
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    except FileNotFoundError:
        pass
    return 0


def sysfile(flags, uboot=None, root=None, cfg=None):
    """The 789-byte settings record: flags, MAC triple, three path slots, WPA byte."""
    rec = bytearray(789)
    rec[0] = flags
    for at, path in ((19, uboot), (275, root), (531, cfg)):
        if path is not None:
            raw = os.fsencode(path)[:255]
            rec[at:at + len(raw)] = raw
    rec[787] = ord("1")
    return bytes(rec)
