#!/usr/bin/python3
"""Soak: the Linux program on a virtual display for a while (10 minutes by
default), with the schedule matching once a minute: each minute the box is
given the clock text of a second a few seconds ahead, and during that second
the program asks, tick after tick, for the dial-up connection of a mock
NetworkManager to be hung up (the mock keeps it up). Prints the program's
resident memory, open file descriptors and X resources (xrestop) at the
start and at the end, and how many hang-ups each matching second asked for.
Measures; judges nothing.

    bench/soak.py [--minutes 10] [--app build/linux/prekidnik]
                  [--design-tool build/linux/tests/e2e/dump_designs]
"""

import argparse
import contextlib
import os
import re
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
import harness  # noqa: E402


def resident_kib(pid):
    return int(re.search(r"VmRSS:\s+(\d+)", harness.read(f"/proc/{pid}/status")).group(1))


def open_fds(pid):
    return len(os.listdir(f"/proc/{pid}/fd"))


def x_resources(session, pid):
    """The program's X resources as xrestop counts them, or {} without it."""
    try:
        out = subprocess.run(["xrestop", "-b", "-m", "1"], env=session.env, capture_output=True,
                             text=True, timeout=20).stdout
    except (OSError, subprocess.TimeoutExpired):
        return {}
    # Blocks of "N - NAME ( PID: P ):" and "key : value" lines; Xvfb may not
    # know the pid, and the name is the program's window title then.
    blocks = re.split(r"^\d+ - ", out, flags=re.M)[1:]
    for block in blocks:
        head = re.match(r"(.*?) \( PID:\s*(\S+)\s*\):", block)
        if not head or (head.group(2) != str(pid) and "prekidnik" not in head.group(1).lower()):
            continue
        values = {}
        for key, value in re.findall(r"^\s*([a-z ]+?)\s*:\s*~?(\d+)\s*$", block, re.M):
            if key not in ("res base", "res mask"):
                values[key] = int(value)
        return values
    return {}


def sample(session):
    pid = session.app_proc.pid
    return {"resident KiB": resident_kib(pid), "open fds": open_fds(pid),
            **{"X " + k: v for k, v in x_resources(session, pid).items()}}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--minutes", type=float, default=10)
    build = os.path.join(HERE, "..", "build", "linux")
    parser.add_argument("--app", default=os.path.join(build, "prekidnik"))
    parser.add_argument("--design-tool",
                        default=os.path.join(build, "tests", "e2e", "dump_designs"))
    args = parser.parse_args()

    session = harness.LinuxSession(os.path.abspath(args.app), harness.XDisplay("1280x800"),
                                   os.path.abspath(args.design_tool))
    with contextlib.closing(session) as s:
        s.start_app(["Mobilni"], keep=True)
        time.sleep(2)
        start = sample(s)
        end_at = time.time() + args.minutes * 60
        per_match = []
        while time.time() < end_at - 10:
            target = int(time.time()) + 6
            s.press("Text1")
            s.key("ctrl+a BackSpace")
            s.display.type_text(time.strftime("%H:%M:%S", time.localtime(target)))
            harness.wait_for(lambda: time.time() > target + 2, 20)
            times = [float(t) for t in re.findall(r"^(\d+\.\d+) DeactivateConnection",
                                                  harness.read(s.nm_log), re.M)]
            per_match.append(sum(1 for t in times if target <= t < target + 1.5))
            # The rest of the minute with the box matching nothing.
            harness.wait_for(lambda: time.time() > target + 54 or time.time() > end_at, 70)
        end = sample(s)
        alive = s.app_proc.poll() is None

    print(f"soak: {args.minutes:g} min, {len(per_match)} matching seconds, "
          f"hang-up requests in each: {per_match}")
    print(f"{'figure':<22} {'start':>10} {'end':>10}")
    for key in sorted(set(start) | set(end)):
        print(f"{key:<22} {start.get(key, '-'):>10} {end.get(key, '-'):>10}")
    print("program still running at the end:", alive)


if __name__ == "__main__":
    main()
