"""End-to-end tests of the Linux program: the real binary on a virtual display
of its own, with a mock NetworkManager on a private bus, driven with the mouse
and the keyboard as a person would drive it.

The program comes from $PREKIDNIK_APP (CTest sets it), else the linux build.
With $PREKIDNIK_E2E_SHOTS naming a folder, the screenshots worth a look are
copied there."""

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
import harness  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
APP = os.environ.get("PREKIDNIK_APP") or os.path.join(HERE, "..", "..", "build", "linux",
                                                      "prekidnik")

GREY = "d4d0c8"  # the window's classic grey
GREEN = "00ff00"  # the desktop behind it
DESIGN_WIDTH = 587  # the main window's width, in pixels at 96 dpi

# Places in the main window, in its pixels at 96 dpi: (left, top, width, height).
LABEL2 = (54, 33, 403, 41)
CLOCK = (134, 67, 239, 67)
TEXT1 = (87, 190, 349, 25)
BUTTONS = {
    "Prekidnikuj!": (117, 221, 83, 35),
    "Minimizuj!": (210, 221, 83, 35),
    "IP Adresa": (306, 222, 83, 35),
    "O autoru": (166, 264, 83, 35),
    "Izlaz!": (258, 264, 83, 35),
}
BARE = (60, 179)  # the window's own surface: inside the ellipse, on no control
# Inside and outside the ellipse (25,23)-(483,335), a few pixels from its edge.
INSIDE = [(29, 179), (479, 179), (254, 27), (254, 331), (410, 75), BARE, (450, 179)]
OUTSIDE = [(21, 179), (487, 179), (254, 19), (424, 61), (2, 2), (584, 2), (2, 332), (584, 332),
           (540, 20), (540, 179), (580, 320)]


