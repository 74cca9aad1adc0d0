#!/usr/bin/python3
"""Reads Hopster's window as a screen reader does, over the accessibility bus.

It starts its own X server and session bus (the accessibility bus is
started through it) and takes the program to try as its argument. It
opens each tab, a saved recording, a live recording and the four first-run
pages through their accessible actions, prints what a screen reader finds on
each, and fails when something shown has no name, is named after a Qt object
instead of what it is, or when a page is not named after its tab.
"""

import json
import os
import re
import subprocess
import sys
import tempfile
import time


HOPSTER = sys.argv[1]
# Every wait is for a state of the tree, polled, and bounded by this.
WAIT_SECONDS = 60

# What Qt prints for an item nobody named: "QQuickText(0x55a9…, "cardTitle")".
OBJECT_NAME = re.compile(r"\bQ[A-Za-z]+\(0x[0-9a-f]+|\(0x[0-9a-f]{6,}")
# Roles a screen reader announces by their role alone, whose name may stay
# empty: scroll bars (announced with their value) and layout fillers.
UNNAMED_ROLES = {"scroll bar", "filler"}
# Roles a screen reader user activates: each must offer a press action.
PRESSABLE_ROLES = {"push button", "page tab", "toggle button"}
TABS = ("Jump", "Trophies", "History")

failures = []


def fail(where, what):
    failures.append(f"{where}: {what}")
    print(f"  !! {what}")


def showing(node):
    try:
        return node.getState().contains(pyatspi.STATE_SHOWING)
    except Exception:  # the item went away while the tree was read
        return False


def shown_nodes(node, depth=0):
    """(depth, node) of every shown node under `node`, itself included."""
    if not showing(node):
        return
    yield depth, node
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from shown_nodes(child, depth + 1)


def wait_for(what, predicate):
    end = time.monotonic() + WAIT_SECONDS
    while time.monotonic() < end:
        found = predicate()
        if found:
            return found
        time.sleep(0.1)
    raise SystemExit(f"gave up waiting for {what}")


def find(root, role, name):
    """The first shown node with this role whose name matches `name` (a regex)."""
    for _, node in shown_nodes(root):
        if node.getRoleName() == role and re.fullmatch(name, node.name or ""):
            return node
    return None


def press_action(node):
    """The index of the node's press action, or None when it has none."""
    action = node.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    return names.index("Press") if "Press" in names else None


def press(root, role, name):
    """Presses as a screen reader does, through the item's press action."""
    node = wait_for(f"{role} {name!r}", lambda: find(root, role, name))
    index = press_action(node)
    if index is None:
        raise SystemExit(f"{role} {name!r} cannot be pressed by a screen reader")
    node.queryAction().doAction(index)


def walk(root, where, expect_named=()):
    """Waits for the expected items, then prints the shown tree and checks
    every shown node's name."""
    try:
        wait_for(f"{where}: {expect_named}",
                 lambda: all(find(root, role, name) for role, name in expect_named))
    except SystemExit:
        pass  # reported below, with the tree as it is
    print(f"== {where}")
    for depth, node in shown_nodes(root):
        role, name = node.getRoleName(), node.name or ""
        print(f"{'  ' * depth}[{role}] {name!r}")
        if OBJECT_NAME.search(name):
            fail(where, f"{role} named after a Qt object: {name!r}")
        elif re.search(r"(?<![\d.,])1 jumps", name):
            fail(where, f"{role} reads one jump as plural: {name!r}")
        elif not name.strip() and role not in UNNAMED_ROLES and depth > 0:
            fail(where, f"{role} without a name")
        if role in PRESSABLE_ROLES and press_action(node) is None:
            fail(where, f"{role} {name!r} has no press action")
    for role, name in expect_named:
        if find(root, role, name) is None:
            fail(where, f"no {role} named {name!r}")


def start_window(home, first_run):
    env = dict(os.environ,
               XDG_CONFIG_HOME=f"{home}/config", XDG_DATA_HOME=f"{home}/data",
               XDG_CACHE_HOME=f"{home}/cache", XDG_STATE_HOME=f"{home}/state",
               XDG_RUNTIME_DIR=home, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
               QT_QUICK_BACKEND="software")
    if not first_run:
        os.makedirs(f"{home}/config/hopster", exist_ok=True)
        with open(f"{home}/config/hopster/settings.json", "w") as f:
            json.dump({"hasSeenOnboarding": True}, f)
        # One saved recording for the History tab.
        subprocess.run([HOPSTER, "--headless", "--fast", "--seconds", "20", "--seed", "7"],
                       env=env, check=True, stdout=subprocess.DEVNULL, timeout=WAIT_SECONDS)
    window = subprocess.Popen([HOPSTER, "--motion", "sim"], env=env)

    def frame():
        if window.poll() is not None:
            raise SystemExit(f"the window closed at once (exit status {window.returncode})")
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name == "Hopster" and app.childCount > 0:
                return app.getChildAtIndex(0)
        return None

    return window, wait_for("Hopster's window on the accessibility bus", frame)


