"""The end-to-end cases of every platform: the built program on a screen of its
own, driven with the keyboard and the pointer as a person drives it.

Covered: the main window's place, size and elliptic shape and the About
window's size at a dpi; moving the window by its bare surface and not by a
control; the buttons and keys that hang up and quit; the schedule (hang-ups
throughout the typed second only, and only for the clock's own spelling). Why
here: these are decided by the design tables and a platform's runtime
together, and no unit test sees a real toolkit draw, place and move windows
or take real keys.

A platform's test file (test_linux_app.py, tests/windows/end_to_end.py) binds
the cases to its sessions (harness.py) with a mixin of two class methods:
`open_session()` returns a session ready for a program, and
`end_session(session)` ends what a case left.
"""
import time

import design
from harness import GREEN, GREY, clock_text, wait_for

# Dial-up connections that are up, in the system's order: the unnamed one is
# left alone. Which kinds are dial-up is the Linux dial-up layer's tests' to say.
CONNECTIONS = ["Mobilni", "DSL", "", "Druga linija"]
NAMED_DIALUP = ["Mobilni", "DSL", "Druga linija"]


def schedule(app, lead=3.0, text=clock_text):
    """Types into the box the text of a second at least `lead` seconds ahead,
    whole before that second begins; returns the second."""
    for _ in range(3):
        target = int(time.time() + lead) + 1
        app.press("Text1")
        app.key("ctrl+a BackSpace")
        app.display.type_text(text(target))
        if time.time() < target - 0.3:
            return target
    raise AssertionError("typing kept taking longer than the seconds it was given")


def wait_until(seconds):
    """Waits until the wall clock reaches `seconds`."""
    delay = seconds - time.time()
    if delay > 0:
        time.sleep(delay)


class Case:
    """A case with a session of its own at the class's dpi: `self.app`, on
    the display `self.screen`."""
    dpi = 96
    # Any button moves the window by its surface, and each move ends at its release.
    drag_buttons = (1, 2, 3)
    # Whether the program, told to end after a hang-up, waits for the
    # connection to go (Windows) before it ends.
    exit_waits_for_hang_ups = False

    def setUp(self):
        self.app = self.open_session()
        self.addCleanup(self.end_session, self.app)
        self.screen = self.app.display
        self.app.set_dpi(self.dpi)

    def assert_ends_with_status(self, expected):
        status = self.app.exit_status(15)
        self.assertEqual(status, expected, "exit status (None: still running after 15 s)")

    def colours(self, points):
        shot = self.screen.screenshot("screen.png")
        return [self.screen.pixel(shot, x, y) for x, y in points]


class Scaled(Case):
    """What the design's twips become at the class's dpi."""

    def test_main_window_stands_where_designed_at_the_designed_size(self):
        self.app.start_app()
        expected = design.box(self.app.designs.main, self.dpi)
        self.assertEqual(tuple(self.app.main_rect()), expected)

    def test_main_window_is_the_designs_ellipse(self):
        self.app.start_app()
        left, top = self.app.main_rect()[:2]
        inside, outside = self.app.designs.ellipse_samples(self.dpi)
        seen = self.colours((left + x, top + y) for x, y in inside + outside)
        expected = [GREY] * len(inside) + [GREEN] * len(outside)
        self.assertEqual(dict(zip(inside + outside, seen)),
                         dict(zip(inside + outside, expected)),
                         "colours of points of the client area (window grey, screen green)")

    def test_about_opens_at_its_designed_size(self):
        self.app.start_app()
        self.app.key("alt+o")
        about = wait_for(self.app.about_rect, 10)
        self.assertIsNotNone(about, "alt+o showed no About window")
        expected = design.box(self.app.designs.about_size, self.dpi)
        self.assertEqual(tuple(about[2:]), expected)

    def test_ok_hides_about_and_the_program_runs_on(self):
        self.app.start_app()
        self.app.key("alt+o")
        self.assertTrue(wait_for(self.app.about_rect, 10), "alt+o showed no About window")
        self.app.key("space", "about")  # on OK!, where About's focus starts
        self.assertTrue(wait_for(lambda: not self.app.about_rect(), 5), "About stayed")
        self.assertIsNotNone(self.app.main_rect(), "the main window went too, or the program")


class Dragging(Case):
    """Moving the main window by its surface, as its design asks."""

    def test_dragging_the_bare_surface_moves_the_window_with_any_button(self):
        self.app.start_app()
        for button in self.drag_buttons:
            with self.subTest(button=button):
                before = self.app.main_rect()
                self.drag_bare((-40, 20), button)
                self.assert_main_rect_becomes((before.x - 40, before.y + 20, *before[2:]))

    def test_dragging_a_control_leaves_the_window_in_place(self):
        self.app.start_app()
        for control in ("Label1", "lblTime", "IP Adresa"):
            with self.subTest(control=control):
                before = self.app.main_rect()
                x, y = self.app.centre(control)
                self.screen.drag((x, y), (x + 60, y + 30))
                # Events are taken in order: once a drag of the bare surface
                # that follows has moved the window, the one from the control
                # has been taken. A move by it would show in the sum.
                self.drag_bare((-40, 20))
                self.assert_main_rect_becomes((before.x - 40, before.y + 20, *before[2:]))

    def drag_bare(self, by, button=1):
        x, y = self.app.at(design.BARE)
        self.screen.drag((x, y), (x + by[0], y + by[1]), button)

    def assert_main_rect_becomes(self, expected):
        """Waits until the main window is at `expected` (x, y, width, height)."""
        def main_rect():
            rect = self.app.main_rect()
            if rect is None:
                return None
            return tuple(rect)
        wait_for(lambda: main_rect() == expected, 5)
        self.assertEqual(main_rect(), expected)