def centre(box):
    return (box[0] + box[2] // 2, box[1] + box[3] // 2)


def inset(box, by):
    return (box[0] + by, box[1] + by, box[2] - 2 * by, box[3] - 2 * by)


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


def clock_text(seconds):
    return time.strftime("%H:%M:%S", time.localtime(seconds))


def similar(a, b):
    return difflib.SequenceMatcher(None, a, b).ratio()


class AppTest(unittest.TestCase):
    """Helpers shared by the groups below."""

    @classmethod
    def open_session(cls, **kw):
        """A session for the whole class, closed after its last test."""
        session = harness.Session(APP, **kw)
        cls.addClassCleanup(session.close)
        return session

    def open_own_session(self, **kw):
        """A session for this test alone, closed after it, pass or fail."""
        session = harness.Session(APP, **kw)
        self.addCleanup(session.close)
        return session

    def start(self, session):
        """Starts the program in `session`, to be ended after this test."""
        self.addCleanup(session.stop_app)
        return session.start_app()

    def scale(self, session):
        return session.geometry(session.window)["width"] / DESIGN_WIDTH

    def at(self, session, point, window=None):
        """The screen position of a point given in the main window's design pixels."""
        g = session.geometry(window or session.window)
        s = g["width"] / DESIGN_WIDTH
        return (g["x"] + round(point[0] * s), g["y"] + round(point[1] * s))

    def box(self, session, box):
        """The screen rectangle of a rectangle of the main window's design."""
        x, y = self.at(session, box[:2])
        s = self.scale(session)
        return (x, y, round(box[2] * s), round(box[3] * s))

    def shot(self, session, name):
        path = session.screenshot(os.path.join(session.dir, name))
        keep = os.environ.get("PREKIDNIK_E2E_SHOTS")
        if keep:
            os.makedirs(keep, exist_ok=True)
            shutil.copy(path, os.path.join(keep, f"{type(self).__name__}-{name}"))
        return path

    def press(self, session, button_caption):
        session.click(*self.at(session, centre(BUTTONS[button_caption])))

    def type_into_text1(self, session, text):
        session.click(*self.at(session, centre(TEXT1)))
        session.key("ctrl+a BackSpace")
        if text:
            session.type_text(text)

    def schedule(self, session, lead=3.0, text=clock_text):
        """Types into the box the clock text of a second at least `lead`
        seconds ahead, whole before that second begins; returns the second."""
        for _ in range(3):
            target = int(time.time() + lead) + 1
            self.type_into_text1(session, text(target))
            if time.time() < target - 0.1:
                return target
        self.fail("typing into the box kept taking longer than the seconds it was given")

    def assert_ends_with_status_0(self, session):
        self.assertTrue(session.app_exited(10), "the program still runs")
        self.assertEqual(session.app_proc.returncode, 0)


# --------------------------------------------------------------- start-up and look

class StartUpAndLook(AppTest):
    """One program, started once, only looked at."""

    @classmethod
    def setUpClass(cls):
        cls.s = cls.open_session()
        cls.s.start_app()
        cls.addClassCleanup(cls.s.stop_app)

    def test_title_and_place(self):
        self.assertEqual(self.s.windows("^Prekidnik$", visible_only=True), [self.s.window])
        g = self.s.geometry(self.s.window)
        self.assertEqual((g["x"], g["y"], g["width"], g["height"]), (158, 132, 587, 335))

    def test_only_the_ellipse_shows(self):
        path = self.shot(self.s, "main-96dpi.png")
        wrong = {}
        for point, colour in [(p, GREY) for p in INSIDE] + [(p, GREEN) for p in OUTSIDE]:
            seen = self.s.pixel(path, *self.at(self.s, point))
            if seen != colour:
                wrong[point] = seen
        self.assertEqual(wrong, {}, "points of the window (in its pixels) of the wrong colour")

    def test_clock_shows_the_time_of_day_and_runs(self):
        readings = []
        for name in ("clock-1.png", "clock-2.png"):
            before = time.time()
            path = self.shot(self.s, name)
            after = time.time()
            readings.append((path, before, after))
            time.sleep(1.2)
        (first, _, _), (second, _, _) = readings
        box = self.box(self.s, CLOCK)
        self.assertGreater(self.s.differing_pixels(first, second, box), 0,
                           "the clock looks the same a second later")
        for path, before, after in readings:
            allowed = {clock_text(t) for t in range(int(before) - 1, int(after) + 2)}
            # Read at two sizes, as a digit of this font is now and then
            # misread at one; a wrong clock cannot read right at either.
            texts = [self.s.read_text(path, box, "0123456789:", zoom=z) for z in (1.5, 2)]
            if texts[0] is None:
                self.skipTest("tesseract is not installed: the clock's text is not read")
            self.assertTrue(allowed & set(texts), f"read {texts}, expected one of {allowed}")

    def test_captions_in_their_places(self):
        path = self.shot(self.s, "captions.png")
        expected = dict(BUTTONS)
        expected["IP adresa"] = LABEL2
        read = {}
        for caption, place in expected.items():
            text = self.s.read_text(path, self.box(self.s, inset(place, 3)))
            if text is None:
                self.skipTest("tesseract is not installed: captions are not read")
            read[caption] = text
        wrong = {c: t for c, t in read.items() if similar(c, t) < 0.8}
        self.assertEqual(wrong, {}, "what is read where each caption belongs")


# --------------------------------------------------------------- buttons and keys

class ButtonsAndKeys(AppTest):
    """Each test has a display, a bus and a NetworkManager of its own."""

    def test_space_right_after_start_ends_the_program(self):
        s = self.open_own_session()
        self.start(s)
        s.key("space")
        self.assert_ends_with_status_0(s)

    def test_alt_z_ends_the_program(self):
        s = self.open_own_session()
        self.start(s)
        s.key("alt+z")
        self.assert_ends_with_status_0(s)

    def test_tab_order_exit_box_disconnect(self):
        s = self.open_own_session()
        s.activate("gsm", "Mobilni")
        self.start(s)
        s.key("Tab")
        s.type_text("x")  # into the box, which must not end the program
        s.key("Tab space")
        self.assertTrue(harness.wait_for(lambda: s.deactivated(), 10), "no hang-up")
        self.assertIsNone(s.app_proc.poll())
        self.assertEqual(s.deactivated(), ["/org/freedesktop/NetworkManager/ActiveConnection/"
                                           "Mobilni"])

    def test_alt_p_hangs_up_the_named_dialup_connections_in_order(self):
        s = self.open_own_session()
        base = "/org/freedesktop/NetworkManager/ActiveConnection/"
        s.activate("gsm", "Mobilni")
        s.activate("802-3-ethernet", "Kabl")
        s.activate("pppoe", "DSL")
        s.activate("802-11-wireless", "Kuca")
        s.activate("gsm", "", object_name="Bezimeni")
        s.activate("vpn", "Posao")
        s.activate("bluetooth", "Telefon", settings={"bluetooth": {"type": "dun"}})
        s.activate("bluetooth", "Mreza", settings={"bluetooth": {"type": "panu"}})
        s.activate("cdma", "CDMA")
        self.start(s)
        s.key("alt+p")
        named = ["Mobilni", "DSL", "Posao", "Telefon", "CDMA"]
        harness.wait_for(lambda: len(s.deactivated()) >= len(named), 10)
        time.sleep(0.5)  # room for any request too many
        self.assertEqual(s.deactivated(), [base + n for n in named])
        self.assertEqual(s.active_connections(),
                         [base + n for n in ("Kabl", "Kuca", "Bezimeni", "Mreza")])

    def test_disconnect_with_nothing_active_changes_nothing_on_screen(self):
        s = self.open_own_session()
        self.start(s)
        windows = s.windows(".*")
        time.sleep(0.5)
        before = self.shot(s, "before-disconnect.png")
        listed = len(s.listing_times())
        s.key("alt+p")
        self.assertTrue(harness.wait_for(lambda: len(s.listing_times()) > listed, 10),
                        "the program did not look for connections")
        time.sleep(0.5)
        after = self.shot(s, "after-disconnect.png")
        for name, place in [("Label2", LABEL2), ("Label1 and the box", (80, 140, 365, 80))]:
            self.assertEqual(s.differing_pixels(before, after, self.box(s, place)), 0, name)
        self.assertEqual(s.windows(".*"), windows, "a window appeared or went")
        self.assertEqual(s.deactivated(), [])
        self.assertIsNone(s.app_proc.poll())

    def test_ip_address_button_shows_this_computers_address(self):
        s = self.open_own_session()
        self.start(s)
        before = self.shot(s, "before-ip.png")
        self.press(s, "IP Adresa")
        label = self.box(s, LABEL2)
        harness.wait_for(lambda: s.differing_pixels(before, s.screenshot(
            os.path.join(s.dir, "poll.png")), label) > 0, 10)
        time.sleep(0.3)
        after = self.shot(s, "after-ip.png")
        self.assertGreater(s.differing_pixels(before, after, label), 0, "Label2 did not change")
        text = s.read_text(after, label, "0123456789.")
        if text is None:
            self.skipTest("tesseract is not installed: the address is not read")
        self.assertRegex(text, r"^\d{1,3}(\.\d{1,3}){3}$")
        addresses = ipv4_addresses()
        self.assertIn(text, addresses | {"127.0.0.1"})
        if addresses - {"127.0.0.1"}:
            self.assertNotEqual(text, "127.0.0.1", "the loopback address, on a networked machine")


# --------------------------------------------------------------- the schedule

class Schedule(AppTest):

    def test_hangs_up_throughout_the_typed_second_and_never_after(self):
        s = self.open_own_session()
        s.activate("gsm", "Mobilni")
        s.activate("802-3-ethernet", "Kabl")
        s.activate("pppoe", "DSL")
        s.keep_connections()  # so that every tick finds them up again
        self.start(s)
        target = self.schedule(s)
        harness.wait_for(lambda: time.time() > target + 3, 10)
        times = s.deactivation_times()
        paths = [p.rsplit("/", 1)[1] for p in s.deactivated()]
        self.assertTrue(times, "no hang-up")
        self.assertGreaterEqual(times[0], target - 0.01, "hung up before the typed second")
        self.assertLess(times[0], target + 1, "no hang-up within the typed second")
        # The program reads its clock label, which turns a little after the
        # wall clock on a busy machine: allow it, but not another second.
        self.assertLess(times[-1], target + 1.5, "hang-ups went on after the typed second")
        self.assertGreaterEqual(len(times), 20, "too few hang-up requests for a whole second")
        self.assertEqual(paths, ["Mobilni", "DSL"] * (len(paths) // 2),
                         "each tick: Mobilni, then DSL, never Kabl")

    def test_other_spellings_of_the_time_never_hang_up(self):
        s = self.open_own_session()
        s.activate("gsm", "Mobilni")
        s.keep_connections()
        self.start(s)
        listed = len(s.listing_times())  # the mock's own, while connections were added
        time.sleep(1.5)  # a whole second with the box empty
        spellings = {
            "without seconds": lambda t: time.strftime("%H:%M", time.localtime(t)),
            "a space before": lambda t: " " + clock_text(t),
            "dots": lambda t: time.strftime("%H.%M.%S", time.localtime(t)),
            "12-hour": lambda t: time.strftime("%I:%M:%S %p", time.localtime(t)),
            "a space after": lambda t: clock_text(t) + " ",
        }
        for name, spelling in spellings.items():
            with self.subTest(name):
                target = self.schedule(s, lead=1.0, text=spelling)
                harness.wait_for(lambda: time.time() > target + 1.3, 10)
                self.assertEqual(s.deactivated(), [], f"{spelling(target)!r} hung up")
        self.assertEqual(len(s.listing_times()), listed, "a hang-up was asked for")
        # The same box, the same way, with the clock's own spelling does.
        target = self.schedule(s, lead=1.0)
        self.assertTrue(harness.wait_for(lambda: s.deactivated(), target + 5 - time.time()),
                        "the exact time did not hang up either: was anything typed?")


# --------------------------------------------------------------- shape and dragging

class ShapeAndDragging(AppTest):

    def drag_by(self, s, start, delta, button):
        x, y = self.at(s, start)
        s.drag((x, y), (x + delta[0], y + delta[1]), button)

    def position(self, s):
        g = s.geometry(s.window)
        return (g["x"], g["y"])

    def check_drags(self, s):
        for button in (1, 2, 3):
            with self.subTest(button=button):
                x, y = self.position(s)
                self.drag_by(s, BARE, (100, 60), button)
                moved = harness.wait_for(lambda: self.position(s) == (x + 100, y + 60), 5)
                self.assertTrue(moved, f"from {(x, y)} to {self.position(s)}")

    def test_drag_bare_surface_without_a_window_manager(self):
        s = self.open_own_session()
        self.start(s)
        self.check_drags(s)

    def test_drag_bare_surface_with_openbox(self):
        s = self.open_own_session(window_manager=True)
        self.start(s)
        self.check_drags(s)

    def test_press_on_the_clock_or_a_button_does_not_move(self):
        s = self.open_own_session()
        self.start(s)
        for name, place in [("clock", centre(CLOCK)), ("button", centre(BUTTONS["IP Adresa"]))]:
            with self.subTest(name):
                before = self.position(s)
                self.drag_by(s, place, (100, 60), 1)
                time.sleep(0.5)
                self.assertEqual(self.position(s), before)
        # and a drag from the surface still moves it, in the same session
        x, y = self.position(s)
        self.drag_by(s, BARE, (-40, -30), 1)
        self.assertTrue(harness.wait_for(lambda: self.position(s) == (x - 40, y - 30), 5))

    def test_clicks_outside_the_ellipse_reach_the_window_behind(self):
        s = self.open_own_session()
        behind = s.listen_behind(100, 100, 700, 450)
        self.start(s)
        presses = lambda: re.findall(r"ButtonPress.*\n.*root:\((\d+),(\d+)\)", behind())
        for point in [(3, 3), (540, 179), (580, 320)]:
            with self.subTest(point=point):
                x, y = self.at(s, point)
                s.click(x, y)
                self.assertTrue(harness.wait_for(lambda: (str(x), str(y)) in presses(), 5),
                                "the click did not reach the window behind")
        count = len(presses())
        s.click(*self.at(s, BARE))
        s.click(*self.at(s, (450, 179)))
        time.sleep(0.5)
        self.assertEqual(len(presses()), count, "a click inside the ellipse went through")


# --------------------------------------------------------------- with a window manager

class MinimisedWithOpenbox(AppTest):

    def test_minimise_hides_and_the_schedule_keeps_running(self):
        s = self.open_own_session(window_manager=True)
        s.activate("gsm", "Mobilni")
        s.keep_connections()
        self.start(s)
        target = self.schedule(s, lead=5.0)
        self.press(s, "Minimizuj!")
        hidden = lambda: ("_NET_WM_STATE_HIDDEN" in s.net_wm_state(s.window) or
                          s.geometry(s.window)["map"] != "IsViewable")
        self.assertTrue(harness.wait_for(hidden, 10), "not minimised")
        self.assertLess(time.time(), target, "minimising took past the scheduled second")
        self.assertEqual(s.deactivated(), [])
        harness.wait_for(lambda: time.time() > target + 2, 10)
        self.assertTrue(hidden(), "the window came back by itself")
        times = s.deactivation_times()
        self.assertTrue(times, "no hang-up while minimised")
        self.assertGreaterEqual(times[0], target - 0.01)
        self.assertLess(times[-1], target + 1.5)

    def test_main_window_has_no_frame(self):
        s = self.open_own_session(window_manager=True)
        self.start(s)
        self.assertTrue(harness.wait_for(
            lambda: "_NET_FRAME_EXTENTS" in s.xprop(s.window, "_NET_FRAME_EXTENTS"), 5))
        self.assertRegex(s.xprop(s.window, "_NET_FRAME_EXTENTS"), r"= 0, 0, 0, 0\b")


# --------------------------------------------------------------- the About window

class AboutWindow(AppTest):
    """One display with openbox; each test starts the program anew."""

    @classmethod
    def setUpClass(cls):
        cls.s = cls.open_session(window_manager=True)

    def open_about(self):
        self.s.key("alt+o")
        about = harness.wait_for(lambda: self.s.find_window("^O Autoru$"), 10)
        self.assertTrue(about, "the About window did not appear")
        harness.wait_for(lambda: self.s.active_window() == about, 5)
        return about

    def test_opens_fixed_with_focus_on_ok_and_space_hides_it(self):
        s = self.s
        main = self.start(s)
        about = self.open_about()
        g = s.geometry(about)
        self.assertEqual((g["width"], g["height"]), (252, 188))
        hints = s.xprop(about, "WM_NORMAL_HINTS")
        self.assertIn("minimum size: 252 by 188", hints)
        self.assertIn("maximum size: 252 by 188", hints)
        self.assertNotRegex(s.xprop(about, "_NET_FRAME_EXTENTS"), r"= 0, 0, 0, 0\b",
                            "the About window should have a frame")
        self.assertEqual(s.active_window(), about)
        self.shot(s, "about-96dpi.png")
        s.key("space", about)
        self.assertTrue(harness.wait_for(lambda: s.geometry(about)["map"] != "IsViewable", 5),
                        "Space did not hide it: OK! had no focus")
        self.assertTrue(harness.wait_for(lambda: s.active_window() == main, 5),
                        "the main window was not brought forward")
        self.assertIsNone(s.app_proc.poll())

    def test_text_lines(self):
        s = self.s
        self.start(s)
        about = self.open_about()
        path = self.shot(s, "about-text.png")
        g = s.geometry(about)
        text = s.read_text(path, (g["x"] + 8, g["y"] + 4, 236, 133), lines=True, zoom=4)
        if text is None:
            self.skipTest("tesseract is not installed: the text is not read")
        lines = [line for line in text.splitlines() if line.strip()]
        self.assertEqual(lines[0], "Zdravo!", "the greeting is a line of its own")
        starts = [line.split(" ")[0] for line in lines]
        for first_word in ("Ovaj", "E-mail:", "Pisite"):
            self.assertIn(first_word, starts, f"no line starts with {first_word}: {lines}")
        self.assertTrue(lines[-1].endswith("pismo!"), f"the last line is cut off: {lines}")

    def test_reopens_where_it_was_left(self):
        s = self.s
        self.start(s)
        about = self.open_about()
        first = s.geometry(about)
        # Move it by its title bar, above the client area.
        s.drag((first["x"] + 120, first["y"] - 8), (first["x"] + 20, first["y"] - 108))
        self.assertTrue(harness.wait_for(lambda: s.geometry(about)["x"] == first["x"] - 100, 5))
        moved = s.geometry(about)
        s.key("space", about)
        harness.wait_for(lambda: s.geometry(about)["map"] != "IsViewable", 5)
        self.assertEqual(self.open_about(), about, "a new window instead of the same one")
        self.assertEqual(s.geometry(about), moved)

    def test_second_alt_o_brings_the_same_window(self):
        s = self.s
        self.start(s)
        about = self.open_about()
        s.key("alt+o")
        time.sleep(0.5)
        self.assertEqual(s.windows("^O Autoru$"), [about])
        self.assertEqual(s.geometry(about)["map"], "IsViewable")

    def test_exit_with_about_open_ends_the_program(self):
        s = self.s
        self.start(s)
        self.open_about()
        self.press(s, "Izlaz!")
        self.assert_ends_with_status_0(s)

    def test_closing_the_main_window_with_about_hidden_ends_the_program(self):
        s = self.s
        main = self.start(s)
        about = self.open_about()
        s.key("space", about)
        harness.wait_for(lambda: s.active_window() == main, 5)
        s.key("alt+F4", main)  # openbox closes it
        self.assert_ends_with_status_0(s)

    def test_closing_the_main_window_with_about_shown_keeps_the_program(self):
        s = self.s
        main = self.start(s)
        about = self.open_about()
        s.key("alt+F4", main)
        self.assertTrue(harness.wait_for(lambda: s.geometry(main)["map"] != "IsViewable", 5))
        self.assertIsNone(s.app_proc.poll())
        # OK loads the main window again.
        s.key("space", about)
        self.assertTrue(harness.wait_for(lambda: s.find_window("^Prekidnik$"), 5))
        self.assertIsNone(s.app_proc.poll())


# --------------------------------------------------------------- high dpi

class HighDpi(AppTest):
    """Xft.dpi 120: Qt draws everything 1.25 times as large."""

    @classmethod
    def setUpClass(cls):
        cls.s = cls.open_session(dpi=120)

    def setUp(self):
        self.start(self.s)

    def test_size_and_place_scale(self):
        g = self.s.geometry(self.s.window)
        self.assertEqual((g["width"], g["height"]), (734, 419))
        self.assertAlmostEqual(g["x"], 158 * 1.25, delta=1)
        self.assertAlmostEqual(g["y"], 132 * 1.25, delta=1)

    def test_only_the_ellipse_shows(self):
        path = self.shot(self.s, "main-120dpi.png")
        wrong = {}
        for point, colour in [(p, GREY) for p in INSIDE] + [(p, GREEN) for p in OUTSIDE]:
            seen = self.s.pixel(path, *self.at(self.s, point))
            if seen != colour:
                wrong[point] = seen
        self.assertEqual(wrong, {}, "points of the window (in its 96-dpi pixels)")

    def test_text_grows_with_the_window(self):
        path = self.shot(self.s, "text-120dpi.png")
        for caption, place in list(BUTTONS.items()) + [("IP adresa", LABEL2)]:
            text = self.s.read_text(path, self.box(self.s, inset(place, 3)))
            if text is None:
                self.skipTest("tesseract is not installed: captions are not read")
            self.assertGreaterEqual(similar(caption, text), 0.8, f"{caption!r} read as {text!r}")
        # The clock's digits: about 32 pixels tall at 96 dpi, so about 40 here.
        self.assertAlmostEqual(self.ink_height(path, self.box(self.s, CLOCK)), 40, delta=4)

    def ink_height(self, path, box):
        out = subprocess.run(
            ["convert", f"{path}[{box[2]}x{box[3]}+{box[0]}+{box[1]}]", "+repage",
             "-colorspace", "Gray", "-threshold", "50%", "-negate", "-trim", "-format", "%h",
             "info:"], capture_output=True, text=True, check=True).stdout
        return int(out)

    def test_drag_moves_by_the_drag_distance(self):
        g = self.s.geometry(self.s.window)
        x, y = self.at(self.s, BARE)
        self.s.drag((x, y), (x + 90, y - 50), 3)
        self.assertTrue(harness.wait_for(
            lambda: self.s.geometry(self.s.window)["x"] == g["x"] + 90 and
            self.s.geometry(self.s.window)["y"] == g["y"] - 50, 5),
            f"from {g} to {self.s.geometry(self.s.window)}")

    def test_about_window_scales(self):
        self.s.key("alt+o")
        about = harness.wait_for(lambda: self.s.find_window("^O Autoru$"), 10)
        self.assertTrue(about)
        self.shot(self.s, "about-120dpi.png")
        g = self.s.geometry(about)
        self.assertEqual((g["width"], g["height"]), (315, 235))


if __name__ == "__main__":
    unittest.main()
