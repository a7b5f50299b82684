"""Drives the real Linux program as a person would: a virtual display of its
own, an optional window manager, a private system bus with a mock
NetworkManager, and xdotool for the mouse and the keyboard.

Everything started here is stopped by `close()` (or the `with` block)."""

import os
import re
import shutil
import signal
import subprocess
import tempfile
import time

import dbus

NM = "org.freedesktop.NetworkManager"
NM_PATH = "/org/freedesktop/NetworkManager"
MOCK = "org.freedesktop.DBus.Mock"


def wait_for(predicate, timeout=10.0, step=0.05):
    """Polls `predicate` until it returns a true value or `timeout` passes."""
    end = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() > end:
            return value
        time.sleep(step)


class Session:
    """A display, a bus with NetworkManager, and the program under test."""

    def __init__(self, app, dpi=96, window_manager=False, network_manager=True):
        self.app = app
        self.dir = tempfile.mkdtemp(prefix="prekidnik-e2e-")
        self.procs = []
        self.env = dict(os.environ)
        self.env.pop("WAYLAND_DISPLAY", None)
        self.env["QT_QPA_PLATFORM"] = "xcb"
        self.env["XDG_RUNTIME_DIR"] = self.dir
        self.env["LC_ALL"] = "C.UTF-8"
        try:
            self._start_display(dpi)
            if window_manager:
                self._spawn(["openbox", "--sm-disable"])
                wait_for(lambda: self._wm_running(), 10)
            self._start_bus(network_manager)
        except BaseException:
            self.close()
            raise
        self.app_proc = None
        self.window = None

    # --- setting up ---

    def _spawn(self, argv, **kw):
        proc = subprocess.Popen(argv, env=self.env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, start_new_session=True, **kw)
        self.procs.append(proc)
        return proc

    def _start_display(self, dpi):
        read, write = os.pipe()
        proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x800x24", "-dpi", "96",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)
        self.procs.append(proc)
        os.close(write)
        with os.fdopen(read) as f:
            number = f.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.env["DISPLAY"] = ":" + number
        subprocess.run(["xsetroot", "-solid", "#00ff00"], env=self.env, check=True)
        if dpi != 96:
            subprocess.run(["xrdb", "-merge"], input=f"Xft.dpi: {dpi}\n", text=True,
                           env=self.env, check=True)

    def _wm_running(self):
        out = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=self.env,
                             capture_output=True, text=True).stdout
        return "window id" in out

    def _start_bus(self, network_manager):
        out = subprocess.run(
            ["dbus-daemon", "--session", "--fork", "--print-address=1", "--print-pid=1"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, check=True).stdout
        self.bus_address, pid = out.split()[:2]
        self.bus_pid = int(pid)
        self.env["DBUS_SYSTEM_BUS_ADDRESS"] = self.bus_address
        self.bus = dbus.bus.BusConnection(self.bus_address)
        self.nm_log = os.path.join(self.dir, "nm.log")
        if network_manager:
            self._spawn(["/usr/bin/python3", "-m", "dbusmock", "--system", "-t", "networkmanager",
                         "-l", self.nm_log])
            if not wait_for(lambda: self.bus.name_has_owner(NM), 30):
                raise RuntimeError("the NetworkManager mock did not start")
            self.mock(["AddEthernetDevice", "eth0", "eth0", 100])

    # --- NetworkManager ---

    def mock(self, call):
        obj = self.bus.get_object(NM, "/org/freedesktop")
        return obj.get_dbus_method(call[0], MOCK)(*call[1:])

    def activate(self, kind, name):
        """Adds a connection of `kind` named `name` and brings it up."""
        settings = self.bus.get_object(NM, NM_PATH + "/Settings")
        path = settings.AddConnection(
            dbus.Dictionary({"connection": dbus.Dictionary(
                {"type": kind, "id": name, "uuid": f"uuid-{name}-{time.monotonic_ns()}"},
                signature="sv")}, signature="sa{sv}"),
            dbus_interface=NM + ".Settings")
        return str(self.mock(["AddActiveConnection", dbus.Array([], signature="s"), path, "/",
                              name, dbus.UInt32(2)]))

    def deactivated(self):
        """Active connections the program asked NetworkManager to end, in order."""
        if not os.path.exists(self.nm_log):
            return []
        with open(self.nm_log) as f:
            return re.findall(r'DeactivateConnection "([^"]*)"', f.read())

    def deactivation_times(self):
        """Wall-clock times (seconds since the epoch) of each DeactivateConnection."""
        with open(self.nm_log) as f:
            return [float(m) for m in re.findall(r"^(\d+\.\d+) DeactivateConnection", f.read(),
                                                   re.M)]

    # --- the program ---

    def start_app(self, extra_env=None):
        env = dict(self.env, **(extra_env or {}))
        self.app_proc = subprocess.Popen([self.app], env=env, stdout=subprocess.DEVNULL,
                                         stderr=subprocess.PIPE, start_new_session=True)
        self.procs.append(self.app_proc)
        self.window = wait_for(lambda: self.find_window("^Prekidnik$"), 20)
        if not self.window:
            raise RuntimeError("the main window did not appear")
        wait_for(lambda: self.geometry(self.window)["map"] == "IsViewable", 10)
        return self.window

    def find_window(self, title):
        out = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid",
                              str(self.app_proc.pid), "--name", title],
                             env=self.env, capture_output=True, text=True).stdout.split()
        return out[0] if out else None

    def geometry(self, window):
        out = subprocess.run(["xwininfo", "-id", window], env=self.env, capture_output=True,
                             text=True).stdout
        grab = lambda key: re.search(key + r":\s+(\S+)", out)
        if not grab("Width"):
            return {"x": 0, "y": 0, "width": 0, "height": 0, "map": "gone"}
        return {"x": int(grab("Absolute upper-left X").group(1)),
                "y": int(grab("Absolute upper-left Y").group(1)),
                "width": int(grab("Width").group(1)), "height": int(grab("Height").group(1)),
                "map": grab("Map State").group(1)}

    def xdotool(self, *args):
        subprocess.run(["xdotool", *map(str, args)], env=self.env, check=True)

    def key(self, keys, window=None):
        self.xdotool("windowfocus", "--sync", window or self.window)
        self.xdotool("key", keys)

    def click(self, x, y, button=1):
        """Clicks at screen position (x, y)."""
        self.xdotool("mousemove", "--sync", x, y, "click", button)

    def drag(self, start, end, button=1, steps=10):
        self.xdotool("mousemove", "--sync", *start, "mousedown", button)
        for i in range(1, steps + 1):
            x = start[0] + (end[0] - start[0]) * i // steps
            y = start[1] + (end[1] - start[1]) * i // steps
            self.xdotool("mousemove", "--sync", x, y)
            time.sleep(0.02)
        self.xdotool("mouseup", button)

    def screenshot(self, path):
        subprocess.run(["import", "-window", "root", path], env=self.env, check=True)
        return path

    def pixel(self, path, x, y):
        """The colour at (x, y) of a screenshot, as 'rrggbb'."""
        out = subprocess.run(["convert", f"{path}[1x1+{x}+{y}]", "-depth", "8", "txt:-"],
                             capture_output=True, text=True, check=True).stdout
        return re.search(r"#([0-9A-Fa-f]{6})", out).group(1).lower()

    def app_exited(self, timeout=5):
        try:
            return self.app_proc.wait(timeout) is not None
        except subprocess.TimeoutExpired:
            return False

    # --- tearing down ---

    def close(self):
        for proc in reversed(self.procs):
            if proc.poll() is None:
                try:
                    os.killpg(proc.pid, signal.SIGTERM)
                except ProcessLookupError:
                    pass
                try:
                    proc.wait(5)
                except subprocess.TimeoutExpired:
                    os.killpg(proc.pid, signal.SIGKILL)
                    proc.wait()
        if getattr(self, "bus_pid", None):
            try:
                os.kill(self.bus_pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
        shutil.rmtree(self.dir, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
