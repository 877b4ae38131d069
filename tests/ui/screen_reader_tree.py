#!/usr/bin/python3
"""Reads the player's window as a screen reader does, over AT-SPI.

    screen_reader_tree.py VRK3 DEMO_DIR

Starts VRK3 on a copy of the demo story, goes through the slot picker and the name boxes with
the buttons' own actions, and checks what a screen reader finds on the way: the dialogs' names
and roles, the page's text (never more than is uncovered), each new page announced once, and
the choice buttons named by their choices. Run it on an accessibility bus of its own
(screen_reader_test.sh). Prints the window's tree on the page with choices.
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import GLib  # noqa: E402
import pyatspi  # noqa: E402

TIMEOUT = 15.0
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL: " + message)
    return condition


def pump(seconds=0.0):
    """Lets the events that came in reach their listeners."""
    end = time.monotonic() + seconds
    context = GLib.MainContext.default()
    while True:
        while context.iteration(False):
            pass
        if time.monotonic() >= end:
            return
        time.sleep(0.02)


def role(node):
    return node.getRoleName()


def walk(node, depth=0):
    yield node, depth
    try:
        count = node.childCount
    except Exception:
        return
    for i in range(count):
        try:
            child = node.getChildAtIndex(i)
        except Exception:
            continue
        if child is not None:
            yield from walk(child, depth + 1)


def find(root, wanted_role, name=None, showing_only=True):
    for node, _ in walk(root):
        try:
            if role(node) != wanted_role or (name is not None and node.name != name):
                continue
            if showing_only and not node.getState().contains(pyatspi.STATE_SHOWING):
                continue
            return node
        except Exception:
            continue
    return None


def wait_for(what, probe, timeout=TIMEOUT):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        pump()
        found = probe()
        if found:
            return found
        time.sleep(0.1)
    raise TimeoutError("timed out waiting for " + what)


def text_of(node):
    text = node.queryText()
    return text.getText(0, text.characterCount)


def press(button):
    action = button.queryAction()
    for i in range(action.nActions):
        if action.getName(i) == "Press":
            action.doAction(i)
            return
    action.doAction(0)


def dump(root):
    lines = []
    for node, depth in walk(root):
        try:
            name = node.name
            entry = "  " * depth + role(node) + (f' "{name}"' if name else "")
            if "Text" in pyatspi.listInterfaces(node) and role(node) in ("paragraph", "text"):
                entry += " text=" + repr(text_of(node)[:200])
            if not node.getState().contains(pyatspi.STATE_SENSITIVE):
                entry += " [disabled]"
            if not node.getState().contains(pyatspi.STATE_SHOWING) and role(node) != "popup menu":
                entry += " [hidden]"
            lines.append(entry)
        except Exception:
            continue
    return "\n".join(lines)


def main():
    player, demo = sys.argv[1], sys.argv[2]
    home = tempfile.mkdtemp(prefix="vrk_screen_reader_")
    shutil.copytree(demo, os.path.join(home, "demo"))
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, "config"),
               XDG_DATA_HOME=os.path.join(home, "data"), QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
               QT_QPA_PLATFORM="xcb", SDL_AUDIODRIVER="dummy", QT_ACCESSIBILITY="1")
    announcements = []

    def on_event(event):
        try:
            if role(event.source) == "notification":
                announcements.append((event.type, event.source.name))
        except Exception:
            pass

    pyatspi.Registry.registerEventListener(on_event, "object:property-change:accessible-name",
                                           "object:state-changed:showing")
    proc = subprocess.Popen([player, os.path.join(home, "demo", "DEMO.VRK")], env=env)
    try:
        desktop = pyatspi.Registry.getDesktop(0)
        app = wait_for("the player on the accessibility bus", lambda: next(
            (a for a in desktop if a is not None and a.get_process_id() == proc.pid), None))

        # The slot picker.
        picker = wait_for("the slot picker", lambda: find(app, "dialog", "セーブスロットの選択"))
        check(picker.description != "", "the picker describes the slot it shows")
        for slot in range(1, 5):
            check(find(picker, "radio button", f"スロット {slot}") is not None, f"radio button スロット {slot}")
        check(find(picker, "push button", "消去") is not None, "the erase button")
        press(find(picker, "push button", "Ok"))

        # The name boxes: the entry is labelled by the question.
        for _ in range(2):
            box = wait_for("a name box", lambda: find(app, "dialog", "名前の入力"))
            entry = find(box, "text")
            check(entry is not None and entry.name != "", "the name entry is named by its question")
            press(find(box, "push button", "Ok"))
            wait_for("the name box to close or ask again",
                     lambda: find(app, "dialog", "名前の入力") is None or True)
            pump(0.5)

        # The first page: while it is uncovered, never more than the page; then all of it.
        page = wait_for("the page", lambda: find(app, "paragraph", "本文"))
        seen = text_of(page)
        button_a = wait_for("choice A enabled", lambda: (lambda b: b if b is not None and b.getState().contains(
            pyatspi.STATE_SENSITIVE) else None)(find(app, "push button", "A: 列車を降りる")))
        whole = text_of(page)
        check(whole.startswith("夜行列車が、小さな駅に止まった。"), "the page's text: " + repr(whole[:40]))
        check(" A: 列車を降りる" in whole and " B: このまま眠る" in whole, "the choices' lines are in the text")
        check(whole.startswith(seen), "the text while the page is uncovered is the start of the page")
        check(find(app, "push button", "B: このまま眠る") is not None, "choice button B is named by its choice")
        pump(0.5)
        first = [a for a in announcements if a[0].startswith("object:state-changed:showing")]
        check(len(first) == 1, f"the first page announced once, not {len(first)} times")
        check(bool(first) and first[-1][1].startswith("夜行列車が"), "the announcement is the page's text")
        print("--- the window on a page with choices ---")
        print(dump(app))
        print("--- announcements ---")
        for kind, name in announcements:
            print(kind, repr(name[:60]))

        # A choice: the next page is announced once more.
        before = len(first)
        press(button_a)
        wait_for("the second page", lambda: len([a for a in announcements if "showing" in a[0]]) > before)
        pump(0.5)
        shown = [a for a in announcements if "showing" in a[0]]
        check(len(shown) == before + 1, f"the next page announced once, not {len(shown) - before} times")
        check(shown[-1][1].startswith("ホームには誰もいない。"), "the next page's text announced")

        # The backlog, from the view menu's item: a named text of the pages before.
        press(find(app, "menu item", "バックログ(B)", showing_only=False))
        backlog = wait_for("the backlog", lambda: find(app, "text", "バックログ"))
        check("夜行列車が" in text_of(backlog), "the backlog holds the page before")
    except TimeoutError as error:
        check(False, str(error))
        try:
            print(dump(app))
        except Exception:
            pass
    finally:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(5)
        except subprocess.TimeoutExpired:
            proc.kill()
        shutil.rmtree(home, ignore_errors=True)
    print("OK" if not failures else f"{len(failures)} checks failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
