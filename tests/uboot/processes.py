"""Child processes that never outlive the harness, even when it is killed."""
import shutil
import subprocess


def spawn(argv, **popen_args):
    # setpriv (util-linux) makes the kernel kill the child with its parent: a
    # ctest time-out must not leave a QEMU or a station holding a port.
    return subprocess.Popen(["setpriv", "--pdeathsig", "KILL", "--", *argv], **popen_args)


def available(program):
    return shutil.which(program) is not None


def stop(process, grace=5):
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(grace)
        except subprocess.TimeoutExpired:
            process.kill()
    process.wait()
