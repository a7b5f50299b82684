#!/usr/bin/python3
"""What a screen reader learns of prekidnik.exe through Active Accessibility (MSAA), under
Wine: each control's accessible name and role as AccessibleObjectFromWindow gives them, the
main window's, which control has the focus at start, and the About window's text and button.
Why: Windows names a standard edit by the static text just before it in the window's child
order, and a window made in another order leaves the box for the time nameless; nothing else
reads the windows this way.

acc_probe reads the program's windows, and a window of its own with one standard static
text, edit and button (--reference): where Wine's oleacc gives even that one a role other
than Windows' (it has no proxy for the class), that role's check is skipped with the reason,
never passed.

    test_msaa.py WINE WORK --exe PREKIDNIK_EXE --rasapi32 DLL --probe PROBE_EXE
                 --acc-probe ACC_PROBE_EXE --design-tool DUMP_DESIGNS_EXE [unittest's arguments]

tests/e2e must be on PYTHONPATH (CTest sets it).
"""
import argparse
import json
import os
import re
import sys
import unittest

import harness

ARGS = None
# Windows' roles (oleacc.h).
ROLE_WINDOW, ROLE_STATIC_TEXT, ROLE_TEXT, ROLE_PUSH_BUTTON = 9, 41, 42, 43
ROLE_OF_CLASS = {"static": ROLE_STATIC_TEXT, "edit": ROLE_TEXT, "button": ROLE_PUSH_BUTTON}
CLOCK = re.compile(r"^\d\d:\d\d:\d\d$")


class Accessibility(unittest.TestCase):
    """One program, read once as a screen reader first finds it."""

    @classmethod
    def setUpClass(cls):
        build = harness.WindowsBuild(ARGS.exe, ARGS.rasapi32, ARGS.probe, ARGS.design_tool)
        cls.session = harness.WineSession(ARGS.wine, build, os.path.abspath(ARGS.work),
                                          harness.XDisplay("1024x768"))
        try:
            cls.tables = json.loads(cls.session.run_tool([ARGS.wine, ARGS.design_tool]))
            cls.reference = cls.read("--reference")
            cls.session.start_app()
            cls.main = cls.read(harness.Session.MAIN)
        except BaseException:
            cls.session.close()
            raise

    @classmethod
    def tearDownClass(cls):
        cls.session.close()

    @classmethod
    def read(cls, title):
        run = cls.session.wine(ARGS.acc_probe, title, timeout=60)
        if run.returncode != 0 or not run.stdout.strip():
            raise RuntimeError(f"acc_probe {title}: status {run.returncode}, {run.stdout!r}")
        window = json.loads(run.stdout)
        if window is None:
            raise RuntimeError(f"acc_probe found no window titled {title!r}")
        objects = [window["window"], window["client"], *window["children"]]
        errors = [o["error"] for o in objects if "error" in o]
        if errors:
            raise RuntimeError(f"acc_probe {title}: no accessible object: {errors}")
        return window

    def shown(self, control):
        """A control's caption as the screen shows it: without the access key's "&"."""
        for c in self.tables["forms"]["ShapedForm"]["controls"]:
            if c["name"] == control:
                return c["caption"].replace("&", "")
        raise KeyError(control)

    def rows(self):
        """Each control of the main window: its name in the design, its window class and
        the name a screen reader must speak (a pattern for the clock)."""
        instruction = self.shown("Label1")
        rows = [("Label2", "static", self.shown("Label2")),
                ("lblTime", "static", CLOCK),
                ("Label1", "static", instruction),
                ("Text1", "edit", instruction)]
        for button in ("Command1", "Command4", "Command5", "Command3", "Command2"):
            rows.append((button, "button", self.shown(button)))
        return rows

    def child(self, cls, name):
        """The main window's children of class `cls` named `name` (or matching it)."""
        pattern = name if isinstance(name, re.Pattern) else re.compile(re.escape(name) + r"\Z")
        children = self.main["children"]
        return [c for c in children if c["class"].lower() == cls and pattern.match(c["name"])]

    def reference_role(self, cls):
        for c in self.reference["children"]:
            if c["class"].lower() == cls:
                return c["role"], c["roleText"]
        raise KeyError(cls)

    def test_every_control_is_named_as_the_screen_shows_it(self):
        every = [(c["class"], c["name"]) for c in self.main["children"]]
        for control, cls, name in self.rows():
            with self.subTest(control):
                self.assertEqual(len(self.child(cls, name)), 1, f"{cls} {name!r} in {every}")

    def test_every_control_has_the_role_of_its_kind(self):
        for control, cls, name in self.rows():
            with self.subTest(control):
                expected = ROLE_OF_CLASS[cls]
                role, text = self.reference_role(cls)
                if role != expected:
                    self.skipTest(f"this Wine's oleacc gives its own standard {cls} the role "
                                  f"{role} ({text}), not {expected}: no proxy for the class")
                found = [c["role"] for c in self.child(cls, name)]
                self.assertEqual(found, [expected], f"{cls} {name!r}")

    def test_text1_follows_the_instruction_line_that_names_it(self):
        order = [(c["class"].lower(), c["name"]) for c in self.main["children"]]
        edits = [i for i, (cls, _) in enumerate(order) if cls == "edit"]
        self.assertEqual(len(edits), 1, order)
        self.assertGreater(edits[0], 0, order)
        self.assertEqual(order[edits[0] - 1], ("static", self.shown("Label1")), order)

    def test_main_window_client_is_named_prekidnik(self):
        self.assertEqual(self.main["client"]["name"], "Prekidnik")

    def test_main_window_is_a_window_named_prekidnik(self):
        if self.reference["window"].get("role") != ROLE_WINDOW:
            seen = self.reference["window"]
            self.skipTest(f"this Wine's oleacc gives its own top-level window's OBJID_WINDOW "
                          f"object no role of a window ({seen}), not {ROLE_WINDOW}")
        window = self.main["window"]
        self.assertEqual((window["role"], window["name"]), (ROLE_WINDOW, "Prekidnik"))

    def test_about_window_is_read_with_its_text_and_ok_focused(self):
        self.session.key("alt+o")
        shown = harness.wait_for(lambda: self.session.probe(harness.Session.ABOUT), 20, 0.2)
        self.assertTrue(shown and shown["visible"], "the About window did not open")
        self.addCleanup(self.session.key, "space", None)
        about = self.read(harness.Session.ABOUT)
        caption = " ".join(self.tables["forms"]["Form1"]["controls"][0]["caption"].split())
        read = [(c["class"].lower(), " ".join(c["name"].split()), c["focused"])
                for c in about["children"]]
        self.assertEqual(read, [("static", caption, False), ("button", "OK!", True)])

    def test_izlaz_has_the_focus_at_start(self):
        focused = [c["name"] for c in self.main["children"] if c["focused"]]
        self.assertEqual(focused, ["Izlaz!"])


def main():
    global ARGS
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n", maxsplit=1)[0])
    parser.add_argument("wine", help="wine (32-bit, in a 32-bit prefix) or wine64")
    parser.add_argument("work", help="a folder for the Wine prefix, kept between runs")
    parser.add_argument("--exe", required=True)
    parser.add_argument("--rasapi32", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--acc-probe", required=True)
    parser.add_argument("--design-tool", required=True)
    ARGS, unittest_args = parser.parse_known_args()
    unittest.main(argv=sys.argv[:1] + unittest_args, verbosity=2)


if __name__ == "__main__":
    main()
