"""What the Linux and the Wine benchmarks share: the program's session
(tests/e2e/harness.py with an X watcher), /proc sampling, statistics and
the formatting of figures."""

import glob
import json
import math
import os
import re
import signal
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import design  # noqa: E402
import harness  # noqa: E402

TICKS_PER_SECOND = os.sysconf("SC_CLK_TCK")
CARET_REST_S = 10  # a text box's caret stops blinking this long after the last key
NS = 1_000_000_000

# The windows' designs, as the build's tool writes them (tests/e2e/dump_designs.cpp).
DESIGN_TOOL = os.environ.get("PREKIDNIK_DESIGN_TOOL",
                             os.path.join(ROOT, "build", "linux", "tests", "e2e", "dump_designs"))
DESIGNS = design.Designs(json.loads(subprocess.run([DESIGN_TOOL], capture_output=True, text=True,
                                                   check=True).stdout))
# Places in the main window, in its pixels at the harness's 96 dpi.
CLOCK_BOX = design.box(DESIGNS.control("lblTime"), 96)
TEXT1_BOX = design.box(DESIGNS.control("Text1"), 96)

# ----------------------------------------------------------------- /proc


def read_threads(pid):
    """{tid: (name, utime+stime ticks, on-CPU ns, voluntary switches)} of every
    thread of `pid` now, plus the whole process's ticks under key 0 (which
    keeps the time of threads that have ended)."""
    threads = {}
    for task in glob.glob(f"/proc/{pid}/task/*"):
        try:
            with open(task + "/stat") as f:
                stat = f.read()
            with open(task + "/status") as f:
                status = f.read()
            with open(task + "/schedstat") as f:
                oncpu = int(f.read().split()[0])
        except (FileNotFoundError, ProcessLookupError):
            continue
        name = stat[stat.index("(") + 1:stat.rindex(")")]
        fields = stat[stat.rindex(")") + 2:].split()
        ticks = int(fields[11]) + int(fields[12])  # fields 14 and 15: utime, stime
        voluntary = int(re.search(r"^voluntary_ctxt_switches:\s+(\d+)", status, re.M).group(1))
        threads[int(task.rsplit("/", 1)[1])] = (name, ticks, oncpu, voluntary)
    with open(f"/proc/{pid}/stat") as f:
        stat = f.read()
    fields = stat[stat.rindex(")") + 2:].split()
    threads[0] = ("process", int(fields[11]) + int(fields[12]), 0, 0)
    return threads


def vm_hwm_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        return int(re.search(r"^VmHWM:\s+(\d+) kB", f.read(), re.M).group(1))


def idle_cost(before, after, seconds):
    """CPU and wakeups between two read_threads() samples."""
    threads = []
    for tid, (name, ticks, oncpu, vol) in sorted(after.items()):
        if tid == 0 or tid not in before:
            continue
        _, ticks0, oncpu0, vol0 = before[tid]
        threads.append({"tid": tid, "name": name,
                        "cpu_percent": 100.0 * (ticks - ticks0) / TICKS_PER_SECOND / seconds,
                        "cpu_percent_ns": 100.0 * (oncpu - oncpu0) / NS / seconds,
                        "wakeups_per_s": (vol - vol0) / seconds})
    return {
        "seconds": seconds,
        "cpu_percent": 100.0 * (after[0][1] - before[0][1]) / TICKS_PER_SECOND / seconds,
        "cpu_percent_ns": sum(t["cpu_percent_ns"] for t in threads),
        "wakeups_per_s": sum(t["wakeups_per_s"] for t in threads),
        "threads": threads,
    }


# ----------------------------------------------------------------- figures

def percentile(values, p):
    """The p-th percentile (nearest rank) of `values`; None when empty."""
    if not values:
        return None
    ordered = sorted(values)
    rank = max(1, math.ceil(p / 100.0 * len(ordered)))
    return ordered[rank - 1]


def summary(values):
    return {"n": len(values), "p50": percentile(values, 50), "p99": percentile(values, 99),
            "max": max(values) if values else None}


def clock_text(epoch_second):
    return time.strftime("%H:%M:%S", time.localtime(epoch_second))


def intersects(a, b):
    return a[0] < b[0] + b[2] and b[0] < a[0] + a[2] and a[1] < b[1] + b[3] and b[1] < a[1] + a[3]


# ----------------------------------------------------------------- the session

