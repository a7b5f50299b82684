"""End-to-end tests of the Linux program: the cases of every platform
(cases.py) and those of Linux alone, each with a display, a bus and a mock
NetworkManager of its own.

The program comes from $PREKIDNIK_APP (CTest sets it), else the linux build.
With $PREKIDNIK_E2E_SHOTS naming a folder, screenshots are copied there."""

import difflib
import fcntl
import os
import re
import shutil
import socket
import struct
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import cases  # noqa: E402
import design  # noqa: E402
import harness  # noqa: E402
from harness import clock_text, wait_for  # noqa: E402

APP = os.environ.get("PREKIDNIK_APP") or os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "..", "build", "linux", "prekidnik")


class LinuxCase(unittest.TestCase):
    window_manager = False

    def session(self, **kw):
        s = harness.LinuxSession(APP, window_manager=self.window_manager, **kw)
        self.addCleanup(s.close)
        return s


class Everywhere(cases.Scaled, cases.Behaviour, LinuxCase):
    pass


class Everywhere120(cases.Scaled, LinuxCase):
    dpi = 120  # Xft.dpi: Qt draws everything 1.25 times as large


def ipv4_addresses():
    """This machine's IPv4 addresses, one per interface, as the kernel tells."""
    found = set()
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        for _, name in socket.if_nameindex():
            try:
                answer = fcntl.ioctl(s.fileno(), 0x8915,  # SIOCGIFADDR
                                     struct.pack("256s", name.encode()[:15]))
            except OSError:
                continue  # no IPv4 address on this one
            found.add(socket.inet_ntoa(answer[20:24]))
    return found


def read_or_skip(test, *args, **kw):
    text = test.s.read_text(*args, **kw)
    if text is None:
        test.skipTest("tesseract is not installed: text on the screen is not read")
    return text


def clock_reads(test, path, allowed_seconds, zone_offset=None):
    """Asserts the clock in screenshot `path` shows one of the seconds allowed,
    in local time or at `zone_offset` seconds from UTC."""
    box = test.s.control_box("lblTime")
    # Read at two sizes, as a digit of this font is now and then misread at
    # one; a wrong clock cannot read right at either.
    texts = [read_or_skip(test, path, box, "0123456789:", zoom=z) for z in (1.5, 2)]
    allowed = {time.strftime("%H:%M:%S", time.gmtime(t + zone_offset)) if zone_offset is not None
               else harness.clock_text(t) for t in allowed_seconds}
    test.assertTrue(allowed & set(texts), f"read {texts}, expected one of {allowed}")


class Look(cases.Case, LinuxCase):
    """The captions and the clock, read with tesseract."""

    def test_clock_runs_and_captions_sit_in_their_places(self):
        s = self.s
        s.start_app()
        shots = []
        for name in ("clock-1.png", "clock-2.png"):
            before = time.time()
            shots.append((s.screenshot(name), before, time.time()))
            time.sleep(1.2)
        clock = s.control_box("lblTime")
        self.assertGreater(s.differing_pixels(shots[0][0], shots[1][0], clock), 0,
                           "the clock looks the same a second later")
        for path, before, after in shots:
            clock_reads(self, path, range(int(before) - 1, int(after) + 2))
        wrong = {}
        for control in ("Prekidnikuj!", "Minimizuj!", "IP Adresa", "O autoru", "Izlaz!",
                        "Label2"):
            caption = {"Label2": "IP adresa"}.get(control, control)
            x, y, w, h = s.control_box(control)
            text = read_or_skip(self, shots[0][0], (x + 3, y + 3, w - 6, h - 6))
            if difflib.SequenceMatcher(None, caption, text).ratio() < 0.8:
                wrong[caption] = text
        self.assertEqual(wrong, {}, "what is read where each caption belongs")
        # The clock's digits: 32 pixels tall at 96 dpi.
        ink = subprocess.run(
            ["convert", f"{shots[0][0]}[{clock[2]}x{clock[3]}+{clock[0]}+{clock[1]}]", "+repage",
             "-colorspace", "Gray", "-threshold", "50%", "-negate", "-trim", "-format", "%h",
             "info:"], capture_output=True, text=True, check=True).stdout
        self.assertAlmostEqual(int(ink), 32 * self.dpi / 96, delta=4)


