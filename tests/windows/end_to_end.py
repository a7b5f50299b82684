#!/usr/bin/python3
"""prekidnik.exe under Wine: the cases of every platform (tests/e2e/cases.py)
and Windows' own, on one screen and Wine prefix, each case with a program of
its own."""
import os, sys, unittest  # noqa: E401

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import cases, design, harness  # noqa: E401, E402
from harness import clock_text, wait_for  # noqa: E402


class Wine:
    # Another button starts the system's move loop too, but only the left one's release ends it.
    drag_buttons = (1,)

    def session(self):
        return SESSION

    def clocks(self):
        return [c["text"] for c in self.s.probe("Prekidnik")["children"] if c["text"].count(":") == 2]


class Everywhere(Wine, cases.Scaled, cases.Behaviour, unittest.TestCase):
    pass


class Everywhere120(Wine, cases.Scaled, unittest.TestCase):
    dpi = 120


class WindowsOnly(Wine, cases.Case, unittest.TestCase):

    def test_clock_and_schedule_run_while_the_window_is_dragged(self):
        s = self.s
        s.start_app(["Modem"])
        target, seen = self.schedule(lead=4.0), set()
        x, y = s.at(design.BARE)
        s.drag((x, y), (x + 20, y + 10), steps=2, release=False)
        try:  # the probe reads the clock a moment after the log shows the hang-up
            self.assertTrue(wait_for(lambda: seen.update(self.clocks()) or s.hung_up() and
                                     clock_text(target) in seen and len(seen) >= 3, 10, 0.2),
                            f"clocks seen {sorted(seen)}, hang-ups {s.hung_up()}")
        finally:
            s.xdotool("mouseup", 1)  # only now does the system's move loop end
        self.assertNotEqual(s.main_rect()[:2], design.box(design.MAIN, 96)[:2])

    def test_exit_after_a_hang_up_waits_for_the_connection_three_seconds_at_most(self):
        s = self.s
        for closing_ms, waits_for_it in ((1500, True), (30000, False)):
            with self.subTest(closing_ms=closing_ms):
                s.start_app(["Modem"], closing_ms=closing_ms)
                s.key("alt+p alt+z")
                self.assertTrue(s.app_exited(15))
                calls, times = [c for _, c in s.calls()], {c: t for t, c in s.calls()}
                self.assertEqual("status 7 -> 6" in calls, waits_for_it)
                waited = times["detach"] - times["hangup 7 -> 0"]
                self.assertTrue((1400 if waits_for_it else 2800) <= waited < 10000, waited)


if __name__ == "__main__":  # end_to_end.py WINE BITS EXE RASAPI32 PROBE WORK [unittest's options]
    wine, bits, *files, work = sys.argv[1:7]
    SESSION = harness.WineSession(wine, int(bits), *files, os.path.abspath(work))
    unittest.addModuleCleanup(SESSION.close)
    unittest.main(argv=sys.argv[:1] + sys.argv[7:], verbosity=2)
