"""Drives the real program as a person would, on a virtual display of its own,
with xdotool for the mouse and the keyboard and ImageMagick for screenshots.

`Display` is what every platform shares; `LinuxSession` runs the Qt program
with a private bus and a mock NetworkManager, `WineSession` runs
prekidnik.exe under Wine beside the test rasapi32.dll. Both offer the same
few calls to the cases (cases.py): start_app, main_rect, about_rect,
hung_up, key, app_exited. Everything started is stopped by `close()`."""

import json
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time

import design

GREY = "d4d0c8"  # the window's classic grey (ActiveBorder)
GREEN = "00ff00"  # the desktop behind it


def wait_for(predicate, timeout=10.0, step=0.05):
    """Polls `predicate` until it returns a true value or `timeout` passes."""
    end = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() > end:
            return value
        time.sleep(step)


def resident_kib(pid):
    """The resident memory of process `pid`, in KiB."""
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def clock_text(seconds):
    return time.strftime("%H:%M:%S", time.localtime(seconds))


class Display:
    """An Xvfb display with a green root, and the processes started on it."""

    def __init__(self, size="1280x800"):
        self.dir = tempfile.mkdtemp(prefix="prekidnik-e2e-")
        self.procs = []
        self.env = dict(os.environ)
        self.env.pop("WAYLAND_DISPLAY", None)
        self.dpi = 96
        self.app_proc = None
        self._size = size

    def _start_display(self):
        read, write = os.pipe()
        proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", self._size + "x24", "-dpi", "96",
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
        subprocess.run(["xsetroot", "-solid", "#" + GREEN], env=self.env, check=True)

    def _spawn(self, argv, **kw):
        proc = subprocess.Popen(argv, env=self.env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, start_new_session=True, **kw)
        self.procs.append(proc)
        return proc

    # --- the mouse and the keyboard

    def xdotool(self, *args):
        subprocess.run(["xdotool", *map(str, args)], env=self.env, check=True)

    def type_text(self, text):
        self.xdotool("type", "--delay", 20, "--", text)

    def pointer(self):
        out = subprocess.run(["xdotool", "getmouselocation", "--shell"], env=self.env,
                             capture_output=True, text=True, check=True).stdout
        return tuple(int(re.search(k + r"=(-?\d+)", out).group(1)) for k in "XY")

    def move_pointer(self, x, y):
        # `mousemove --sync` waits for the pointer to move: never ask for
        # the place it is at already.
        if self.pointer() != (x, y):
            self.xdotool("mousemove", "--sync", x, y)

    def click(self, x, y, button=1):
        self.move_pointer(x, y)
        self.xdotool("click", button)

    def drag(self, start, end, button=1, steps=10, release=True):
        self.move_pointer(*start)
        self.xdotool("mousedown", button)
        for i in range(1, steps + 1):
            self.move_pointer(start[0] + (end[0] - start[0]) * i // steps,
                              start[1] + (end[1] - start[1]) * i // steps)
            time.sleep(0.02)
        if release:
            self.xdotool("mouseup", button)

    # --- places in the main window, from the design

    def at(self, twips_point):
        """The screen position of a point of the main window given in twips."""
        x, y = self.main_rect()[:2]
        return (x + design.pixels(twips_point[0], self.dpi),
                y + design.pixels(twips_point[1], self.dpi))

    def control_box(self, name):
        x, y = self.main_rect()[:2]
        bx, by, w, h = design.box(design.CONTROLS[name], self.dpi)
        return (x + bx, y + by, w, h)

    def control_centre(self, name):
        x, y, w, h = self.control_box(name)
        return (x + w // 2, y + h // 2)

    def press(self, control):
        self.click(*self.control_centre(control))

    def type_into_text1(self, text):
        self.press("Text1")
        self.key("ctrl+a BackSpace")
        if text:
            self.type_text(text)

    # --- screenshots

    def screenshot(self, name):
        path = os.path.join(self.dir, name)
        subprocess.run(["import", "-window", "root", path], env=self.env, check=True)
        keep = os.environ.get("PREKIDNIK_E2E_SHOTS")
        if keep:
            os.makedirs(keep, exist_ok=True)
            shutil.copy(path, keep)
        return path

    def pixel(self, path, x, y):
        """The colour at (x, y) of a screenshot, as 'rrggbb'."""
        out = subprocess.run(["convert", f"{path}[1x1+{x}+{y}]", "-depth", "8", "txt:-"],
                             capture_output=True, text=True, check=True).stdout
        return re.search(r"#([0-9A-Fa-f]{6})", out).group(1).lower()

    def differing_pixels(self, path1, path2, box):
        """How many pixels of the screen rectangle `box` differ between two shots."""
        x, y, w, h = box
        out = subprocess.run(["compare", "-metric", "AE", f"{path1}[{w}x{h}+{x}+{y}]",
                              f"{path2}[{w}x{h}+{x}+{y}]", "null:"], capture_output=True,
                             text=True)
        return int(float(out.stderr.split()[0]))

    def read_text(self, path, box, characters=None, lines=False, zoom=None):
        """The text tesseract reads in the screen rectangle `box`: one line, or
        with `lines` a block; enlarged `zoom` times (by default to about 120
        pixels a line). None when tesseract is not installed."""
        if not shutil.which("tesseract"):
            return None
        big = os.path.join(self.dir, "ocr.png")
        x, y, w, h = box
        percent = round(100 * zoom) if zoom else min(400, max(100, 12000 // h))
        subprocess.run(["convert", f"{path}[{w}x{h}+{x}+{y}]", "+repage", "-colorspace", "Gray",
                        "-resize", f"{percent}%", "-threshold", "55%", "-bordercolor", "white",
                        "-border", "20", big], check=True)
        argv = ["tesseract", big, "-", "--psm", "6" if lines else "7"]
        if characters:
            argv += ["-c", f"tessedit_char_whitelist={characters}"]
        return subprocess.run(argv, capture_output=True, text=True).stdout.strip()

    # --- the program

    def app_exited(self, timeout=15):
        try:
            return self.app_proc.wait(timeout) is not None
        except subprocess.TimeoutExpired:
            return False

    def stop_app(self):
        if self.app_proc and self.app_proc.poll() is None:
            os.killpg(self.app_proc.pid, signal.SIGKILL)
            self.app_proc.wait()

    def close(self):
        self.stop_app()
        for proc in reversed(self.procs):
            if proc.poll() is None:
                try:
                    os.killpg(proc.pid, signal.SIGTERM)
                    proc.wait(5)
                except ProcessLookupError:
                    pass
                except subprocess.TimeoutExpired:
                    os.killpg(proc.pid, signal.SIGKILL)
                    proc.wait()
        shutil.rmtree(self.dir, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


# ------------------------------------------------------------------ Linux

NM = "org.freedesktop.NetworkManager"
NM_PATH = "/org/freedesktop/NetworkManager"
MOCK = "org.freedesktop.DBus.Mock"
ACTIVE = NM_PATH + "/ActiveConnection/"


class LinuxSession(Display):
    """The Qt program; a private bus (system and session) with a mock
    NetworkManager; openbox when asked for."""

    def __init__(self, app, window_manager=False, network_manager=True):
        super().__init__()
        import dbus  # only the Linux layer needs it
        self.dbus = dbus
        self.app = app
        self.env.update(QT_QPA_PLATFORM="xcb", XDG_RUNTIME_DIR=self.dir, LC_ALL="C.UTF-8")
        self.window = None
        self.nm_log = os.path.join(self.dir, "nm.log")
        try:
            # The bus first: as the session bus too, nothing started here
            # launches a session bus of its own that would outlive the test.
            out = subprocess.run(
                ["dbus-daemon", "--session", "--fork", "--print-address=1", "--print-pid=1"],
                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, check=True).stdout
            self.bus_address, pid = out.split()[:2]
            self.bus_pid = int(pid)
            self.env["DBUS_SYSTEM_BUS_ADDRESS"] = self.env["DBUS_SESSION_BUS_ADDRESS"] = \
                self.bus_address
            self.bus = dbus.bus.BusConnection(self.bus_address)
            if network_manager:
                self._spawn(["/usr/bin/python3", "-m", "dbusmock", "--system", "-t",
                             "networkmanager", "-l", self.nm_log])
                if not wait_for(lambda: self.bus.name_has_owner(NM), 30):
                    raise RuntimeError("the NetworkManager mock did not start")
                self.mock("AddEthernetDevice", "eth0", "eth0", 100)
            self._start_display()
            if window_manager:
                self._spawn(["openbox", "--sm-disable"])
                wait_for(lambda: "window id" in self.xprop("-root", "_NET_SUPPORTING_WM_CHECK"))
        except BaseException:
            self.close()
            raise

    def set_dpi(self, dpi):
        """For the programs started from now on: Xft.dpi, as a desktop sets it."""
        subprocess.run(["xrdb", "-merge"], input=f"Xft.dpi: {dpi}\n", text=True, env=self.env,
                       check=True)
        self.dpi = dpi

    # --- NetworkManager

    def mock(self, method, *args):
        return self.bus.get_object(NM, "/org/freedesktop").get_dbus_method(method, MOCK)(*args)

    def activate(self, kind, name, settings=None, object_name=None):
        """Adds a connection of `kind` named `name` and brings it up; the
        active connection's path ends in `object_name`, by default `name`."""
        dbus = self.dbus
        groups = {"connection": {"type": kind, "id": name,
                                 "uuid": f"uuid-{time.monotonic_ns()}"}, **(settings or {})}
        groups = dbus.Dictionary({g: dbus.Dictionary(v, signature="sv")
                                  for g, v in groups.items()}, signature="sa{sv}")
        path = self.bus.get_object(NM, NM_PATH + "/Settings").AddConnection(
            groups, dbus_interface=NM + ".Settings")
        return str(self.mock("AddActiveConnection", dbus.Array([], signature="s"), path, "/",
                             object_name or name, dbus.UInt32(2)))

    def keep_connections(self):
        """DeactivateConnection only logged: connections stay up however
        often the program asks to end them."""
        self.bus.get_object(NM, NM_PATH).AddMethod(NM, "DeactivateConnection", "o", "", "",
                                                   dbus_interface=MOCK)

    def _log(self):
        if not os.path.exists(self.nm_log):
            return ""
        with open(self.nm_log) as f:
            return f.read()

    def deactivated(self):
        """Active connections the program asked NetworkManager to end, in order."""
        return re.findall(r'DeactivateConnection "([^"]*)"', self._log())

    def hung_up(self):
        return [self.names.get(p[len(ACTIVE):], p) for p in self.deactivated()]

    def deactivation_times(self):
        """Wall-clock times (seconds since the epoch) of each DeactivateConnection."""
        return [float(t) for t in re.findall(r"^(\d+\.\d+) DeactivateConnection", self._log(),
                                             re.M)]

    def listing_times(self):
        """When someone read NetworkManager's active connections: the program
        with GetManagedObjects, others perhaps with the property itself."""
        return [float(m) for m in re.findall(
            r"^(\d+\.\d+) (?:GetManagedObjects$|Get /org/freedesktop/NetworkManager "
            r"org\.freedesktop\.NetworkManager\.ActiveConnections$)", self._log(), re.M)]

    # --- the program

    def start_app(self, connections=(), keep=False, extra_env=None):
        """Starts the program with `connections` up: names of dial-up
        connections, or (name, NetworkManager type[, settings]) for others;
        with `keep`, they stay up when hung up."""
        self.names = {}  # object path element: the connection's name
        for i, c in enumerate(connections):
            name, kind, settings = (c, "gsm", None) if isinstance(c, str) else (*c, None)[:3]
            element = re.sub(r"\W", "_", name) or f"Unnamed{i}"
            self.names[element] = name
            self.activate(kind, name, settings, object_name=element)
        if keep:
            self.keep_connections()
        env = dict(self.env, **(extra_env or {}))
        self.app_proc = subprocess.Popen([self.app], env=env, stdout=subprocess.DEVNULL,
                                         stderr=subprocess.DEVNULL, start_new_session=True)
        self.procs.append(self.app_proc)
        self.window = wait_for(lambda: self.find_window("^Prekidnik$"), 20)
        if not self.window or not wait_for(lambda: self.geometry(self.window)["map"] ==
                                           "IsViewable", 10):
            raise RuntimeError("the main window did not appear")

    def find_window(self, title):
        out = self.windows(title, visible_only=True)
        return out[0] if out else None

    def windows(self, title, visible_only=False):
        """The program's windows whose title matches `title`."""
        argv = ["xdotool", "search", "--all", "--pid", str(self.app_proc.pid), "--name", title]
        if visible_only:
            argv.insert(3, "--onlyvisible")
        return subprocess.run(argv, env=self.env, capture_output=True, text=True).stdout.split()

    def xprop(self, *args):
        return subprocess.run(["xprop", *map(str, args)], env=self.env, capture_output=True,
                              text=True).stdout

    def active_window(self):
        """The window the window manager calls active, as a decimal string."""
        found = re.search(r"# (0x[0-9a-fA-F]+)", self.xprop("-root", "_NET_ACTIVE_WINDOW"))
        return str(int(found.group(1), 16)) if found else None

    def geometry(self, window):
        out = subprocess.run(["xwininfo", "-id", window], env=self.env, capture_output=True,
                             text=True).stdout
        grab = lambda key: re.search(key + r":\s+(\S+)", out)  # noqa: E731
        if not grab("Width"):
            return {"x": 0, "y": 0, "width": 0, "height": 0, "map": "gone"}
        return {"x": int(grab("Absolute upper-left X").group(1)),
                "y": int(grab("Absolute upper-left Y").group(1)),
                "width": int(grab("Width").group(1)), "height": int(grab("Height").group(1)),
                "map": grab("Map State").group(1)}

    def _rect(self, window):
        g = self.geometry(window)
        return (g["x"], g["y"], g["width"], g["height"]) if g["map"] == "IsViewable" else None

    def main_rect(self):
        return self._rect(self.window)

    def about_rect(self):
        about = self.find_window("^O Autoru$")
        return self._rect(about) if about else None

    def key(self, keys, window="main"):
        """Presses `keys` ("alt+p", or several: "Tab space") in the main
        window, the About window, or, with None, wherever the focus is."""
        target = {"main": lambda: self.window, "about": lambda: self.find_window("^O Autoru$"),
                  None: lambda: None}[window]()
        if target:
            self.xdotool("windowfocus", "--sync", target)
        self.xdotool("key", *keys.split())

    def close(self):
        super().close()
        if getattr(self, "bus_pid", None):
            try:
                os.kill(self.bus_pid, signal.SIGTERM)
            except ProcessLookupError:
                pass


# ------------------------------------------------------------------ Wine



# NetworkManager's types of what Windows would list as Remote Access
# connections (a Bluetooth one only for dial-up networking, not PAN).
DIALUP_TYPES = {"gsm", "cdma", "pppoe", "adsl", "bluetooth", "vpn", "wireguard"}
PANU = {"bluetooth": {"type": "panu"}}


# Windows' classic colour scheme, so that the program looks as on a classic desktop.
CLASSIC_COLOURS = {
    "ActiveBorder": "212 208 200", "ActiveTitle": "10 36 106", "AppWorkSpace": "128 128 128",
    "Background": "58 110 165", "ButtonAlternateFace": "181 181 181",
    "ButtonDkShadow": "64 64 64", "ButtonFace": "212 208 200", "ButtonHilight": "255 255 255",
    "ButtonLight": "212 208 200", "ButtonShadow": "128 128 128", "ButtonText": "0 0 0",
    "GradientActiveTitle": "166 202 240", "GradientInactiveTitle": "192 192 192",
    "GrayText": "128 128 128", "Hilight": "10 36 106", "HilightText": "255 255 255",
    "HotTrackingColor": "0 0 128", "InactiveBorder": "212 208 200",
    "InactiveTitle": "128 128 128", "InactiveTitleText": "212 208 200", "InfoText": "0 0 0",
    "InfoWindow": "255 255 225", "Menu": "212 208 200", "MenuBar": "212 208 200",
    "MenuHilight": "10 36 106", "MenuText": "0 0 0", "Scrollbar": "212 208 200",
    "TitleText": "255 255 255", "Window": "255 255 255", "WindowFrame": "0 0 0",
    "WindowText": "0 0 0",
}


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class WineSession(Display):
    """prekidnik.exe under `wine` (32-bit Wine in a 32-bit prefix for
    `bits` 4, wine64 for 8) beside the test rasapi32.dll, in a prefix kept
    in `work`; its windows are read with the probe program."""

    def __init__(self, wine, bits, exe, fake_rasapi32, probe, work):
        super().__init__("1024x768")
        self.wine_path, self.bits, self.probe_exe, self.work = wine, bits, probe, work
        self.prefix = os.path.join(work, "prefix")
        self.server = os.path.join(os.path.dirname(wine), "wineserver")
        self.run_dir = os.path.join(self.dir, "program")
        os.makedirs(self.run_dir)
        shutil.copy(exe, os.path.join(self.run_dir, "prekidnik.exe"))
        shutil.copy(fake_rasapi32, os.path.join(self.run_dir, "rasapi32.dll"))
        self.env.update(WINEPREFIX=self.prefix, WINEARCH="win32" if bits == 4 else "win64",
                        WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
        self.handles = {}
        self.dpi = None  # whatever the kept prefix says, until set_dpi
        try:
            self._start_display()
            if not os.path.exists(os.path.join(self.prefix, "system.reg")):
                self.wine(["wineboot", "-i"], timeout=180)
            self._configure()
        except BaseException:
            self.close()
            raise

    def _configure(self):
        reg = ["REGEDIT4", "", r"[HKEY_CURRENT_USER\Control Panel\Colors]"]
        reg += [f'"{k}"="{v}"' for k, v in CLASSIC_COLOURS.items()]
        reg += ["", r"[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\ThemeManager]",
                '"ThemeActive"="0"',
                # No window manager: Wine draws the frames and waits for none.
                "", r"[HKEY_CURRENT_USER\Software\Wine\X11 Driver]", '"Decorated"="N"',
                '"Managed"="N"', ""]
        reg_file = os.path.join(self.dir, "classic.reg")
        with open(reg_file, "w") as f:
            f.write("\r\n".join(reg))
        self.wine(["regedit", "/S", windows_path(reg_file)])
        # Wine's own fonts (Tahoma, Marlett for the caption buttons).
        fonts = os.path.join(self.prefix, "drive_c", "windows", "Fonts")
        for name in ("marlett.ttf", "tahoma.ttf", "tahomabd.ttf"):
            if os.path.exists(os.path.join("/usr/share/wine/fonts", name)):
                shutil.copy(os.path.join("/usr/share/wine/fonts", name), fonts)
        self.stop_server()

    def wine(self, args, timeout=60, **kw):
        return subprocess.run([self.wine_path] + args, env=self.env, timeout=timeout,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, **kw)

    def stop_server(self):
        """Ends the wineserver, so that the next program reads the registry anew."""
        subprocess.run([self.server, "-k"], env=self.env, stderr=subprocess.DEVNULL)
        subprocess.run([self.server, "-w"], env=self.env, timeout=60)

    def set_dpi(self, dpi):
        if dpi != self.dpi:
            self.wine(["reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t",
                       "REG_DWORD", "/d", str(dpi), "/f"])
            self.stop_server()
            self.dpi = dpi

    def probe(self, *args):
        """What the probe prints: a window, or None when there is none. Wine
        starting a program can fail on a loaded machine; that is tried again,
        and never read as "no window"."""
        for attempt in range(3):
            run = self.wine([self.probe_exe, *args], timeout=30)
            out = run.stdout.decode().strip()
            if run.returncode == 0 and out:
                return json.loads(out)
            time.sleep(0.5)
        raise RuntimeError(f"probe {args} failed: status {run.returncode}, output {out!r}")

    # --- the program and its Remote Access log

    def start_app(self, connections=(), keep=False, closing_ms=0, clock_file=None):
        """Starts the program with the dial-up `connections` (names; a tuple
        names a NetworkManager type, and Remote Access lists only dial-up);
        with `keep`, a hung-up one stays listed for a minute."""
        names = [c if isinstance(c, str) else c[0] for c in connections
                 if isinstance(c, str) or c[1] in DIALUP_TYPES and c[2:] != (PANU,)]
        # One handle above 2^31, which must come back whole (32 bits on i686).
        self.handles = {h: n for h, n in zip((7, 4000000009, 3, 11, 12, 13, 14), names)}
        self.log = os.path.join(self.dir, f"ras-{time.monotonic_ns()}.log")
        env = dict(self.env, WINEDLLOVERRIDES="rasapi32=n;mscoree,mshtml=",
                   PREKIDNIK_FAKE_RAS_CONNECTIONS=";".join(f"{h}:{n}"
                                                           for h, n in self.handles.items()),
                   PREKIDNIK_FAKE_RAS_CLOSING_MS=str(60000 if keep else closing_ms),
                   PREKIDNIK_FAKE_RAS_LOG=windows_path(self.log))
        if clock_file:
            env["PREKIDNIK_FAKE_CLOCK_FILE"] = windows_path(clock_file)
        self.app_proc = subprocess.Popen([self.wine_path, "prekidnik.exe"], cwd=self.run_dir,
                                         env=env, stdout=subprocess.DEVNULL,
                                         stderr=subprocess.DEVNULL, start_new_session=True)
        # Shown, with its controls (not a window of a program just ended).
        self.wait_window("Prekidnik", lambda w: w["visible"] and any(
            c["class"].lower() == "edit" for c in w["children"]))

    def wait_window(self, title, condition, timeout=20):
        w = wait_for(lambda: (lambda w: w if w and condition(w) else None)(self.probe(title)),
                     timeout, 0.2)
        if not w:
            raise AssertionError(f"window {title!r} not as expected: {self.probe(title)}")
        return w

    def calls(self):
        """The calls rasapi32.dll logged, each as (milliseconds, call)."""
        if not os.path.exists(self.log):
            return []
        with open(self.log) as f:
            return [(int(t), c) for t, c in (line.split(" ", 1) for line in f.read().splitlines())]

    def hung_up(self):
        found = (re.fullmatch(r"hangup (\d+) -> 0", c) for _, c in self.calls())
        return [self.handles.get(int(m.group(1)), m.group(1)) for m in found if m]

    def _rect(self, title):
        w = self.probe(title)
        if not w or not w["visible"]:
            return None
        left, top, right, bottom = w["client"]
        return (left, top, right - left, bottom - top)

    def main_rect(self):
        return self._rect("Prekidnik")

    def about_rect(self):
        return self._rect("O Autoru")

    def key(self, keys, window=None):
        """Presses `keys`; Wine, without a window manager, keeps the focus
        where the program put it."""
        self.xdotool("key", *keys.split())

    def close(self):
        if self.env.get("DISPLAY"):
            self.stop_app()
            subprocess.run([self.server, "-k"], env=self.env, stderr=subprocess.DEVNULL)
        super().close()
