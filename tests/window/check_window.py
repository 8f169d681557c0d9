#!/usr/bin/python3
"""Drives the real brindle window under a virtual display the way a screen reader sees it.

Started by check-window.sh inside xvfb-run and dbus-run-session. The program copies a small
tree given as its two arguments; this script answers the end-of-run box over AT-SPI, reads
the box and the recap, checks the copy on disk, checks that no control of the window or of
the preferences is cut off by its window or parent or overlaps a sibling, and takes
screenshots. Every wait has a deadline; the program is always terminated.
"""
import argparse
import os
import re
import subprocess
import sys
import time

import pyatspi

from windowdriver import (FAILURES, ProgramEnded, box_saying, children, descendants,
                          desktop_ready, extents, fail, find, frame_titled, label, name_of,
                          note, press, program_environment, screenshot, showing, start,
                          stop, tree_bytes, wait_for, x_window)


CHECKED_ROLES = {pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_LABEL, pyatspi.ROLE_RADIO_BUTTON,
                 pyatspi.ROLE_CHECK_BOX}
# Controls that must not overlap one another when they share a parent.
SIBLING_ROLES = CHECKED_ROLES | {pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY, pyatspi.ROLE_COMBO_BOX,
                                 pyatspi.ROLE_SPIN_BUTTON, pyatspi.ROLE_PROGRESS_BAR,
                                 pyatspi.ROLE_PANEL, pyatspi.ROLE_PAGE_TAB_LIST}
SLACK = 1  # pixels of rounding in scaled coordinates


def inside(inner, outer):
    x, y, w, h = inner
    ox, oy, ow, oh = outer
    return (x >= ox - SLACK and y >= oy - SLACK and x + w <= ox + ow + SLACK
            and y + h <= oy + oh + SLACK)


def overlap(a, b):
    width = min(a[0] + a[2], b[0] + b[2]) - max(a[0], b[0])
    height = min(a[1] + a[3], b[1] + b[3]) - max(a[1], b[1])
    return width > SLACK and height > SLACK


def check_layout(window, where, screen):
    """The window on the screen; every showing control inside the window and its parent;
    no siblings overlapping."""
    window_box = extents(window)
    if not inside(window_box, screen):
        fail("%s: the window at %s does not fit on the screen %s" % (where, window_box, screen))
    checked = 0

    def walk(parent, parent_box):
        nonlocal checked
        placed = []
        for child in children(parent):
            if child is None or not showing(child):
                continue
            box = extents(child)
            if box[2] <= 0 or box[3] <= 0:
                continue
            role = child.getRole()
            if role in CHECKED_ROLES:
                checked += 1
                if not inside(box, window_box):
                    fail("%s: %s at %s lies outside the window %s"
                         % (where, label(child), box, window_box))
                elif parent_box and not inside(box, parent_box):
                    fail("%s: %s at %s is cut off by its parent %s at %s"
                         % (where, label(child), box, label(parent), parent_box))
            if role in SIBLING_ROLES:
                for other, other_box in placed:
                    if overlap(box, other_box):
                        fail("%s: %s at %s overlaps %s at %s"
                             % (where, label(child), box, label(other), other_box))
                placed.append((child, box))
            walk(child, box)

    walk(window, window_box)
    note("%s: %d controls checked inside %s" % (where, checked, window_box))
    if checked < 10:
        fail("%s: only %d controls found over AT-SPI" % (where, checked))


