"""Drives the real IDE at random, as an impatient user would, for a given time: keys, chords and
menu commands, mouse clicks, drags and wheel turns on its four windows, random programs run with
typed input, dialogs opened and answered, new tabs, documents saved under typed names.
  monkey.py EXECUTABLE SCRATCH [--seconds N] [--seed S]     (or MONKEY_SECONDS, MONKEY_SEED)
It needs a display with a window manager (DISPLAY). The IDE runs from a copy in SCRATCH, with
HOME, XDG_CONFIG_HOME and its working directory inside it, so nothing outside is touched: file
dialogs are only ever cancelled, except the Save As it answers itself with a path in SCRATCH.
It fails on a crash or an unexpected exit status, a sanitizer report, a GUI thread that does not
answer a _NET_WM_PING within MONKEY_HANG_SECONDS (5), or a saved file that does not hold exactly
what was typed into its document up to its last save. At the end it leaves by File > Exit.
"""
import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import time

from Xlib import X, display, error, protocol

HANG_SECONDS = float(os.environ.get("MONKEY_HANG_SECONDS", "5"))
SANITIZER = re.compile(r"ERROR: \w+Sanitizer|runtime error:|SUMMARY: \w+Sanitizer")
# Dialogs only ever cancelled: those that choose files, so that no click or key walks them out
# of SCRATCH, and Info, whose link would start a web browser.
CANCEL_ONLY = {"Open File", "Save File", "Set Input File", "Set Output File", "Save To File",
               "Save Output Window To File", "Info"}
TRANSIENT = {"Please wait"}  # shown while a program is analysed; it goes by itself
LETTERS = "abcdefghijklmnopqrstuvwxyz0123456789 "
COMMANDS = "+-<>[].,"
KEYSYMS = {" ": "space", "+": "plus", "-": "minus", "<": "less", ">": "greater", "[": "bracketleft",
           "]": "bracketright", ".": "period", ",": "comma"}
KEYS = ["Return", "BackSpace", "Delete", "Left", "Right", "Up", "Down", "Home", "End", "Prior",
        "Next", "Tab", "Escape", "shift+Left", "shift+Right", "shift+Down", "ctrl+End", "ctrl+Home"]
# Chords of the command table. Left out: Ctrl+S and Ctrl+Alt+S (a random save would write text
# nobody tracked), Alt+F4 (the expected end), and what openbox takes for itself.
CHORDS = ["ctrl+a", "ctrl+z", "ctrl+y", "ctrl+x", "ctrl+c", "ctrl+v", "ctrl+f", "F3", "shift+F3",
          "F2", "shift+F1", "F9", "F7", "F8", "F4", "ctrl+F2", "F11", "F12", "ctrl+F10", "ctrl+8",
          "ctrl+9", "ctrl+p", "shift+F2", "F5", "F6", "ctrl+F12", "ctrl+t", "alt+F12", "F1", "ctrl+n",
          "ctrl+o", "ctrl+F4", "ctrl+Tab", "ctrl+shift+Tab", "ctrl+F5", "ctrl+F6", "alt+1", "alt+2"]
# Menu titles by mnemonic; the File menu only by the mnemonics of New, Open and Close. Minimize
# (Alt+M) comes with its restoring (toggle_view).
MENUS = "evrixh"
FILE_ITEMS = "noc"
VIEW_KEYS = {"editor": "shift+F10", "output": "shift+F11", "memory": "shift+F12"}


class Failure(Exception):
    pass


def xdotool(*args):
    subprocess.run(("xdotool",) + args, capture_output=True, timeout=20)


