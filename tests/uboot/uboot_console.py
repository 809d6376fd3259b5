"""A stock U-Boot in qemu-system-aarch64, driven through its serial console.

Its only network card is an e1000 on a dgram netdev that talks to the frame
relay over loopback; QEMU's user network is never used (it would answer port 69
itself and reach real addresses).
"""
import itertools
import re
import subprocess
import threading
import time

import processes


class ConsoleError(Exception):
    pass


class UBootConsole:
    def __init__(self, qemu, bios, relay_port):
        netdev = ("dgram,id=n0,local.type=inet,local.host=127.0.0.1,local.port=0,"
                  f"remote.type=inet,remote.host=127.0.0.1,remote.port={relay_port}")
        self.process = processes.spawn(
            [qemu, "-M", "virt", "-cpu", "cortex-a57", "-m", "512", "-bios", bios,
             "-nographic", "-monitor", "none",
             "-device", "e1000,netdev=n0,romfile=", "-netdev", netdev],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.output = ""
        self.seen = 0  # what earlier waits have consumed
        self.changed = threading.Condition()
        self.marks = itertools.count(1)
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for chunk in iter(lambda: self.process.stdout.read1(4096), b""):
            with self.changed:
                self.output += chunk.decode("latin-1").replace("\r", "")
                self.changed.notify_all()
        with self.changed:
            self.changed.notify_all()

    def expect(self, pattern, timeout):
        """Waits for pattern in output not consumed yet; returns the match."""
        regex = re.compile(pattern)
        deadline = time.monotonic() + timeout
        with self.changed:
            while True:
                match = regex.search(self.output, self.seen)
                if match:
                    self.seen = match.end()
                    return match
                if self.process.poll() is not None:
                    raise ConsoleError(f"QEMU exited ({self.process.returncode}) "
                                       f"while waiting for {pattern!r}")
                left = deadline - time.monotonic()
                if left <= 0:
                    raise ConsoleError(f"no {pattern!r} within {timeout:.0f} s; last output:\n"
                                       + self.output[-600:])
                self.changed.wait(min(left, 1.0))

    def boot(self, timeout):
        # Within U-Boot's 2 s count-down, or it tries to boot from the network.
        self.expect(r"Hit any key to stop autoboot", timeout)
        self.send("")
        self.run("setenv m @end")

    def send(self, line):
        self.process.stdin.write(line.encode() + b"\n")
        self.process.stdin.flush()

    def run(self, command, timeout=30):
        """Runs one command line; returns what it printed."""
        mark = next(self.marks)
        # The typed line echoes "${m}N", never "@endN": the mark is seen only
        # once the command has finished.
        self.send(f"{command}; echo ${{m}}{mark}")
        start = self.seen
        end = self.expect(rf"@end{mark}\n", timeout)
        return self.output[start:end.start()]

    def close(self):
        self.process.kill()
        self.process.wait()
