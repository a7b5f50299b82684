#!/usr/bin/python3
"""End-to-end tests of prekidnik.exe under Wine (wine64 for the 64-bit
build, 32-bit wine in a 32-bit prefix for the 32-bit one), as a person uses
it.

Starts its own virtual screen (Xvfb, on a free display) and its own Wine
prefix with the classic Windows colours, runs the program beside a stand-in
rasapi32.dll that reports connections and logs what it is asked, drives it
with the keyboard and mouse (xdotool), and reads its windows with a probe
program and screenshots. Everything it starts is stopped at the end, on
failure too. Screenshots are kept in WORK/shots for a person to look at.

Usage: end_to_end.py --wine WINE --bits 4|8 --exe EXE --fake-rasapi32 DLL --probe EXE --work DIR
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

ARGS = None
SCREEN = None  # the one session of the whole run

# Windows' classic colour scheme ("Windows Standard"), so that screenshots
# look as the program does on a classic desktop.
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
ACTIVE_BORDER = (212, 208, 200)
GREEN = (0, 255, 0)

# The main window's design, in twips, and the About window's client size.
MAIN_LEFT, MAIN_TOP, MAIN_WIDTH, MAIN_HEIGHT = 2370, 1980, 8805, 5025
ABOUT_WIDTH, ABOUT_HEIGHT = 3780, 2820
WS_POPUP, WS_CAPTION, WS_THICKFRAME = 0x80000000, 0x00C00000, 0x00040000


def pixels(twips, dpi):
    return int(twips * dpi / 1440 + 0.5)


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Screen:
    """An Xvfb display and a Wine prefix, with the program's files."""

    def __init__(self, work):
        self.work = work
        self.prefix = os.path.join(work, "prefix")
        self.shots = os.path.join(work, "shots")
        self.run_dir = os.path.join(work, "program")
        self.server = os.path.join(os.path.dirname(ARGS.wine), "wineserver")
        self.xvfb = None
        self.display = None
        self.dpi = None
        self.env = None

    # --- set-up and clean-up

    def start(self):
        os.makedirs(self.shots, exist_ok=True)
        shutil.rmtree(self.run_dir, ignore_errors=True)
        os.makedirs(self.run_dir)
        shutil.copy(ARGS.exe, os.path.join(self.run_dir, "prekidnik.exe"))
        shutil.copy(ARGS.fake_rasapi32, os.path.join(self.run_dir, "rasapi32.dll"))
        read_fd, write_fd = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as f:
            self.display = ":" + f.readline().strip()
        self.env = dict(os.environ, DISPLAY=self.display, WINEPREFIX=self.prefix,
                        WINEARCH="win32" if ARGS.bits == 4 else "win64",
                        WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
        subprocess.run(["xsetroot", "-solid", "#00ff00"], env=self.env, check=True)
        if not os.path.exists(os.path.join(self.prefix, "system.reg")):
            self.wine(["wineboot", "-i"], timeout=180)
            self.wait_server()
        self.configure()

    def configure(self):
        reg = ["REGEDIT4", "", r"[HKEY_CURRENT_USER\Control Panel\Colors]"]
        reg += [f'"{k}"="{v}"' for k, v in CLASSIC_COLOURS.items()]
        reg += ["", r"[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\ThemeManager]",
                '"ThemeActive"="0"',
                # No window manager here: Wine draws the frames itself and
                # does not wait for one to answer.
                "", r"[HKEY_CURRENT_USER\Software\Wine\X11 Driver]",
                '"Decorated"="N"', '"Managed"="N"', ""]
        reg_file = os.path.join(self.work, "classic.reg")
        with open(reg_file, "w") as f:
            f.write("\r\n".join(reg))
        self.wine(["regedit", "/S", windows_path(reg_file)])
        # Wine's own fonts (MS Sans Serif, Tahoma, Marlett for the caption
        # buttons), where the fonts-wine package put them.
        fonts = os.path.join(self.prefix, "drive_c", "windows", "Fonts")
        for name in ("marlett.ttf", "tahoma.ttf", "tahomabd.ttf"):
            source = os.path.join("/usr/share/wine/fonts", name)
            if os.path.exists(source):
                shutil.copy(source, fonts)
        self.wait_server()

    def set_dpi(self, dpi):
        self.wine(["reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t",
                   "REG_DWORD", "/d", str(dpi), "/f"])
        self.stop_server()  # the next program starts a server that reads it
        self.dpi = dpi

    def stop(self):
        self.stop_server()
        if self.xvfb:
            self.xvfb.terminate()
            self.xvfb.wait(10)

    def stop_server(self):
        if self.env:
            subprocess.run([self.server, "-k"], env=self.env, stderr=subprocess.DEVNULL)
            self.wait_server()

    def wait_server(self):
        subprocess.run([self.server, "-w"], env=self.env, timeout=60)

    # --- Wine, the program and the probe

    def wine(self, args, timeout=60, **kw):
        return subprocess.run([ARGS.wine] + args, env=self.env, timeout=timeout,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, **kw)

    def probe(self, *args):
        out = self.wine([ARGS.probe, *args], timeout=30).stdout.decode()
        return json.loads(out.strip() or "null")

    def windows_version(self):
        return self.wine(["cmd", "/c", "ver"]).stdout.decode().strip()

    # --- the screen

    def xdotool(self, *args):
        subprocess.run(["xdotool"] + [str(a) for a in args], env=self.env, check=True)

    def screenshot(self, name):
        path = os.path.join(self.shots, name)
        subprocess.run(["import", "-window", "root", path], env=self.env, check=True)
        return path

    def pixel(self, shot, x, y):
        out = subprocess.run(["convert", shot, "-format", f"%[pixel:p{{{x},{y}}}]", "info:"],
                             stdout=subprocess.PIPE, check=True).stdout.decode()
        # srgb(r,g,b) or a colour name
        out = subprocess.run(["convert", "xc:" + out, "-format",
                              "%[fx:int(255*r+.5)],%[fx:int(255*g+.5)],%[fx:int(255*b+.5)]",
                              "info:"], stdout=subprocess.PIPE, check=True).stdout.decode()
        return tuple(int(v) for v in out.split(","))


class Program:
    """One run of prekidnik.exe beside the stand-in rasapi32.dll."""

    def __init__(self, screen, connections="", closing_ms=0, clock_file=None):
        self.screen = screen
        self.log = os.path.join(screen.work, f"ras-{time.monotonic_ns()}.log")
        env = dict(screen.env,
                   WINEDLLOVERRIDES="rasapi32=n;mscoree,mshtml=",
                   PREKIDNIK_FAKE_RAS_CONNECTIONS=connections,
                   PREKIDNIK_FAKE_RAS_CLOSING_MS=str(closing_ms),
                   PREKIDNIK_FAKE_RAS_LOG=windows_path(self.log))
        if clock_file:
            env["PREKIDNIK_FAKE_CLOCK_FILE"] = windows_path(clock_file)
        self.started = time.monotonic()
        self.process = subprocess.Popen([ARGS.wine, "prekidnik.exe"], cwd=screen.run_dir,
                                        env=env, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        # Shown, with its controls (not a window of a program just ended).
        self.main = self.wait_for("Prekidnik", lambda w: w["visible"] and any(
            c["class"].lower() == "edit" for c in w["children"]))
        self.start_seconds = time.monotonic() - self.started

    def wait_for(self, title, condition, timeout=20):
        deadline = time.monotonic() + timeout
        while True:
            w = self.screen.probe(title)
            if w is not None and condition(w):
                return w
            if time.monotonic() > deadline:
                raise AssertionError(f"window {title!r} not as expected: {w}")
            time.sleep(0.2)

    def ended(self, timeout=15):
        try:
            self.process.wait(timeout)
            return True
        except subprocess.TimeoutExpired:
            return False

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()

    def log_lines(self):
        if not os.path.exists(self.log):
            return []
        with open(self.log) as f:
            return [line.split(" ", 1) for line in f.read().splitlines()]

    def calls(self):
        """The logged calls without their times."""
        return [call for _, call in self.log_lines()]

    def wait_log(self, condition, timeout=10):
        deadline = time.monotonic() + timeout
        while not condition(self.calls()):
            if time.monotonic() > deadline:
                raise AssertionError(f"log not as expected: {self.calls()}")
            time.sleep(0.1)


def child(window, text):
    return next(c for c in window["children"] if c["text"] == text)


def focused(window):
    return next((c["text"] for c in window["children"] if c["focus"]), None)


def size(rect):
    return rect[2] - rect[0], rect[3] - rect[1]


class ProgramTest(unittest.TestCase):
    dpi = 96

    @classmethod
    def setUpClass(cls):
        if SCREEN.dpi != cls.dpi:
            SCREEN.set_dpi(cls.dpi)

    def setUp(self):
        self.programs = []

    def tearDown(self):
        for p in self.programs:
            p.kill()

    def start(self, **kw):
        p = Program(SCREEN, **kw)
        self.programs.append(p)
        print(f"  started in {p.start_seconds:.2f} s (Wine, {self.dpi} dpi)", file=sys.stderr)
        return p

    def check_main_window(self, p, shot_name):
        d = self.dpi
        w = p.main
        left, top = pixels(MAIN_LEFT, d), pixels(MAIN_TOP, d)
        width, height = pixels(MAIN_WIDTH, d), pixels(MAIN_HEIGHT, d)
        self.assertEqual(w["client"], [left, top, left + width, top + height])
        self.assertEqual(w["window"], w["client"])  # no frame, no title bar
        self.assertTrue(w["style"] & WS_POPUP)
        self.assertFalse(w["style"] & WS_CAPTION)
        shot = SCREEN.screenshot(shot_name)
        # The ellipse: the screen shows through the corners, not the middle.
        for x, y in ((3, 3), (width - 4, 3), (3, height - 4), (width - 4, height - 4)):
            self.assertEqual(SCREEN.pixel(shot, left + x, top + y), GREEN, (x, y))
        bare = (left + width * 60 // 587, top + height * 179 // 335)
        self.assertEqual(SCREEN.pixel(shot, *bare), ACTIVE_BORDER)
        return w

    def bare_point(self, w):
        """A point of the window's own surface, clear of every control."""
        left, top, right, bottom = w["client"]
        return left + (right - left) * 60 // 587, top + (bottom - top) * 179 // 335


class At96Dpi(ProgramTest):
    dpi = 96

    def test_main_window_is_the_ellipse_with_the_focus_on_exit(self):
        p = self.start()
        w = self.check_main_window(p, "main-96.png")
        self.assertEqual(focused(w), "I&zlaz!")

    def test_space_on_exit_at_start_ends_the_program(self):
        p = self.start(connections="7:Modem")
        SCREEN.xdotool("key", "space")
        self.assertTrue(p.ended())
        self.assertNotIn("hangup", " ".join(p.calls()))

    def test_about_window_opens_with_alt_o_and_space_on_ok_hides_it(self):
        p = self.start()
        SCREEN.xdotool("key", "alt+o")
        about = p.wait_for("O Autoru", lambda w: w["visible"] and focused(w) == "OK!")
        self.assertEqual(size(about["client"]), (pixels(ABOUT_WIDTH, self.dpi),
                                                 pixels(ABOUT_HEIGHT, self.dpi)))
        self.assertEqual(about["style"] & WS_CAPTION, WS_CAPTION)
        self.assertFalse(about["style"] & WS_THICKFRAME)
        SCREEN.screenshot(f"about-{self.dpi}.png")
        SCREEN.xdotool("key", "space")
        p.wait_for("O Autoru", lambda w: not w["visible"])
        self.assertTrue(p.screen.probe("Prekidnik")["visible"])
        self.assertIsNone(p.process.poll())  # a hidden window keeps the program

    def test_dragging_the_bare_surface_moves_the_window_and_a_label_does_not(self):
        p = self.start()
        x, y = self.bare_point(p.main)
        SCREEN.xdotool("mousemove", x, y, "mousedown", "1")
        for step in range(1, 7):
            SCREEN.xdotool("mousemove", x + 10 * step, y + 5 * step)
            time.sleep(0.05)
        SCREEN.xdotool("mouseup", "1")
        moved = p.wait_for("Prekidnik", lambda w: w["window"] != p.main["window"])
        self.assertEqual([a - b for a, b in zip(moved["window"], p.main["window"])],
                         [60, 30, 60, 30])
        label = child(moved, "Ispod unesite tacno vreme kad hocete da prekidnikujete racunar "
                             "sa Interneta")
        lx, ly = (label["rect"][0] + label["rect"][2]) // 2, (label["rect"][1] + label["rect"][3]) // 2
        SCREEN.xdotool("mousemove", lx, ly, "mousedown", "1")
        for step in range(1, 7):
            SCREEN.xdotool("mousemove", lx + 10 * step, ly + 5 * step)
            time.sleep(0.05)
        SCREEN.xdotool("mouseup", "1")
        time.sleep(0.5)
        self.assertEqual(SCREEN.probe("Prekidnik")["window"], moved["window"])

    def test_clock_and_schedule_keep_running_while_the_window_is_dragged(self):
        p = self.start(connections="7:Modem")
        box = next(c for c in p.main["children"] if c["class"].lower() == "edit")
        at = time.localtime(time.time() + 5)
        target = time.strftime("%H:%M:%S", at)
        SCREEN.xdotool("mousemove", (box["rect"][0] + box["rect"][2]) // 2,
                       (box["rect"][1] + box["rect"][3]) // 2, "click", "1")
        SCREEN.xdotool("type", "--delay", "20", target)
        x, y = self.bare_point(p.main)
        SCREEN.xdotool("mousemove", x, y, "mousedown", "1")
        try:
            SCREEN.xdotool("mousemove", x + 20, y + 10)
            clocks = []
            hung_up_at = None
            deadline = time.monotonic() + 9
            while time.monotonic() < deadline:
                w = SCREEN.probe("Prekidnik")
                clocks.append(next(c["text"] for c in w["children"]
                                   if c["class"].lower() == "static" and ":" in c["text"]))
                if hung_up_at is None and "hangup 7 -> 0" in p.calls():
                    hung_up_at = len(clocks)
                # The probe reads the clock a moment after the log shows the
                # hang-up: go on until it has seen the typed time too.
                if hung_up_at is not None and target in clocks and len(set(clocks)) >= 3:
                    break
                time.sleep(0.3)
            # Still in the system's move loop: the button has not been let go.
            self.assertIsNotNone(hung_up_at, "no hang-up at the typed time " + target)
            self.assertGreaterEqual(len(set(clocks)), 3, clocks)
            self.assertIn(target, clocks)
        finally:
            SCREEN.xdotool("mouseup", "1")
        self.assertNotEqual(SCREEN.probe("Prekidnik")["window"], p.main["window"])

    def test_alt_p_hangs_up_the_named_connections_in_order(self):
        # A handle above 2^31 comes back whole, as 32 bits on the 32-bit build.
        p = self.start(connections="7:Modem;3:;4000000009:Druga linija;4:")
        SCREEN.xdotool("key", "alt+p")
        p.wait_log(lambda calls: sum("hangup" in c for c in calls) >= 2)
        time.sleep(0.3)
        calls = p.calls()
        enum = calls[0].split()
        self.assertEqual(enum[0], "enum")
        fields = dict(f.split("=") for f in enum[1:4])
        self.assertEqual(int(fields["bytes"]), 256 * int(fields["size"]))
        if ARGS.bits == 4:  # the 412-byte record of 32-bit Windows
            self.assertEqual((fields["size"], fields["bytes"]), ("412", "105472"))
        self.assertEqual(fields["count"], "0")
        self.assertTrue(calls[0].endswith("-> 0 listed=4"), calls[0])
        self.assertEqual([c for c in calls if c.startswith("hangup")],
                         ["hangup 7 -> 0", "hangup 4000000009 -> 0"])

    def test_exit_right_after_a_hang_up_waits_until_the_connection_is_gone(self):
        p = self.start(connections="5:Modem", closing_ms=1500)
        SCREEN.xdotool("key", "alt+p", "alt+z")
        self.assertTrue(p.ended())
        log = p.log_lines()
        calls = [c for _, c in log]
        times = {c: int(t) for t, c in log}
        statuses = [c for c in calls if c.startswith("status")]
        self.assertIn("hangup 5 -> 0", calls)
        self.assertGreaterEqual(statuses.count("status 5 -> 0"), 2)  # asked while closing
        self.assertEqual(statuses[-1], "status 5 -> 6")  # and once gone
        self.assertEqual(calls[-1], "detach")  # the program ended after that
        waited = times["detach"] - times["hangup 5 -> 0"]
        self.assertGreaterEqual(waited, 1400)
        print(f"  waited {waited} ms for a connection closing in 1500 ms", file=sys.stderr)

    def test_exit_after_a_hang_up_waits_three_seconds_at_most(self):
        p = self.start(connections="5:Modem", closing_ms=30000)
        x, y = self.bare_point(p.main)
        SCREEN.xdotool("key", "alt+p", "alt+z")
        # The window leaves the screen at once; the program waits unseen.
        time.sleep(0.5)
        self.assertIsNone(p.process.poll())
        self.assertEqual(SCREEN.pixel(SCREEN.screenshot("exit-waiting.png"), x, y), GREEN)
        self.assertTrue(p.ended())
        log = p.log_lines()
        calls = [c for _, c in log]
        times = {c: int(t) for t, c in log}
        self.assertNotIn("status 5 -> 6", calls)
        self.assertEqual(calls[-1], "detach")
        waited = times["detach"] - times["hangup 5 -> 0"]
        self.assertGreaterEqual(waited, 2800)
        self.assertLess(waited, 10000)
        print(f"  waited {waited} ms for a connection that stays", file=sys.stderr)


class TimeOfDayChangesUnderTheProgram(ProgramTest):
    """The stand-in rasapi32.dll moves the program's GetLocalTime by an offset
    it reads from a file, and the probe sends WM_TIMECHANGE as Windows does
    once the clock is set. Not reached: the system clock itself and Windows'
    own broadcast of the message."""
    dpi = 96

    def test_a_step_of_an_hour_shows_at_once_and_reaches_the_typed_time(self):
        clock = os.path.join(SCREEN.work, "clock-offset.txt")
        with open(clock, "w") as f:
            f.write("0")
        p = self.start(connections="7:Modem", clock_file=clock)
        box = next(c for c in p.main["children"] if c["class"].lower() == "edit")
        # Reached only through the step: an hour and two seconds from now.
        target = time.strftime("%H:%M:%S", time.localtime(time.time() + 3602))
        SCREEN.xdotool("mousemove", (box["rect"][0] + box["rect"][2]) // 2,
                       (box["rect"][1] + box["rect"][3]) // 2, "click", "1")
        SCREEN.xdotool("type", "--delay", "20", target)
        with open(clock, "w") as f:
            f.write(str(3600 * 1000))
        self.assertEqual(SCREEN.probe("--time-changed", "Prekidnik"), "sent")
        w = SCREEN.probe("Prekidnik")
        shown = next(c["text"] for c in w["children"]
                     if c["class"].lower() == "static" and c["text"].count(":") == 2)
        ahead = time.strftime("%H", time.localtime(time.time() + 3600))
        self.assertEqual(shown[:2], ahead, shown)
        p.wait_log(lambda calls: "hangup 7 -> 0" in calls, timeout=8)


class WindowsXp(ProgramTest):
    """Wine reporting Windows XP (5.1; XP x64, 5.2, for the 64-bit build):
    the program starts, shows its ellipse and hangs up. Wine still offers
    later functions there, so this run is no proof that XP has every
    function the program imports: the import allowlist (imports.py) is."""
    dpi = 96

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        SCREEN.wine(["winecfg", "-v", "winxp" if ARGS.bits == 4 else "winxp64"])
        SCREEN.stop_server()

    @classmethod
    def tearDownClass(cls):
        SCREEN.wine(["reg", "delete", r"HKCU\Software\Wine", "/v", "Version", "/f"])
        SCREEN.stop_server()

    def test_starts_shows_the_ellipse_and_disconnects(self):
        self.assertIn("5.1.2600" if ARGS.bits == 4 else "5.2.3790", SCREEN.windows_version())
        p = self.start(connections="7:Modem")
        self.check_main_window(p, "main-winxp.png")
        SCREEN.xdotool("key", "alt+p")
        p.wait_log(lambda calls: "hangup 7 -> 0" in calls)


class At120Dpi(ProgramTest):
    dpi = 120

    def test_windows_are_laid_out_for_120_dpi(self):
        p = self.start()
        self.check_main_window(p, "main-120.png")
        SCREEN.xdotool("key", "alt+o")
        about = p.wait_for("O Autoru", lambda w: w["visible"])
        self.assertEqual(size(about["client"]), (pixels(ABOUT_WIDTH, 120),
                                                 pixels(ABOUT_HEIGHT, 120)))
        SCREEN.screenshot("about-120.png")


def main():
    global ARGS, SCREEN
    parser = argparse.ArgumentParser()
    for name in ("--wine", "--exe", "--fake-rasapi32", "--probe", "--work"):
        parser.add_argument(name, required=True)
    parser.add_argument("--bits", type=int, choices=(4, 8), required=True)
    ARGS, rest = parser.parse_known_args()
    os.makedirs(ARGS.work, exist_ok=True)
    SCREEN = Screen(os.path.abspath(ARGS.work))
    try:
        SCREEN.start()
        result = unittest.main(argv=[sys.argv[0]] + rest, verbosity=2, exit=False).result
    finally:
        SCREEN.stop()
    print(f"Screenshots: {SCREEN.shots}")
    sys.exit(0 if result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