class Desktop:
    """The X side: the IDE's managed windows, their places, and the ping that proves its GUI
    thread is answering."""

    def __init__(self):
        self.d = display.Display()
        self.root = self.d.screen().root
        # The answer to a ping is sent to the root window for those listening to its structure
        # (Qt) or its substructure (the standard's wording): both are selected.
        self.root.change_attributes(event_mask=X.StructureNotifyMask | X.SubstructureNotifyMask)
        # A ping may reach a window that has just gone (the IDE exiting): no answer says enough.
        self.d.set_error_handler(lambda *_: None)
        # No auto-repeat: on a loaded machine a key's release can come late enough to repeat it.
        self.d.change_keyboard_control(auto_repeat_mode=X.AutoRepeatModeOff)
        self.stamp = 0

    def atom(self, name):
        return self.d.intern_atom(name)

    def prop(self, wid, name, kind=X.AnyPropertyType):
        try:
            p = self.d.create_resource_object("window", wid).get_full_property(self.atom(name), kind)
            return p.value if p else None
        except error.XError:
            return None

    def windows(self, pid):
        """The visible managed windows of process pid, {id: name}."""
        found = {}
        for wid in self.prop(self.root.id, "_NET_CLIENT_LIST") or []:
            owner = self.prop(wid, "_NET_WM_PID")
            state = self.prop(wid, "WM_STATE")
            if owner is not None and owner[0] == pid and state is not None and state[0] == 1:
                name = self.prop(wid, "_NET_WM_NAME", self.atom("UTF8_STRING"))
                found[wid] = name.decode("utf-8", "replace") if name is not None else ""
        return found

    def active(self):
        value = self.prop(self.root.id, "_NET_ACTIVE_WINDOW")
        return value[0] if value else 0

    def rect(self, wid):
        """The client area on the screen, (x, y, width, height)."""
        try:
            w = self.d.create_resource_object("window", wid)
            g = w.get_geometry()
            at = self.root.translate_coords(w, 0, 0)
            return at.x, at.y, g.width, g.height
        except error.XError:
            return None

    def ping(self, wid):
        """Seconds until the window's owner answered a _NET_WM_PING, or None after HANG_SECONDS.
        Qt answers it on its GUI thread while processing events, in modal loops too."""
        self.stamp += 1
        kind = self.atom("_NET_WM_PING")
        w = self.d.create_resource_object("window", wid)
        w.send_event(protocol.event.ClientMessage(window=w, client_type=self.atom("WM_PROTOCOLS"),
                                                  data=(32, [kind, self.stamp, wid, 0, 0])))
        self.d.flush()
        start = time.monotonic()
        while time.monotonic() - start < HANG_SECONDS:
            while self.d.pending_events():
                e = self.d.next_event()
                if e.type == X.ClientMessage and e.data[1][0] == kind and e.data[1][1] == self.stamp:
                    return time.monotonic() - start
            time.sleep(0.01)
        return None