class Look120(Look):
    dpi = 120


class ButtonsAndKeys(cases.Case, LinuxCase):

    def test_disconnect_with_nothing_active_changes_nothing_on_screen(self):
        s = self.s
        s.start_app()
        windows = s.windows(".*")
        time.sleep(0.5)
        before = s.screenshot("before-disconnect.png")
        listed = len(s.listing_times())
        s.key("alt+p")
        self.assertTrue(wait_for(lambda: len(s.listing_times()) > listed, 10),
                        "the program did not look for connections")
        time.sleep(0.5)
        after = s.screenshot("after-disconnect.png")
        for control in ("Label2", "Label1", "Text1"):
            self.assertEqual(s.differing_pixels(before, after, s.control_box(control)), 0,
                             control)
        self.assertEqual(s.windows(".*"), windows, "a window appeared or went")

    def test_ip_address_button_shows_this_computers_address(self):
        s = self.s
        s.start_app()
        before = s.screenshot("before-ip.png")
        s.press("IP Adresa")
        label = s.control_box("Label2")
        wait_for(lambda: s.differing_pixels(before, s.screenshot("poll.png"), label) > 0, 10)
        time.sleep(0.3)
        text = read_or_skip(self, s.screenshot("after-ip.png"), label, "0123456789.")
        self.assertRegex(text, r"^\d{1,3}(\.\d{1,3}){3}$")
        addresses = ipv4_addresses()
        self.assertIn(text, addresses | {"127.0.0.1"})
        if addresses - {"127.0.0.1"}:
            self.assertNotEqual(text, "127.0.0.1", "the loopback address, on a networked machine")

    def test_clicks_outside_the_ellipse_reach_the_window_behind(self):
        s = self.s
        log = os.path.join(s.dir, "xev.log")
        with open(log, "w") as out:
            s.procs.append(subprocess.Popen(
                ["stdbuf", "-oL", "xev", "-geometry", "700x450+100+100", "-name", "behind",
                 "-event", "button"], env=s.env, stdout=out, stderr=subprocess.DEVNULL,
                start_new_session=True))
        wait_for(lambda: subprocess.run(["xdotool", "search", "--onlyvisible", "--name",
                                         "^behind$"], env=s.env,
                                        capture_output=True).returncode == 0, 10)
        s.start_app()

        def presses():
            with open(log) as f:
                return re.findall(r"ButtonPress.*\n.*root:\((\d+),(\d+)\)", f.read())
        _, outside = design.ellipse_samples(96)
        for x, y in (outside[0], outside[-1], outside[-3]):
            with self.subTest(point=(x, y)):
                x, y = s.main_rect()[0] + x, s.main_rect()[1] + y
                s.click(x, y)
                self.assertTrue(wait_for(lambda: (str(x), str(y)) in presses(), 5),
                                "the click did not reach the window behind")
        count = len(presses())
        s.click(*s.at(design.BARE))
        time.sleep(0.5)
        self.assertEqual(len(presses()), count, "a click inside the ellipse went through")


