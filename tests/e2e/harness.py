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
            # The bus first: it serves as the session bus too, so that nothing
            # started here launches a session bus of its own that would outlive
            # the test.
            self._start_bus(network_manager)
            self._start_display(dpi)
            if window_manager:
                self._spawn(["openbox", "--sm-disable"])
                wait_for(lambda: self._wm_running(), 10)
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
        self.env["DBUS_SESSION_BUS_ADDRESS"] = self.bus_address
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

    def activate(self, kind, name, settings=None, object_name=None):
        """Adds a connection of `kind` named `name` and brings it up.

        `settings` adds setting groups ({"bluetooth": {"type": "dun"}}); the
        active connection's path ends in `object_name`, by default `name`
        (give one when `name` is not a valid path element, e.g. empty)."""
        groups = {"connection": dbus.Dictionary(
            {"type": kind, "id": name, "uuid": f"uuid-{time.monotonic_ns()}"}, signature="sv")}
        for group, values in (settings or {}).items():
            groups[group] = dbus.Dictionary(values, signature="sv")
        path = self.bus.get_object(NM, NM_PATH + "/Settings").AddConnection(
            dbus.Dictionary(groups, signature="sa{sv}"), dbus_interface=NM + ".Settings")
        return str(self.mock(["AddActiveConnection", dbus.Array([], signature="s"), path, "/",
                              object_name if object_name is not None else name,
                              dbus.UInt32(2)]))

    def keep_connections(self):
        """Makes DeactivateConnection do nothing but be logged, so that a
        connection stays up however often the program asks to end it."""
        self.bus.get_object(NM, NM_PATH).AddMethod(NM, "DeactivateConnection", "o", "", "",
                                                   dbus_interface=MOCK)

    def deactivated(self):
        """Active connections the program asked NetworkManager to end, in order."""
        if not os.path.exists(self.nm_log):
            return []
        with open(self.nm_log) as f:
            return re.findall(r'DeactivateConnection "([^"]*)"', f.read())

    def active_connections(self):
        """Object paths of the active connections NetworkManager lists now."""
        # GetAll, not Get: listing_times() counts the Gets of this property.
        nm = self.bus.get_object(NM, NM_PATH)
        props = nm.GetAll(NM, dbus_interface="org.freedesktop.DBus.Properties")
        return [str(p) for p in props["ActiveConnections"]]

    def listing_times(self):
        """Wall-clock times at which someone read NetworkManager's list of
        active connections, as every hang-up starts by doing: the program with
        one GetManagedObjects, others perhaps with the property itself."""
        if not os.path.exists(self.nm_log):
            return []
        with open(self.nm_log) as f:
            return [float(m) for m in re.findall(
                r"^(\d+\.\d+) (?:GetManagedObjects$|Get /org/freedesktop/NetworkManager "
                r"org\.freedesktop\.NetworkManager\.ActiveConnections$)", f.read(), re.M)]

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

    def stop_app(self):
        """Ends the program if it still runs, so that the session can start it again."""
        if self.app_proc and self.app_proc.poll() is None:
            os.killpg(self.app_proc.pid, signal.SIGKILL)
            self.app_proc.wait()
        if self.app_proc and self.app_proc.stderr:
            self.app_proc.stderr.close()
        self.window = None

    def find_window(self, title):
        out = self.windows(title, visible_only=True)
        return out[0] if out else None

    def windows(self, title, visible_only=False):
        """The program's windows whose title matches `title`."""
        argv = ["xdotool", "search", "--all", "--pid", str(self.app_proc.pid), "--name", title]
        if visible_only:
            argv.insert(3, "--onlyvisible")
        return subprocess.run(argv, env=self.env, capture_output=True, text=True).stdout.split()

    def xprop(self, window, *props):
        return subprocess.run(["xprop", "-id", str(window), *props], env=self.env,
                              capture_output=True, text=True).stdout

    def net_wm_state(self, window):
        """The atoms of a window's _NET_WM_STATE (set by a window manager)."""
        out = self.xprop(window, "_NET_WM_STATE")
        return set(re.findall(r"_NET_WM_STATE_\w+", out))

    def active_window(self):
        """The window the window manager calls active, as a decimal string."""
        out = subprocess.run(["xprop", "-root", "_NET_ACTIVE_WINDOW"], env=self.env,
                             capture_output=True, text=True).stdout
        found = re.search(r"# (0x[0-9a-fA-F]+)", out)
        return str(int(found.group(1), 16)) if found else None

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
        """Presses `keys` ("alt+p", or several: "Tab space") in `window`."""
        self.xdotool("windowfocus", "--sync", window or self.window)
        self.xdotool("key", *keys.split())

    def type_text(self, text, window=None):
        """Types `text` into the focused control of `window` (the main one)."""
        self.xdotool("windowfocus", "--sync", window or self.window)
        self.xdotool("type", "--delay", 20, "--", text)

    def pointer(self):
        out = subprocess.run(["xdotool", "getmouselocation", "--shell"], env=self.env,
                             capture_output=True, text=True, check=True).stdout
        return (int(re.search(r"X=(-?\d+)", out).group(1)),
                int(re.search(r"Y=(-?\d+)", out).group(1)))

    def move_pointer(self, x, y):
        # `mousemove --sync` waits for the pointer to move, so never ask for
        # the place it is at already.
        if self.pointer() != (x, y):
            self.xdotool("mousemove", "--sync", x, y)

    def click(self, x, y, button=1):
        """Clicks at screen position (x, y)."""
        self.move_pointer(x, y)
        self.xdotool("click", button)

    def drag(self, start, end, button=1, steps=10):
        self.move_pointer(*start)
        self.xdotool("mousedown", button)
        for i in range(1, steps + 1):
            x = start[0] + (end[0] - start[0]) * i // steps
            y = start[1] + (end[1] - start[1]) * i // steps
            self.move_pointer(x, y)
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

    def crop(self, path, box, out):
        """Cuts the screen rectangle box = (x, y, width, height) out of a screenshot."""
        x, y, w, h = box
        subprocess.run(["convert", f"{path}[{w}x{h}+{x}+{y}]", "+repage", out], check=True)
        return out

    def differing_pixels(self, path1, path2, box):
        """How many pixels of the screen rectangle `box` differ between two
        screenshots."""
        a = self.crop(path1, box, os.path.join(self.dir, "crop-a.png"))
        b = self.crop(path2, box, os.path.join(self.dir, "crop-b.png"))
        out = subprocess.run(["compare", "-metric", "AE", a, b, "null:"], capture_output=True,
                             text=True)
        return int(float(out.stderr.split()[0]))

    def read_text(self, path, box, characters=None, lines=False, zoom=None):
        """The text tesseract reads in the screen rectangle `box` of a
        screenshot: one line, or with `lines` a block of them. The picture is
        enlarged `zoom` times, by default so that one line of it becomes about
        120 pixels tall. None when tesseract is not installed."""
        if not shutil.which("tesseract"):
            return None
        big = os.path.join(self.dir, "ocr.png")
        x, y, w, h = box
        percent = round(100 * zoom) if zoom else min(400, max(100, 12000 // h))
        # Black text on white, whatever lies around it (grey, green, a frame).
        subprocess.run(["convert", f"{path}[{w}x{h}+{x}+{y}]", "+repage", "-colorspace", "Gray",
                        "-resize", f"{percent}%", "-threshold", "55%", "-bordercolor", "white",
                        "-border", "20", big], check=True)
        argv = ["tesseract", big, "-", "--psm", "6" if lines else "7"]
        if characters:
            argv += ["-c", f"tessedit_char_whitelist={characters}"]
        return subprocess.run(argv, capture_output=True, text=True).stdout.strip()

    def listen_behind(self, x, y, width, height):
        """Opens a plain window at (x, y) that logs the mouse buttons pressed
        in it; start it before the program so that it lies behind. Returns a
        function that gives the log so far."""
        log = os.path.join(self.dir, f"xev-{time.monotonic_ns()}.log")
        with open(log, "w") as out:
            proc = subprocess.Popen(["stdbuf", "-oL", "xev", "-geometry",
                                     f"{width}x{height}+{x}+{y}", "-name", "behind",
                                     "-event", "button"],
                                    env=self.env, stdout=out, stderr=subprocess.DEVNULL,
                                    start_new_session=True)
        self.procs.append(proc)
        wait_for(lambda: subprocess.run(["xdotool", "search", "--onlyvisible", "--name",
                                         "^behind$"], env=self.env,
                                        capture_output=True).returncode == 0, 10)

        def read():
            with open(log) as f:
                return f.read()
        return read

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
