"""What a screen reader is told of the Linux program, read through AT-SPI as Orca reads it:
each window's and control's role, name and description, which control has the focus at
start, and that the clock is read when asked but does not announce each new second. Why: Qt
builds this tree from the widgets on its own, and nothing else looks at it; a nameless
window or box is silent to a blind user.

One program for the whole class: a screen, a private session bus and its accessibility bus
(at-spi2-core's bus launcher), the program started with QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1,
read with python3-pyatspi (Debian's /usr/bin/python3). The tree is taken once, as a screen
reader first finds it; the cases that press keys or buttons come after.
The program is $PREKIDNIK_APP, its designs what $PREKIDNIK_DESIGN_TOOL writes (CTest sets
both), else those of build/linux.
"""
import importlib
import json
import os
import re
import time
import unittest

import harness
from harness import wait_for

BUILD = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "build", "linux")
APP = os.environ.get("PREKIDNIK_APP", os.path.join(BUILD, "prekidnik"))
DESIGN_TOOL = os.environ.get("PREKIDNIK_DESIGN_TOOL",
                             os.path.join(BUILD, "tests", "e2e", "dump_designs"))
BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
CLOCK = re.compile(r"^\d\d:\d\d:\d\d$")
NAME_CHANGE = "object:property-change:accessible-name"


def captions(tables, form):
    """A form's captions by control name, as shown: without the access key's "&"."""
    return {c["name"]: c["caption"].replace("&", "") for c in tables["forms"][form]["controls"]}


def words(text):
    return " ".join(text.split())