class BenchSession(harness.LinuxSession):
    """The harness's session, plus an X watcher and the program's stderr kept
    in a file (a pipe nobody reads would stall a program that logs)."""

    def __init__(self, app, watch=False, network_manager=True):
        super().__init__(app, harness.XDisplay("1280x800"), DESIGN_TOOL,
                         network_manager=network_manager)
        self.watch_log = os.path.join(self.dir, "xwatch.log")
        self.stderr_log = os.path.join(self.dir, "stderr.log")
        self.app_proc = None
        if watch:
            with open(self.watch_log, "w") as out:
                self.watcher = subprocess.Popen(
                    ["/usr/bin/python3", os.path.join(HERE, "xwatch.py")], env=self.env,
                    stdout=out, stderr=subprocess.DEVNULL, start_new_session=True)
            self.processes.add(self.watcher)
            if not harness.wait_for(lambda: " ready" in self.read(self.watch_log), 10):
                raise RuntimeError("the X watcher did not start")

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    @staticmethod
    def read(path):
        try:
            with open(path) as f:
                return f.read()
        except FileNotFoundError:
            return ""

    def launch(self):
        """Starts the program; returns the wall-clock ns just before exec."""
        with open(self.stderr_log, "a") as err:
            started = time.time_ns()
            self.app_proc = subprocess.Popen([self.app], env=self.env, stdout=subprocess.DEVNULL,
                                             stderr=err, start_new_session=True)
        self.processes.add(self.app_proc)
        self.window = harness.wait_for(self.main_window, 20)
        if not self.window:
            raise RuntimeError(f"{self.app}: the main window did not appear")
        return started

    def stop(self):
        if self.app_proc and self.app_proc.poll() is None:
            os.killpg(self.app_proc.pid, signal.SIGTERM)
            try:
                self.app_proc.wait(5)
            except subprocess.TimeoutExpired:
                os.killpg(self.app_proc.pid, signal.SIGKILL)
                self.app_proc.wait()

    def watched(self, kind):
        """(ns, fields) of the X watcher's lines of `kind`."""
        found = []
        for line in self.read(self.watch_log).splitlines():
            words = line.split()
            if len(words) >= 3 and words[1] == kind:
                found.append((int(words[0]), words[2:]))
        return found

    def mapped_at(self, window, since):
        for ns, fields in self.watched("map"):
            if fields[0] == str(int(window)) and ns >= since:
                return ns
        return None

    def clock_drawn(self):
        """Wall-clock ns of each drawing into the clock label of the main window."""
        return [ns for ns, f in self.watched("damage")
                if f[0] == str(int(self.window))
                and intersects(tuple(int(v) for v in f[1:5]), CLOCK_BOX)]

    def focus_text1(self):
        g = self.display.geometry(self.window)
        x, y, w, h = TEXT1_BOX
        self.display.click(g.x + x + w // 2, g.y + y + h // 2)

    def type_target(self, text):
        """Replaces the disconnect time with `text`, as typed on the keyboard."""
        self.display.xdotool("key", "ctrl+a")
        self.display.xdotool("type", "--delay", "4", "--", text)

    def trace(self):
        """(ns, event, rest) lines the traced build wrote."""
        lines = []
        for line in self.read(self.stderr_log).splitlines():
            words = line.split(" ", 2)
            if len(words) >= 2 and words[0].isdigit():
                lines.append((int(words[0]), words[1], words[2] if len(words) > 2 else ""))
        return lines

    def mock_calls(self, method):
        """Wall-clock seconds (to the ms, as the mock logs them) of each call."""
        pattern = re.compile(r"^(\d+\.\d+) " + re.escape(method) + r"\b", re.M)
        return [float(m) for m in pattern.findall(self.read(self.nm_log))]


# ----------------------------------------------------------------- the table

def fmt(value, digits=2):
    if value is None:
        return "-"
    if isinstance(value, int):
        return str(value)
    if abs(value) >= 100:
        return f"{value:.0f}"
    return f"{value:.{digits}f}"


def ratio(a, b):
    if a is None or b is None or a == 0:
        return "-"
    return f"{b / a:.1f}x"


def get(results, *path):
    """results[path[0]][path[1]]...; None where any step is missing."""
    for key in path:
        if results is None:
            return None
        results = results.get(key) if isinstance(results, dict) else None
    return results


def loadavg():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def mib(kib):
    return None if kib is None else kib / 1024
