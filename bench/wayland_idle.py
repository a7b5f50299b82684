"""The shipped build's idle cost on Wayland, beside X11's in the same run of
bench.py: CPU time and voluntary context switches (wakeups) of every thread,
from /proc, over the same idle window, on two headless compositors of its
own (tests/e2e/wayland.py):

- sway, as the X11 figure is taken: a time typed into the box that does not
  come during the run, the caret come to rest;
- weston, as the program starts (weston takes no keys from clients): the
  focus on Izlaz!, the box empty. Nothing of the schedule differs: no typed
  time matches either way.

Each wakeup's owner shows in the threads' names: the program's main thread,
and Qt's two Wayland event threads, which read the compositor's socket.
"""
import os
import time
import unittest

from common import (CARET_REST_S, DESIGN_TOOL, ROOT, clock_text, fmt, harness, idle_cost,
                    read_threads)
import wayland  # the e2e harness's Wayland layer: common puts tests/e2e on the path

COMPOSITORS = ("sway", "weston")


def open_display(name):
    if name == "sway":
        return wayland.SwayDisplay("1280x800")
    return wayland.WestonDisplay("1280x800")


def measure_one(app, name, idle_seconds, log):
    session = harness.LinuxSession(app, open_display(name), DESIGN_TOOL)
    try:
        session.start_app()
        if name == "sway":
            session.press("Text1")
            session.display.type_text(clock_text(int(time.time()) + 3 * 3600))
            time.sleep(CARET_REST_S + 2)
        else:
            time.sleep(3)  # settled after the start
        log(f"  {name}: idle {idle_seconds:.0f} s ...")
        pid = session.app_proc.pid
        before, t0 = read_threads(pid), time.monotonic()
        time.sleep(idle_seconds)
        after, t1 = read_threads(pid), time.monotonic()
        return idle_cost(before, after, t1 - t0)
    finally:
        session.close()


def measure(app, idle_seconds, log):
    """{compositor: idle cost}; a compositor that cannot start here is left
    out with the reason under "skipped"."""
    out = {"skipped": {}}
    for name in COMPOSITORS:
        log(f"Wayland ({name}): {os.path.relpath(app, ROOT)}")
        try:
            out[name] = measure_one(app, name, idle_seconds, log)
        except unittest.SkipTest as skipped:
            out["skipped"][name] = str(skipped)
            log(f"  {name} left out: {skipped}")
    return out


def table(results, x11):
    """The idle figures on X11 (`x11`, bench.py's) and on each compositor, by thread."""
    columns = [("X11 (Xvfb)", x11)] + [(f"Wayland ({n})", results.get(n)) for n in COMPOSITORS]
    rows = [("idle, shipped build", *(c[0] for c in columns))]

    def row(label, pick, digits):
        rows.append((label, *(fmt(pick(c[1]) if c[1] else None, digits) for c in columns)))

    row("CPU, all threads, % of a core (schedstat)", lambda r: r["cpu_percent_ns"], 3)
    row("wakeups/s, all threads", lambda r: r["wakeups_per_s"], 2)
    names = []
    for _, r in columns:
        for t in (r or {}).get("threads", []):
            if t["name"] not in names:
                names.append(t["name"])

    def thread_wakeups(r, name):
        found = [t["wakeups_per_s"] for t in r["threads"] if t["name"] == name]
        if not found:
            return None  # no such thread on that platform
        return sum(found)

    for name in names:
        row(f"  thread {name}: wakeups/s", lambda r, name=name: thread_wakeups(r, name), 2)
    widths = [max(len(r[i]) for r in rows) for i in range(len(rows[0]))]
    lines = ["  ".join(c.ljust(widths[i]) if i == 0 else c.rjust(widths[i])
                       for i, c in enumerate(r)).rstrip() for r in rows]
    lines.insert(1, "  ".join("-" * w for w in widths))
    for name, reason in results.get("skipped", {}).items():
        lines.append(f"Wayland ({name}) left out: {reason}")
    return "\n".join(lines)
