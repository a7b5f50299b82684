"""The Windows build's idle cost under Wine (wine64), normal against plain.

What compares with the Linux figures: start-up (exec of wine64 to the main
window mapped), the idle CPU time and voluntary context switches over a fixed
window with a time typed that does not come, and the clock lag on screen. The
program runs under Wine, so the figures are Wine's as much as the program's:
the Wine server works for every message the program waits for, and Wine's own
service processes (services.exe, explorer.exe, ...) run beside it. They are
listed apart. Wine keeps its prefix in build/bench-wine-prefix.

How much of it is Wine's own: bench/wine_floor.c, a few lines of Win32 with
prekidnik.exe's manifest, runs in the same way under the same Wine, first
with a bare message loop, then adding a one-second SetTimer, a label set at
each tick, and a box with the caret and a tooltip, clicked as Text1 is
(FLOOR_MODES). floor_table() prints them beside prekidnik.exe.
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


def group(name, program):
    if name.startswith(program[:15]):  # /proc's comm keeps 15 characters
        return "program"
    if name.startswith("wineserver"):
        return "wineserver"
    return "other Wine processes"


def read_all(pids):
    return {pid: common.read_threads(pid) for pid in pids if os.path.exists(f"/proc/{pid}")}


# Wine's floor: bench/wine_floor.c's modes (its command-line words), each
# run as prekidnik.exe is, under the same Wine in the same run.
FLOOR_MODES = (
    ("a message loop, no timer", ()),
    ("a 1 s SetTimer that does nothing", ("timer",)),
    ("a 1 s SetTimer that sets a label's text", ("clock",)),
    ("the same, and a box with the caret and a tooltip, clicked", ("clock", "edit", "tip")),
)
FLOOR_TITLE = "Prekidnik floor"
FLOOR_EDIT_CENTRE = (87 + 349 // 2, 190 + 25 // 2)  # the floor's edit box, client pixels


def measure(exe, idle_seconds, log, args=(), title="Prekidnik", prepare=None):
    """The idle cost of `exe` (with `args`) under wine64, by process and by
    thread, once `prepare(session)` has run (by default: Text1 clicked and a
    time typed that does not come) and a text box's caret has come to rest."""
    out = {"exe": exe, "args": list(args)}
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
            app = subprocess.Popen([WINE, exe, *args], env=env, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                   start_new_session=True)
            s.processes.add(app)

            def main_window():
                ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--name",
                                      f"^{title}$"], env=s.env, capture_output=True,
                                     text=True).stdout.split()
                return ids[0] if ids else None
            s.window = harness.wait_for(main_window, 30)
            if not s.window:
                raise RuntimeError(f"{exe}: no main window under Wine")
            mapped = harness.wait_for(lambda: s.mapped_at(s.window, started), 10)
            out["startup_ms"] = (mapped - started) / 1e6 if mapped else None

            if prepare is None:
                s.focus_text1()
                s.type_target(common.clock_text(int(time.time()) + 3 * 3600))
            else:
                prepare(s)
            time.sleep(common.CARET_REST_S + 2)
            log(f"  idle {idle_seconds:.0f} s under Wine ...")
            pids = prefix_processes()
            before, t0 = read_all(pids), time.time_ns()
            time.sleep(idle_seconds)
            after, t1 = read_all(pids), time.time_ns()
            seconds = (t1 - t0) / common.NS
            groups = {}
            program = os.path.basename(exe)
            for pid, name in pids.items():
                if pid not in before or pid not in after:
                    continue
                cost = common.idle_cost(before[pid], after[pid], seconds)
                g = groups.setdefault(group(name, program), {
                    "cpu_percent": 0.0, "cpu_percent_ns": 0.0, "wakeups_per_s": 0.0,
                    "processes": [], "threads": {}})
                g["cpu_percent"] += cost["cpu_percent"]
                g["cpu_percent_ns"] += cost["cpu_percent_ns"]
                g["wakeups_per_s"] += cost["wakeups_per_s"]
                g["processes"].append(name)
                for t in cost["threads"]:
                    th = g["threads"].setdefault(t["name"], {"count": 0, "cpu_percent_ns": 0.0,
                                                             "wakeups_per_s": 0.0})
                    th["count"] += 1
                    th["cpu_percent_ns"] += t["cpu_percent_ns"]
                    th["wakeups_per_s"] += t["wakeups_per_s"]
                if group(name, program) == "program":
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


