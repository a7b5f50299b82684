#!/usr/bin/python3
"""Prekidnik's performance figures on Linux: the normal build against the
plain one (every timer ticking at its 1 ms design interval), side by side.

Each build runs twice, each time on a virtual display and a private system bus
of its own (tests/e2e/harness.py), with python3-dbusmock standing in for
NetworkManager:

1. The build as shipped, watched from outside: start-up (exec to the main
   window mapped, seen by an X client), then, with a time typed that does not
   come during the run, the idle cost (CPU time and voluntary context switches
   of all its threads, from /proc) and the clock lag (second boundary to the
   X server drawing the new clock text, seen through the DAMAGE extension).
2. Its twin built with PREKIDNIK_TRACE_TICKS, which logs when the clock label
   changes and when the hang-up routine calls RasEnumConnectionsA: the
   reaction (start of the matching second to that call) and the repetition
   (hang-up calls during the matching second, none after) over a series of
   trials against a dial-up connection that will not close.

bench/run.sh builds everything and runs this; see bench/README.md.
"""

import argparse
import json
import os
import shutil
import subprocess
import sys
import time

from common import (CARET_REST_S, CLOCK_BOX, NS, ROOT, BenchSession, clock_text,  # noqa: E402
                    fmt, get, harness, idle_cost, loadavg, mib, ratio, read_threads, summary,
                    vm_hwm_kib)

# ----------------------------------------------------------------- phase 1: shipped build