class WithOpenbox(cases.Case, LinuxCase):
    """A window manager: a system move, minimising, closing by alt+F4."""
    window_manager = True

    def open_about(self):
        s = self.s
        s.key("alt+o")
        about = wait_for(lambda: s.find_window("^O Autoru$"), 10)
        self.assertTrue(about, "the About window did not appear")
        wait_for(lambda: s.active_window() == about, 5)
        return about

    def test_frameless_main_window_drags_with_any_button(self):
        s = self.s
        s.start_app()
        self.assertTrue(wait_for(lambda: "= 0, 0, 0, 0" in s.xprop(
            "-id", s.window, "_NET_FRAME_EXTENTS"), 5), "the main window has a frame")
        for button in (1, 2, 3):
            with self.subTest(button=button):
                x, y = s.main_rect()[:2]
                start = s.at(design.BARE)
                s.drag(start, (start[0] + 100, start[1] + 60), button)
                self.assertTrue(wait_for(lambda: s.main_rect()[:2] == (x + 100, y + 60), 5),
                                f"from {(x, y)} to {s.main_rect()}")

    def test_minimise_hides_and_the_schedule_keeps_running(self):
        s = self.s
        s.start_app(["Mobilni"], keep=True)
        target = self.schedule(lead=5.0)
        s.press("Minimizuj!")
        hidden = lambda: ("_NET_WM_STATE_HIDDEN" in s.xprop("-id", s.window, "_NET_WM_STATE")
                          or s.geometry(s.window)["map"] != "IsViewable")  # noqa: E731
        self.assertTrue(wait_for(hidden, 10), "not minimised")
        self.assertLess(time.time(), target, "minimising took past the scheduled second")
        self.assertEqual(s.hung_up(), [])
        wait_for(lambda: time.time() > target + 2, 10)
        self.assertTrue(hidden(), "the window came back by itself")
        times = s.deactivation_times()
        self.assertTrue(times, "no hang-up while minimised")
        self.assertGreaterEqual(times[0], target - 0.01)
        self.assertLess(times[-1], target + 1.5)

    def test_about_is_fixed_framed_and_reopens_where_it_was_left(self):
        s = self.s
        s.start_app()
        about = self.open_about()
        hints = s.xprop("-id", about, "WM_NORMAL_HINTS")
        size = "{} by {}".format(*design.box((0, 0, *design.ABOUT_SIZE), 96)[2:])
        self.assertIn("minimum size: " + size, hints)
        self.assertIn("maximum size: " + size, hints)
        self.assertNotIn("= 0, 0, 0, 0", s.xprop("-id", about, "_NET_FRAME_EXTENTS"),
                         "the About window should have a frame")
        first = s.geometry(about)
        # Move it by its title bar, above the client area.
        s.drag((first["x"] + 120, first["y"] - 8), (first["x"] + 20, first["y"] - 108))
        self.assertTrue(wait_for(lambda: s.geometry(about)["x"] == first["x"] - 100, 5))
        moved = s.geometry(about)
        s.key("space", "about")
        self.assertTrue(wait_for(lambda: s.active_window() == s.window, 5),
                        "the main window was not brought forward")
        self.assertEqual(self.open_about(), about, "a new window instead of the same one")
        self.assertEqual(s.geometry(about), moved)
        s.key("alt+o", "main")
        time.sleep(0.5)
        self.assertEqual(s.windows("^O Autoru$"), [about], "a second alt+o made another")

    def test_closing_the_main_window_ends_the_program_unless_about_is_shown(self):
        s = self.s
        s.start_app()
        self.open_about()
        s.key("alt+F4", "main")  # openbox closes it
        self.assertTrue(wait_for(lambda: s.geometry(s.window)["map"] != "IsViewable", 5))
        self.assertIsNone(s.app_proc.poll())
        s.key("space", "about")  # OK loads the main window again
        self.assertTrue(wait_for(lambda: s.find_window("^Prekidnik$"), 5))
        self.assertIsNone(s.app_proc.poll())
        s.window = s.find_window("^Prekidnik$")
        wait_for(lambda: s.active_window() == s.window, 5)
        s.key("alt+F4", "main")
        self.assert_ends_with_status_0()



# --------------------------------------------------------------- time changes

SHIM = os.environ.get("PREKIDNIK_TIMESHIFT_LIB", "")
NS = 1_000_000_000
TOKYO = 9 * 3600  # UTC+9, without daylight saving


def text_at(seconds, zone_offset=0):
    """The clock text of an instant (seconds since the epoch) in a zone."""
    return time.strftime("%H:%M:%S", time.gmtime(int(seconds) + zone_offset))