class Monkey:
    def __init__(self, exe, scratch, seed):
        self.rnd = random.Random(seed)
        self.scratch = scratch
        home = os.path.join(scratch, "home")
        self.docs = os.path.join(home, "docs")
        os.makedirs(self.docs)
        env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
                   XDG_CACHE_HOME=os.path.join(home, ".cache"), XDG_DATA_HOME=os.path.join(home, ".local"),
                   XDG_RUNTIME_DIR=os.path.join(scratch, "run"), QT_QPA_PLATFORM="xcb")
        env.setdefault("UBSAN_OPTIONS", "halt_on_error=1:print_stacktrace=1")
        supp = os.path.join(os.path.dirname(os.path.abspath(__file__)), "lsan.supp")
        env["LSAN_OPTIONS"] = ":".join(filter(None, [env.get("LSAN_OPTIONS"), "suppressions=" + supp]))
        os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)
        # A copy of the executable: it keeps its settings file beside it.
        shutil.copy(exe, os.path.join(scratch, "cellwright"))
        self.log_path = os.path.join(scratch, "cellwright.log")
        self.log = open(self.log_path, "w")
        self.proc = subprocess.Popen([os.path.join(scratch, "cellwright")], cwd=home, env=env,
                                     stdout=self.log, stderr=subprocess.STDOUT)
        self.x = Desktop()
        self.saved = {}  # path -> the bytes its document held at its last save
        self.saves = 0
        self.step = 0
        self.slowest = 0.0
        self.win = self.find_windows()
        self.main_name = self.x.windows(self.proc.pid)[self.win["main"]]

    # ---- windows ----

    def find_windows(self):
        named = {"main": re.compile(r"^Cellwright \S+$"), "editor": re.compile(r"^Source Editor"),
                 "output": re.compile(r"^Output$"), "memory": re.compile(r"^Memory$")}
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            self.alive()
            found = self.x.windows(self.proc.pid)
            win = {}
            for role, pattern in named.items():
                win.update({role: wid for wid, name in found.items() if pattern.match(name)})
            if len(win) == 4:
                return win
            time.sleep(0.2)
        raise Failure("the four windows did not appear")

    def extras(self):
        """Visible windows beyond the four work windows (dialogs and message boxes), newest last."""
        return [(wid, name) for wid, name in self.x.windows(self.proc.pid).items()
                if wid not in self.win.values() and name not in TRANSIENT]

    def editor_title(self):
        name = self.x.prop(self.win["editor"], "_NET_WM_NAME", self.x.atom("UTF8_STRING"))
        return name.decode("utf-8", "replace") if name else ""

    def state(self):
        """What the screen shows, for a failure's message."""
        active = self.x.active()
        name = self.x.prop(active, "_NET_WM_NAME", self.x.atom("UTF8_STRING")) if active else None
        return (f"windows {sorted(self.x.windows(self.proc.pid).values())}, active {name!r}, "
                f"editor {self.editor_title()!r}")

    def focus(self, wid):
        xdotool("windowactivate", str(wid))
        for _ in range(20):
            if self.x.active() == wid:
                return True
            time.sleep(0.05)
        return False

    def point_in(self, wid):
        r = self.x.rect(wid)
        if r is None:
            return None
        x, y, w, h = r
        return x + self.rnd.randrange(max(w, 1)), y + self.rnd.randrange(max(h, 1))

    # ---- checks ----

    def alive(self):
        if self.proc.poll() is not None:
            raise Failure(f"the IDE ended with status {self.proc.returncode}")

    def responsive(self):
        self.alive()
        took = self.x.ping(self.win["main"])
        if took is None:
            self.hung(f"the GUI did not answer a ping within {HANG_SECONDS:g} s")
        self.slowest = max(self.slowest, took)

    def hung(self, problem):
        """Fails with the IDE's thread stacks as gdb finds them at that moment, where gdb exists."""
        stacks = ""
        if shutil.which("gdb") and self.proc.poll() is None:
            try:
                stacks = subprocess.run(["gdb", "-p", str(self.proc.pid), "-batch", "-nx",
                                         "-ex", "thread apply all bt 40"],
                                        capture_output=True, text=True, timeout=120).stdout
            except subprocess.TimeoutExpired:
                stacks = "(gdb took more than 120 s)"
        raise Failure(problem + ("\nThe IDE's threads at that moment:\n" + stacks if stacks else ""))

    # ---- actions ----

    def say(self, what):
        print(f"step {self.step} t={time.monotonic() - self.start:.1f}s: {what}", flush=True)

    def pick_window(self):
        role = self.rnd.choice(list(self.win))
        return role, self.win[role]

    def keys(self):
        role, wid = self.pick_window()
        self.focus(wid)
        keys = []
        for _ in range(self.rnd.randint(1, 12)):
            r = self.rnd.random()
            if r < 0.5:
                keys.append(self.rnd.choice(LETTERS + COMMANDS))
            else:
                keys.append(self.rnd.choice(KEYS))
        self.say(f"keys to {role}: {keys}")
        xdotool("key", "--clearmodifiers", "--delay", "20", *(KEYSYMS.get(k, k) for k in keys))

    def chord(self):
        role, wid = self.pick_window()
        chord = self.rnd.choice(CHORDS)
        self.say(f"chord {chord} in {role}")
        self.focus(wid)
        xdotool("key", "--clearmodifiers", chord)

    def menu(self):
        role, wid = self.pick_window()
        title = self.rnd.choice(MENUS + "f")
        self.focus(wid)
        if title == "f":
            then = [self.rnd.choice(FILE_ITEMS)]
        else:
            then = ["Down"] * self.rnd.randint(0, 8) + [self.rnd.choice(["Return", "Return", "Escape", "Right"])]
            # Right opens a submenu or the next menu (from the last, the File menu): it is closed
            # again, or the next step's Return could pick Save there.
            if then[-1] == "Right":
                then += ["Escape"] * 3
        self.say(f"menu alt+{title} {then} from {role}")
        xdotool("key", "--clearmodifiers", "alt+" + title)
        time.sleep(0.2)
        xdotool("key", "--delay", "40", *then)

    def click(self):
        role, wid = self.pick_window()
        at = self.point_in(wid)
        if at is None or (role == "main" and self.on_save_button(wid, at)):
            return
        button = self.rnd.choice(["1", "1", "1", "3", "4", "5"])
        repeat = self.rnd.choice(["1", "1", "2"])
        self.say(f"click {button}x{repeat} at {at} in {role}")
        xdotool("mousemove", str(at[0]), str(at[1]), "click", "--repeat", repeat, button)
        if button == "3" and self.rnd.random() < 0.5:
            xdotool("key", "Escape")

    def on_save_button(self, wid, at):
        # The toolbar's third button saves the shown document: a random save would write text
        # nobody tracked. It lies below the menu bar, about 56 to 72 pixels from the left.
        x, y, _, _ = self.x.rect(wid)
        return 20 <= at[1] - y <= 50 and 48 <= at[0] - x <= 80

    def drag(self):
        role, wid = self.pick_window()
        a, b = self.point_in(wid), self.point_in(self.rnd.choice(list(self.win.values())))
        if a is None or b is None:
            return
        self.say(f"drag {a} -> {b} from {role}")
        xdotool("mousemove", str(a[0]), str(a[1]), "mousedown", "1", "sleep", "0.1",
                "mousemove", str((a[0] + b[0]) // 2), str((a[1] + b[1]) // 2), "sleep", "0.1",
                "mousemove", str(b[0]), str(b[1]), "sleep", "0.1", "mouseup", "1")

    def program(self):
        """A random program typed into the editor (often a new tab) and run, traced or run to the
        cursor; reading programs get their input when the input panel takes the focus."""
        self.focus(self.win["editor"])
        if self.rnd.random() < 0.5:
            xdotool("key", "--clearmodifiers", "ctrl+n")
        body = self.rnd.choice([
            ",[.,]", ",[.,----------]", "++++++++[>++++++++<-]>+.+.+.", "+[.+]", "+[>+]", "+[.]",
            ">,[>,]<[.<]", "+[[-]+]", ",.,.,.,.", "+(+.)::",
        ]) if self.rnd.random() < 0.5 else self.random_code()
        run = self.rnd.choice(["F9", "F9", "F7", "F4"])
        self.say(f"program {body!r} then {run}")
        xdotool("type", "--delay", "15", "--", body)
        xdotool("key", "--clearmodifiers", run)
        time.sleep(0.3)
        self.input()

    def random_code(self):
        code, depth = [], 0
        for _ in range(self.rnd.randint(3, 40)):
            c = self.rnd.choice("++--<>>.,[]")
            if c == "]" and depth == 0:
                continue
            depth += (c == "[") - (c == "]")
            code.append(c)
        return "".join(code) + "]" * depth

    def input(self):
        """A line typed into the input panel when the output window is active. A key's command
        runs a moment after the key (queued), and a question it asks ("... has changed. Do you
        want to save?") would take the line's Return as Yes: the GUI answers a ping first, which
        it does once the commands before it have run, and no line goes in while a dialog shows."""
        self.responsive()
        time.sleep(0.1)
        if self.extras() or self.x.active() != self.win["output"] or self.rnd.random() >= 0.7:
            return
        line = "".join(self.rnd.choice(LETTERS) for _ in range(self.rnd.randint(0, 10)))
        self.say(f"input {line!r}")
        xdotool("type", "--delay", "15", "--", line)
        if not self.extras() and self.x.active() == self.win["output"]:
            xdotool("key", "Return")

    def toggle_view(self):
        """A work window closed and shown again by its View command, or the whole application
        minimised by the menu bar's Minimize and restored."""
        self.focus(self.win["main"])
        if self.rnd.random() < 0.3:
            self.say("minimize and restore")
            xdotool("key", "--clearmodifiers", "alt+m")
            time.sleep(0.5)
            self.restore()
            return
        role = self.rnd.choice(list(VIEW_KEYS))
        self.say(f"hide and show {role}")
        xdotool("key", "--clearmodifiers", VIEW_KEYS[role])
        time.sleep(0.2)
        xdotool("key", "--clearmodifiers", VIEW_KEYS[role])

    def restore(self):
        """Shows every work window again: a minimised one (Minimize, also reached from the menu
        bar by keys) by activating it, a closed one by its View command."""
        for role, wid in self.win.items():
            if wid in self.x.windows(self.proc.pid):
                continue
            state = self.x.prop(wid, "WM_STATE")
            self.say(f"restore {role}")
            if state is not None and state[0] == 3:  # iconic
                self.focus(wid)
            elif role in VIEW_KEYS:
                self.focus(self.win["main"])
                xdotool("key", "--clearmodifiers", VIEW_KEYS[role])
            time.sleep(0.3)

    def answer(self, wid, name):
        """Answers one dialog at random: file dialogs and message boxes (which may ask about
        saving) only by Escape or No, the others also by Return, clicks and keys inside."""
        self.focus(wid)
        if self.must_answer(name):
            key = "Escape" if name in CANCEL_ONLY else self.rnd.choice(["Escape", "n"])
            self.say(f"answer {name!r} with {key}")
            xdotool("key", "--clearmodifiers", key)
            return
        r = self.rnd.random()
        if r < 0.3:
            at = self.point_in(wid)
            if at:
                self.say(f"click at {at} in {name!r}")
                xdotool("mousemove", str(at[0]), str(at[1]), "click", "1")
        elif r < 0.5:
            keys = [self.rnd.choice(["Tab", "space", "Down", "Up", "a", "5", "BackSpace", "minus"])
                    for _ in range(self.rnd.randint(1, 6))]
            self.say(f"keys {keys} in {name!r}")
            xdotool("key", "--clearmodifiers", "--delay", "20", *keys)
        else:
            key = self.rnd.choice(["Escape", "Escape", "Return"])
            self.say(f"answer {name!r} with {key}")
            xdotool("key", "--clearmodifiers", key)

    def must_answer(self, name):
        """Whether the dialog is cancelled at once: a message box (titled as the main window)
        may ask about saving, and a file dialog writes where it points."""
        return name in CANCEL_ONLY or name == self.main_name

    def calm(self):
        """Closes every dialog and menu, ends a running program and shows hidden windows."""
        for attempt in range(40):
            open_now = self.extras()
            if not open_now:
                break
            wid, name = open_now[-1]
            self.focus(wid)
            xdotool("key", "--clearmodifiers", "Escape" if attempt % 2 == 0 or name in CANCEL_ONLY else "n")
            time.sleep(0.2)
            self.responsive()
        else:
            raise Failure(f"dialogs do not close: {self.extras()}")
        self.focus(self.win["main"])
        xdotool("key", "--clearmodifiers", "Escape", "ctrl+F2")
        time.sleep(0.3)
        for _ in range(10):  # a reset program may still ask for input or leave a box behind
            if not self.extras():
                break
            self.answer(*self.extras()[-1])
            time.sleep(0.2)
        self.restore()

    def leave_saved_document(self):
        """A document this test saved keeps the text it was saved with: a key, a paste, a drop,
        an undo, the strip tool or a typed program could change it, and a question that a key
        answers before this test sees it ("... has changed. Do you want to save?", Return or Y)
        would save the change. A step that finds one shown opens a new tab first; False when
        none opened (a program still exists), and the step does nothing else."""
        title = self.editor_title()
        if not any(title == "Source Editor - " + path for path in self.saved):
            return True
        self.say("a new tab: the shown document is one this test saved")
        self.focus(self.win["editor"])
        xdotool("key", "--clearmodifiers", "ctrl+n")
        return self.wait_for(lambda: self.editor_title() != title, 3) is not None

    def new_document(self):
        """A new tab, or None when the IDE did not make one (a program still exists)."""
        before = self.editor_title()
        for _ in range(3):
            self.calm()
            self.focus(self.win["editor"])
            xdotool("key", "--clearmodifiers", "ctrl+n")
            for _ in range(30):
                title = self.editor_title()
                if title != before and title.startswith("Source Editor - Unknown"):
                    return title
                time.sleep(0.1)
        return None

    def type_lines(self, lines):
        """Types lines at the caret, each after a line break; returns the bytes they add."""
        for line in lines:
            xdotool("key", "--clearmodifiers", "Return")
            xdotool("type", "--delay", "15", "--", line)
        return b"".join(b"\r\n" + line.encode("latin-1") for line in lines)

    def random_lines(self):
        # No line starts with a blank, so that no indentation is carried to the next one.
        return ["".join(self.rnd.choice(LETTERS + COMMANDS + "!?;:#") for _ in range(self.rnd.randint(0, 30))).lstrip()
                for _ in range(self.rnd.randint(1, 5))]

    def save_document(self, keep_typing=False):
        """A new document with typed text, saved by Save As under a typed name, sometimes more
        text and Ctrl+S. Returns the path, its document's text now, or (None, None)."""
        if self.new_document() is None:
            self.say("no new document: a program is still running")
            return None, None
        first = self.random_lines()
        xdotool("type", "--delay", "15", "--", first[0])
        text = first[0].encode("latin-1") + self.type_lines(first[1:])
        self.saves += 1
        path = os.path.join(self.docs, f"doc{self.saves:03d}.b")
        self.say(f"save as {path}: {text!r}")
        xdotool("key", "--clearmodifiers", "ctrl+alt+s")
        dialog = self.wait_for(lambda: [w for w, n in self.extras() if n == "Save File"])
        if not dialog:
            raise Failure(f"Ctrl+Alt+S showed no Save File dialog; {self.state()}")
        self.focus(dialog[0])
        xdotool("type", "--delay", "15", "--", path)
        time.sleep(0.3)
        xdotool("key", "--clearmodifiers", "Return")
        if not self.wait_for(lambda: self.editor_title() == "Source Editor - " + path):
            raise Failure(f"Save As did not name the document {path}; {self.state()}")
        self.saved[path] = text
        if keep_typing:
            text += self.type_lines(self.random_lines())
            if self.rnd.random() < 0.5:
                self.say(f"ctrl+s: {text!r}")
                xdotool("key", "--clearmodifiers", "ctrl+s")
                self.saved[path] = text
                if not self.wait_for(lambda: self.read(path) == text):
                    raise Failure(f"Ctrl+S did not write {path}: {self.read(path)!r}, expected {text!r}")
        return path, text

    def wait_for(self, condition, seconds=10):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            self.alive()
            value = condition()
            if value:
                return value
            time.sleep(0.1)
        return None

    @staticmethod
    def read(path):
        try:
            with open(path, "rb") as f:
                return f.read()
        except OSError:
            return None

    # ---- the run ----

    def run(self, seconds):
        self.start = time.monotonic()
        actions = [(self.keys, 25), (self.chord, 20), (self.menu, 10), (self.click, 20), (self.drag, 8),
                   (self.program, 8), (self.toggle_view, 2), (lambda: self.save_document(True), 3)]
        funcs, weights = zip(*actions)
        while time.monotonic() - self.start < seconds:
            self.step += 1
            # Keys meant for a work window reach the modal window on top of it: file dialogs
            # and message boxes are answered first, so that no key saves or picks a file.
            self.restore()
            open_now = self.extras()
            if open_now and (self.must_answer(open_now[-1][1]) or self.rnd.random() < 0.7):
                self.answer(*open_now[-1])
            elif self.leave_saved_document():
                self.rnd.choices(funcs, weights)[0]()
            self.input()
            self.responsive()
        self.step += 1
        self.say("the end: a last document saved and typed into, then File > Exit")
        path, text = self.save_document(True)
        self.calm()
        self.focus(self.win["main"])
        xdotool("key", "--clearmodifiers", "alt+f")
        time.sleep(0.3)
        xdotool("key", "x")
        deadline = time.monotonic() + 120
        while self.proc.poll() is None and time.monotonic() < deadline:
            if self.x.ping(self.win["main"]) is None and self.proc.poll() is None:
                self.hung(f"the GUI did not answer a ping within {HANG_SECONDS:g} s while closing")
            boxes = self.extras()
            if boxes:
                # The close sequence shows each modified document before it asks about it.
                asked = self.editor_title() == "Source Editor - " + str(path)
                self.focus(boxes[-1][0])
                key = "y" if asked else ("Escape" if boxes[-1][1] in CANCEL_ONLY else "n")
                self.say(f"exit question about {self.editor_title()!r}: {key}")
                xdotool("key", "--clearmodifiers", key)
                if asked:
                    self.saved[path] = text
                time.sleep(0.5)
            else:
                time.sleep(0.2)
        if self.proc.poll() is None:
            raise Failure("File > Exit did not end the IDE within 120 s")
        if self.proc.returncode != 0:
            raise Failure(f"the IDE ended with status {self.proc.returncode}")
        for path, text in self.saved.items():
            if self.read(path) != text:
                raise Failure(f"{path} holds {self.read(path)!r}, but {text!r} was typed into it")

    def report(self):
        self.log.flush()
        with open(self.log_path, errors="replace") as f:
            printed = f.read()
        return printed, bool(SANITIZER.search(printed))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("exe")
    parser.add_argument("scratch")
    parser.add_argument("--seconds", type=float, default=float(os.environ.get("MONKEY_SECONDS", "60")))
    parser.add_argument("--seed", type=int, default=int(os.environ.get("MONKEY_SEED", random.randrange(1 << 31))))
    args = parser.parse_args()
    print(f"monkey: seed {args.seed} (MONKEY_SEED={args.seed} repeats the choices), {args.seconds:g} s", flush=True)
    monkey = None
    problem = None
    try:
        monkey = Monkey(args.exe, args.scratch, args.seed)
        monkey.run(args.seconds)
    except (Failure, subprocess.TimeoutExpired) as e:
        problem = str(e)
    finally:
        if monkey is not None and monkey.proc.poll() is None:
            monkey.proc.kill()
            monkey.proc.wait()
    printed, sanitizer = monkey.report() if monkey else ("", False)
    if sanitizer and problem is None:
        problem = "a sanitizer report"
    if problem is not None or sanitizer:
        print(f"FAIL (seed {args.seed}): {problem}")
        shots = os.environ.get("MONKEY_SHOTS")
        if shots:  # the screen as it was, from the virtual screen's memory
            picture = os.path.join(shots, f"monkey-{args.seed}.png")
            subprocess.run([sys.executable, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..",
                            "desktop", "screen_area.py"), os.path.join(args.scratch, "fb", "Xvfb_screen0"),
                            "0", "0", "1600", "1000", "--png", picture], capture_output=True)
            print(f"The screen: {picture}")
        print("What cellwright printed:\n" + printed[-20000:])
        return 1
    print(f"PASS: {monkey.step} steps, {len(monkey.saved)} saved documents checked, "
          f"slowest ping {monkey.slowest:.2f} s (seed {args.seed})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