def measure_shipped(app, launches, idle_seconds, log):
    out = {"app": app}
    with BenchSession(app, watch=True) as s:
        startup = []
        for i in range(launches):
            started = s.launch()
            mapped = harness.wait_for(lambda: s.mapped_at(s.window, started), 10)
            if mapped:
                startup.append((mapped - started) / 1e6)
            if i < launches - 1:
                s.stop()
        out["startup_ms"] = summary(startup)
        out["startup_ms"]["all"] = startup
        pid = s.app_proc.pid

        # Waiting for a time that does not come during the run, the window
        # active and the caret in the box, as after typing it: first while
        # the caret still blinks, then once it has come to rest, as it is for
        # the rest of a long wait.
        s.focus_text1()
        s.type_target(clock_text(int(time.time()) + 3 * 3600))
        typed = time.monotonic()
        time.sleep(1)
        before, t0 = read_threads(pid), time.time_ns()
        time.sleep(max(1.0, typed + CARET_REST_S - 1 - time.monotonic()))
        after, t1 = read_threads(pid), time.time_ns()
        out["idle_typing"] = idle_cost(before, after, (t1 - t0) / NS)
        time.sleep(max(0.0, typed + CARET_REST_S + 2 - time.monotonic()))
        log(f"  idle {idle_seconds:.0f} s ...")
        x_server = s.procs[0].pid  # the session's Xvfb, which draws what the program sends
        before, x_before, t0 = read_threads(pid), read_threads(x_server), time.time_ns()
        time.sleep(idle_seconds)
        after, x_after, t1 = read_threads(pid), read_threads(x_server), time.time_ns()
        out["idle"] = idle_cost(before, after, (t1 - t0) / NS)
        out["idle_x_server"] = idle_cost(x_before, x_after, (t1 - t0) / NS)
        out["vmhwm_kib"] = vm_hwm_kib(pid)

        # The clock lag: for each second boundary inside the window, the
        # first drawing into the clock label after it.
        drawn = s.clock_drawn()
        lags, missing = [], 0
        for boundary in range(t0 // NS + 1, t1 // NS):
            first = next((ns for ns in drawn if ns >= boundary * NS), None)
            if first is None or first - boundary * NS > NS // 2:
                missing += 1
            else:
                lags.append((first - boundary * NS) / 1e6)
        out["clock_lag_screen_ms"] = summary(lags)
        out["clock_lag_screen_ms"]["missing"] = missing
        out["clock_lag_screen_ms"]["all"] = lags
        s.stop()
    return out


# ----------------------------------------------------------------- phase 2: traced build

def measure_traced(app, trials, log):
    out = {"app": app}
    with BenchSession(app, watch=True) as s:
        s.activate("gsm", "Mobilni")
        s.keep_connections()
        s.launch()
        pid = s.app_proc.pid
        s.focus_text1()
        time.sleep(0.5)

        targets, skipped = [], 0
        log(f"  {trials} trials ...")
        while len(targets) < trials and skipped < trials:
            # The next second that leaves time to type, at least 0.5 s ahead.
            target = int(time.time() + 0.6) + 1
            s.type_target(clock_text(target))
            if time.time() > target - 0.1:
                skipped += 1  # typed too late to tell when it matched
                s.type_target("--:--:--")
                time.sleep(1.2)
                continue
            targets.append(target)
            time.sleep(max(0.0, target + 1.15 - time.time()))
        s.type_target("--:--:--")
        time.sleep(1.5)
        out["vmhwm_kib"] = vm_hwm_kib(pid)
        trace = s.trace()
        deactivations = s.mock_calls("DeactivateConnection")
        drawn = s.clock_drawn()
        s.stop()

    shown = {}  # clock text -> ns it was first set
    clock_events = [(ns, rest.split(" ", 1)[1]) for ns, event, rest in trace
                    if event == "text" and rest.startswith("lblTime ")]
    for ns, text in clock_events[1:]:  # the first is the window's start, not a tick
        shown.setdefault(text, ns)
    calls = [ns for ns, event, _ in trace if event == "RasEnumConnectionsA"]

    reaction, counts, late, after_wall, busy_lag = [], [], 0, 0, []
    screen_start, screen_end = [], []
    inside = 0
    mock_counts, mock_reaction = [], []
    for target in targets:
        start = shown.get(clock_text(target))
        end = shown.get(clock_text(target + 1))
        if start is None or end is None:
            late += 1
            continue
        during = [ns for ns in calls if start <= ns < end]
        inside += len(during)
        counts.append(len(during))
        if during:
            reaction.append((during[0] - target * NS) / 1e6)
        after_wall += sum(1 for ns in during if ns >= (target + 1) * NS)
        busy_lag.append((end - (target + 1) * NS) / 1e6)
        for boundary, into in ((target, screen_start), (target + 1, screen_end)):
            first = next((ns for ns in drawn if ns >= boundary * NS), None)
            if first is not None and first - boundary * NS < NS // 2:
                into.append((first - boundary * NS) / 1e6)
        at_mock = [t for t in deactivations if target <= t < target + 2]
        mock_counts.append(len(at_mock))
        if at_mock:
            mock_reaction.append((at_mock[0] - target) * 1e3)

    # Clock lag in the program (text set) at the boundaries that did not end
    # a matching second.
    ends = {clock_text(t + 1) for t in targets}
    text_lag = [(ns - ns // NS * NS) / 1e6 for text, ns in shown.items()
                if text not in ends and (ns - ns // NS * NS) < NS // 2]

    out.update({
        "trials": len(counts), "unusable_trials": late, "skipped_typing": skipped,
        "reaction_ms": summary(reaction) | {"all": reaction},
        "calls_per_matching_second": summary(counts) | {
            "min": min(counts) if counts else None, "all": counts},
        "calls_outside_matching_seconds": len(calls) - inside,
        "calls_after_wall_second_before_label_changed": after_wall,
        "clock_lag_text_ms": summary(text_lag) | {"all": text_lag},
        "clock_lag_after_matching_second_ms": summary(busy_lag),
        "clock_lag_screen_matching_start_ms": summary(screen_start),
        "clock_lag_screen_matching_end_ms": summary(screen_end),
        "mock_deactivations_per_matching_second": summary(mock_counts),
        "mock_reaction_ms": summary(mock_reaction),
    })
    return out


# ----------------------------------------------------------------- time changes

def build_timeshift(out_dir):
    """bench/timeshift.c built into `out_dir`: the shim that moves the
    program's time of day (the machine's clock is never set)."""
    lib = os.path.join(out_dir, "libprekidnik_timeshift.so")
    subprocess.run(["cc", "-O2", "-shared", "-fPIC", "-o", lib,
                    os.path.join(ROOT, "bench", "timeshift.c"), "-ldl", "-lpthread"],
                   check=True)
    return lib


def measure_time_changes(app, samples, log):
    """How soon the clock on screen shows the time of day after it steps, and
    after the zone changes. The program runs with the shim preloaded and a zone
    file of its own ($TZ). A step is made 0.3-0.4 s into a second, so that
    the next natural turn is more than half a second away: the first drawing
    into the clock label after it is the step's. Steps alternate between
    +1 h, -1 h, +1 day 1 s, -1 day 1 s (a whole day would leave the clock as it
    was), +1 s and -1 s. The zone alternates between UTC
    and Asia/Tokyo, replaced at a random point of a second; it is read at
    each turn of the second, so that figure is the wait for the next turn."""
    import random
    out = {"app": app}
    with BenchSession(app, watch=True) as s:
        shim = build_timeshift(s.dir)
        control = os.path.join(s.dir, "offset")
        zone = os.path.join(s.dir, "zone")

        def replace(path, write):
            write(path + ".new")
            os.replace(path + ".new", path)

        def set_offset(ns):
            def write(path):
                with open(path, "w") as f:
                    f.write(str(ns))
            replace(control, write)

        def use_zone(name):
            replace(zone, lambda path: shutil.copy(os.path.join("/usr/share/zoneinfo", name),
                                                   path))

        set_offset(0)
        use_zone("UTC")
        s.env.update({"LD_PRELOAD": shim, "PREKIDNIK_TIMESHIFT": control, "TZ": zone})
        s.launch()
        for var in ("LD_PRELOAD", "PREKIDNIK_TIMESHIFT", "TZ"):
            s.env.pop(var)
        time.sleep(1.5)

        log(f"  {samples} clock steps ...")
        steps = [3600, -3600, 86401, -86401, 1, -1]
        offset, stepped_at = 0, []
        for i in range(samples):
            time.sleep((1.3 + random.uniform(0, 0.1) - time.time() % 1) % 1 + 1)
            offset += steps[i % len(steps)] * NS
            stepped_at.append(time.time_ns())
            set_offset(offset)
        time.sleep(1.0)
        drawn = s.clock_drawn()
        step_lag = []
        for at in stepped_at:
            first = next((ns for ns in drawn if ns >= at), None)
            if first is not None and first - at < NS // 2:
                step_lag.append((first - at) / 1e6)

        log(f"  {samples} zone changes ...")
        zone_at = []
        for i in range(samples):
            time.sleep(1 + random.uniform(0, 1))
            zone_at.append(time.time_ns())
            use_zone("Asia/Tokyo" if i % 2 == 0 else "UTC")
        time.sleep(1.5)
        drawn = s.clock_drawn()
        zone_lag = []
        for at in zone_at:
            first = next((ns for ns in drawn if ns >= at), None)
            if first is not None:
                zone_lag.append((first - at) / 1e6)
        s.stop()
    out["step_to_screen_ms"] = summary(step_lag) | {
        "missing": samples - len(step_lag), "all": step_lag}
    out["zone_to_screen_ms"] = summary(zone_lag) | {"all": zone_lag}
    out["zone_check_us"] = measure_zone_check()
    return out


def measure_zone_check(calls=20000):
    """Microseconds per call of what the clock does at each reading of the
    local time: one stat() of the zone file; and of tzset() for comparison
    (with $TZ unset it stats /etc/localtime itself), less ctypes' own cost."""
    import ctypes
    libc = ctypes.CDLL(None)
    buffer = ctypes.create_string_buffer(256)
    path = b"/etc/localtime" if os.path.exists("/etc/localtime") else b"/usr/share/zoneinfo/UTC"

    def per_call(function, *args):
        started = time.perf_counter_ns()
        for _ in range(calls):
            function(*args)
        return (time.perf_counter_ns() - started) / calls / 1000

    saved = os.environ.pop("TZ", None)
    try:
        base = per_call(libc.getpid)
        result = {"stat": per_call(libc.stat, path, buffer) - base,
                  "tzset": per_call(libc.tzset) - base, "ctypes_call": base}
    finally:
        if saved is not None:
            os.environ["TZ"] = saved
    return result


# ----------------------------------------------------------------- the X server's share

def measure_x_floor(samples, log):
    """The clock lag's floor on this machine: a bare X client draws the clock
    label's rectangle at each second boundary, and the X watcher reports it
    as it does the program's drawing. What is left is the X server's and the
    watcher's own wakeup and work."""
    import ctypes
    log(f"X server alone: {samples} s ...")
    with BenchSession("/bin/true", watch=True, network_manager=False) as s:
        xlib = ctypes.CDLL("libX11.so.6")
        xlib.XOpenDisplay.restype = ctypes.c_void_p
        xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
        xlib.XDefaultRootWindow.restype = ctypes.c_ulong
        xlib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        xlib.XCreateSimpleWindow.restype = ctypes.c_ulong
        xlib.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int,
                                             ctypes.c_int, ctypes.c_uint, ctypes.c_uint,
                                             ctypes.c_uint, ctypes.c_ulong, ctypes.c_ulong]
        xlib.XMapWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        xlib.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        xlib.XFlush.argtypes = [ctypes.c_void_p]
        xlib.XDefaultGC.restype = ctypes.c_void_p
        xlib.XDefaultGC.argtypes = [ctypes.c_void_p, ctypes.c_int]
        xlib.XFillRectangle.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_void_p,
                                        ctypes.c_int, ctypes.c_int, ctypes.c_uint, ctypes.c_uint]
        xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
        display = xlib.XOpenDisplay(s.env["DISPLAY"].encode())
        window = xlib.XCreateSimpleWindow(display, xlib.XDefaultRootWindow(display), 158, 132,
                                          587, 335, 0, 0, 0xD4D0C8)
        xlib.XMapWindow(display, window)
        xlib.XSync(display, 0)
        gc = xlib.XDefaultGC(display, 0)
        time.sleep(1)
        drawn_at = []
        for _ in range(samples):
            time.sleep(1 - time.time() % 1)
            drawn_at.append(time.time_ns())
            xlib.XFillRectangle(display, window, gc, *CLOCK_BOX)
            xlib.XFlush(display)
        time.sleep(0.5)
        seen = [ns for ns, f in s.watched("damage") if f[0] == str(window)]
        xlib.XCloseDisplay(display)
    lags = []
    for at in drawn_at:
        first = next((ns for ns in seen if ns >= at), None)
        if first is not None:
            lags.append((first - at) / 1e6)
    return summary(lags)


# ----------------------------------------------------------------- the table

def thread_figure(results, name, key):
    threads = get(results, "shipped", "idle", "threads")
    if threads is None:
        return None
    return sum(t[key] for t in threads if t["name"] == name)


def table(normal, plain):
    """The figures of both builds as a text table, with plain/normal ratios."""
    rows = []

    def row(name, goal, pick, digits=2, show_ratio=True):
        a, b = pick(normal), pick(plain)
        rows.append((name, goal, fmt(a, digits), fmt(b, digits),
                     ratio(a, b) if show_ratio else ""))

    def n(path):
        return get(normal, *path) or get(plain, *path) or 0

    idle_s = n(("shipped", "idle", "seconds"))
    row(f"idle CPU, all threads, % of a core ({idle_s:.0f} s, /proc stat)", "<= 0.2",
        lambda r: get(r, "shipped", "idle", "cpu_percent"), 3)
    row("  same, from schedstat (ns)", "",
        lambda r: get(r, "shipped", "idle", "cpu_percent_ns"), 3)
    row("idle wakeups, voluntary switches/s, all threads", "<= 5",
        lambda r: get(r, "shipped", "idle", "wakeups_per_s"))
    typing_s = n(("shipped", "idle_typing", "seconds"))
    row(f"  first {typing_s:.0f} s after typing (caret blinking): CPU %", "",
        lambda r: get(r, "shipped", "idle_typing", "cpu_percent_ns"), 3)
    row("  first seconds after typing: wakeups/s", "",
        lambda r: get(r, "shipped", "idle_typing", "wakeups_per_s"))
    names = []
    for r in (normal, plain):
        for t in get(r, "shipped", "idle", "threads") or []:
            if t["name"] not in names:
                names.append(t["name"])
    for name in names:
        row(f"  thread {name}: wakeups/s", "",
            lambda r, name=name: thread_figure(r, name, "wakeups_per_s"))
        row(f"  thread {name}: CPU % (schedstat)", "",
            lambda r, name=name: thread_figure(r, name, "cpu_percent_ns"), 3)
    row("X server (Xvfb) meanwhile: CPU % (schedstat)", "",
        lambda r: get(r, "shipped", "idle_x_server", "cpu_percent_ns"), 3)
    row("X server (Xvfb) meanwhile: wakeups/s", "",
        lambda r: get(r, "shipped", "idle_x_server", "wakeups_per_s"))
    lag_n = n(("shipped", "clock_lag_screen_ms", "n"))
    for key in ("p50", "p99"):
        row(f"clock lag to screen, ms, {key} (n={lag_n})", "<= 2" if key == "p99" else "",
            lambda r, key=key: get(r, "shipped", "clock_lag_screen_ms", key))
    text_n = n(("traced", "clock_lag_text_ms", "n"))
    for key in ("p50", "p99"):
        row(f"clock lag to text set, ms, {key} (traced, n={text_n})", "",
            lambda r, key=key: get(r, "traced", "clock_lag_text_ms", key))
    row("clock lag to screen when a matching second begins, ms, p50", "",
        lambda r: get(r, "traced", "clock_lag_screen_matching_start_ms", "p50"))
    row("clock lag to screen when a matching second begins, ms, p99", "",
        lambda r: get(r, "traced", "clock_lag_screen_matching_start_ms", "p99"))
    row("clock lag to screen when a matching second ends, ms, p99", "",
        lambda r: get(r, "traced", "clock_lag_screen_matching_end_ms", "p99"))
    trials = n(("traced", "reaction_ms", "n"))
    for key in ("p50", "p99", "max"):
        row(f"reaction to RasEnumConnectionsA, ms, {key} (n={trials})",
            "<= 2" if key == "p99" else "", lambda r, key=key: get(r, "traced", "reaction_ms", key))
    row("reaction to DeactivateConnection at the mock, ms, p99 (1 ms log)", "",
        lambda r: get(r, "traced", "mock_reaction_ms", "p99"))
    row("hang-up calls in the matching second, min", ">= 500",
        lambda r: get(r, "traced", "calls_per_matching_second", "min"))
    row("hang-up calls in the matching second, median", "",
        lambda r: get(r, "traced", "calls_per_matching_second", "p50"))
    row("DeactivateConnection at the mock per matching second, median", "",
        lambda r: get(r, "traced", "mock_deactivations_per_matching_second", "p50"))
    row("hang-up calls outside matching seconds (all trials)", "0",
        lambda r: get(r, "traced", "calls_outside_matching_seconds"), show_ratio=False)
    row("  calls begun after the wall second ended, label not yet changed", "",
        lambda r: get(r, "traced", "calls_after_wall_second_before_label_changed"),
        show_ratio=False)
    steps = get(normal, "time_changes", "step_to_screen_ms", "n")
    for key in ("p50", "max"):
        row(f"clock step to new time on screen, ms, {key} (n={steps})", "<= 50",
            lambda r, key=key: get(r, "time_changes", "step_to_screen_ms", key), show_ratio=False)
    zones = get(normal, "time_changes", "zone_to_screen_ms", "n")
    for key in ("p50", "max"):
        row(f"zone change to new time on screen, ms, {key} (n={zones})", "<= 1000",
            lambda r, key=key: get(r, "time_changes", "zone_to_screen_ms", key), show_ratio=False)
    row("zone check per reading of the time: stat(), us", "",
        lambda r: get(r, "time_changes", "zone_check_us", "stat"), show_ratio=False)
    row("  tzset() with $TZ unset, us (for comparison)", "",
        lambda r: get(r, "time_changes", "zone_check_us", "tzset"), show_ratio=False)
    launches = n(("shipped", "startup_ms", "n"))
    row(f"start-up, exec to main window mapped, ms, median (n={launches})", "report",
        lambda r: get(r, "shipped", "startup_ms", "p50"), 0)
    row("start-up, ms, max", "", lambda r: get(r, "shipped", "startup_ms", "max"), 0)
    row("peak RSS (VmHWM), MiB, idle", "report",
        lambda r: mib(get(r, "shipped", "vmhwm_kib")), 1)
    row("peak RSS (VmHWM), MiB, after the hang-up trials", "report",
        lambda r: mib(get(r, "traced", "vmhwm_kib")), 1)

    header = ("figure", "goal", "normal", "plain 1 ms", "plain/normal")
    widths = [max(len(r[i]) for r in rows + [header]) for i in range(5)]
    lines = []
    for r in [header, tuple("-" * w for w in widths)] + rows:
        lines.append("  ".join(c.ljust(widths[i]) if i == 0 else c.rjust(widths[i])
                               for i, c in enumerate(r)).rstrip())
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--normal", default=os.path.join(ROOT, "build/linux/prekidnik"))
    parser.add_argument("--plain", default=os.path.join(ROOT, "build/bench-plain/prekidnik"))
    parser.add_argument("--normal-traced",
                        default=os.path.join(ROOT, "build/bench-trace/prekidnik"))
    parser.add_argument("--plain-traced",
                        default=os.path.join(ROOT, "build/bench-plain-trace/prekidnik"))
    parser.add_argument("--quick", action="store_true",
                        help="trial run: a 10 s idle window, 5 trials, 2 launches, 5 changes")
    parser.add_argument("--idle", type=float, default=60.0, help="idle window, seconds")
    parser.add_argument("--trials", type=int, default=20)
    parser.add_argument("--launches", type=int, default=5)
    parser.add_argument("--changes", type=int, default=20,
                        help="clock steps and zone changes, each")
    parser.add_argument("--json", help="also write the figures to this file")
    parser.add_argument("--only", choices=("normal", "plain"), help="measure one build only")
    parser.add_argument("--wine", action="store_true",
                        help="instead: the Windows builds' idle cost under wine64")
    parser.add_argument("--wine-normal",
                        default=os.path.join(ROOT, "build/bench-win64/prekidnik.exe"))
    parser.add_argument("--wine-plain",
                        default=os.path.join(ROOT, "build/bench-plain-win64/prekidnik.exe"))
    parser.add_argument("--wine-floor",
                        default=os.path.join(ROOT, "build/bench-win64/wine_floor.exe"),
                        help="bench/wine_floor.c built for Windows: Wine's floor")
    args = parser.parse_args()
    if args.quick:
        args.idle, args.trials, args.launches, args.changes = 10.0, 5, 2, 5

    def log(text):
        print(text, file=sys.stderr, flush=True)

    if args.wine:
        import wine
        results = {"loadavg_before": loadavg(), "floor": []}
        floors = () if args.only else wine.FLOOR_MODES
        for mode, words in floors:
            log(f"floor: {os.path.relpath(args.wine_floor, ROOT)} {' '.join(words)}")
            results["floor"].append(
                (mode, wine.measure_floor(args.wine_floor, words, args.idle, log)))
        for name, exe in (("normal", args.wine_normal), ("plain", args.wine_plain)):
            if args.only and name != args.only:
                continue
            log(f"{name}: {os.path.relpath(exe, ROOT)} under {wine.WINE}")
            results[name] = wine.measure(exe, args.idle, log)
        results["loadavg_after"] = loadavg()
        print(wine.table(results.get("normal") or {}, results.get("plain") or {}))
        if results["floor"] and results.get("normal"):
            print()
            print(wine.floor_table(results["floor"], results["normal"]))
        print(f"Load average (1, 5, 15 min) of the machine before: {results['loadavg_before']}, "
              f"after: {results['loadavg_after']}")
        if args.json:
            with open(args.json, "w") as f:
                json.dump(results, f, indent=1)
        return

    for app in (args.normal, args.plain, args.normal_traced, args.plain_traced):
        if args.only and app not in ((args.normal, args.normal_traced) if args.only == "normal"
                                     else (args.plain, args.plain_traced)):
            continue
        if not os.access(app, os.X_OK):
            sys.exit(f"bench: {app} is not built (bench/run.sh builds it)")

    started = time.monotonic()
    results = {"loadavg_before": loadavg()}
    for name, shipped, traced in (("normal", args.normal, args.normal_traced),
                                  ("plain", args.plain, args.plain_traced)):
        if args.only and name != args.only:
            continue
        log(f"{name}: {os.path.relpath(shipped, ROOT)}")
        results[name] = {"shipped": measure_shipped(shipped, args.launches, args.idle, log)}
        log(f"{name}: {os.path.relpath(traced, ROOT)}")
        results[name]["traced"] = measure_traced(traced, args.trials, log)
        if name == "normal":
            log(f"{name}: time changes")
            results[name]["time_changes"] = measure_time_changes(shipped, args.changes, log)
    if args.only != "plain":  # the shipped build's idle cost on Wayland, beside X11's
        import wayland_idle
        results["wayland_idle"] = wayland_idle.measure(args.normal, args.idle, log)
    results["x_floor_ms"] = measure_x_floor(10 if args.quick else 20, log)
    results["loadavg_after"] = loadavg()
    log(f"done in {time.monotonic() - started:.0f} s")

    print(table(results.get("normal"), results.get("plain")))
    if "wayland_idle" in results:
        x11_idle = get(results, "normal", "shipped", "idle")
        print(wayland_idle.table(results["wayland_idle"], x11_idle))
    floor = results["x_floor_ms"]
    print(f"Part of every 'to screen' lag is the X server's and the watcher's: a bare X client "
          f"drawing the clock's rectangle at each second is seen after p50 {fmt(floor['p50'])} ms, "
          f"p99 {fmt(floor['p99'])} ms (n={floor['n']}).")
    print(f"Load average (1, 5, 15 min) of the machine before: {results['loadavg_before']}, "
          f"after: {results['loadavg_after']}")
    if args.json:
        with open(args.json, "w") as f:
            json.dump(results, f, indent=1)


if __name__ == "__main__":
    main()
