"""The real quorvane-headless on a loopback port, serving a folder of its own."""
import pathlib
import socket
import subprocess
import time

import processes

SETTINGS_SIZE = 789
STARTED = "服务器已启动".encode()
QUESTION = b"(y/n)"


def free_udp_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class HeadlessStation:
    def __init__(self, program, folder, flags):
        self.folder = pathlib.Path(folder)
        self.port = free_udp_port()
        record = bytearray(SETTINGS_SIZE)
        record[0] = flags
        (self.folder / "sysfile").write_bytes(record)
        self.log_path = self.folder.parent / "station.txt"
        self.log = open(self.log_path, "w+b")
        self.process = processes.spawn(
            [program, "--folder", str(self.folder), "--port", str(self.port)],
            cwd=self.folder, stdin=subprocess.PIPE, stdout=self.log, stderr=subprocess.STDOUT)
        # Standard input stays open and unanswered: the end of it would be a
        # "no" to any question, and nobody is scripted to answer one.

    def wait_started(self, timeout):
        deadline = time.monotonic() + timeout
        while STARTED not in self.output():
            if self.process.poll() is not None:
                raise RuntimeError(f"station exited ({self.process.returncode}):\n"
                                   + self.output().decode(errors="replace"))
            if time.monotonic() > deadline:
                raise RuntimeError(f"station not started within {timeout} s")
            time.sleep(0.1)

    def output(self):
        self.log.seek(0)
        return self.log.read()

    def asked(self):
        """Whether the station put a question nobody here answers."""
        return QUESTION in self.output()

    def close(self):
        """Stops the station; returns what it printed."""
        processes.stop(self.process)
        text = self.output().decode(errors="replace")
        self.log.close()
        return text
