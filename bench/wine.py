"""The Windows build's idle cost under Wine (wine64), normal against plain.

What compares with the Linux figures: start-up (exec of wine64 to the main
window mapped), the idle CPU time and voluntary context switches over a fixed
window with a time typed that does not come, and the clock lag on screen. The
program runs under Wine, so the figures are Wine's as much as the program's:
the Wine server works for every message the program waits for, and Wine's own
service processes (services.exe, explorer.exe, ...) run beside it. They are
listed apart. Wine keeps its prefix in build/bench-wine-prefix.
"""

import os
import re
import signal
import subprocess
import time

import common
from common import harness

WINE = "/usr/lib/wine/wine64"
PREFIX = os.path.join(common.ROOT, "build", "bench-wine-prefix")


def wine_env(display):
    env = dict(os.environ, WINEPREFIX=PREFIX, WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=", DISPLAY=display, LC_ALL="C.UTF-8")
    env.pop("WAYLAND_DISPLAY", None)
    return env


def server():
    return os.path.join(os.path.dirname(WINE), "wineserver")


def ensure_prefix(log):
    if os.path.exists(os.path.join(PREFIX, "system.reg")):
        return
    log("  making a Wine prefix (once) ...")
    env = wine_env("")
    subprocess.run([WINE, "wineboot", "-i"], env=env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    # No window manager: Wine places its windows itself.
    subprocess.run([WINE, "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed",
                    "/d", "N", "/f"], env=env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    subprocess.run([server(), "-w"], env=env, check=True)


def prefix_processes():
    """{pid: name} of the processes that run in the benchmark's Wine prefix."""
    found = {}
    wanted = f"WINEPREFIX={PREFIX}".encode()
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/environ", "rb") as f:
                if wanted not in f.read().split(b"\0"):
                    continue
            with open(f"/proc/{entry}/comm") as f:
                found[int(entry)] = f.read().strip()
        except (FileNotFoundError, ProcessLookupError, PermissionError):
            continue
    return found


def group(name):
    if name.startswith("prekidnik"):
        return "prekidnik.exe"
    if name.startswith("wineserver"):
        return "wineserver"
    return "other Wine processes"


def read_all(pids):
    return {pid: common.read_threads(pid) for pid in pids if os.path.exists(f"/proc/{pid}")}


def measure(exe, idle_seconds, log):
    out = {"exe": exe}
    ensure_prefix(log)
    app = None
    with common.BenchSession(exe, watch=True, network_manager=False) as s:
        env = wine_env(s.env["DISPLAY"])
        subprocess.run([server(), "-p"], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # Wine's background programs start with the first program: start
        # them before the one measured.
        subprocess.run([WINE, "wineboot"], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            started = time.time_ns()
            app = subprocess.Popen([WINE, exe], env=env, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                   start_new_session=True)
            s.processes.add(app)

            def main_window():
                ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--name",
                                      "^Prekidnik$"], env=s.env, capture_output=True,
                                     text=True).stdout.split()
                return ids[0] if ids else None
            s.window = harness.wait_for(main_window, 30)
            if not s.window:
                raise RuntimeError(f"{exe}: no main window under Wine")
            mapped = harness.wait_for(lambda: s.mapped_at(s.window, started), 10)
            out["startup_ms"] = (mapped - started) / 1e6 if mapped else None

            s.focus_text1()
            s.type_target(common.clock_text(int(time.time()) + 3 * 3600))
            time.sleep(common.CARET_REST_S + 2)
            log(f"  idle {idle_seconds:.0f} s under Wine ...")
            pids = prefix_processes()
            before, t0 = read_all(pids), time.time_ns()
            time.sleep(idle_seconds)
            after, t1 = read_all(pids), time.time_ns()
            seconds = (t1 - t0) / common.NS
            groups = {}
            for pid, name in pids.items():
                if pid not in before or pid not in after:
                    continue
                cost = common.idle_cost(before[pid], after[pid], seconds)
                g = groups.setdefault(group(name), {"cpu_percent": 0.0, "cpu_percent_ns": 0.0,
                                                    "wakeups_per_s": 0.0, "processes": []})
                g["cpu_percent"] += cost["cpu_percent"]
                g["cpu_percent_ns"] += cost["cpu_percent_ns"]
                g["wakeups_per_s"] += cost["wakeups_per_s"]
                g["processes"].append(name)
                if group(name) == "prekidnik.exe":
                    with open(f"/proc/{pid}/status") as f:
                        out["vmhwm_kib"] = int(re.search(r"^VmHWM:\s+(\d+) kB", f.read(),
                                                         re.M).group(1))
            out["seconds"] = seconds
            out["groups"] = groups
            drawn = s.clock_drawn()
            lags = []
            for boundary in range(t0 // common.NS + 1, t1 // common.NS):
                first = next((ns for ns in drawn if ns >= boundary * common.NS), None)
                if first is not None and first - boundary * common.NS < common.NS // 2:
                    lags.append((first - boundary * common.NS) / 1e6)
            out["clock_lag_screen_ms"] = common.summary(lags)
        finally:
            subprocess.run([server(), "-k"], env=env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            if app and app.poll() is None:
                os.killpg(app.pid, signal.SIGKILL)
    return out


def table(normal, plain):
    rows = []

    def row(name, pick, digits=2):
        a, b = pick(normal), pick(plain)
        rows.append((name, common.fmt(a, digits), common.fmt(b, digits), common.ratio(a, b)))

    seconds = normal.get("seconds") or plain.get("seconds") or 0
    for g in ("prekidnik.exe", "wineserver", "other Wine processes"):
        row(f"Wine: {g}: idle CPU, % of a core ({seconds:.0f} s, /proc stat)",
            lambda r, g=g: common.get(r, "groups", g, "cpu_percent"), 3)
        row(f"Wine: {g}: idle CPU, % (schedstat)",
            lambda r, g=g: common.get(r, "groups", g, "cpu_percent_ns"), 3)
        row(f"Wine: {g}: idle wakeups/s",
            lambda r, g=g: common.get(r, "groups", g, "wakeups_per_s"))

    def total(r, key):
        groups = r.get("groups") or {}
        return sum(v[key] for k, v in groups.items() if k in ("prekidnik.exe", "wineserver"))
    row("Wine: prekidnik.exe + wineserver: idle CPU, % (schedstat)",
        lambda r: total(r, "cpu_percent_ns"), 3)
    row("Wine: prekidnik.exe + wineserver: idle wakeups/s", lambda r: total(r, "wakeups_per_s"))
    for key in ("p50", "p99"):
        row(f"Wine: clock lag to screen, ms, {key}",
            lambda r, key=key: common.get(r, "clock_lag_screen_ms", key))
    row("Wine: start-up, wine64 exec to main window mapped, ms",
        lambda r: r.get("startup_ms"), 0)
    row("Wine: prekidnik.exe peak RSS (VmHWM), MiB", lambda r: common.mib(r.get("vmhwm_kib")), 1)
    others = sorted({p for r in (normal, plain)
                     for p in common.get(r, "groups", "other Wine processes", "processes") or []})

    header = ("figure (Windows build under Wine)", "normal", "plain 1 ms", "plain/normal")
    widths = [max(len(r[i]) for r in rows + [header]) for i in range(4)]
    lines = []
    for r in [header, tuple("-" * w for w in widths)] + rows:
        lines.append("  ".join(c.ljust(widths[i]) if i == 0 else c.rjust(widths[i])
                               for i, c in enumerate(r)).rstrip())
    lines.append("Other Wine processes: " + ", ".join(others))
    return "\n".join(lines)
