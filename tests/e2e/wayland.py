"""Headless Wayland compositors as displays of the end-to-end harness: each
takes harness.XDisplay's place under a program session, with the same calls.

- SwayDisplay: sway (wlroots) on its headless backend, the one compositor here
  that takes input from clients: keys through wtype (the virtual keyboard
  protocol), the pointer through virtual_pointer (tests/e2e/wayland/, the
  wlroots virtual pointer protocol), windows read with `swaymsg -t get_tree`,
  screenshots with grim.
- WestonDisplay: weston's headless backend, for what is only seen: it takes
  no input from clients; windows are read from its scene graph
  (weston-debug), screenshots taken with weston-screenshooter.

Every place is in the screen's pixels, as on X11: at an output scale of 2 a
window of the design's 587 logical pixels is 1174 wide, as at 192 dpi. So
set_dpi(dpi) sets the output's scale to dpi / 96, and a case run at 192 dpi
expects what a program drawn at scale 2 shows.

A display that cannot start here (no compositor installed) raises
unittest.SkipTest with the reason.
"""
import json
import os
import pwd
import re
import shutil
import subprocess
import time
import unittest

import harness
from harness import GREEN, Rect, wait_for

HERE = os.path.dirname(os.path.abspath(__file__))
BUILD = os.path.join(HERE, "..", "..", "build", "linux")
POINTER_TOOL = os.environ.get("PREKIDNIK_VIRTUAL_POINTER",
                              os.path.join(BUILD, "tests", "e2e", "virtual_pointer"))

# xdotool's modifier names, as wtype calls them.
MODIFIERS = {"alt": "alt", "ctrl": "ctrl", "shift": "shift", "super": "logo"}


def need(*tools):
    """Skips the case when a tool is missing."""
    missing = [t for t in tools if shutil.which(t) is None and not os.access(t, os.X_OK)]
    if missing:
        raise unittest.SkipTest("not installed: " + ", ".join(missing)
                                + " (scripts/install-deps.sh)")


def wtype_arguments(keys):
    """wtype's arguments for keys as xdotool names them ("alt+o", "Tab space")."""
    args = []
    for chord in keys.split():
        *mods, key = chord.split("+")
        for mod in mods:
            args += ["-M", MODIFIERS[mod.lower()]]
        args += ["-k", key]
        for mod in reversed(mods):
            args += ["-m", MODIFIERS[mod.lower()]]
    return args


class WaylandDisplay(harness.Screen):
    """What both compositors share: a folder, their processes, the
    environment of programs shown on them (WAYLAND_DISPLAY as an absolute
    path, so that a program may keep an XDG_RUNTIME_DIR of its own)."""
    qt_platform = "wayland"
    scale = 1

    def __init__(self):
        super().__init__("prekidnik-wl-", ("DISPLAY", "WAYLAND_DISPLAY"))
        os.chmod(self.dir, 0o755)  # for a compositor run by another user

    def close(self):
        for proc in self.processes.procs:
            if proc.stdin is not None:
                proc.stdin.close()
        super().close()

    def wait_for_socket(self, runtime_dir, proc, name):
        """The compositor's socket, an absolute path, once it is there."""
        def socket():
            found = [f for f in os.listdir(runtime_dir) if re.fullmatch(r"wayland-\d+", f)]
            if found:
                return os.path.join(runtime_dir, found[0])
            return None
        path = wait_for(lambda: socket() or proc.poll() is not None, 20)
        if not isinstance(path, str):
            raise RuntimeError(f"{name} did not start (status {proc.poll()}): see {runtime_dir}")
        return path


