"""The Linux program end to end: the cases of every platform (cases.py) and its
own. The program is $PREKIDNIK_APP (CTest sets it), else build/linux/prekidnik."""

import os, sys, time, unittest  # noqa: E401

sys.path.insert(0, HERE := os.path.dirname(os.path.abspath(__file__)))
import cases, design, harness  # noqa: E401, E402
from harness import wait_for  # noqa: E402

APP = os.environ.get("PREKIDNIK_APP") or os.path.join(HERE, "..", "..", "build", "linux", "prekidnik")


class LinuxCase(unittest.TestCase):
    window_manager = False

    def session(self):
        s = harness.LinuxSession(APP, window_manager=self.window_manager)
        self.addCleanup(s.close)
        return s


class Everywhere(cases.Scaled, cases.Behaviour, LinuxCase):
    pass


class Everywhere120(cases.Scaled, LinuxCase):
    dpi = 120  # Xft.dpi: Qt draws everything 1.25 times as large


class WithOpenbox(cases.Case, LinuxCase):
    """A window manager: its move with any button, a fixed framed About
    window, alt+F4 on the main one."""
    window_manager = True
    test_dragging_the_surface_moves_the_window_and_a_control_does_not = \
        cases.Scaled.test_dragging_the_surface_moves_the_window_and_a_control_does_not

    def open_about(self):
        self.s.key("alt+o")
        about = wait_for(lambda: self.s.find_window("^O Autoru$"), 10)
        wait_for(lambda: self.s.active_window() == about, 5)
        return about

    def test_about_is_fixed_framed_reopens_where_left_and_outlives_the_main_window(self):
        s = self.s
        s.start_app()
        self.assertIn("= 0, 0, 0, 0", s.run("xprop", "-id", s.window, "_NET_FRAME_EXTENTS"))
        about = self.open_about()
        size = "{} by {}".format(*design.box((0, 0, *design.ABOUT_SIZE), 96)[2:])
        hints = s.run("xprop", "-id", about, "WM_NORMAL_HINTS")
        self.assertTrue("minimum size: " + size in hints and "maximum size: " + size in hints)
        first = s.geometry(about)
        s.drag((first["x"] + 120, first["y"] - 8), (first["x"] + 20, first["y"] - 108))  # title
        self.assertTrue(wait_for(lambda: s.geometry(about)["x"] == first["x"] - 100, 5))
        moved = s.geometry(about)
        s.key("space", "about")
        self.assertTrue(wait_for(lambda: s.active_window() == s.window, 5), "main not forward")
        self.assertEqual(self.open_about(), about, "a new window instead of the same one")
        self.assertEqual(s.geometry(about), moved)
        s.key("alt+o", "main")
        time.sleep(0.5)
        self.assertEqual(s.windows("^O Autoru$"), [about], "a second alt+o made another")
        s.key("alt+F4", "main")  # openbox closes it: with About shown, the program runs on
        self.assertTrue(wait_for(lambda: not s.main_rect(), 5))
        s.key("space", "about")  # OK loads the main window again
        s.window = wait_for(lambda: s.find_window("^Prekidnik$"), 5)
        self.assertTrue(s.window and s.app_proc.poll() is None, "no main window, or it ended")
        wait_for(lambda: s.active_window() == s.window, 5)
        s.key("alt+F4", "main")  # and now it ends
        self.assert_ends_with_status_0()


if __name__ == "__main__":
    unittest.main()