class Accessibility(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not os.access(BUS_LAUNCHER, os.X_OK):
            raise unittest.SkipTest(f"no {BUS_LAUNCHER} (at-spi2-core, scripts/install-deps.sh)")
        try:
            importlib.import_module("pyatspi")  # no bus yet: libatspi finds one when first asked
        except ImportError as error:
            raise unittest.SkipTest(f"no pyatspi (python3-pyatspi): {error}") from error
        display = harness.XDisplay("1280x800")
        cls.s = harness.LinuxSession(APP, display, DESIGN_TOOL, network_manager=False)
        try:
            cls.start()
        except BaseException:
            cls.s.close()
            raise

    @classmethod
    def start(cls):
        s = cls.s
        s.processes.start([BUS_LAUNCHER, "--launch-immediately"], s.env)
        if not wait_for(lambda: s.bus.name_has_owner("org.a11y.Bus"), 20):
            raise RuntimeError("the accessibility bus did not start")
        # libatspi finds the accessibility bus through these, once per process.
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = s.env["DBUS_SESSION_BUS_ADDRESS"]
        os.environ["DISPLAY"] = s.env["DISPLAY"]
        import pyatspi
        from gi.repository import GLib
        cls.pyatspi, cls.glib = pyatspi, GLib
        cls.events = []
        # Registered before the program starts, so that it sends these from its first tick.
        pyatspi.Registry.registerEventListener(cls.events.append, NAME_CHANGE)
        cls.tables = json.loads(s.run_tool([DESIGN_TOOL]))
        s.env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
        s.start_app()
        cls.app = wait_for(cls.find_app, 20)
        if cls.app is None:
            raise RuntimeError("the program did not appear on the accessibility bus")
        main = wait_for(lambda: cls.window("Prekidnik"), 10)
        cls.main = cls.describe(main)
        cls.controls = [cls.describe(c) for c in main]
        cls.focused = [c["name"] for c in cls.controls if "focused" in c["states"]]

    @classmethod
    def tearDownClass(cls):
        cls.pyatspi.Registry.deregisterEventListener(cls.events.append, NAME_CHANGE)
        cls.s.close()

    @classmethod
    def find_app(cls):
        desktop = cls.pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is not None and app.get_process_id() == cls.s.app_proc.pid:
                return app
        return None

    @classmethod
    def window(cls, name):
        """The program's top-level accessible named `name`, once it has its controls."""
        for window in cls.app:
            if window is not None and window.name == name and window.childCount > 0:
                return window
        return None

    @classmethod
    def describe(cls, accessible):
        """What a screen reader reads of an accessible: role, name, description, states
        and the names of what labels it."""
        labels = []
        for relation in accessible.getRelationSet():
            if relation.getRelationType() == cls.pyatspi.RELATION_LABELLED_BY:
                labels += [relation.getTarget(i) for i in range(relation.getNTargets())]
        states = accessible.getState().getStates()
        return {"role": accessible.getRoleName(), "name": accessible.name,
                "description": accessible.description,
                "states": {cls.pyatspi.stateToString(s) for s in states},
                "labelled by": [(t.getRoleName(), t.name) for t in labels],
                "accessible": accessible}

    def pump(self, seconds):
        """Lets the events that arrive within `seconds` reach the listener."""
        context = self.glib.MainContext.default()
        end = time.monotonic() + seconds
        while context.pending():
            context.iteration(False)
        while time.monotonic() < end:
            time.sleep(0.02)
            while context.pending():
                context.iteration(False)

    def focused_in(self, window):
        """The role and name of the control of `window` that has the focus."""
        focused = self.pyatspi.STATE_FOCUSED
        return [(c.getRoleName(), c.name) for c in window if c.getState().contains(focused)]

    def test_main_window_is_a_window_named_prekidnik(self):
        self.assertEqual((self.main["role"], self.main["name"]), ("frame", "Prekidnik"))

    def test_every_control_has_its_role_name_and_description(self):
        shown = captions(self.tables, "ShapedForm")
        rows = [("Label2", "label", shown["Label2"], ""),
                ("Label1", "label", shown["Label1"], ""),
                ("Text1", "text", shown["Label1"], "Unesite tacno vreme"),
                ("Command1", "push button", "Prekidnikuj!", "Prekidnikuj odmah"),
                ("Command4", "push button", "Minimizuj!", ""),
                ("Command5", "push button", "IP Adresa", ""),
                ("Command3", "push button", "O autoru", ""),
                ("Command2", "push button", "Izlaz!", "Izlaz")]
        every = [(c["role"], c["name"], c["description"]) for c in self.controls]
        for control, role, name, description in rows:
            with self.subTest(control):
                self.assertIn((role, name, description), every)

    def test_text1_is_labelled_by_the_instruction_line_above_it(self):
        instruction = captions(self.tables, "ShapedForm")["Label1"]
        boxes = [c for c in self.controls if c["role"] == "text"]
        self.assertEqual([c["labelled by"] for c in boxes], [[("label", instruction)]])

    def test_izlaz_has_the_focus_at_start(self):
        self.assertEqual(self.focused, ["Izlaz!"])

    def test_clock_is_read_as_the_time_it_shows_when_asked(self):
        clocks = [c for c in self.controls if CLOCK.match(c["name"])]
        self.assertEqual([c["role"] for c in clocks], ["label"], self.controls)
        before = time.time()
        read = clocks[0]["accessible"].name
        after = time.time()
        self.assertIn(read, {harness.clock_text(before), harness.clock_text(after)})

    def test_clock_announces_no_new_second_but_a_pressed_button_is_heard(self):
        self.pump(0)  # what came before, such as a change at the program's start
        del self.events[:]
        self.pump(2.5)  # two turns of the second at least
        clock = [e.source_name for e in self.events if CLOCK.match(e.source_name or "")]
        self.s.press("IP Adresa")
        heard = wait_for(self.address_shown, 10)
        self.assertTrue(heard, "the listener heard no name change: it cannot tell silence")
        self.assertEqual(clock, [])

    def address_shown(self):
        """The name changes heard so far of a label that shows an address."""
        self.pump(0.1)
        return [e for e in self.events
                if re.match(r"^\d+\.\d+\.\d+\.\d+$", e.source_name or "")]

    def test_about_window_is_named_with_its_text_and_ok_focused(self):
        self.s.key("alt+o")
        about = wait_for(lambda: self.window("O Autoru"), 10)
        self.assertIsNotNone(about, "no About window on the accessibility bus")
        self.addCleanup(self.s.key, "space", None)
        seen = self.describe(about)
        self.assertEqual((seen["role"], seen["name"]), ("frame", "O Autoru"))
        focused = wait_for(lambda: self.focused_in(about), 10)
        self.assertEqual(focused, [("push button", "OK!")])
        texts = [(c.getRoleName(), words(c.name)) for c in about if c.getRoleName() == "label"]
        self.assertEqual(texts, [("label", words(captions(self.tables, "Form1")["Label1"]))])


if __name__ == "__main__":
    unittest.main()
