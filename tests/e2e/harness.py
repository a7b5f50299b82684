"""The program on a screen of its own, driven as a person drives it.

Two layers, kept apart so that another kind of screen can take the X one's place:

- A display (XDisplay here): starts and stops the screen, takes screenshots and reads
  their pixels, presses keys, types, moves and presses the pointer, and finds the
  rectangles of windows by title.
- A program session (LinuxSession, WineSession): starts the program on a display with
  the dial-up connections a case asks for, tells which ones it asked to hang up, and
  turns the windows' designs (design.py) into places on the screen.

A session owns its display: close() ends every process that either started.

What the sessions and cases.py ask of a display: `env` (for the programs
shown on it), `qt_platform`, set_dpi, screenshot, pixel, key, type_text,
click, drag, release_button, window_ids, window_id, window_rect, focus and
close. The rest of XDisplay (geometry, window_property, active_window) is
for the X window manager's own tests in test_linux_app.py.
"""
import json
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time
from typing import NamedTuple

import design

GREY = "d4d0c8"  # the window's classic grey
GREEN = "00ff00"  # the screen behind the windows

NM = "org.freedesktop.NetworkManager"
NM_PATH = "/org/freedesktop/NetworkManager"
MOCK = "org.freedesktop.DBus.Mock"


def wait_for(predicate, timeout=10.0, step=0.05):
    """Calls `predicate` until it returns a true value or `timeout` seconds
    have passed; returns its last value."""
    end = time.monotonic() + timeout
    value = predicate()
    while not value and time.monotonic() < end:
        time.sleep(step)
        value = predicate()
    return value


def clock_text(seconds):
    """The program's clock text of a wall-clock second: hh:mm:ss."""
    return time.strftime("%H:%M:%S", time.localtime(seconds))


def read(path):
    """The text of a file, or "" when there is none yet."""
    try:
        with open(path, errors="replace") as f:
            return f.read()
    except FileNotFoundError:
        return ""


def stop_process(proc, grace=5.0):
    """Ends the process group `proc` leads: SIGTERM, then SIGKILL if it is
    still there after `grace` seconds."""
    for sig in (signal.SIGTERM, signal.SIGKILL):
        if proc.poll() is not None:
            return
        try:
            os.killpg(proc.pid, sig)
            proc.wait(grace)
        except ProcessLookupError:
            return
        except subprocess.TimeoutExpired:
            continue


class ProcessGroup:
    """Processes started each in a session of its own, ended together, the
    last started first."""

    def __init__(self):
        self.procs = []

    def start(self, argv, env, stdout=subprocess.DEVNULL, **options):
        proc = subprocess.Popen(argv, env=env, stdout=stdout, stderr=subprocess.DEVNULL,
                                start_new_session=True, **options)
        self.procs.append(proc)
        return proc

    def add(self, proc):
        """Ends `proc` with the others."""
        self.procs.append(proc)

    def stop_all(self):
        for proc in reversed(self.procs):
            stop_process(proc)
            if proc.stdout is not None:
                proc.stdout.close()
        self.procs = []


class Rect(NamedTuple):
    """A rectangle on the screen, in pixels."""
    x: int
    y: int
    width: int
    height: int


class Screen:
    """What every display shares: a folder of its own, the processes it
    started, and the environment of the programs shown on it, without the
    variables in `hidden` that would send them to another display."""

    def __init__(self, prefix, hidden):
        self.dir = tempfile.mkdtemp(prefix=prefix)
        self.processes = ProcessGroup()
        self.env = {k: v for k, v in os.environ.items() if k not in hidden}

    def close(self):
        self.processes.stop_all()
        shutil.rmtree(self.dir, ignore_errors=True)

    def run(self, *argv, check=False, input=None):
        """Runs a program on the display; returns what it printed."""
        done = subprocess.run([str(a) for a in argv], env=self.env, capture_output=True,
                              text=True, check=check, input=input)
        return done.stdout

    def pixel(self, path, x, y):
        """The colour of a pixel of a screenshot, as "rrggbb"."""
        text = self.run("convert", f"{path}[1x1+{x}+{y}]", "-depth", "8", "txt:-", check=True)
        return re.search(r"#([0-9A-Fa-f]{6})", text).group(1).lower()


