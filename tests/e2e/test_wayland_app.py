"""The Linux program end to end on Wayland: the cases of every platform
(cases.py) on a headless sway at output scales 1 and 2, and the ellipse on a
headless weston, whose drawing path differs (no server-side decorations, its
own renderer). Why: on Wayland the window's mask shapes nothing (the program
paints its region alone), only the compositor moves a window, and input
reaches the program through the compositor's seat; none of this is seen on
X11.

What differs from X11 by design: the compositor places a new window (the
design's position cannot be asked for), so the position case gives way to
one of the size alone.

The cases skip, with the reason, where no compositor or input tool is
installed; run as a script, an all-skipped run exits with 77 (CTest's skip).
The program is $PREKIDNIK_APP and the designs $PREKIDNIK_DESIGN_TOOL's, as
for test_linux_app.py.
"""
import sys
import unittest

import cases
import design
import harness
import wayland
from harness import wait_for
from test_linux_app import APP, DESIGN_TOOL


class OnSway:
    """The cases' sessions: the Qt program on a headless sway of its own."""

    @classmethod
    def open_session(cls):
        return harness.LinuxSession(APP, wayland.SwayDisplay("1280x800"), DESIGN_TOOL)

    @classmethod
    def end_session(cls, session):
        session.close()


class PlacedByTheCompositor:
    """The size of the main window where the compositor put it, in place of
    the design's position."""
    test_main_window_stands_where_designed_at_the_designed_size = None

    def test_main_window_has_the_designed_size(self):
        self.app.start_app()
        expected = design.box(self.app.designs.main, self.dpi)[2:]
        self.assertEqual(tuple(self.app.main_rect()[2:]), expected)


class AccessKeys:
    """The access keys the shared cases leave out, through the compositor's
    keyboard: alt+p hangs up, alt+z ends the program."""

    def test_alt_p_hangs_up_each_named_dialup_connection_once_in_order(self):
        self.app.start_app(cases.CONNECTIONS, keep=True)
        self.app.key("alt+p")
        # Keys are taken in order: once alt+o has shown About, alt+p's
        # requests have been made.
        self.app.key("alt+o")
        self.assertTrue(wait_for(self.app.about_rect, 10), "alt+o showed no About window")
        self.assertEqual(self.app.hung_up(), cases.NAMED_DIALUP)

    def test_alt_z_ends_the_program_with_status_0(self):
        self.app.start_app()
        self.app.key("alt+z")
        self.assert_ends_with_status(0)


class Sway(OnSway, PlacedByTheCompositor, AccessKeys, cases.Scaled, cases.Dragging,
           cases.Behaviour, unittest.TestCase):
    pass


class SwayScale2(OnSway, PlacedByTheCompositor, cases.Scaled, cases.Dragging,
                 unittest.TestCase):
    dpi = 192  # output scale 2: every logical pixel is two of the screen's each way


class SwayTypedSecond(OnSway, cases.TypedSecond, unittest.TestCase):
    pass


class OnWeston:
    """The program on a headless weston at the class's scale."""

    @classmethod
    def open_session(cls):
        display = wayland.WestonDisplay("1280x800", scale=cls.dpi // 96)
        return harness.LinuxSession(APP, display, DESIGN_TOOL)

    @classmethod
    def end_session(cls, session):
        session.close()


class WestonEllipse(OnWeston, cases.Case, unittest.TestCase):
    test_main_window_is_the_designs_ellipse = cases.Scaled.test_main_window_is_the_designs_ellipse


class WestonEllipseScale2(WestonEllipse):
    dpi = 192


def main():
    result = unittest.main(exit=False).result
    ran = result.testsRun - len(result.skipped)
    if not result.wasSuccessful():
        sys.exit(1)
    sys.exit(77 if result.testsRun and ran == 0 else 0)


if __name__ == "__main__":
    main()
