#!/usr/bin/python3
"""End-to-end tests of prekidnik.exe under Wine: the cases of every platform
(tests/e2e/cases.py) and those of Windows alone, on one virtual screen and
one Wine prefix (harness.WineSession), each case with a program of its own.
Screenshots are kept in WORK/shots.

Usage: end_to_end.py --wine WINE --bits 4|8 --exe EXE --fake-rasapi32 DLL --probe EXE --work DIR
"""
import argparse
import os
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import cases  # noqa: E402
import design  # noqa: E402
import harness  # noqa: E402

SESSION = None  # the one screen and prefix of the whole run
WS_POPUP, WS_CAPTION, WS_THICKFRAME = 0x80000000, 0x00C00000, 0x00040000


class WineCase(unittest.TestCase):

    def session(self):
        return SESSION


class LeftButton:
    # A drag with another button starts the system's move loop too, but that
    # loop ends only at a release of the left one.
    drag_buttons = (1,)


class Everywhere(LeftButton, cases.Scaled, cases.Behaviour, WineCase):
    pass


class Everywhere120(LeftButton, cases.Scaled, WineCase):
    dpi = 120


class WindowsOnly(cases.Case, WineCase):

    def test_clock_and_schedule_run_while_the_window_is_dragged(self):
        s = self.s
        s.start_app(["Modem"])
        target = self.schedule(lead=4.0)
        x, y = s.at(design.BARE)
        s.drag((x, y), (x + 20, y + 10), steps=2, release=False)
        try:
            clocks = set()
            # The probe reads the clock a moment after the log shows the
            # hang-up: go on until it has seen the typed time too.
            wait_for_clock = lambda: (clocks.update(  # noqa: E731
                c["text"] for c in s.probe("Prekidnik")["children"] if c["text"].count(":") == 2)
                or (s.hung_up() and harness.clock_text(target) in clocks and len(clocks) >= 3))
            self.assertTrue(harness.wait_for(wait_for_clock, 10, 0.2),
                            f"clocks seen {sorted(clocks)}, hang-ups {s.hung_up()}")
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
                calls = [c for _, c in s.calls()]
                times = {c: t for t, c in s.calls()}
                enum = dict(f.split("=") for f in calls[0].split()[1:4])
                self.assertEqual(int(enum["bytes"]), 256 * int(enum["size"]))
                if s.bits == 4:  # the 412-byte record of 32-bit Windows
                    self.assertEqual(enum["size"], "412")
                self.assertEqual(enum["count"], "0")
                self.assertEqual(calls[-1], "detach", "the program did not end last")
                self.assertEqual("status 7 -> 6" in calls, waits_for_it)
                waited = times["detach"] - times["hangup 7 -> 0"]
                self.assertGreaterEqual(waited, 1400 if waits_for_it else 2800)
                self.assertLess(waited, 10000)
                print(f"  waited {waited} ms for a connection closing in {closing_ms} ms",
                      file=sys.stderr)

    def test_a_step_of_the_clock_shows_at_once_and_reaches_the_typed_time(self):
        """rasapi32.dll moves the program's GetLocalTime by an offset read
        from a file, and the probe sends WM_TIMECHANGE as Windows does."""
        s = self.s
        clock = os.path.join(s.dir, "clock-offset.txt")
        with open(clock, "w") as f:
            f.write("0")
        s.start_app(["Modem"], clock_file=clock)
        # Reached only through the step: an hour and two seconds from now.
        s.type_into_text1(harness.clock_text(time.time() + 3602))
        with open(clock, "w") as f:
            f.write(str(3600 * 1000))
        self.assertEqual(s.probe("--time-changed", "Prekidnik"), "sent")
        shown = [c["text"] for c in s.probe("Prekidnik")["children"] if c["text"].count(":") == 2]
        self.assertEqual(shown[0][:2], time.strftime("%H", time.localtime(time.time() + 3600)))
        self.assertTrue(harness.wait_for(s.hung_up, 8), "no hang-up after the step")

    def test_on_windows_xp_a_popup_with_the_focus_on_exit_that_disconnects(self):
        """Wine reporting Windows XP (XP x64 for the 64-bit build). Wine still
        offers later functions there: the import allowlist is the proof."""
        s = self.s
        s.wine(["winecfg", "-v", "winxp" if s.bits == 4 else "winxp64"])
        s.stop_server()
        self.addCleanup(s.stop_server)
        self.addCleanup(s.wine, ["reg", "delete", r"HKCU\Software\Wine", "/v", "Version", "/f"])
        self.assertIn("5.1.2600" if s.bits == 4 else "5.2.3790",
                      s.wine(["cmd", "/c", "ver"]).stdout.decode())
        s.start_app(["Modem"])
        w = s.probe("Prekidnik")
        self.assertEqual(w["window"], w["client"], "a frame or a title bar")
        self.assertTrue(w["style"] & WS_POPUP)
        self.assertFalse(w["style"] & WS_CAPTION)
        self.assertEqual([c["text"] for c in w["children"] if c["focus"]], ["I&zlaz!"])
        s.key("alt+o")
        about = s.wait_window("O Autoru", lambda w: w["visible"])
        self.assertEqual(about["style"] & (WS_CAPTION | WS_THICKFRAME), WS_CAPTION)
        s.key("space alt+p")
        self.assertTrue(harness.wait_for(s.hung_up, 10))


def main():
    global SESSION
    parser = argparse.ArgumentParser()
    for name in ("--wine", "--exe", "--fake-rasapi32", "--probe", "--work"):
        parser.add_argument(name, required=True)
    parser.add_argument("--bits", type=int, choices=(4, 8), required=True)
    args, rest = parser.parse_known_args()
    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)
    os.environ["PREKIDNIK_E2E_SHOTS"] = os.path.join(work, "shots")
    SESSION = harness.WineSession(args.wine, args.bits, args.exe, args.fake_rasapi32, args.probe,
                                  work)
    try:
        result = unittest.main(argv=[sys.argv[0]] + rest, verbosity=2, exit=False).result
    finally:
        SESSION.close()
    print(f"Screenshots: {os.environ['PREKIDNIK_E2E_SHOTS']}")
    sys.exit(0 if result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
