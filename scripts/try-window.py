#!/usr/bin/python3
"""Drives the real window as a user does and reads it as a screen reader does.

Starts a private X server (Xvfb), a window manager (openbox, when installed),
a D-Bus session with the accessibility bus, and the program with its own
settings folder; then runs the steps given on the command line, in order, and
stops everything again. Input goes through the X server (xdotool); what the
steps print comes from the accessibility tree (pyatspi).

Usage: scripts/try-window.py [--program PATH] [--config DIR] [--no-frame] [--arg ARG]... STEP...

Steps (NAME is a control's accessible name, as `tree` prints it):
  tree               the accessibility tree of each of the program's windows
  windows            role and name of each of the program's windows
  rows               the queue's rows, one per line: path, tab, status
  focus              role and name of the control that has the keyboard focus
  click:NAME         click the middle of the control NAME in the front window
  dclick-row:N       double-click row N (from 1) of the queue
  type:TEXT          type TEXT on the keyboard
  key:KEYS           press keys, in xdotool's spelling (Tab, Return, ctrl+a)
  dialog             wait until a dialog or message box is in front
  box                wait for a message box, print its text
  answer:BUTTON      wait for a message box or dialog, press its BUTTON
  sleep:SECONDS      wait
  listen:EVENTS      from now on, note the program's AT-SPI events of these comma-separated
                     kinds (such as object:state-changed:busy)
  heard              wait a moment, then print the events noted since the last heard, one per
                     line: kind, detail, role and name of the object
  shot:FILE          screenshot of the whole screen (PNG)

Example:
  scripts/try-window.py click:"Add Files" dialog type:/tmp/site/ key:Return \
      type:'"a.htm" "b.htm"' key:Return rows

Needs: xvfb xdotool x11-utils imagemagick at-spi2-core python3-pyatspi dbus
(openbox for a window frame). pyatspi is a Debian package, hence the
interpreter /usr/bin/python3 rather than whatever python3 is first on PATH.
"""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ITEM_ROLES = {"table cell", "tree item", "table row", "list item"}