def tabs_and_recordings(home):
    window, frame = start_window(home, first_run=False)
    try:
        for tab in TABS:
            press(frame, "page tab", tab)
            page = wait_for(f"the {tab} page", lambda: find(frame, "panel", tab))
            others = [t for t in TABS if t != tab and find(frame, "panel", t)]
            if others:
                fail(tab, f"other pages shown too: {others}")
            walk(page, f"{tab} tab", {
                "Jump": [("label", r"Total Jumps: \d+"), ("label", r"\d+ jumps?"),
                         ("label", r"Elapsed time \d\d:\d\d"), ("push button", "Start")],
                "Trophies": [("push button", r".+, (locked|unlocked)")],
                "History": [("list item", r".+Jumps: \d+.*")],
            }[tab])

        press(frame, "list item", r".+Jumps: \d+.*")
        wait_for("the recording's minutes", lambda: find(frame, "list", "Jumps per minute")
                 and find(frame, "label", "Reading the recording…") is None)
        walk(find(frame, "panel", "History"), "a recording opened from History",
             [("push button", "‹ Saved Data"), ("chart", r"Vertical acceleration from .+")])
        if find(frame, "list", "Saved recordings"):
            fail("a recording opened from History", "the list behind it is read out too")
        press(frame, "push button", "‹ Saved Data")

        # A recording: the count and the time are read out as they change.
        press(frame, "page tab", "Jump")
        press(frame, "push button", "Start")
        wait_for("a counted jump", lambda: find(frame, "label", r"[1-9]\d* jumps?"))
        walk(find(frame, "panel", "Jump"), "Jump tab, recording",
             [("push button", r"Stop.*"), ("label", r"Elapsed time 00:0[1-9]|Elapsed time 00:[1-5]\d")])
        press(frame, "push button", r"Stop.*")
        wait_for("Start again", lambda: find(frame, "push button", "Start"))
    finally:
        window.terminate()
        window.wait(WAIT_SECONDS)


def first_run(home):
    window, frame = start_window(home, first_run=True)
    try:
        # Each page's name, and what must be read out on it.
        pages = (("Welcome to Hopster", [("heading", "Welcome to Hopster"),
                                         ("label", "The first jump counter app.*")]),
                 ("Get Fit Anywhere!", [("heading", "Get Fit Anywhere!"),
                                        ("label", "Let Hopster track your jumps.*")]),
                 ("Jump Tracking", [("heading", "Jump Tracking"),
                                    ("label", "Hopster accurately tracks your jumps.*")]),
                 ("Reminders", [("label", "Would you like a boost.*"), ("push button", "Yeah"),
                                ("push button", "No")]))
        for number, (title, expected) in enumerate(pages, start=1):
            # The page alone: the one before has slid away.
            page = wait_for(f"first-run page {title!r} alone", lambda: len(
                [p for p, _ in pages if find(frame, "panel", re.escape(p))]) == 1
                and find(frame, "panel", re.escape(title)))
            walk(frame, f"first-run page {number}",
                 expected + ([("push button", "Back")] if number > 1 else []))
            if number < len(pages):
                press(page, "push button", "Let's Go!|Next")
    finally:
        window.terminate()
        window.wait(WAIT_SECONDS)


def start_private_desktop():
    """A virtual X server and a session bus of our own: Xvfb picks a free
    display and says which (no race with other tests picking one), and the
    bus says its address; both are gone with this process."""
    read_end, write_end = os.pipe()
    # -noreset: the accessibility bus's launcher connects to the display
    # and leaves; an X server that resets when its last client goes would
    # turn the window away if it came in just then.
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp", "-noreset",
                               "-screen", "0", "390x844x24"], pass_fds=[write_end])
    os.close(write_end)
    with os.fdopen(read_end) as display:
        os.environ["DISPLAY"] = ":" + display.readline().strip()
    bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address"],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    os.environ["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().strip()
    return server, bus


processes = start_private_desktop()
import pyatspi  # noqa: E402 (it finds the accessibility bus through the session bus)

try:
    with tempfile.TemporaryDirectory() as tabs_home, tempfile.TemporaryDirectory() as new_home:
        tabs_and_recordings(tabs_home)
        first_run(new_home)
finally:
    for process in processes:
        process.terminate()

if failures:
    print(f"{len(failures)} problems a screen reader would meet:")
    print("\n".join(failures))
    sys.exit(1)
print("every shown item is named")