def run(args):
    env = program_environment(args.scale)
    os.makedirs(args.screenshots, exist_ok=True)
    suffix = args.suffix
    # AT-SPI speaks in the program's logical pixels: the screen divided by the scale.
    width, height = (int(int(n) / float(args.scale)) for n in args.screen.split("x"))
    screen = (0, 0, width, height)
    desktop_ready()
    program, app = start([args.program, args.source, args.destination], env)
    try:
        window = wait_for("the main window", lambda: frame_titled(app, "Brindle"), 60, program)

        def outcome_box():
            return box_saying(app, "The copy", window)

        box, outcome = wait_for("the end-of-run box", outcome_box, 120, program)
        note("end-of-run box: " + outcome)
        if "The copy is completed." not in outcome:
            fail("the box says \"%s\", not that the copy is completed" % outcome)
        buttons = [name_of(b) for b in descendants(box) if b.getRole() == pyatspi.ROLE_PUSH_BUTTON]
        if "View report" not in buttons or "Ok" not in buttons:
            fail("the box offers %s, not View report and Ok" % buttons)
        press(find(box, pyatspi.ROLE_PUSH_BUTTON, "View report"))
        # A closed box may linger in the tree with stale states: its label must be gone.
        wait_for("the box to close", lambda: outcome_box() is None, 20)

        def recap():
            for node in descendants(window):
                if node.getRole() == pyatspi.ROLE_TEXT and showing(node):
                    text = node.queryText().getText(0, -1)
                    if "Total Files:" in text:
                        return text
            return None

        report = wait_for("the recap with the report", recap, 20)
        expected_files = len(tree_bytes(args.source))
        for line in ("Total Files: %d" % expected_files, "Copied Files: %d" % expected_files,
                     "Errors: 0", "Done"):
            if line not in report:
                fail("the recap lacks \"%s\":\n%s" % (line, report))
        time.sleep(0.5)
        screenshot("Brindle", os.path.join(args.screenshots, "window-recap%s.png" % suffix))

        if tree_bytes(args.source) != tree_bytes(args.destination):
            fail("the destination does not hold the same files and bytes as the source")
        else:
            note("destination: %d files, same bytes as the source" % expected_files)

        press(find(window, pyatspi.ROLE_PAGE_TAB, "Copy"))
        wait_for("the Copy tab", lambda: find(window, pyatspi.ROLE_PUSH_BUTTON, "Verify"), 10)
        time.sleep(0.5)
        check_layout(window, "window" + suffix, screen)
        screenshot("Brindle", os.path.join(args.screenshots, "window-after-copy%s.png" % suffix))

        # The preferences open with their accelerator, as a keyboard user opens them.
        window_id = x_window("Brindle")
        subprocess.run(["xdotool", "windowfocus", "--sync", window_id], timeout=10)
        subprocess.run(["xdotool", "key", "--clearmodifiers", "ctrl+comma"], timeout=10)
        title = "Preferences - Brindle"
        dialog = wait_for("the preferences",
                          lambda: showing(frame_titled(app, title)) and frame_titled(app, title), 20)
        for tab in [n for n in descendants(dialog) if n.getRole() == pyatspi.ROLE_PAGE_TAB]:
            tab_name = name_of(tab)
            press(tab)
            time.sleep(0.5)
            check_layout(dialog, "preferences, %s%s" % (tab_name, suffix), screen)
            slug = re.sub(r"[^a-z]+", "-", tab_name.lower()).strip("-")
            screenshot(title,
                       os.path.join(args.screenshots, "preferences-%s%s.png" % (slug, suffix)))
        press(find(dialog, pyatspi.ROLE_PUSH_BUTTON, "Cancel"))
        wait_for("the preferences to close", lambda: not showing(dialog), 20)
    except (TimeoutError, subprocess.TimeoutExpired, ProgramEnded) as error:
        fail(str(error))
        subprocess.run(["import", "-window", "root",
                        os.path.join(args.screenshots, "timeout%s.png" % suffix)], timeout=30)
    finally:
        stop(program)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--source", required=True)
    parser.add_argument("--destination", required=True)
    parser.add_argument("--screenshots", required=True)
    parser.add_argument("--screen", default="1366x768")
    parser.add_argument("--scale", default="1")
    parser.add_argument("--suffix", default="")
    args = parser.parse_args()
    try:
        run(args)
    except (TimeoutError, subprocess.TimeoutExpired, ProgramEnded) as error:
        fail(str(error))
    if FAILURES:
        print("%d check(s) failed" % len(FAILURES))
        return 1
    print("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
