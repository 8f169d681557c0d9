"""What the window tests share: reading the program over AT-SPI, keys through xdotool,
starting the program once the desktop is ready for it, and ending it.

Every wait polls with a deadline and gives up at once when the program has ended.
"""
import html
import os
import re
import signal
import subprocess
import time

import pyatspi

FAILURES = []
# Where a wait that gives up leaves a picture of the screen, while the program still shows.
TIMEOUT_SCREENSHOT = None


def fail(message):
    FAILURES.append(message)
    print("FAIL: " + message, flush=True)


def note(message):
    print(message, flush=True)


class ProgramEnded(Exception):
    pass


def wait_for(what, probe, seconds, program=None):
    """Polls probe until it gives something; gives up at once if program ended meanwhile."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if program is not None and program.poll() is not None:
            raise ProgramEnded("the program ended with code %d while waiting for %s"
                               % (program.returncode, what))
        try:
            found = probe()
        except Exception:  # the tree changes under our feet while the window is built
            found = None
        if found:
            return found
        time.sleep(0.25)
    if TIMEOUT_SCREENSHOT:
        subprocess.run(["import", "-window", "root", TIMEOUT_SCREENSHOT], timeout=30)
    raise TimeoutError("gave up waiting for " + what)


def children(node):
    try:
        return [node.getChildAtIndex(i) for i in range(node.childCount)]
    except Exception:
        return []


def showing(node):
    try:
        states = node.getState()
        return states.contains(pyatspi.STATE_SHOWING) and states.contains(pyatspi.STATE_VISIBLE)
    except Exception:
        return False


def focused(node):
    try:
        return node.getState().contains(pyatspi.STATE_FOCUSED)
    except Exception:
        return False


def descendants(node):
    for child in children(node):
        if child is None:
            continue
        yield child
        yield from descendants(child)


def plain(text):
    return html.unescape(re.sub(r"<[^>]*>", "", text or ""))


def name_of(node):
    return plain(node.name).replace("&", "")


def registered_names():
    desktop = pyatspi.Registry.getDesktop(0)
    # Without an event loop the cache never hears of a program that registered later.
    desktop.clear_cache()
    return [(app, app.name) for app in children(desktop) if app is not None]


def registry_answers():
    desktop = pyatspi.Registry.getDesktop(0)
    desktop.clear_cache()
    return desktop.childCount >= 0  # raises while the registry is not there


def application(name):
    for app, app_name in registered_names():
        if app_name == name:
            return app
    return None


def extents(node):
    box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return box.x, box.y, box.width, box.height


def label(node):
    return "%s \"%s\"" % (node.getRoleName(), name_of(node)[:40])


def x_window(title):
    pattern = "^%s$" % title
    out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", pattern],
                         capture_output=True, text=True, timeout=10).stdout.split()
    return out[0] if out else None


def screenshot(title, path):
    window_id = x_window(title) if title else None
    target = window_id if window_id else "root"
    result = subprocess.run(["import", "-window", target, path], capture_output=True, timeout=30)
    if result.returncode != 0:
        fail("screenshot %s: %s" % (path, result.stderr.decode(errors="replace")))
    else:
        note("screenshot: " + path)


def find(root, role, name=None, showing_only=True):
    for node in descendants(root):
        if node.getRole() == role and (name is None or name_of(node) == name):
            if not showing_only or showing(node):
                return node
    return None


def press(node):
    action = node.queryAction()
    names = [action.getName(index) for index in range(action.nActions)]
    action.doAction(names.index("Press") if "Press" in names else 0)


def frame_titled(app, title):
    for node in children(app):
        if node is not None and node.getRole() in (pyatspi.ROLE_FRAME, pyatspi.ROLE_DIALOG,
                                                   pyatspi.ROLE_WINDOW) and node.name == title:
            return node
    return None


def box_saying(app, words, besides=None):
    """A showing top-level box (not besides) with a label holding words: (box, its text)."""
    for node in children(app):
        if node is None or node is besides or not showing(node):
            continue
        for text in descendants(node):
            if text.getRole() == pyatspi.ROLE_LABEL and words in plain(text.name):
                return node, plain(text.name)
    return None


def buttons(node):
    return [b for b in descendants(node) if b.getRole() == pyatspi.ROLE_PUSH_BUTTON]


def key_to_box(program, box, key):
    """Gives the box's X window the focus, as a click on its title would, and types key.
    The button Enter presses is the one focused: its name is returned."""
    x, y, width, height = extents(box)
    out = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(program.pid),
                          "--name", "."], capture_output=True, text=True, timeout=10).stdout
    target = None
    for window_id in out.split():
        geometry = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window_id],
                                  capture_output=True, text=True, timeout=10).stdout
        values = dict(line.split("=", 1) for line in geometry.split() if "=" in line)
        if (int(values.get("WIDTH", -1)), int(values.get("HEIGHT", -1))) == (width, height):
            target = window_id
    if target is None:
        raise TimeoutError("no X window of %dx%d for the box" % (width, height))
    subprocess.run(["xdotool", "windowfocus", "--sync", target], timeout=10)
    default = wait_for("a focused button in the box",
                       lambda: [name_of(b) for b in buttons(box) if focused(b)], 10, program)
    subprocess.run(["xdotool", "key", "--clearmodifiers", key], timeout=10)
    return default[0]


def tree_bytes(root):
    files = {}
    for folder, _, names in os.walk(os.fsencode(root)):
        for name in names:
            path = os.path.join(folder, name)
            with open(path, "rb") as handle:
                files[os.path.relpath(path, os.fsencode(root))] = handle.read()
    return files


def same_tree(source, destination, folder_times=True):
    """Byte for byte and name for name, folders included, as `rsync -anci` would see it.
    A script copying file by file writes into its folders after making them: their times
    are then not the source's (folder_times False)."""
    listing = subprocess.run(["rsync", "-anci", "--delete", source + "/", destination + "/"],
                             capture_output=True, text=True, errors="replace", timeout=300)
    compared = subprocess.run(["diff", "-r", "--no-dereference", source, destination],
                              capture_output=True, text=True, errors="replace", timeout=300)
    # The destination's own folder was there before the copy: its times are its own.
    lines = [line for line in listing.stdout.splitlines() if not line.endswith(" ./")
             and (folder_times or not line.startswith(".d..t...... "))]
    differences = "\n".join(lines) + compared.stdout.strip()
    return (listing.returncode == 0 and compared.returncode == 0 and not differences), differences


