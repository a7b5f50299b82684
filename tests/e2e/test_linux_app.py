"""The Linux program end to end: the cases of every platform (cases.py) on an
Xvfb screen, at 96 and at 120 dpi, and what only a window manager (openbox)
shows: the main window without a frame, the About window framed at a fixed
size, kept where it was left, and outliving the main window closed by the
window manager. Why: Qt leaves frames, size hints and closing to the window
manager, which no unit test has.

Each case has a screen, a bus and a NetworkManager mock of its own.
The program is $PREKIDNIK_APP, and the windows' designs are what
$PREKIDNIK_DESIGN_TOOL writes (CTest sets both), else those of build/linux.
"""
import os
import unittest

import cases
import design
import harness
from harness import wait_for

BUILD = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "build", "linux")
APP = os.environ.get("PREKIDNIK_APP", os.path.join(BUILD, "prekidnik"))
DESIGN_TOOL = os.environ.get("PREKIDNIK_DESIGN_TOOL",
                             os.path.join(BUILD, "tests", "e2e", "dump_designs"))


class OnLinux:
    """The cases' sessions: the Qt program on a screen of its own."""
    window_manager = False

    @classmethod
    def open_session(cls):
        display = harness.XDisplay("1280x800", window_manager=cls.window_manager)
        return harness.LinuxSession(APP, display, DESIGN_TOOL)

    @classmethod
    def end_session(cls, session):
        session.close()


class Everywhere(OnLinux, cases.Scaled, cases.Dragging, cases.Behaviour, unittest.TestCase):
    pass


class TypedSecond(OnLinux, cases.TypedSecond, unittest.TestCase):
    pass


class Everywhere120(OnLinux, cases.Scaled, cases.Dragging, unittest.TestCase):
    dpi = 120  # Xft.dpi: Qt draws everything 1.25 times as large


class WithOpenbox(OnLinux, cases.Dragging, unittest.TestCase):
    """The window's moves by its surface, made by a window manager."""
    window_manager = True


class OpenboxWindows(OnLinux, cases.Case, unittest.TestCase):
    """A window manager's frames, size hints, activation and alt+F4."""
    window_manager = True

    def setUp(self):
        super().setUp()
        self.app.start_app()
        self.main = self.app.main_window()

    def open_about(self):
        """alt+o in the main window; returns the About window once it is active."""
        self.app.key("alt+o")
        about = wait_for(lambda: self.screen.window_id(self.app.ABOUT, self.app.app_proc.pid), 10)
        self.assertIsNotNone(about, "alt+o showed no About window")
        self.assert_becomes_active(about)
        return about

    def assert_becomes_active(self, window):
        wait_for(lambda: self.screen.active_window() == window, 5)
        self.assertEqual(self.screen.active_window(), window)

    def ok(self):
        """Space on About's OK!, which hides it and brings the main window forward."""
        self.app.key("space", "about")
        self.assert_becomes_active(self.main)

    def test_main_window_has_no_frame(self):
        extents = self.screen.window_property(self.main, "_NET_FRAME_EXTENTS")
        self.assertIn("= 0, 0, 0, 0", extents)

    def test_about_keeps_its_designed_size(self):
        about = self.open_about()
        size = "{} by {}".format(*design.box(self.app.designs.about_size, 96))
        hints = self.screen.window_property(about, "WM_NORMAL_HINTS")
        self.assertIn("minimum size: " + size, hints)
        self.assertIn("maximum size: " + size, hints)

    def test_about_moves_by_its_title_bar(self):
        # A frameless About would have nothing above it to drag.
        about = self.open_about()
        first = self.screen.geometry(about)
        self.screen.drag((first.x + 120, first.y - 8), (first.x + 20, first.y - 108))
        wait_for(lambda: self.screen.geometry(about).x == first.x - 100, 5)
        self.assertEqual(self.screen.geometry(about)[:2], (first.x - 100, first.y - 100))

    def test_ok_brings_the_main_window_forward(self):
        self.open_about()
        self.ok()  # asserts it

    def test_about_reopens_as_the_same_window_where_it_was_left(self):
        about = self.open_about()
        first = self.screen.geometry(about)
        self.screen.drag((first.x + 120, first.y - 8), (first.x + 20, first.y - 108))
        wait_for(lambda: self.screen.geometry(about) != first, 5)
        moved = self.screen.geometry(about)
        self.ok()
        self.assertEqual(self.open_about(), about, "a new window instead of the same one")
        self.assertEqual(self.screen.geometry(about), moved)

    def test_alt_o_while_about_is_shown_makes_no_second_one(self):
        about = self.open_about()
        self.app.focus(self.app.MAIN)
        self.assert_becomes_active(self.main)
        # The handling of alt+o brings About forward: once it is active, any
        # second window it made is there too.
        self.assertEqual(self.open_about(), about)
        self.assertEqual(self.screen.window_ids(self.app.ABOUT, self.app.app_proc.pid), [about])

    def test_about_outlives_the_main_window_closed_by_the_window_manager(self):
        self.open_about()
        self.app.key("alt+F4", "main")  # openbox closes it: with About shown, the program runs on
        self.assertTrue(wait_for(lambda: not self.app.main_rect(), 5), "the main window stayed")
        self.assertTrue(self.app.running(), "the program ended")
        self.app.key("space", "about")  # OK! loads the main window again
        self.assertTrue(wait_for(self.app.main_window, 5), "OK! brought no main window back")

    def test_alt_f4_on_the_main_window_alone_ends_the_program_with_status_0(self):
        self.assert_becomes_active(self.main)
        self.app.key("alt+F4", "main")
        self.assert_ends_with_status(0)


if __name__ == "__main__":
    unittest.main()