def measure_floor(exe, words, idle_seconds, log):
    """bench/wine_floor.c in the mode `words`, measured as prekidnik.exe is;
    with a box, it is clicked first, as Text1 is."""
    def prepare(s):
        if "edit" in words or "tip" in words:
            g = s.geometry(s.window)
            s.click(g["x"] + FLOOR_EDIT_CENTRE[0], g["y"] + FLOOR_EDIT_CENTRE[1])
            s.xdotool("type", "--delay", "4", "--", "12:00:00")
    return measure(exe, idle_seconds, log, words, FLOOR_TITLE, prepare)


def columns_table(header, columns, rows):
    """Rows of (name, [cell per column]) under `header`, the first column
    left-aligned."""
    table_rows = [(name, *cells) for name, cells in rows]
    head = (header, *columns)
    widths = [max(len(r[i]) for r in table_rows + [head]) for i in range(len(head))]
    lines = []
    for r in [head, tuple("-" * w for w in widths)] + table_rows:
        lines.append("  ".join(c.ljust(widths[i]) if i == 0 else c.rjust(widths[i])
                               for i, c in enumerate(r)).rstrip())
    return "\n".join(lines)


def total(r, key):
    """`key` of the program and the Wine server together."""
    groups = r.get("groups") or {}
    if not groups:
        return None
    return sum(v[key] for k, v in groups.items() if k in ("program", "wineserver"))


def table(normal, plain):
    rows = []

    def row(name, pick, digits=2):
        a, b = pick(normal), pick(plain)
        rows.append((name, [common.fmt(a, digits), common.fmt(b, digits), common.ratio(a, b)]))

    seconds = normal.get("seconds") or plain.get("seconds") or 0
    for g, shown in (("program", "prekidnik.exe"), ("wineserver", "wineserver"),
                     ("other Wine processes", "other Wine processes")):
        row(f"Wine: {shown}: idle CPU, % of a core ({seconds:.0f} s, /proc stat)",
            lambda r, g=g: common.get(r, "groups", g, "cpu_percent"), 3)
        row(f"Wine: {shown}: idle CPU, % (schedstat)",
            lambda r, g=g: common.get(r, "groups", g, "cpu_percent_ns"), 3)
        row(f"Wine: {shown}: idle wakeups/s",
            lambda r, g=g: common.get(r, "groups", g, "wakeups_per_s"))
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
    return (columns_table("figure (Windows build under Wine)",
                          ("normal", "plain 1 ms", "plain/normal"), rows)
            + "\nOther Wine processes: " + ", ".join(others))


def floor_table(floors, normal):
    """Wine's floor beside prekidnik.exe: `floors` is [(mode name, results)].
    The ratios are prekidnik.exe's figure over each floor's."""
    runs = [name for name, _ in floors] + ["prekidnik.exe"]
    results = [r for _, r in floors] + [normal]
    seconds = normal.get("seconds") or 0
    rows = []

    def row(name, pick, digits=2):
        values = [pick(r) for r in results]
        cells = [common.fmt(v, digits) for v in values]
        cells += [common.ratio(v, values[-1]) for v in values[:-1]]
        rows.append((name, cells))

    for g, shown in (("program", "program"), ("wineserver", "wineserver")):
        row(f"{shown}: CPU, % of a core (schedstat)",
            lambda r, g=g: common.get(r, "groups", g, "cpu_percent_ns"), 3)
        row(f"{shown}: wakeups/s", lambda r, g=g: common.get(r, "groups", g, "wakeups_per_s"))
    row("program + wineserver: CPU, %", lambda r: total(r, "cpu_percent_ns"), 3)
    row("program + wineserver: wakeups/s", lambda r: total(r, "wakeups_per_s"))
    names = []
    for r in results:
        for name in common.get(r, "groups", "program", "threads") or {}:
            if name not in names:
                names.append(name)
    for name in names:
        row(f"  program's threads named {name}: wakeups/s",
            lambda r, name=name: common.get(r, "groups", "program", "threads", name,
                                            "wakeups_per_s"))
        row(f"  program's threads named {name}: count",
            lambda r, name=name: common.get(r, "groups", "program", "threads", name, "count"), 0)
    columns = [f"floor {i + 1}" for i in range(len(floors))] + ["prekidnik.exe"]
    columns += [f"/ floor {i + 1}" for i in range(len(floors))]
    legend = [f"floor {i + 1}: bench/wine_floor.c, {name}" for i, name in enumerate(runs[:-1])]
    return (columns_table(f"Wine's floor beside prekidnik.exe ({seconds:.0f} s idle, wine64)",
                          columns, rows) + "\n" + "\n".join(legend))