class SwayDisplay(WaylandDisplay):
    """A headless sway with a green background, the main window floating at
    its own size and About with a title bar. sway will not run as root: then
    it runs as `nobody`, in a runtime folder of that user's, and the programs
    (as root) connect to its socket."""

    def __init__(self, size):
        need("sway", "swaymsg", "swaybg", "grim", "wtype", POINTER_TOOL)
        super().__init__()
        self.size = tuple(int(v) for v in size.split("x"))
        try:
            self._start_sway()
            self._start_input()
        except BaseException:
            self.close()
            raise

    def _start_sway(self):
        runtime = os.path.join(self.dir, "runtime")
        os.mkdir(runtime, 0o700)
        argv = ["sway", "-c", os.path.join(self.dir, "sway.conf")]
        if os.geteuid() == 0:
            nobody = pwd.getpwnam("nobody")
            os.chown(runtime, nobody.pw_uid, nobody.pw_gid)
            argv = ["setpriv", f"--reuid={nobody.pw_uid}", f"--regid={nobody.pw_gid}",
                    "--clear-groups", *argv]
        with open(argv[-1], "w") as f:
            f.write("\n".join([
                f"output * resolution {self.size[0]}x{self.size[1]} bg #{GREEN} solid_color",
                "default_border none",
                "default_floating_border none",
                'for_window [title="^Prekidnik$"] floating enable',
                'for_window [title="^O Autoru$"] floating enable, border normal',
                "focus_follows_mouse no",
                ""]))
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "XDG_RUNTIME_DIR": runtime,
               "HOME": runtime, "WLR_BACKENDS": "headless", "WLR_RENDERER": "pixman",
               "WLR_LIBINPUT_NO_DEVICES": "1"}
        proc = self.processes.start(argv, env)
        self.env["WAYLAND_DISPLAY"] = self.wait_for_socket(runtime, proc, "sway")
        ipc = wait_for(lambda: [f for f in os.listdir(runtime) if f.startswith("sway-ipc.")], 10)
        if not ipc:
            raise RuntimeError("sway opened no IPC socket")
        self.env["SWAYSOCK"] = os.path.join(runtime, ipc[0])
        if not wait_for(self.outputs, 10):
            raise RuntimeError("sway shows no output")

    def _start_input(self):
        # The seat has a keyboard and a pointer from now on, as a desktop's
        # has: a program binds them as it starts. wtype's own keyboard comes
        # and goes with each run; one kept here holds the seat's keyboard
        # (else keys typed before a program has bound the new one are lost).
        self.processes.start(["wtype", "-s", "2000000000"], self.env)
        self.pointer_proc = self.processes.start([POINTER_TOOL], self.env, stdin=subprocess.PIPE,
                                                 stdout=subprocess.PIPE, text=True)
        if self.pointer_proc.stdout.readline().strip() != "ready":
            raise RuntimeError("virtual_pointer found no virtual pointer protocol")
        if not wait_for(lambda: len(self.swaymsg("get_inputs")) >= 2, 10):
            raise RuntimeError(f"the seat has not both devices: {self.swaymsg('get_inputs')}")
        self.position = None

    def swaymsg(self, kind, *command):
        """The answer of `swaymsg -t kind`, read from JSON."""
        return json.loads(self.run("swaymsg", "-r", "-t", kind, *command, check=True))

    def outputs(self):
        return [o for o in self.swaymsg("get_outputs") if o["active"]]

    def set_dpi(self, dpi):
        """The output's scale, dpi / 96, for every program on it; its pixels
        grow with it, so that the desktop keeps its size in logical pixels
        and a window, twice as large on the screen, has as much room."""
        self.scale = dpi / 96
        width, height = (round(v * self.scale) for v in self.size)
        self.swaymsg("command", "output", "*", "resolution", f"{width}x{height}", "scale",
                     f"{self.scale:g}")
        wait_for(lambda: self.outputs()[0]["scale"] == self.scale, 5)

    # --- What is seen

    def screenshot(self, name):
        """The output in its own pixels as a PNG file named `name`."""
        path = os.path.join(self.dir, name)
        self.run("grim", "-s", f"{self.scale:g}", path, check=True)
        return path

    # --- Keyboard and pointer

    def key(self, keys):
        self.run("wtype", *wtype_arguments(keys), check=True)

    def type_text(self, text):
        self.run("wtype", "-d", "20", "--", text, check=True)

    def pointer_command(self, command):
        self.pointer_proc.stdin.write(command + "\n")
        self.pointer_proc.stdin.flush()
        answer = self.pointer_proc.stdout.readline().strip()
        if answer != "ok":
            raise RuntimeError(f"virtual_pointer: {command!r} answered {answer!r}")

    def move_pointer(self, x, y):
        """To (x, y) of the screen, in its pixels."""
        width, height = self.layout_size()
        self.pointer_command(f"move {x} {y} {width} {height}")
        self.position = (x, y)

    def pointer(self):
        return self.position

    def layout_size(self):
        """The screen in its pixels: the outputs' layout times their scale."""
        rect = self.outputs()[0]["rect"]
        return round(rect["width"] * self.scale), round(rect["height"] * self.scale)

    def click(self, x, y, button=1):
        self.move_pointer(x, y)
        self.pointer_command(f"down {button}")
        self.pointer_command(f"up {button}")

    def drag(self, start, end, button=1, steps=10, release=True):
        # The compositor's move starts from where the pointer is when it
        # takes the program's request: the pointer rests a moment after the
        # press, as for an X11 window manager.
        self.move_pointer(*start)
        self.pointer_command(f"down {button}")
        time.sleep(0.2)
        for i in range(1, steps + 1):
            self.move_pointer(start[0] + (end[0] - start[0]) * i // steps,
                              start[1] + (end[1] - start[1]) * i // steps)
            time.sleep(0.02)
        if release:
            self.pointer_command(f"up {button}")

    def release_button(self, button=1):
        self.pointer_command(f"up {button}")

    # --- Windows

    def windows(self, title, pid):
        """sway's views of process `pid` titled exactly `title`, shown."""
        found = []

        def walk(node):
            if node.get("pid") == pid and node.get("name") == title and node.get("visible"):
                found.append(node)
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                walk(child)
        walk(self.swaymsg("get_tree"))
        return found

    def window_ids(self, title, pid):
        return [str(w["id"]) for w in self.windows(title, pid)]

    def window_id(self, title, pid):
        found = self.window_ids(title, pid)
        if not found:
            return None
        return found[0]

    def window_rect(self, title, pid):
        """The client area of the window, in the screen's pixels, or None."""
        found = self.windows(title, pid)
        if not found:
            return None
        outer, inner = found[0]["rect"], found[0]["window_rect"]
        logical = (outer["x"] + inner["x"], outer["y"] + inner["y"], inner["width"],
                   inner["height"])
        return Rect(*(round(v * self.scale) for v in logical))

    def focus(self, title, pid):
        window = self.window_id(title, pid)
        if window is not None:
            self.swaymsg("command", f"[con_id={window}]", "focus")
            wait_for(lambda: self.active_window() == window, 5)

    def active_window(self):
        """The view that has the keyboard focus, or None."""
        def walk(node):
            if node.get("focused") and node.get("pid"):
                return str(node["id"])
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                found = walk(child)
                if found:
                    return found
            return None
        return walk(self.swaymsg("get_tree"))


class WestonDisplay(WaylandDisplay):
    """A headless weston (pixman renderer, the desktop shell without a panel,
    a green background), at the scale given, which weston fixes at start.
    Nothing here drives it: weston takes no input from clients."""

    def __init__(self, size, scale=1, xwayland=False):
        need("weston", "weston-screenshooter", "weston-debug", "convert")
        super().__init__()
        self.scale = scale
        width, height = size.split("x")
        runtime = os.path.join(self.dir, "runtime")
        os.mkdir(runtime, 0o700)
        config = os.path.join(self.dir, "weston.ini")
        with open(config, "w") as f:
            f.write(f"[core]\nidle-time=0\n[shell]\nbackground-color=0xff{GREEN}\n"
                    "panel-position=none\nanimation=none\nclose-animation=none\n"
                    "startup-animation=none\nfocus-animation=none\n")
        argv = ["weston", "--backend=headless-backend.so", "--use-pixman", "--debug",
                f"--config={config}", "--socket=wayland-1", f"--width={width}",
                f"--height={height}", f"--scale={scale}", "--idle-time=0"]
        self.log = os.path.join(self.dir, "weston.log")
        argv.append(f"--log={self.log}")
        if xwayland:
            argv.append("--xwayland")
        env = dict(self.env, XDG_RUNTIME_DIR=runtime)
        try:
            proc = self.processes.start(argv, env)
            self.env["WAYLAND_DISPLAY"] = self.wait_for_socket(runtime, proc, "weston")
            if xwayland:
                self.env["DISPLAY"] = self._xwayland_display(proc)
        except BaseException:
            self.close()
            raise

    def _xwayland_display(self, proc):
        """weston's X display, as its log names it: weston opens the socket
        at start, and Xwayland at the first client."""
        found = wait_for(lambda: re.search(r"xserver listening on display (:\d+)",
                                           harness.read(self.log)), 10)
        if not found:
            raise RuntimeError(f"weston opened no X display (status {proc.poll()})")
        return found.group(1)

    def set_dpi(self, dpi):
        if dpi != 96 * self.scale:
            raise ValueError(f"weston's scale is fixed at start: {self.scale}")

    def screenshot(self, name):
        """The output in its own pixels (weston-screenshooter writes into the
        current folder)."""
        shots = os.path.join(self.dir, "shots")
        os.makedirs(shots, exist_ok=True)
        subprocess.run(["weston-screenshooter"], env=self.env, cwd=shots, capture_output=True,
                       check=True)
        newest = max(os.listdir(shots), key=lambda f: os.path.getmtime(os.path.join(shots, f)))
        path = os.path.join(self.dir, name)
        os.replace(os.path.join(shots, newest), path)
        return path

    def window_rect(self, title, pid):
        """The window as weston's scene graph places it (weston-debug, with
        --debug), in the screen's pixels, or None. A frameless window's view
        is its client area."""
        graph = subprocess.run(["weston-debug", "scene-graph"], env=self.env,
                               capture_output=True, text=True, timeout=10).stdout
        view = re.search(rf"PID {pid}, [^\n]*top-level window '{re.escape(title)}' [^\n]*\n"
                         r"\s*position: \((-?\d+), (-?\d+)\) -> \((-?\d+), (-?\d+)\)", graph)
        if view is None:
            return None
        x1, y1, x2, y2 = (int(v) * self.scale for v in view.groups())
        return Rect(x1, y1, x2 - x1, y2 - y1)

    def key(self, keys):
        raise unittest.SkipTest("weston takes no keys from clients")

    def focus(self, title, pid):
        """Nothing: no keys to send."""
