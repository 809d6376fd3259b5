"""The real quorvane-headless on a loopback port, serving a folder of its own."""
import pathlib
import socket
import subprocess
import threading
import time

import processes

SETTINGS_SIZE = 789
STARTED = "服务器已启动".encode()
REBURN_QUESTION = b"(y/n)"


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
        threading.Thread(target=self._rework, daemon=True).start()

    def _rework(self):
        """One board fetches again and again: once its first package counts as
        written, the station asks before the same MAC goes out again, and the
        operator of a rework says yes."""
        answered = 0
        while self.process.poll() is None:
            asked = self.log_path.read_bytes().count(REBURN_QUESTION)
            try:
                for _ in range(asked - answered):
                    self.process.stdin.write(b"y\n")
                self.process.stdin.flush()
            except (BrokenPipeError, ValueError):
                return
            answered = asked
            time.sleep(0.2)

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

    def close(self):
        """Stops the station; returns what it printed."""
        processes.stop(self.process)
        text = self.output().decode(errors="replace")
        self.log.close()
        return text