def desktop_ready():
    """Waits for the display, the accessibility registry and the accessibility bus's address
    on the screen's root window. Qt reads that address from the root window when the
    program starts; without it, it asks the session bus once, and a launcher still
    starting on a busy machine can leave that unanswered: the program then never
    registers, however long one waits."""
    wait_for("the virtual display", lambda: subprocess.run(
        ["xdotool", "getdisplaygeometry"], capture_output=True, timeout=5).returncode == 0, 60)
    wait_for("the accessibility registry", registry_answers, 120)

    def address():
        out = subprocess.run(["dbus-send", "--session", "--print-reply=literal",
                              "--dest=org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus.GetAddress"],
                             capture_output=True, text=True, timeout=30)
        return out.stdout.strip() if out.returncode == 0 else None

    bus = wait_for("the accessibility bus's address", address, 120)

    def on_root_window():
        out = subprocess.run(["xprop", "-root", "AT_SPI_BUS"], capture_output=True, text=True,
                             timeout=10).stdout
        if bus in out:
            return True
        # The launcher sets it only when it knew the display as it started.
        subprocess.run(["xprop", "-root", "-f", "AT_SPI_BUS", "8s", "-set", "AT_SPI_BUS", bus],
                       timeout=10)
        return False

    wait_for("the accessibility bus's address on the root window", on_root_window, 60)


def program_environment(scale="1", language=None):
    env = dict(os.environ)
    env.update({"QT_QPA_PLATFORM": "xcb", "QT_ACCESSIBILITY": "1",
                "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1", "QT_SCALE_FACTOR": scale})
    for name in ("QT_AUTO_SCREEN_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_FONT_DPI"):
        env.pop(name, None)
    if language:
        for name in ("LC_ALL", "LC_MESSAGES", "LC_NUMERIC", "LANGUAGE"):
            env.pop(name, None)
        env["LANG"] = language
    return env


# Generous: a sanitizer build beside a parallel build takes long to show its first window.
STARTUP_SECONDS = 240


def start(arguments, env):
    """Starts the program and waits for it on the accessibility bus: (process, application)."""
    program = subprocess.Popen(arguments, env=env)
    started = time.monotonic()
    try:
        app = wait_for("the program on the accessibility bus", lambda: application("Brindle"),
                       STARTUP_SECONDS, program)
    except TimeoutError:
        names = [name for _, name in registered_names()]
        stop(program)
        raise TimeoutError("gave up waiting for the program on the accessibility bus; "
                           "registered there: %s" % names)
    note("on the accessibility bus after %.1f s" % (time.monotonic() - started))
    return program, app


def stop(program, code_wanted=0):
    """Ends the program with a termination request, which closes the window without asking;
    a run it stops is saved, and the program ends with 3."""
    ended_early = program.poll() is not None
    if not ended_early:
        program.send_signal(signal.SIGTERM)
    try:
        code = program.wait(60)
        if code != code_wanted and not ended_early:
            fail("the program ended with code %d after SIGTERM" % code)
        elif ended_early and not any("the program ended" in f
                                                          for f in FAILURES):
            fail("the program ended on its own with code %d before the checks ended" % code)
    except subprocess.TimeoutExpired:
        program.kill()
        program.wait(10)
        fail("the program did not end on SIGTERM")