class Behaviour(Case):
    """Keys and buttons."""

    def test_disconnect_hangs_up_each_named_dialup_connection_once_in_order(self):
        self.app.start_app(CONNECTIONS, keep=True)
        self.app.press("Prekidnikuj!")
        # Keys are taken in order: once alt+o has shown About, the press
        # before it has been handled, every request it made logged.
        self.app.key("alt+o")
        self.assertTrue(wait_for(self.app.about_rect, 10), "alt+o showed no About window")
        self.assertEqual(self.app.hung_up(), NAMED_DIALUP)

    def test_two_tabs_from_exit_reach_disconnect(self):
        self.app.start_app(["Mobilni"], keep=True)
        self.app.key("Tab")  # from Izlaz!, where the focus starts, to the box
        self.screen.type_text("x")  # typed into the box: it must not end the program
        self.app.key("Tab space")
        self.assertEqual(wait_for(self.app.hung_up, 10), ["Mobilni"])

    def test_exit_takes_both_windows_off_the_screen_at_once(self):
        self.app.start_app(["Mobilni"], keep=True)
        self.app.key("alt+o")
        about = wait_for(self.app.about_rect, 10)
        self.assertTrue(about, "alt+o showed no About window")
        points = [self.app.at(design.BARE), (about.x + 5, about.y + 5)]
        exit_button = self.app.centre("Izlaz!")
        self.app.press("Prekidnikuj!")
        self.assertTrue(wait_for(self.app.hung_up, 10), "no hang-up to wait for")
        self.screen.click(*exit_button)
        cleared = wait_for(lambda: self.colours(points) == [GREEN, GREEN], 10, 0)
        self.assertTrue(cleared, f"a window stayed on the screen: {self.colours(points)}")
        if self.exit_waits_for_hang_ups:  # hidden before that wait, not after it
            self.assertTrue(self.app.running(), "the windows went only as the program ended")

    def test_exit_ends_the_program_with_status_0(self):
        self.app.start_app()
        self.app.press("Izlaz!")
        self.assert_ends_with_status(0)

    def test_other_spellings_of_the_time_never_hang_up(self):
        self.app.start_app(["Mobilni"], keep=True)
        for spelling in ("%H:%M", " %H:%M:%S", "%H.%M.%S", "%I:%M:%S %p", "%H:%M:%S "):
            with self.subTest(spelling=spelling):
                target = schedule(self.app, 1.0,
                                  lambda t: time.strftime(spelling, time.localtime(t)))
                wait_until(target + 1.3)  # the second over, the clock label half a second late
                self.assertEqual(self.app.hung_up(), [], f"{spelling!r} hung up")
        # The same typing with the clock's own spelling does hang up: without
        # this, a box that took no typing would pass every row above.
        target = schedule(self.app, 1.0)
        self.assertTrue(wait_for(self.app.hung_up, target + 5 - time.time()),
                        "not even the clock's own spelling hung up")


class TypedSecond(Case):
    """The program through one typed second, with two connections that stay
    up: each test checks one thing of what was seen, once for all of them
    (the wait costs seconds)."""

    @classmethod
    def setUpClass(cls):
        app = cls.open_session()
        try:
            app.set_dpi(cls.dpi)
            app.start_app(["Mobilni", "DSL"], keep=True)
            cls.target = schedule(app)
            wait_until(cls.target - 0.2)
            cls.count_before = len(app.hung_up())
            # The clock label may turn a little after the wall clock: half a second.
            wait_until(cls.target + 1.5)
            cls.count_in_the_second = len(app.hung_up())
            cls.times = app.hang_up_times()
            wait_until(cls.target + 3)
            cls.hung_up = app.hung_up()
        finally:
            cls.end_session(app)

    def setUp(self):
        """Nothing: the class's scenario ran once, in setUpClass."""

    def test_no_hang_up_before_the_typed_second(self):
        self.assertEqual(self.count_before, 0)

    def test_hangs_up_again_and_again_throughout_the_typed_second(self):
        # Each request hangs up both: two at least, and the last half a second
        # or more after the first (the schedule asks at every tick of that second).
        self.assertGreaterEqual(self.count_in_the_second, 4, "hang-ups in the second")
        span = max(self.times) - min(self.times)
        self.assertGreaterEqual(span, 0.5, "seconds from the first hang-up to the last")

    def test_no_hang_up_after_the_typed_second(self):
        self.assertEqual(len(self.hung_up), self.count_in_the_second)

    def test_each_request_hangs_up_both_connections_in_order(self):
        requests = len(self.hung_up) // 2
        self.assertEqual(self.hung_up, ["Mobilni", "DSL"] * requests)
