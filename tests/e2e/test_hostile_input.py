"""Hostile text in the box of the running program: a pasted megabyte,
control, right-to-left and combining characters, and bytes that are not
UTF-8, all from the clipboard. The program must not end, must match only the
clock's exact text, must not grow while it ticks, and its clock must keep
turning.

The clipboard is owned by a small program of the tests' own
($PREKIDNIK_CLIPBOARD_OWNER), which offers a file's bytes as they are."""

import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import clock_text  # noqa: E402
from test_linux_app import APP, LinuxCase  # noqa: E402

OWNER = os.environ.get("PREKIDNIK_CLIPBOARD_OWNER", "")


def resident_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


class HostileInput(LinuxCase):

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
                harness.wait_for(lambda: time.time() > target + 1.3, 10)
                self.assertEqual(len(self.s.deactivated()), before, f"{name} hung up")
                self.assert_alive()
        # The same paste with the clock's own text does hang up.
        target = int(time.time() + 1.5) + 1
        self.paste(clock_text(target).encode())
        self.assertTrue(harness.wait_for(lambda: self.s.deactivated(), target + 5 - time.time()),
                        "the exact text pasted did not hang up either: did the paste work?")

    def test_a_pasted_megabyte_neither_stops_the_clock_nor_grows_the_program(self):
        before = len(self.s.deactivated())
        target = int(time.time() + 1.5) + 1
        text = (clock_text(target) + "\u202e\u0301\x01\t\x7f") * ((1 << 20) // 16)
        self.paste(text.encode()[: 1 << 20] + b"\xff\xfe")
        time.sleep(2)
        self.assert_alive()
        rss_start = resident_kib(self.s.app_proc.pid)
        box = self.s.control_box("lblTime")
        first = self.s.screenshot("clock-1.png")
        time.sleep(1.2)
        second = self.s.screenshot("clock-2.png")
        self.assertGreater(self.s.differing_pixels(first, second, box), 0,
                           "the clock did not turn")
        time.sleep(10)
        rss_end = resident_kib(self.s.app_proc.pid)
        print(f"resident set with a megabyte pasted: {rss_start} KiB, 10 s later {rss_end} KiB")
        self.assertLess(rss_end - rss_start, 2048, "the program grew while it ticked")
        self.assertEqual(len(self.s.deactivated()), before, "a false match")
        self.assert_alive()


if __name__ == "__main__":
    unittest.main()
