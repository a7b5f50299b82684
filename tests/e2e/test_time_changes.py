"""End-to-end: the time of day changes under the running program. A shim
preloaded into it (tests/shims/timeshift.c) moves its CLOCK_REALTIME by an
offset this test sets and tells it of each step as the kernel tells of the
clock being set (a cancelled timerfd); its zone is a file of this test's own,
named by $TZ and replaced during the run. The machine's clock and zone are
never touched.

The program comes from $PREKIDNIK_APP and the shim from
$PREKIDNIK_TIMESHIFT_LIB (CTest sets both)."""

import os
import shutil
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from test_linux_app import LinuxCase, clock_reads  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
SHIM = os.environ.get("PREKIDNIK_TIMESHIFT_LIB") or os.path.join(
    HERE, "..", "..", "build", "linux", "tests", "e2e", "libprekidnik_timeshift.so")
NS = 1_000_000_000
TOKYO = 9 * 3600  # UTC+9, without daylight saving


def text_at(seconds, zone_offset=0):
    """The clock text of an instant (seconds since the epoch) in a zone."""
    return time.strftime("%H:%M:%S", time.gmtime(int(seconds) + zone_offset))


class TimeChanges(LinuxCase):
    """The program's time of day stepped forward and back, and its zone
    replaced, while a time is typed in."""

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
        harness.wait_for(lambda: self.program_now() > target + 1.3, 5)
        self.assertTrue(self.hang_ups_between(target, target + 1),
                        "no hang-up in the typed second after a step forward into it")
        self.assertEqual(self.hang_ups_between(0, target), [], "hung up before the typed second")
        self.assert_clock_reads(range(target + 1, target + 3))

        before = len(self.s.deactivation_times())
        self.step_to(target + 0.2)  # back into the typed second
        harness.wait_for(lambda: self.program_now() > target + 1.3, 5)
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
        harness.wait_for(lambda: self.program_now() > target + 1.3, 10)
        self.assertTrue(self.hang_ups_between(target, target + 1),
                        "the typed second in the new zone did not hang up")
        self.assert_clock_reads(range(target + 1, target + 4), TOKYO)


if __name__ == "__main__":
    unittest.main()
