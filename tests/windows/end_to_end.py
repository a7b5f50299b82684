#!/usr/bin/python3
"""prekidnik.exe end to end under Wine: the cases of every platform
(tests/e2e/cases.py) at 96 and 120 dpi, and what only the Windows program
does: its timers go on in the system's move loop while the window is dragged,
and at its end it waits for a hung-up connection to go, three seconds at most.
Why: the Win32 runtime's loops and its end are what the unit tests under Wine
cannot drive with a real pointer and real windows.

All cases share one screen and one Wine prefix (each has a program of its
own): a prefix takes long to make. The test rasapi32.dll stands in for Remote
Access and logs its calls; the probe program reads the windows.

    end_to_end.py WINE WORK --exe PREKIDNIK_EXE --rasapi32 DLL --probe PROBE_EXE
                  --design-tool DUMP_DESIGNS_EXE [unittest's arguments]

tests/e2e must be on PYTHONPATH (CTest sets it).
"""
import argparse
import os
import sys
import time
import unittest

import cases
import design
import harness
from harness import clock_text, wait_for

SESSION = None  # the one WineSession, made in main


class OnWine:
    """The cases' sessions: the shared one, its program ended after each case."""
    # Another button starts the system's move loop too, but only the left
    # one's release ends it.
    drag_buttons = (1,)
    exit_waits_for_hang_ups = True

    @classmethod
    def open_session(cls):
        return SESSION

    @classmethod
    def end_session(cls, session):
        session.stop_app()


class Everywhere(OnWine, cases.Scaled, cases.Dragging, cases.Behaviour, unittest.TestCase):
    pass


class TypedSecond(OnWine, cases.TypedSecond, unittest.TestCase):
    pass


class Everywhere120(OnWine, cases.Scaled, cases.Dragging, unittest.TestCase):
    dpi = 120


class WhileDragged(OnWine, cases.Case, unittest.TestCase):
    """The timers in the system's move loop: the pointer holds the window
    pressed by its surface until the test lets go."""

    def setUp(self):
        super().setUp()
        self.app.start_app(["Modem"])
        self.start = self.app.main_rect()

    def hold_dragged(self):
        """Presses the window's surface and moves it, and holds it so."""
        x, y = self.app.at(design.BARE)
        self.screen.drag((x, y), (x + 20, y + 10), steps=2, release=False)
        self.addCleanup(self.assert_moved)
        # Only the release ends the system's move loop.
        self.addCleanup(self.screen.release_button, 1)

    def assert_moved(self):
        """That the window was dragged at all, else the tests prove nothing."""
        self.assertNotEqual(self.app.main_rect()[:2], self.start[:2], "the window never moved")

    def test_the_clock_runs_while_the_window_is_dragged(self):
        self.hold_dragged()
        seen = set()

        def three_times_seen():
            seen.update(self.app.clocks())
            return len(seen) >= 3
        self.assertTrue(wait_for(three_times_seen, 10, 0.2), f"clock texts seen: {sorted(seen)}")

    def test_the_schedule_hangs_up_while_the_window_is_dragged(self):
        target = cases.schedule(self.app, lead=4.0)
        self.hold_dragged()
        # The probe reads the clock a moment after the log shows the hang-up.
        self.assertEqual(wait_for(self.app.hung_up, target + 5 - time.time(), 0.2),
                         ["Modem"], f"hang-ups by {clock_text(target + 5)}")


class AtTheEnd(OnWine, cases.Case, unittest.TestCase):
    """alt+p (hang up), then at once alt+z (exit), with a connection that
    goes `closing_ms` after it is hung up."""

    def hang_up_and_exit(self, closing_ms):
        """Returns the calls rasapi32.dll logged, and the milliseconds from
        the hang-up to the program's end."""
        self.app.start_app(["Modem"], closing_ms=closing_ms)
        self.app.key("alt+p alt+z")
        self.assert_ends_with_status(0)
        times = {call: ms for ms, call in self.app.calls()}
        return list(times), times["detach"] - times["hangup 7 -> 0"]

    def test_exit_waits_for_a_hung_up_connection_to_go(self):
        calls, waited = self.hang_up_and_exit(1500)
        self.assertIn("status 7 -> 6", calls, "never saw the connection gone")
        self.assertGreaterEqual(waited, 1400, "milliseconds from the hang-up to the end")
        self.assertLess(waited, 10000, "milliseconds from the hang-up to the end")

    def test_exit_waits_three_seconds_at_most_for_a_connection_that_stays(self):
        calls, waited = self.hang_up_and_exit(30000)
        self.assertNotIn("status 7 -> 6", calls, "the connection went before 30 s")
        self.assertGreaterEqual(waited, 2800, "milliseconds from the hang-up to the end")
        self.assertLess(waited, 10000, "milliseconds from the hang-up to the end")


def main():
    global SESSION
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("wine", help="wine (32-bit, in a 32-bit prefix) or wine64")
    parser.add_argument("work", help="a folder for the Wine prefix, kept between runs")
    parser.add_argument("--exe", required=True)
    parser.add_argument("--rasapi32", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--design-tool", required=True)
    args, unittest_args = parser.parse_known_args()
    build = harness.WindowsBuild(args.exe, args.rasapi32, args.probe, args.design_tool)
    SESSION = harness.WineSession(args.wine, build, os.path.abspath(args.work),
                                  harness.XDisplay("1024x768"))
    try:
        unittest.main(argv=sys.argv[:1] + unittest_args, verbosity=2)
    finally:
        SESSION.close()


if __name__ == "__main__":
    main()