class TimeChanges(LinuxCase):
    """The program's time of day stepped forward and back, and its zone
    replaced, while a time is typed in. A shim preloaded into it
    (tests/shims/timeshift.c, $PREKIDNIK_TIMESHIFT_LIB) moves its
    CLOCK_REALTIME by an offset set here and tells it of each step as the
    kernel does (a cancelled timerfd); its zone is a file named by $TZ and
    replaced during the run. The machine's clock and zone are never touched."""

    def setUp(self):
        if not os.path.exists(SHIM):
            self.skipTest(f"{SHIM} is not built")
        self.s = self.session()
        self.control = os.path.join(self.s.dir, "offset")
        self.zone = os.path.join(self.s.dir, "zone")
        self.offset = 0
        self.set_offset(0)
        self.use_zone("UTC")
        self.addCleanup(self.s.stop_app)
        self.s.start_app(["Mobilni"], keep=True, extra_env={
            "LD_PRELOAD": SHIM, "PREKIDNIK_TIMESHIFT": self.control, "TZ": self.zone})

    def set_offset(self, ns):
        """Moves the program's time of day to the system's plus `ns`."""
        path = self.control + ".new"
        with open(path, "w") as f:
            f.write(str(ns))
        os.replace(path, self.control)
        self.offset = ns

    def use_zone(self, name):
        """Replaces the zone file, as `timedatectl set-timezone` replaces its link."""
        shutil.copy(os.path.join("/usr/share/zoneinfo", name), self.zone + ".new")
        os.replace(self.zone + ".new", self.zone)

    def program_now(self):
        return time.time() + self.offset / NS

    def step_to(self, seconds):
        """Steps the program's time of day to the instant `seconds`."""
        self.set_offset(round((seconds - time.time()) * NS))

    def hang_ups_between(self, start, end):
        """Hang-up requests made while the program's time of day was in
        [start, end)."""
        return [t for t in self.s.deactivation_times()
                if start <= t + self.offset / NS < end]

    def assert_clock_reads(self, allowed_seconds, zone_offset=0):
        if shutil.which("tesseract"):  # without it, the hang-ups alone tell
            clock_reads(self, self.s.screenshot("clock.png"), allowed_seconds, zone_offset)

    def test_a_step_forward_into_the_typed_second_and_one_back_into_it(self):
        target = int(self.program_now()) + 3600 + 5  # an hour ahead
        self.s.type_into_text1(text_at(target))
        time.sleep(0.5)
        self.assertEqual(self.s.deactivated(), [], "hung up an hour early")
        self.step_to(target - 0.5)
        wait_for(lambda: self.program_now() > target + 1.3, 5)
        self.assertTrue(self.hang_ups_between(target, target + 1),
                        "no hang-up in the typed second after a step forward into it")
        self.assertEqual(self.hang_ups_between(0, target), [], "hung up before the typed second")
        self.assert_clock_reads(range(target + 1, target + 3))

        before = len(self.s.deactivation_times())
        self.step_to(target + 0.2)  # back into the typed second
        wait_for(lambda: self.program_now() > target + 1.3, 5)
        self.assertGreater(len(self.s.deactivation_times()), before,
                           "no hang-up after a step back into the typed second")

    def test_a_step_over_the_typed_second_skips_it(self):
        target = int(self.program_now()) + 3600
        self.s.type_into_text1(text_at(target))
        self.step_to(target + 0.5 - 1)  # half a second before it...
        self.step_to(target + 1.5)  # ...and over it before it came
        time.sleep(1.0)
        self.assertEqual(self.s.deactivated(), [], "hung up for a second stepped over")
        self.assert_clock_reads(range(target + 1, target + 4))

    def test_a_new_zone_shows_without_a_restart(self):
        target = int(self.program_now()) + 4
        self.s.type_into_text1(text_at(target, TOKYO))  # Tokyo's time, not UTC's
        self.use_zone("Asia/Tokyo")
        wait_for(lambda: self.program_now() > target + 1.3, 10)
        self.assertTrue(self.hang_ups_between(target, target + 1),
                        "the typed second in the new zone did not hang up")
        self.assert_clock_reads(range(target + 1, target + 4), TOKYO)



# --------------------------------------------------------------- hostile input

OWNER = os.environ.get("PREKIDNIK_CLIPBOARD_OWNER", "")