class Session:
    """The X server, window manager, buses and the program, stopped together."""

    def __init__(self, config, frame=True):
        self.frame = frame
        self.processes = []
        self.program = None
        self.work = tempfile.mkdtemp(prefix="try-window-")
        self.config = config or os.path.join(self.work, "config")
        os.makedirs(self.config, exist_ok=True)

    def start(self, command):
        self.display = self._free_display()
        os.environ["DISPLAY"] = ":%d" % self.display
        self._spawn(["Xvfb", os.environ["DISPLAY"], "-screen", "0", "1024x768x24",
                     "-nolisten", "tcp"])
        self._wait_for(lambda: subprocess.run(["xdpyinfo"], capture_output=True).returncode == 0,
                       "the X server")
        bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                               start_new_session=True)
        self.processes.append(bus)
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().strip()
        if self.frame and shutil.which("openbox"):
            # The window must be framed from its first showing, as on a desktop.
            self._spawn(["openbox"])
            self._wait_for(lambda: "window id" in subprocess.run(
                ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], capture_output=True,
                text=True).stdout, "the window manager")
        launcher = "/usr/libexec/at-spi-bus-launcher"
        if os.path.exists(launcher):
            self._spawn([launcher, "--launch-immediately"])
        time.sleep(1)
        env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", XDG_CONFIG_HOME=self.config,
                   QT_QPA_PLATFORM="xcb")
        self.program = self._spawn(command, env=env, log="program.log")
        self._wait_for(lambda: subprocess.run(["xdotool", "search", "--name", "^Quillmere"],
                                              capture_output=True).returncode == 0,
                       "the program's window")
        time.sleep(1)

    @staticmethod
    def _free_display():
        display = 90
        while os.path.exists("/tmp/.X%d-lock" % display):
            display += 1
        return display

    def _spawn(self, command, env=None, log=None):
        out = open(os.path.join(self.work, log or os.path.basename(command[0]) + ".log"), "w")
        process = subprocess.Popen(command, env=env, stdout=out, stderr=subprocess.STDOUT,
                                   start_new_session=True)
        self.processes.append(process)
        return process

    @staticmethod
    def _wait_for(ready, what, timeout=20):
        end = time.time() + timeout
        while time.time() < end:
            if ready():
                return
            time.sleep(0.1)
        raise RuntimeError("gave up waiting for " + what)

    def stop(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                os.killpg(process.pid, signal.SIGTERM)
                try:
                    process.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    os.killpg(process.pid, signal.SIGKILL)
        log = os.path.join(self.work, "program.log")
        if os.path.exists(log) and os.path.getsize(log):
            sys.stderr.write("program output:\n" + open(log).read())
        shutil.rmtree(self.work, ignore_errors=True)


class Window:
    """The program as the accessibility tree shows it, and input through X."""

    def __init__(self, process):
        import pyatspi  # only now: it connects to the bus when imported
        from gi.repository import GLib
        self.at = pyatspi
        self.loop = GLib.MainContext.default()
        self.process = process
        self.heard = []

    def listen(self, kinds):
        def note(event):
            try:
                if event.source.get_process_id() == self.process.pid:
                    self.heard.append("%s %d [%s] %r" % (event.type, event.detail1,
                                                         event.source.getRoleName(),
                                                         event.source.name))
            except Exception:
                pass
        self.at.Registry.registerEventListener(note, *kinds)

    def pump(self, seconds):
        """Lets the accessibility library deliver the events that came meanwhile."""
        end = time.time() + seconds
        while time.time() < end:
            if not self.loop.iteration(False):
                time.sleep(0.02)

    def application(self):
        desktop = self.at.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            try:
                if app is not None and app.get_process_id() == self.process.pid:
                    return app
            except Exception:
                continue
        return None

    def windows(self):
        app = self.application()
        return [app.getChildAtIndex(i) for i in range(app.childCount)] if app else []

    def front(self):
        """The modal window if one is open, else the main window."""
        windows = self.windows()
        for window in windows:
            if self.at.STATE_ACTIVE in window.getState().getStates():
                return window
        return windows[-1] if windows else None

    def walk(self, node, depth=0):
        yield node, depth
        for i in range(node.childCount):
            child = node.getChildAtIndex(i)
            if child is not None:
                yield from self.walk(child, depth + 1)

    def find(self, root, name, skip_items=True):
        for node, _ in self.walk(root):
            if skip_items and node.getRoleName() in ITEM_ROLES:
                continue
            if node.name == name:
                return node
        return None

    def queue(self):
        for window in self.windows():
            for node, _ in self.walk(window):
                if node.getRoleName() in ("tree", "table", "list") and node.name == "File queue":
                    return node.queryTable()
        raise RuntimeError("no file queue in the window")

    def states(self, node):
        return sorted(self.at.stateToString(s) for s in node.getState().getStates())

    def extents(self, node):
        box = node.queryComponent().getExtents(self.at.DESKTOP_COORDS)
        return box.x, box.y, box.width, box.height

    def describe(self, node):
        text = ""
        try:
            text = " text=%r" % node.queryText().getText(0, -1)
        except NotImplementedError:
            pass
        return "[%s] %r%s%s %s %s" % (node.getRoleName(), node.name,
                                      " description=%r" % node.description if node.description else "",
                                      text, self.extents(node), " ".join(self.states(node)))

    @staticmethod
    def xdotool(*args):
        subprocess.run(["xdotool", *map(str, args)], check=True)

    def click_at(self, node, repeat=1):
        x, y, w, h = self.extents(node)
        self.xdotool("mousemove", x + w // 2, y + h // 2)
        time.sleep(0.15)
        self.xdotool("click", "--repeat", repeat, "--delay", 60, 1)

    def wait(self, ready, what, timeout=15):
        end = time.time() + timeout
        while time.time() < end:
            try:
                found = ready()
                if found:
                    return found
            except Exception:
                pass
            time.sleep(0.2)
        raise RuntimeError("gave up waiting for " + what)

    def modal(self):
        """The open dialog or message box, once there is one."""
        return self.wait(lambda: next((w for w in self.windows()[1:] if w.getRoleName() in
                                       ("dialog", "alert", "file chooser")), None),
                         "a dialog or message box")


def run_step(window, step):
    verb, _, arg = step.partition(":")
    if verb == "tree":
        for top in window.windows():
            for node, depth in window.walk(top):
                print("  " * depth + window.describe(node))
    elif verb == "windows":
        for top in window.windows():
            print("[%s] %r" % (top.getRoleName(), top.name))
    elif verb == "rows":
        table = window.queue()
        for row in range(table.nRows):
            cells = [table.getAccessibleAt(row, c) for c in range(table.nColumns)]
            print("\t".join(cell.name if cell is not None else "" for cell in cells))
    elif verb == "focus":
        for top in window.windows():
            for node, _ in window.walk(top):
                if node.getRoleName() not in ITEM_ROLES and \
                        window.at.STATE_FOCUSED in node.getState().getStates():
                    print("[%s] %r" % (node.getRoleName(), node.name))
    elif verb == "click":
        node = window.wait(lambda: window.find(window.front(), arg), "a control named %r" % arg)
        window.click_at(node)
    elif verb == "dclick-row":
        table = window.queue()
        window.click_at(table.getAccessibleAt(int(arg) - 1, 0), repeat=2)
    elif verb == "type":
        subprocess.run(["xdotool", "type", "--delay", "20", "--", arg], check=True)
    elif verb == "key":
        window.xdotool("key", *arg.split())
    elif verb == "dialog":
        window.modal()
        time.sleep(0.5)  # the first key typed before the dialog has the focus is lost
    elif verb == "box":
        box = window.modal()
        print(" | ".join(n.name for n, _ in window.walk(box)
                         if n.getRoleName() == "label" and n.name))
    elif verb == "answer":
        box = window.modal()
        button = window.wait(lambda: next((n for n, _ in window.walk(box)
                                           if n.getRoleName() == "push button"
                                           and n.name.replace("&", "") == arg), None),
                             "a button %r" % arg)
        window.click_at(button)
    elif verb == "sleep":
        window.pump(float(arg))
    elif verb == "listen":
        window.listen(arg.split(","))
    elif verb == "heard":
        window.pump(1)
        print("\n".join(window.heard))
        window.heard.clear()
    elif verb == "shot":
        subprocess.run(["import", "-window", "root", arg], check=True)
    else:
        raise SystemExit("unknown step %r (see --help)" % step)
    window.pump(0.3)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                     epilog=__doc__.split("\n\n", 1)[1],
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--program", default=os.path.join(HERE, "..", "build", "quillmere"))
    parser.add_argument("--config", help="settings folder (default: a new empty one)")
    parser.add_argument("--no-frame", action="store_true", help="no window manager")
    parser.add_argument("--arg", action="append", default=[],
                        help="an argument for the program (repeat for more)")
    parser.add_argument("steps", nargs="*")
    options = parser.parse_args()
    program = os.path.abspath(options.program)
    if not os.access(program, os.X_OK):
        raise SystemExit("no program at %s: build it first (make program)" % program)
    session = Session(options.config, frame=not options.no_frame)
    try:
        session.start([program] + options.arg)
        window = Window(session.program)
        window.wait(window.application, "the program on the accessibility bus")
        for step in options.steps:
            run_step(window, step)
    finally:
        session.stop()


if __name__ == "__main__":
    main()