class XDisplay(Screen):
    """An Xvfb screen of its own with a green root window, driven with xdotool
    and seen with ImageMagick; openbox on it when `window_manager` is set.

    `env` is the environment for programs shown on it."""
    qt_platform = "xcb"

    def __init__(self, size, window_manager=False):
        super().__init__("prekidnik-x-", ("WAYLAND_DISPLAY",))
        self.window_manager = window_manager
        try:
            self.env["DISPLAY"] = self._start_server(size)
            self.run("xsetroot", "-solid", "#" + GREEN, check=True)
            if window_manager:
                self._start_window_manager()
        except BaseException:
            self.close()
            raise

    def _start_server(self, size):
        """Starts Xvfb on a free display number; returns its name (":N")."""
        read_end, write_end = os.pipe()
        self.processes.start(["Xvfb", "-displayfd", str(write_end), "-screen", "0", size + "x24",
                              "-dpi", "96", "-nolisten", "tcp", "-noreset"], self.env,
                             pass_fds=(write_end,))
        os.close(write_end)
        with os.fdopen(read_end) as f:
            number = f.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        return ":" + number

    def _start_window_manager(self):
        self.processes.start(["openbox", "--sm-disable"], self.env)
        if not wait_for(lambda: "window id" in self.root_property("_NET_SUPPORTING_WM_CHECK")):
            raise RuntimeError("openbox did not start")

    def xdotool(self, *args):
        self.run("xdotool", *args, check=True)

    def set_dpi(self, dpi):
        """Xft.dpi, as a desktop sets it, for the programs started from now on."""
        self.run("xrdb", "-merge", check=True, input=f"Xft.dpi: {dpi}\n")

    # --- What is seen

    def screenshot(self, name):
        """The whole screen as a PNG file named `name`; returns its path."""
        path = os.path.join(self.dir, name)
        self.run("import", "-window", "root", path, check=True)
        return path

    # --- Keyboard and pointer

    def key(self, keys):
        """Presses `keys`, separated by spaces ("alt+p", "Tab space"), where the
        focus is."""
        self.xdotool("key", *keys.split())

    def type_text(self, text):
        self.xdotool("type", "--delay", 20, "--", text)

    def pointer(self):
        text = self.run("xdotool", "getmouselocation")
        return (int(re.search(r"x:(-?\d+)", text).group(1)),
                int(re.search(r"y:(-?\d+)", text).group(1)))

    def move_pointer(self, x, y):
        # `mousemove --sync` waits until the pointer has moved, so it must
        # not be asked to move where the pointer is already.
        if self.pointer() != (x, y):
            self.xdotool("mousemove", "--sync", x, y)

    def click(self, x, y, button=1):
        self.move_pointer(x, y)
        self.xdotool("click", button)

    def drag(self, start, end, button=1, steps=10, release=True):
        """Presses `button` at `start`, moves to `end` in `steps` steps and lets
        go there, unless `release` is False (then release_button ends it)."""
        # One xdotool run, as quick as a hand: the pointer moves on before
        # the program has taken the press. A window manager's move starts
        # from where the pointer is when it takes the request (outside the
        # program's hands): there the pointer rests a moment after the press.
        self.move_pointer(*start)
        args = ["mousedown", button]
        if self.window_manager:
            args += ["sleep", 0.2]
        for i in range(1, steps + 1):
            x = start[0] + (end[0] - start[0]) * i // steps
            y = start[1] + (end[1] - start[1]) * i // steps
            args += ["mousemove", x, y, "sleep", 0.02]
        if release:
            args += ["mouseup", button]
        self.xdotool(*args)

    def release_button(self, button=1):
        self.xdotool("mouseup", button)

    # --- Windows

    def window_ids(self, title, pid):
        """The shown windows of process `pid` titled exactly `title`."""
        return self.run("xdotool", "search", "--all", "--onlyvisible", "--pid", pid,
                        "--name", f"^{title}$").split()

    def window_id(self, title, pid):
        """The first of window_ids, or None."""
        found = self.window_ids(title, pid)
        if not found:
            return None
        return found[0]

    def geometry(self, window):
        """Where X window `window` is on the screen, or None while it is not
        viewable."""
        info = self.run("xwininfo", "-id", window)
        if "IsViewable" not in info:
            return None
        fields = ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height")
        return Rect(*(int(re.search(f + r":\s+(-?\d+)", info).group(1)) for f in fields))

    def window_rect(self, title, pid):
        """The client area of `pid`'s window titled `title`, or None while
        there is no such window on the screen."""
        window = self.window_id(title, pid)
        if window is None:
            return None
        return self.geometry(window)

    def focus(self, title, pid):
        """Gives the keyboard focus to `pid`'s window titled `title`, if any."""
        window = self.window_id(title, pid)
        if window is not None:
            self.xdotool("windowfocus", "--sync", window)

    def root_property(self, name):
        return self.run("xprop", "-root", name)

    def window_property(self, window, name):
        return self.run("xprop", "-id", window, name)

    def active_window(self):
        """The window the window manager made active, or None."""
        found = re.search(r"# (0x[0-9a-fA-F]+)", self.root_property("_NET_ACTIVE_WINDOW"))
        if not found:
            return None
        return str(int(found.group(1), 16))


