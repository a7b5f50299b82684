"""The end-to-end cases of every platform. A platform's test file binds them to
its session by subclassing them with a `session()` method."""

import time

import design
from harness import GREEN, GREY, clock_text, wait_for

# Dial-up connections that are up, in the system's order: the unnamed one is
# left alone. Which kinds are dial-up is the Linux dial-up layer's test's.
CONNECTIONS = ["Mobilni", "DSL", "", "Druga linija"]
NAMED_DIALUP = ["Mobilni", "DSL", "Druga linija"]


class Case:
    dpi = 96
    drag_buttons = (1, 2, 3)  # any button moves the window, and each move ends at its release

    def setUp(self):
        self.s = self.session()
        self.s.set_dpi(self.dpi)
        self.addCleanup(self.s.stop_app)

    def assert_ends_with_status_0(self):
        self.assertEqual(self.s.app_exited(15) and self.s.app_proc.returncode, 0, "runs, or failed")

    def schedule(self, lead=3.0, text=clock_text):
        """Types the text of a second at least `lead` seconds ahead, whole
        before that second begins; returns the second."""
        for _ in range(3):
            target = int(time.time() + lead) + 1
            self.s.press("Text1")
            self.s.key("ctrl+a BackSpace")
            self.s.type_text(text(target))
            if time.time() < target - 0.3:
                return target
        self.fail("typing kept taking longer than the seconds it was given")


class Scaled(Case):
    """What the design's twips become at the class's dpi."""

    def test_main_window_is_the_designs_ellipse_and_about_opens_at_its_size(self):
        s = self.s
        s.start_app()
        self.assertEqual(s.main_rect(), design.box(design.MAIN, self.dpi))
        shot, (x, y) = s.screenshot(f"main-{self.dpi}.png"), s.main_rect()[:2]
        inside, outside = design.ellipse_samples(self.dpi)
        wrong = {p: c for p in inside + outside
                 if (c := s.pixel(shot, x + p[0], y + p[1])) != (GREY if p in inside else GREEN)}
        self.assertEqual(wrong, {}, "points of the client area of the wrong colour")
        s.key("alt+o")  # About, at its size; Space on OK! hides it, and the program runs on
        about = wait_for(s.about_rect, 10)
        self.assertEqual(about and about[2:], design.box((0, 0, *design.ABOUT_SIZE), self.dpi)[2:])
        s.key("space", "about")
        self.assertTrue(wait_for(lambda: not s.about_rect(), 5), "Space on OK! did not hide it")
        self.assertTrue(s.main_rect(), "hiding About hid the main window or ended the program")

    def test_dragging_the_surface_moves_the_window_and_a_control_does_not(self):
        s = self.s
        s.start_app()
        drags = [(b, design.BARE) for b in self.drag_buttons] + [
            (1, c) for c in ("Label1", "lblTime", "IP Adresa")]
        for button, start in drags:
            with self.subTest(button=button, start=start):
                before, bare = s.main_rect(), start == design.BARE
                x, y = s.at(start) if bare else s.centre(start)
                s.drag((x, y), (x + 60, y + 30), button)
                time.sleep(0 if bare else 0.5)
                want = (before[0] + 60 * bare, before[1] + 30 * bare, *before[2:])
                self.assertTrue(wait_for(lambda: s.main_rect() == want, 5),
                                f"from {before} to {s.main_rect()}")


class Behaviour(Case):
    """Keys, buttons and the schedule."""

    def test_tab_to_disconnect_hangs_up_the_named_dialup_ones_in_order_exit_hides_at_once(self):
        s = self.s
        s.start_app(CONNECTIONS, keep=True)
        s.key("Tab")  # from Izlaz!, where the focus starts
        s.type_text("x")  # into the box, which must not end the program
        s.key("Tab space")
        wait_for(lambda: len(s.hung_up()) >= len(NAMED_DIALUP), 10)
        time.sleep(0.5)  # room for any request too many
        self.assertEqual(s.hung_up(), NAMED_DIALUP)
        # Izlaz! hides both windows at once, while the program waits for the connections to go.
        s.key("alt+o")
        about, bare = wait_for(s.about_rect, 10), s.at(design.BARE)
        s.press("Izlaz!")
        time.sleep(0.5)
        shot = s.screenshot("exit.png")
        self.assertEqual([s.pixel(shot, *p) for p in (bare, (about[0] + 5, about[1] + 5))],
                         [GREEN, GREEN], "a window stayed on the screen")
        self.assert_ends_with_status_0()

    def test_hangs_up_throughout_the_typed_second_and_never_after(self):
        s = self.s
        s.start_app(["Mobilni", "DSL"], keep=True)
        target = self.schedule()
        counts = []  # hang-ups by 0.2 s before the second, 1.5 s and 3 s after it began
        for at in (-0.2, 1.5, 3):
            wait_for(lambda: time.time() >= target + at, 10, 0.01)
            counts.append(len(s.hung_up()))
        self.assertEqual(counts[0], 0, "hung up before the typed second")
        self.assertGreaterEqual(counts[1], 20, "too few requests in the second")  # 10 a second
        # The clock label may turn a little after the wall clock: half a second.
        self.assertEqual(counts[2], counts[1], "hang-ups went on after the typed second")
        self.assertEqual(s.hung_up(), ["Mobilni", "DSL"] * (counts[2] // 2), "each request, both")

    def test_other_spellings_of_the_time_never_hang_up(self):
        self.s.start_app(["Mobilni"], keep=True)
        for spelling in ("%H:%M", " %H:%M:%S", "%H.%M.%S", "%I:%M:%S %p", "%H:%M:%S "):
            with self.subTest(spelling):
                target = self.schedule(1.0, lambda t: time.strftime(spelling, time.localtime(t)))
                wait_for(lambda: time.time() > target + 1.3, 10)
                self.assertEqual(self.s.hung_up(), [], f"{spelling!r} hung up")
        target = self.schedule(1.0)  # the clock's own spelling, the same way, does
        self.assertTrue(wait_for(self.s.hung_up, target + 5 - time.time()), "nor the exact time")
