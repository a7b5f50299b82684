"""The program on an Xvfb display of its own, driven with xdotool, seen with
ImageMagick: the Qt one beside a mock NetworkManager, or under Wine beside the
test rasapi32.dll. `close()` stops everything started."""
import contextlib, json, os, re, shutil, signal, subprocess, tempfile, time  # noqa: E401

import design

GREY, GREEN = "d4d0c8", "00ff00"  # the window's classic grey; the desktop behind it
NM, MOCK = "org.freedesktop.NetworkManager", "org.freedesktop.DBus.Mock"
NM_PATH = "/org/freedesktop/NetworkManager"


def wait_for(predicate, timeout=10.0, step=0.05):
    end = time.monotonic() + timeout
    while not (value := predicate()) and time.monotonic() < end:
        time.sleep(step)
    return value


def clock_text(seconds):
    return time.strftime("%H:%M:%S", time.localtime(seconds))


def read(path):
    with contextlib.suppress(FileNotFoundError), open(path, errors="replace") as f:
        return f.read()
    return ""


class Display:
    """Xvfb with a green root, and the processes started on it."""
    dpi = 96

    def __init__(self, size):
        self.dir = tempfile.mkdtemp(prefix="prekidnik-e2e-")
        self.procs, self.app_proc = [], None
        self.env = {k: v for k, v in os.environ.items() if k != "WAYLAND_DISPLAY"}
        try:
            fd_in, fd_out = os.pipe()
            self.spawn(["Xvfb", "-displayfd", str(fd_out), "-screen", "0", size + "x24", "-dpi",
                        "96", "-nolisten", "tcp", "-noreset"], pass_fds=(fd_out,))
            os.close(fd_out)
            with os.fdopen(fd_in) as f:
                self.env["DISPLAY"] = ":" + f.readline().strip()
            self.run("xsetroot", "-solid", "#" + GREEN, check=True)
            self.start()
        except BaseException:
            self.close()
            raise

    def spawn(self, argv, env=None, stdout=subprocess.DEVNULL, **kw):
        self.procs.append(subprocess.Popen(argv, env=env or self.env, stdout=stdout,
                                           stderr=subprocess.DEVNULL, start_new_session=True, **kw))
        return self.procs[-1]

    def run(self, *argv, **kw):
        return subprocess.run([*map(str, argv)], env=self.env, capture_output=True, text=True,
                              **kw).stdout

    def xdotool(self, *args):
        self.run("xdotool", *args, check=True)

    def type_text(self, text):
        self.xdotool("type", "--delay", 20, "--", text)

    def move_pointer(self, x, y):  # `mousemove --sync` waits for a move: only ask for one
        if re.findall(r"[xy]:(-?\d+)", self.run("xdotool", "getmouselocation")) != [str(x), str(y)]:
            self.xdotool("mousemove", "--sync", x, y)

    def click(self, x, y, button=1):
        self.move_pointer(x, y)
        self.xdotool("click", button)

    def drag(self, start, end, button=1, steps=10, release=True):
        # One xdotool run, as quick as a hand: the pointer moves on before
        # the program has taken the press. A window manager's move starts
        # from where the pointer is when it takes the request (outside the
        # program's hands): there the pointer rests a moment after the press.
        self.move_pointer(*start)
        moves = [("mousemove", *(a + (b - a) * i // steps for a, b in zip(start, end)), "sleep", 0.02)
                 for i in range(1, steps + 1)]
        rest = ("sleep", 0.2) if getattr(self, "wm", False) else ()
        self.xdotool("mousedown", button, *rest, *sum(moves, ()),
                     *(("mouseup", button) if release else ()))

    def at(self, twips_point):
        """The screen position of a point of the main window, given in twips."""
        return tuple(o + design.pixels(v, self.dpi) for o, v in zip(self.main_rect(), twips_point))

    def centre(self, name):
        (left, top), (x, y, w, h) = self.main_rect()[:2], design.box(design.CONTROLS[name], self.dpi)
        return (left + x + w // 2, top + y + h // 2)

    def press(self, control):
        self.click(*self.centre(control))

    def screenshot(self, name):
        path = os.path.join(self.dir, name)
        self.run("import", "-window", "root", path, check=True)
        return path

    def pixel(self, path, x, y):
        return re.search(r"#(\w{6})", self.run("convert", f"{path}[1x1+{x}+{y}]", "-depth", "8",
                                               "txt:-")).group(1).lower()

    def app_exited(self, timeout=15):
        with contextlib.suppress(subprocess.TimeoutExpired):
            return self.app_proc.wait(timeout) is not None

    def stop_app(self):
        if self.app_proc and self.app_proc.poll() is None:
            os.killpg(self.app_proc.pid, signal.SIGKILL)
            self.app_proc.wait()

    def close(self):
        self.stop_app()
        for proc in reversed(self.procs):
            for sig in (signal.SIGTERM, signal.SIGKILL):  # SIGKILL if SIGTERM took over 5 s
                with contextlib.suppress(ProcessLookupError, subprocess.TimeoutExpired):
                    if proc.poll() is None:
                        os.killpg(proc.pid, sig)
                        proc.wait(5)
        shutil.rmtree(self.dir, ignore_errors=True)

    def main_rect(self):  # the client area on the screen: x, y, width, height
        return self.rect("Prekidnik")

    def about_rect(self):
        return self.rect("O Autoru")


class LinuxSession(Display):
    """The Qt program; one private bus as the system and the session bus, with
    a mock NetworkManager; openbox when asked for."""

    def __init__(self, app, window_manager=False, network_manager=True):
        self.app, self.window, self.names = app, None, {}
        self.wm, self.has_nm = window_manager, network_manager
        super().__init__("1280x800")

    def start(self):
        import dbus  # the Linux layer's alone
        self.dbus, self.nm_log = dbus, os.path.join(self.dir, "nm.log")
        self.env.update(QT_QPA_PLATFORM="xcb", XDG_RUNTIME_DIR=self.dir, LC_ALL="C.UTF-8")
        bus = self.spawn(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                         stdout=subprocess.PIPE, text=True)
        address = bus.stdout.readline().strip()
        self.env["DBUS_SYSTEM_BUS_ADDRESS"] = self.env["DBUS_SESSION_BUS_ADDRESS"] = address
        self.bus = dbus.bus.BusConnection(address)
        if self.has_nm:
            self.spawn(["/usr/bin/python3", "-m", "dbusmock", "--system", "-t", "networkmanager",
                        "-l", self.nm_log])
            if not wait_for(lambda: self.bus.name_has_owner(NM), 30):
                raise RuntimeError("the NetworkManager mock did not start")
        if self.wm:
            self.spawn(["openbox", "--sm-disable"])
            wait_for(lambda: "window id" in self.run("xprop", "-root", "_NET_SUPPORTING_WM_CHECK"))

    def set_dpi(self, dpi):
        """Xft.dpi, as a desktop sets it, for the programs started from now on."""
        self.run("xrdb", "-merge", input=f"Xft.dpi: {dpi}\n", check=True)
        self.dpi = dpi

    def mock(self, method, *args):
        return self.bus.get_object(NM, "/org/freedesktop").get_dbus_method(method, MOCK)(*args)

    def activate(self, kind, name, object_name=None):
        """Adds a connection; up as …/ActiveConnection/`object_name` (or `name`)."""
        d = self.dbus
        path = self.bus.get_object(NM, NM_PATH + "/Settings").AddConnection(d.Dictionary(
            {"connection": d.Dictionary({"type": kind, "id": name, "uuid": f"u{time.monotonic_ns()}"},
                                        signature="sv")}, signature="sa{sv}"),
            dbus_interface=NM + ".Settings")
        self.mock("AddActiveConnection", d.Array([], signature="s"), path, "/",
                  object_name or name, d.UInt32(2))

    def hung_up(self):
        """The names of the connections the program asked to end, in order."""
        return [self.names.get(p.rsplit("/", 1)[-1], p)
                for p in re.findall(r'DeactivateConnection "([^"]*)"', read(self.nm_log))]

    def start_app(self, connections=(), keep=False):
        """Starts the program with the dial-up (gsm) `connections` up, by name;
        with `keep`, they stay up when hung up."""
        for i, name in enumerate(connections):
            self.names[element := re.sub(r"\W", "_", name) or f"Unnamed{i}"] = name
            self.activate("gsm", name, element)
        if keep:  # DeactivateConnection only logged
            self.bus.get_object(NM, NM_PATH).AddMethod(NM, "DeactivateConnection", "o", "", "",
                                                       dbus_interface=MOCK)
        self.app_proc = self.spawn([self.app])
        self.window = wait_for(lambda: self.find_window("^Prekidnik$"), 20)
        if not self.window or not wait_for(self.main_rect, 10):
            raise RuntimeError(f"the main window did not appear; status {self.app_proc.poll()}")

    def windows(self, title):
        return self.run("xdotool", "search", "--all", "--onlyvisible", "--pid",
                        self.app_proc.pid, "--name", title).split()

    def find_window(self, title):
        return (self.windows(title) or [None])[0]

    def active_window(self):
        found = re.search(r"# (0x[0-9a-fA-F]+)", self.run("xprop", "-root", "_NET_ACTIVE_WINDOW"))
        return found and str(int(found.group(1), 16))

    def geometry(self, window):
        """x, y, width, height and whether it is viewable ("map"), of an X window."""
        info = self.run("xwininfo", "-id", window)
        grab = lambda key: int(re.search(key + r":\s+(-?\d+)", info).group(1))  # noqa: E731
        return {"x": grab("Absolute upper-left X"), "y": grab("Absolute upper-left Y"),
                "width": grab("Width"), "height": grab("Height"),
                "map": "IsViewable" in info} if "Width" in info else {"map": False}

    def rect(self, title):
        g = self.geometry(w) if (w := self.find_window(f"^{title}$")) else {"map": False}
        return (g["x"], g["y"], g["width"], g["height"]) if g["map"] else None

    def key(self, keys, window="main"):
        """Presses `keys` ("alt+p", "Tab space") in the main window, the
        About window, or with None wherever the focus is."""
        if window and (target := self.find_window({"main": "^Prekidnik$"}.get(window, "^O Autoru$"))):
            self.xdotool("windowfocus", "--sync", target)
        self.xdotool("key", *keys.split())


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class WineSession(Display):
    """prekidnik.exe under `wine` (32-bit Wine in a 32-bit prefix for `bits`
    4, wine64 for 8) beside the test rasapi32.dll, in a prefix kept in `work`;
    its windows are read with the probe program."""
    dpi = None  # whatever the kept prefix says, until set_dpi

    def __init__(self, wine, bits, exe, fake_rasapi32, probe, work):
        self.wine_path, self.bits, self.probe_exe, self.files = wine, bits, probe, (exe, fake_rasapi32)
        os.makedirs(prefix := os.path.join(work, "prefix"), exist_ok=True)
        self.prefix = prefix
        self.server = os.path.join(os.path.dirname(wine), "wineserver")
        super().__init__("1024x768")

    def start(self):
        os.makedirs(run_dir := os.path.join(self.dir, "program"))
        for path, name in zip(self.files, ("prekidnik.exe", "rasapi32.dll")):
            shutil.copy(path, os.path.join(run_dir, name))
        self.env.update(WINEPREFIX=self.prefix, WINEARCH="win32" if self.bits == 4 else "win64",
                        WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
        if not os.path.exists(os.path.join(self.prefix, "system.reg")):
            self.wine("wineboot", "-i", timeout=180)
        # The classic grey, no themes; no window manager: Wine draws the frames.
        with open(reg := os.path.join(self.dir, "classic.reg"), "w") as f:
            f.write("\r\n".join([
                "REGEDIT4", r"[HKEY_CURRENT_USER\Control Panel\Colors]",
                '"ActiveBorder"="212 208 200"', '"ButtonFace"="212 208 200"',
                r"[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\ThemeManager]",
                '"ThemeActive"="0"', r"[HKEY_CURRENT_USER\Software\Wine\X11 Driver]",
                '"Decorated"="N"', '"Managed"="N"', ""]))
        self.wine("regedit", "/S", windows_path(reg))
        self.stop_server()

    def wine(self, *args, timeout=60):
        # Not a pipe for stderr: a wineserver it starts would hold it open.
        return subprocess.run([self.wine_path, *args], env=self.env, timeout=timeout,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)

    def stop_server(self):
        """Ends the wineserver, so that the next program reads the registry anew."""
        self.run(self.server, "-k")
        self.run(self.server, "-w", timeout=60)

    def set_dpi(self, dpi):
        if dpi != self.dpi:
            self.wine("reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t",
                      "REG_DWORD", "/d", str(dpi), "/f")
            self.stop_server()
            self.dpi = dpi

    def probe(self, *args):
        """What the probe prints: a window, or None when there is none. Wine
        can fail to start a program on a loaded machine: that is tried again,
        never read as "no window"."""
        for _ in range(3):
            if (run := self.wine(self.probe_exe, *args, timeout=30)).returncode == 0 and run.stdout:
                return json.loads(run.stdout)
            time.sleep(0.5)
        raise RuntimeError(f"probe {args} failed: status {run.returncode}, output {run.stdout!r}")

    def start_app(self, connections=(), keep=False, closing_ms=0):
        """Starts the program with the dial-up `connections` listed, by name;
        with `keep`, a hung-up one stays listed for a minute."""
        # One handle above 2^31, which must come back whole (32 bits on i686).
        self.handles = dict(zip((7, 4000000009, 3, 11, 12), connections))
        self.log = os.path.join(self.dir, f"ras-{time.monotonic_ns()}.log")
        self.app_proc = self.spawn([self.wine_path, "prekidnik.exe"], dict(
            self.env, WINEDLLOVERRIDES="rasapi32=n;mscoree,mshtml=",
            PREKIDNIK_FAKE_RAS_CONNECTIONS=";".join(f"{h}:{n}" for h, n in self.handles.items()),
            PREKIDNIK_FAKE_RAS_CLOSING_MS=str(60000 if keep else closing_ms),
            PREKIDNIK_FAKE_RAS_LOG=windows_path(self.log)),
            cwd=os.path.join(self.dir, "program"))
        # Shown, with its controls (not the window of a program just ended).
        if not wait_for(lambda: (w := self.probe("Prekidnik")) and w["visible"] and any(
                c["class"].lower() == "edit" for c in w["children"]), 20, 0.2):
            raise RuntimeError(f"the main window did not appear: {self.probe('Prekidnik')}")

    def calls(self):
        """The calls rasapi32.dll logged, each as (milliseconds, call)."""
        return [(int(t), c) for t, c in (ln.split(" ", 1) for ln in read(self.log).splitlines())]

    def hung_up(self):
        found = (re.fullmatch(r"hangup (\d+) -> 0", c) for _, c in self.calls())
        return [self.handles.get(int(m.group(1)), m.group(1)) for m in found if m]

    def rect(self, title):
        w = self.probe(title)
        return w and w["visible"] and (*w["client"][:2], w["client"][2] - w["client"][0],
                                       w["client"][3] - w["client"][1]) or None

    def key(self, keys, window=None):  # without a window manager the focus stays put
        self.xdotool("key", *keys.split())

    def close(self):  # the program and Wine's own processes (of this prefix only), then the display
        self.run("env", f"WINEPREFIX={self.prefix}", self.server, "-k")
        super().close()