class Session:
    """The program on a display: what every platform's session shares. A
    subclass starts the program (start_app), reads its hang-ups (hung_up) and
    finds its windows (rect)."""
    MAIN = "Prekidnik"  # the windows' titles
    ABOUT = "O Autoru"

    def __init__(self, display):
        self.display = display
        self.processes = ProcessGroup()
        self.dir = tempfile.mkdtemp(prefix="prekidnik-e2e-")
        self.app_proc = None
        self.designs = None  # design.Designs, once read_designs has run
        self.dpi = 96

    def read_designs(self, argv):
        """Runs the build's design tool (`argv`) and keeps what it writes."""
        done = self.run_tool(argv)
        self.designs = design.Designs(json.loads(done))

    def run_tool(self, argv):
        done = subprocess.run(argv, env=self.display.env, capture_output=True, text=True,
                              check=True)
        return done.stdout

    def close(self):
        """Ends the program, everything the session started, and the display."""
        self.stop_app()
        self.processes.stop_all()
        self.display.close()
        shutil.rmtree(self.dir, ignore_errors=True)

    def stop_app(self):
        if self.app_proc is not None and self.app_proc.poll() is None:
            os.killpg(self.app_proc.pid, signal.SIGKILL)
            self.app_proc.wait()

    def exit_status(self, timeout=15):
        """The program's exit status once it has ended, or None if it still
        runs after `timeout` seconds."""
        try:
            return self.app_proc.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def running(self):
        return self.app_proc is not None and self.app_proc.poll() is None

    # --- Windows

    def rect(self, title):
        """The client area of the program's window titled `title` on the
        screen, or None while it is not shown."""
        return self.display.window_rect(title, self.app_proc.pid)

    def main_rect(self):
        return self.rect(self.MAIN)

    def about_rect(self):
        return self.rect(self.ABOUT)

    def focus(self, title):
        self.display.focus(title, self.app_proc.pid)

    def key(self, keys, window="main"):
        """Presses `keys` in the main window ("main"), the About window
        ("about"), or with None wherever the focus is."""
        if window == "main":
            self.focus(self.MAIN)
        elif window == "about":
            self.focus(self.ABOUT)
        self.display.key(keys)

    # --- The design's places, at the session's dpi

    def at(self, twips_point):
        """The screen position of a point of the main window, given in twips."""
        left, top = self.main_rect()[:2]
        return (left + design.pixels(twips_point[0], self.dpi),
                top + design.pixels(twips_point[1], self.dpi))

    def centre(self, control):
        """The screen position of the centre of a control of the main window."""
        left, top = self.main_rect()[:2]
        x, y, width, height = design.box(self.designs.control(control), self.dpi)
        return (left + x + width // 2, top + y + height // 2)

    def press(self, control):
        """Clicks a control of the main window."""
        self.display.click(*self.centre(control))


class LinuxSession(Session):
    """The Qt program, with one private D-Bus bus as the system and the
    session bus and python3-dbusmock's NetworkManager on it (none when
    `network_manager` is False). `design_tool` writes the windows' designs."""

    def __init__(self, app, display, design_tool, network_manager=True):
        super().__init__(display)
        self.app = app
        self.names = {}  # the connections' names by their objects' last path element
        self.nm_log = os.path.join(self.dir, "nm.log")
        self.env = dict(display.env, QT_QPA_PLATFORM=display.qt_platform,
                        XDG_RUNTIME_DIR=self.dir, LC_ALL="C.UTF-8")
        try:
            self.read_designs([design_tool])
            self._start_bus()
            if network_manager:
                self._start_network_manager()
        except BaseException:
            self.close()
            raise

    def _start_bus(self):
        import dbus  # python3-dbus: the Linux layer's alone
        self.dbus = dbus
        daemon = self.processes.start(["dbus-daemon", "--session", "--nofork",
                                       "--print-address=1"], self.env,
                                      stdout=subprocess.PIPE, text=True)
        address = daemon.stdout.readline().strip()
        self.env["DBUS_SYSTEM_BUS_ADDRESS"] = address
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address
        self.bus = dbus.bus.BusConnection(address)

    def _start_network_manager(self):
        self.processes.start(["/usr/bin/python3", "-m", "dbusmock", "--system", "-t",
                              "networkmanager", "-l", self.nm_log], self.env)
        if not wait_for(lambda: self.bus.name_has_owner(NM), 30):
            raise RuntimeError("the NetworkManager mock did not start")

    def set_dpi(self, dpi):
        """The dpi of the programs started from now on."""
        self.display.set_dpi(dpi)
        self.dpi = dpi

    def mock(self, method, *args):
        """Calls a method of dbusmock's control interface of NetworkManager."""
        mock = self.bus.get_object(NM, "/org/freedesktop")
        return mock.get_dbus_method(method, MOCK)(*args)

    def activate(self, kind, name, object_name=None):
        """Adds a connection of `kind` named `name`, up as
        .../ActiveConnection/`object_name` (or `name`)."""
        d = self.dbus
        settings = d.Dictionary({"type": kind, "id": name, "uuid": f"u{time.monotonic_ns()}"},
                                signature="sv")
        path = self.bus.get_object(NM, NM_PATH + "/Settings").AddConnection(
            d.Dictionary({"connection": settings}, signature="sa{sv}"),
            dbus_interface=NM + ".Settings")
        if object_name is None:
            object_name = name
        self.mock("AddActiveConnection", d.Array([], signature="s"), path, "/", object_name,
                  d.UInt32(2))

    def keep_connections(self):
        """From now on a hang-up is logged and ends nothing."""
        self.bus.get_object(NM, NM_PATH).AddMethod(NM, "DeactivateConnection", "o", "", "",
                                                   dbus_interface=MOCK)

    def start_app(self, connections=(), keep=False):
        """Starts the program with the dial-up (gsm) `connections` up, by
        name; with `keep`, they stay up when hung up."""
        for i, name in enumerate(connections):
            element = re.sub(r"\W", "_", name)
            if not element:
                element = f"Unnamed{i}"
            self.names[element] = name
            self.activate("gsm", name, element)
        if keep:
            self.keep_connections()
        self.app_proc = self.processes.start([self.app], self.env)
        if not wait_for(self.main_rect, 20):
            raise RuntimeError(f"the main window did not appear; status {self.app_proc.poll()}")

    def main_window(self):
        """The main window's X window, or None."""
        return self.display.window_id(self.MAIN, self.app_proc.pid)

    def hung_up(self):
        """The names of the connections the program asked to end, in order."""
        paths = re.findall(r'DeactivateConnection "([^"]*)"', read(self.nm_log))
        names = []
        for path in paths:
            element = path.rsplit("/", 1)[-1]
            names.append(self.names.get(element, path))
        return names

    def hang_up_times(self):
        """The seconds at which the program asked to end a connection."""
        found = re.findall(r"(?m)^(\d+\.\d+) DeactivateConnection ", read(self.nm_log))
        return [float(t) for t in found]


def windows_path(path):
    """A file's path as Wine's programs see it."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class WindowsBuild(NamedTuple):
    """The files of a Windows build that the Wine session needs."""
    exe: str  # prekidnik.exe
    rasapi32: str  # the test rasapi32.dll (tests/windows/fake_rasapi32)
    probe: str  # the reader of the program's windows (tests/windows/probe)
    design_tool: str  # the writer of the designs (tests/e2e/dump_designs.cpp)


# The classic grey, no themes, and no window manager: Wine draws the frames.
CLASSIC_LOOK = "\r\n".join([
    "REGEDIT4",
    r"[HKEY_CURRENT_USER\Control Panel\Colors]",
    '"ActiveBorder"="212 208 200"',
    '"ButtonFace"="212 208 200"',
    r"[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\ThemeManager]",
    '"ThemeActive"="0"',
    r"[HKEY_CURRENT_USER\Software\Wine\X11 Driver]",
    '"Decorated"="N"',
    '"Managed"="N"',
    ""])


class WineSession(Session):
    """prekidnik.exe under Wine (`wine`: 32-bit Wine in a 32-bit prefix, or
    wine64) beside the test rasapi32.dll, in a prefix kept in `work`; its
    windows are read with the probe program."""

    def __init__(self, wine, build, work, display):
        super().__init__(display)
        self.wine_path = wine
        self.build = build
        self.prefix = os.path.join(work, "prefix")
        self.server = os.path.join(os.path.dirname(wine), "wineserver")
        self.dpi = None  # whatever the kept prefix says, until set_dpi
        self.handles = {}
        self.log = None
        arch = "win64"
        if os.path.basename(wine) == "wine":
            arch = "win32"
        self.env = dict(display.env, WINEPREFIX=self.prefix, WINEARCH=arch, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        try:
            self._prepare_prefix()
            self.read_designs([wine, build.design_tool])
        except BaseException:
            self.close()
            raise

    def _prepare_prefix(self):
        os.makedirs(self.prefix, exist_ok=True)
        self.program_dir = os.path.join(self.dir, "program")
        os.makedirs(self.program_dir)
        shutil.copy(self.build.exe, os.path.join(self.program_dir, "prekidnik.exe"))
        shutil.copy(self.build.rasapi32, os.path.join(self.program_dir, "rasapi32.dll"))
        if not os.path.exists(os.path.join(self.prefix, "system.reg")):
            self.wine("wineboot", "-i", timeout=180)
        registry = os.path.join(self.dir, "classic.reg")
        with open(registry, "w") as f:
            f.write(CLASSIC_LOOK)
        self.wine("regedit", "/S", windows_path(registry))
        self.stop_server()

    def run_tool(self, argv):
        return self.wine(*argv[1:]).stdout

    def wine(self, *args, timeout=60):
        """Runs a program under the session's Wine; returns the finished run."""
        # Not a pipe for stderr: a wineserver it starts would hold it open.
        return subprocess.run([self.wine_path, *args], env=self.env, timeout=timeout,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)

    def stop_server(self):
        """Ends the prefix's wineserver, so that the next program reads the
        registry anew."""
        subprocess.run([self.server, "-k"], env=self.env, capture_output=True)
        subprocess.run([self.server, "-w"], env=self.env, capture_output=True, timeout=60)

    def close(self):
        # The program and Wine's own processes of this prefix, then the rest.
        subprocess.run([self.server, "-k"], env=self.env, capture_output=True)
        super().close()

    def set_dpi(self, dpi):
        if dpi == self.dpi:
            return
        self.wine("reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t",
                  "REG_DWORD", "/d", str(dpi), "/f")
        self.stop_server()
        self.dpi = dpi

    def probe(self, title):
        """The program's window titled `title` as the probe prints it, or
        None when there is none. Wine can fail to start a program on a loaded
        machine: that is tried again, never read as "no window"."""
        for _ in range(3):
            run = self.wine(self.build.probe, title, timeout=30)
            if run.returncode == 0 and run.stdout:
                return json.loads(run.stdout)
        raise RuntimeError(f"probe {title!r} failed: status {run.returncode}, "
                           f"output {run.stdout!r}")

    def rect(self, title):
        window = self.probe(title)
        if not window or not window["visible"]:
            return None
        left, top, right, bottom = window["client"]
        return Rect(left, top, right - left, bottom - top)

    def focus(self, title):
        """Nothing: without a window manager the focus stays where it is."""

    def clocks(self):
        """The texts of the main window's controls that read as a time."""
        window = self.probe(self.MAIN)
        return [c["text"] for c in window["children"] if c["text"].count(":") == 2]

    def start_app(self, connections=(), keep=False, closing_ms=0):
        """Starts the program with the dial-up `connections` listed, by name;
        a hung-up one stays listed for `closing_ms`, with `keep` a minute."""
        # One handle above 2^31, which must come back whole (32 bits on i686).
        self.handles = dict(zip((7, 4000000009, 3, 11, 12), connections))
        self.log = os.path.join(self.dir, f"ras-{time.monotonic_ns()}.log")
        if keep:
            closing_ms = 60000
        listed = ";".join(f"{handle}:{name}" for handle, name in self.handles.items())
        env = dict(self.env, WINEDLLOVERRIDES="rasapi32=n;mscoree,mshtml=",
                   PREKIDNIK_FAKE_RAS_CONNECTIONS=listed,
                   PREKIDNIK_FAKE_RAS_CLOSING_MS=str(closing_ms),
                   PREKIDNIK_FAKE_RAS_LOG=windows_path(self.log))
        self.app_proc = self.processes.start([self.wine_path, "prekidnik.exe"], env,
                                             cwd=self.program_dir)
        if not wait_for(self._shown_with_controls, 20, 0.2):
            raise RuntimeError(f"the main window did not appear: {self.probe(self.MAIN)}")

    def _shown_with_controls(self):
        """Whether the main window is shown with its controls (and so is not
        the window of a program just ended)."""
        window = self.probe(self.MAIN)
        if not window or not window["visible"]:
            return False
        return any(c["class"].lower() == "edit" for c in window["children"])

    def calls(self):
        """The calls rasapi32.dll logged, each as (milliseconds, call)."""
        found = []
        for line in read(self.log).splitlines():
            ms, call = line.split(" ", 1)
            found.append((int(ms), call))
        return found

    def hung_up(self):
        names = []
        for _, call in self.calls():
            done = re.fullmatch(r"hangup (\d+) -> 0", call)
            if done:
                handle = int(done.group(1))
                names.append(self.handles.get(handle, str(handle)))
        return names

    def hang_up_times(self):
        """The seconds, from the program's start, at which it hung up."""
        return [ms / 1000 for ms, call in self.calls() if re.fullmatch(r"hangup \d+ -> 0", call)]