class HostileInput(LinuxCase):
    """Hostile text pasted into the box: a megabyte, control, right-to-left
    and combining characters, bytes that are not UTF-8. The clipboard is held
    by a program of the tests' own ($PREKIDNIK_CLIPBOARD_OWNER), which offers
    a file's bytes as they are."""

    @classmethod
    def setUpClass(cls):
        if not os.access(OWNER, os.X_OK):
            raise unittest.SkipTest("no clipboard owner program ($PREKIDNIK_CLIPBOARD_OWNER)")
        cls.s = harness.LinuxSession(APP)
        cls.addClassCleanup(cls.s.close)
        cls.s.start_app(["Mobilni"], keep=True)  # every hang-up request shows in the log

    def paste(self, data):
        """Replaces the box's text with `data` (bytes) through the clipboard."""
        path = os.path.join(self.s.dir, "clipboard")
        with open(path, "wb") as f:
            f.write(data)
        owner = subprocess.Popen([OWNER, path], env=self.s.env, stdout=subprocess.PIPE,
                                 stderr=subprocess.DEVNULL)
        try:
            self.assertEqual(owner.stdout.readline().strip(), b"ready")
            self.s.press("Text1")
            self.s.key("ctrl+a BackSpace ctrl+v")
            time.sleep(0.3)  # the paste is an exchange with the owner
        finally:
            owner.kill()
            owner.wait()
            owner.stdout.close()

    def assert_alive(self):
        self.assertIsNone(self.s.app_proc.poll(), "the program ended")

    def test_texts_that_only_look_like_the_time_never_match(self):
        spellings = {
            "a combining acute accent after": lambda t: clock_text(t).encode() + "\u0301".encode(),
            "a right-to-left mark before": lambda t: "\u200f".encode() + clock_text(t).encode(),
            "right-to-left override around": lambda t: ("\u202e" + clock_text(t) + "\u202c")
            .encode(),
            "a control character inside": lambda t: clock_text(t)[:2].encode() + b"\x07"
            + clock_text(t)[2:].encode(),
            "an invalid UTF-8 byte after": lambda t: clock_text(t).encode() + b"\xff",
            "a cut-off UTF-8 sequence after": lambda t: clock_text(t).encode() + b"\xe2\x80",
            "full-width colons": lambda t: clock_text(t).replace(":", "\uff1a").encode(),
        }
        for name, spelling in spellings.items():
            with self.subTest(name):
                before = len(self.s.deactivated())
                target = int(time.time() + 1.5) + 1
                self.paste(spelling(target))
                self.assertLess(time.time(), target - 0.1, "the paste took too long")
                wait_for(lambda: time.time() > target + 1.3, 10)
                self.assertEqual(len(self.s.deactivated()), before, f"{name} hung up")
                self.assert_alive()
        # The same paste with the clock's own text does hang up.
        target = int(time.time() + 1.5) + 1
        self.paste(clock_text(target).encode())
        self.assertTrue(wait_for(lambda: self.s.deactivated(), target + 5 - time.time()),
                        "the exact text pasted did not hang up either: did the paste work?")

    def test_a_pasted_megabyte_neither_stops_the_clock_nor_grows_the_program(self):
        before = len(self.s.deactivated())
        target = int(time.time() + 1.5) + 1
        text = (clock_text(target) + "\u202e\u0301\x01\t\x7f") * ((1 << 20) // 16)
        self.paste(text.encode()[: 1 << 20] + b"\xff\xfe")
        time.sleep(2)
        self.assert_alive()
        rss_start = harness.resident_kib(self.s.app_proc.pid)
        box = self.s.control_box("lblTime")
        first = self.s.screenshot("clock-1.png")
        time.sleep(1.2)
        second = self.s.screenshot("clock-2.png")
        self.assertGreater(self.s.differing_pixels(first, second, box), 0,
                           "the clock did not turn")
        time.sleep(10)
        rss_end = harness.resident_kib(self.s.app_proc.pid)
        print(f"resident set with a megabyte pasted: {rss_start} KiB, 10 s later {rss_end} KiB")
        self.assertLess(rss_end - rss_start, 2048, "the program grew while it ticked")
        self.assertEqual(len(self.s.deactivated()), before, "a false match")
        self.assert_alive()


if __name__ == "__main__":
    unittest.main()
