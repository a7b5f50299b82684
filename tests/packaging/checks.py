"""What the package checks share: a tally of named checks, and a virtual
display on which an installed program must show its window."""
import contextlib
import os
import subprocess
import sys
import time

failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)


def finish():
    sys.exit(f"{len(failures)} check(s) failed" if failures else 0)


@contextlib.contextmanager
def virtual_display():
    """The name of a fresh Xvfb display, stopped afterwards."""
    fd_read, fd_write = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(fd_write), "-screen", "0", "1024x768x24",
                             "-nolisten", "tcp"], pass_fds=[fd_write], stderr=subprocess.DEVNULL)
    os.close(fd_write)
    try:
        yield ":" + os.read(fd_read, 16).decode().strip()
    finally:
        os.close(fd_read)
        xvfb.terminate()
        xvfb.wait()


def shows_window(env, seconds, *search):
    """Whether a visible window named Prekidnik (of `search`, e.g. --pid N)
    appears within `seconds`."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        found = subprocess.run(["xdotool", "search", "--onlyvisible", *search, "--name",
                                "^Prekidnik$"], env=env, capture_output=True, text=True)
        if found.stdout.strip():
            return True
        time.sleep(0.2)
    return False
