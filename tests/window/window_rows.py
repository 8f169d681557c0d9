#!/usr/bin/python3
"""Single journeys through the real window, each checked on disk (check-window.sh ROW).

  resume          a 2 GiB copy stopped by a termination request, resumed from the start-up
                  offer of the next start with Enter: the copy equals the source
  missing_drive   a destination whose parent is missing: Enter answers Cancel, nothing made
  foreign_task    a task file from outside the data folder: its summary, Enter cancels
  recap_command   the Recap's terminal command, run under sh, makes the same tree
  export_script   the list's exported copy script, run under sh, makes the same tree
  language        German texts under LANG=de_DE.UTF-8, English under C.UTF-8 and en_US.UTF-8
"""
import argparse
import glob
import os
import subprocess
import sys
import time

import pyatspi

import windowdriver
from windowdriver import (FAILURES, ProgramEnded, box_saying, buttons, descendants,
                          desktop_ready, fail, find, frame_titled, key_to_box, name_of, note,
                          press, program_environment, same_tree, screenshot, showing, start,
                          stop, wait_for)

# Names a shell, a quoting rule or a line-based reader could get wrong.
ODD_NAMES = [b"plain.txt", b"with space.txt", b"back\\slash.txt", b"new\nline.txt",
             b"quote'single.txt", b'quote"double.txt', b"$(touch pwned).txt", b"-dash.txt",
             b"latin-\xe9.txt", b"star*.txt", b"sub folder/inner file.txt",
             b"sub folder/deeper/last.txt"]


def make_tree(root, names):
    for name in names:
        path = os.path.join(os.fsencode(root), name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as handle:
            handle.write(b"bytes of " + name + b"\n")


def main_window(app, program):
    return wait_for("the main window", lambda: frame_titled(app, "Brindle"), 60, program)


def answer_outcome(app, program, window):
    box, outcome = wait_for("the end-of-run box",
                            lambda: box_saying(app, "The copy", window), 600, program)
    note("end-of-run box: " + outcome)
    if "The copy is completed." not in outcome:
        fail("the box says \"%s\", not that the copy is completed" % outcome)
    press(find(box, pyatspi.ROLE_PUSH_BUTTON, "View report"))
    wait_for("the box to close", lambda: box_saying(app, "The copy", window) is None, 20)


def check_tree(source, destination, what, folder_times=True):
    same, differences = same_tree(source, destination, folder_times)
    if same:
        note("%s: the same tree as the source" % what)
    else:
        fail("%s differs from the source:\n%s" % (what, differences[:2000]))


def tree_size(root):
    total = 0
    for folder, _, names in os.walk(root):
        for name in names:
            try:
                total += os.lstat(os.path.join(folder, name)).st_blocks * 512
            except OSError:
                pass
    return total


def stopped_files():
    return glob.glob(os.path.join(os.environ["XDG_DATA_HOME"], "**", "stopped-*.bdt"),
                     recursive=True)


def finished_parts(source, destination):
    """The copied parts at their full size, with their inode and change time: a resume
    leaves them alone."""
    done = {}
    for name in os.listdir(source):
        try:
            status = os.lstat(os.path.join(destination, name))
        except OSError:
            continue
        if status.st_size == PART and status.st_blocks * 512 >= PART:
            done[name] = (status.st_ino, status.st_ctime_ns)
    return done


PART = 128 << 20


def row_resume(args, env):
    source, destination = os.path.join(args.scratch, "big"), os.path.join(args.scratch, "copy")
    os.makedirs(destination)
    make_tree(source, [b"sub/small.txt"])
    for index in range(16):  # 2 GiB of random bytes
        subprocess.run(["sh", "-c", "head -c %d /dev/urandom > \"$0\"" % PART,
                        os.path.join(source, "part-%02d.bin" % index)], check=True)
    program, app = start([args.program, source, destination], env)
    try:
        main_window(app, program)
        # Stopped on its way: a quarter of the parts copied.
        wait_for("a quarter of the copy on disk",
                 lambda: len(finished_parts(source, destination)) >= 4, 300, program)
    finally:
        stop(program, 3)
    done = finished_parts(source, destination)
    note("stopped with %d of 16 parts copied" % len(done))
    if not stopped_files():
        fail("no stopped run was saved in the data folder")
    if len(done) == 16:
        fail("the copy had ended before the termination request: nothing was resumed")

    program, app = start([args.program], env)
    try:
        window = main_window(app, program)
        box, text = wait_for("the offer of the stopped run",
                             lambda: box_saying(app, "A run was stopped", window), 60, program)
        for words in ("Source: " + source, "Destination: " + destination):
            if words not in text:
                fail("the offer does not say \"%s\":\n%s" % (words, text))
        default = key_to_box(program, box, "Return")
        if default != "Resume":
            fail("Enter on the offer presses %s, not Resume" % default)
        answer_outcome(app, program, window)
        check_tree(source, destination, "the resumed copy")
        again = [name for name, inode in done.items()
                 if finished_parts(source, destination).get(name) != inode]
        if again:
            fail("the resume copied again what the stopped run had finished: %s" % again)
        wait_for("the saved run to be removed", lambda: not stopped_files(), 20, program)
    finally:
        stop(program)


def row_missing_drive(args, env):
    source = os.path.join(args.scratch, "source")
    make_tree(source, ODD_NAMES[:3])
    missing = os.path.join(args.scratch, "xxx")
    destination = os.path.join(missing, "nodrive", "backup")
    program, app = start([args.program, source, destination], env)
    try:
        window = main_window(app, program)
        box, text = wait_for("the question about the drive",
                             lambda: box_saying(app, "Is the drive mounted?", window), 60, program)
        note("question: " + text)
        if "'%s'" % missing not in text:
            fail("the question does not name the missing folder %s:\n%s" % (missing, text))
        default = key_to_box(program, box, "Return")
        if default != "Cancel":
            fail("Enter on the question presses %s, not Cancel" % default)
        wait_for("the question to close",
                 lambda: box_saying(app, "Is the drive mounted?", window) is None, 20, program)
        if os.path.lexists(missing):
            fail("Enter made %s" % missing)
        if [n for n in buttons(app)
                if showing(n) and name_of(n) in ("Create all folders", "Create folder")]:
            fail("a second question offers to create the folders")
    finally:
        stop(program)


def row_foreign_task(args, env):
    source = os.path.join(args.scratch, "source")
    make_tree(source, ODD_NAMES)
    destination = os.path.join(args.scratch, "task destination")
    elsewhere = os.path.join(args.scratch, "downloads")
    os.makedirs(elsewhere)
    task = os.path.join(elsewhere, "job.bdt")
    subprocess.run([args.cli, "copy", source, destination, "--overwrite", "always",
                    "--save-task", task, "--quiet"], check=True, stdout=subprocess.DEVNULL,
                   env=dict(env, QT_QPA_PLATFORM="offscreen"))
    subprocess.run(["rm", "-rf", destination], check=True)
    os.makedirs(destination)
    program, app = start([args.program, task], env)
    try:
        window = main_window(app, program)
        box, text = wait_for("the loaded task's summary",
                             lambda: box_saying(app, "Copy task is loaded", window), 60, program)
        note("summary: " + text)
        for words in ("not saved by this program", "Mode: copy", "Source: " + source,
                      "Destination: " + destination,
                      "Existing files in the destination: always replaced"):
            if words not in text:
                fail("the summary does not say \"%s\"" % words)
        default = key_to_box(program, box, "Return")
        if default != "Cancel":
            fail("Enter on the summary presses %s, not Cancel" % default)
        wait_for("the summary to close",
                 lambda: box_saying(app, "Copy task is loaded", window) is None, 20, program)
        # Nothing may start later either: watched for a while, as a user would look.
        deadline = time.monotonic() + 3
        while time.monotonic() < deadline:
            if os.listdir(destination):
                fail("the cancelled task copied %s" % os.listdir(destination))
                break
            time.sleep(0.2)
    finally:
        stop(program)


def recap_text(window):
    for node in descendants(window):
        if node.getRole() == pyatspi.ROLE_TEXT and showing(node):
            text = node.queryText().getText(0, -1)
            if "Total Files:" in text:
                return text
    return None


def copy_odd_tree(args, env):
    """Copies a tree of odd names under an odd root through the window: (source, destination,
    program, application, window)."""
    source = os.path.join(args.scratch, "odd root 'q' $HOME \\ \"dq\"")
    make_tree(source, ODD_NAMES)
    destination = os.path.join(args.scratch, "odd copy")
    os.makedirs(destination)
    program, app = start([args.program, source, destination], env)
    window = main_window(app, program)
    answer_outcome(app, program, window)
    check_tree(source, destination, "the window's copy")
    return source, destination, program, app, window


def rerun(command, source, destination, what):
    subprocess.run(["rm", "-rf", destination], check=True)
    result = subprocess.run(["sh", "-c", command], capture_output=True, text=True,
                            errors="replace", cwd="/", timeout=120)
    if result.returncode != 0:
        fail("%s failed with %d: %s" % (what, result.returncode, result.stderr[:2000]))
    check_tree(source, destination, what, folder_times=False)
    pwned = os.path.join("/", "pwned")
    if os.path.lexists(pwned):
        os.remove(pwned)
        fail("%s ran a command hidden in a file name" % what)


def row_recap_command(args, env):
    source, destination, program, app, window = copy_odd_tree(args, env)
    try:
        marker = "To make this copy from terminal you can try to use this command:"
        text = wait_for("the terminal command in the recap",
                        lambda: marker in (recap_text(window) or "") and recap_text(window),
                        20, program)
        command = text.split(marker, 1)[1].strip()
        note("recap command: " + command)
        rerun(command, source, destination, "the recap's command")
    finally:
        stop(program)


LISTS = (pyatspi.ROLE_TABLE, pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_TREE, pyatspi.ROLE_LIST)


def row_export_script(args, env):
    source, destination, program, app, window = copy_odd_tree(args, env)
    try:
        press(find(window, pyatspi.ROLE_PAGE_TAB, "Report"))
        press(wait_for("the list's Copied view",
                       lambda: find(window, pyatspi.ROLE_RADIO_BUTTON, "Copied"), 20, program))
        table = wait_for("the filled list", lambda: next(
            (n for n in descendants(window) if n.getRole() in LISTS and showing(n)
             and n.childCount > len(ODD_NAMES)), None), 20, program)
        x, y, width, height = table.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        subprocess.run(["xdotool", "mousemove", "--sync", str(x + width // 2),
                        str(y + height // 2), "click", "3"], timeout=10)
        # Qt 5 puts no context menu on the accessibility bus: its fourth item is chosen by
        # keyboard, the one before it (Add to task) asks nothing.
        subprocess.run(["xdotool", "key", "--delay", "100", "Down", "Down", "Down", "Down",
                        "Return"], timeout=10)
        box, _ = wait_for("the question script or list",
                          lambda: box_saying(app, "export as copy script", window), 20, program)
        if key_to_box(program, box, "Return") != "As script":
            fail("Enter on the question does not choose the script")
        script = os.path.join(args.scratch, "copy tree.sh")
        dialog = wait_for("the file dialog", lambda: next(
            (n for n in descendants(app) if n.getRole() == pyatspi.ROLE_DIALOG and showing(n)
             and find(n, pyatspi.ROLE_PUSH_BUTTON, "Save")), None), 30, program)
        del dialog
        subprocess.run(["xdotool", "type", "--delay", "20", script], timeout=60)
        subprocess.run(["xdotool", "key", "Return"], timeout=10)
        saved, _ = wait_for("the box saying it is saved",
                            lambda: box_saying(app, "is saved", window), 20, program)
        press(find(saved, pyatspi.ROLE_PUSH_BUTTON, "Close"))
        rerun("sh '%s'" % script.replace("'", "'\\''"), source, destination,
              "the exported script")
    finally:
        stop(program)


LANGUAGE_WORDS = {"de_DE.UTF-8": ("Übersicht", "Kopieren"), "C.UTF-8": ("Recap", "Copy"),
                  "en_US.UTF-8": ("Recap", "Copy")}


def row_language(args, _):
    for language in ("de_DE.UTF-8", "C.UTF-8", "en_US.UTF-8"):
        program, app = start([args.program], program_environment(language=language))
        try:
            window = main_window(app, program)
            tabs = wait_for("the window's tabs", lambda: [
                name_of(n) for n in descendants(window) if n.getRole() == pyatspi.ROLE_PAGE_TAB],
                30, program)
            note("%s: tabs %s" % (language, tabs))
            for word in LANGUAGE_WORDS[language]:
                if word not in tabs:
                    fail("under LANG=%s the tabs %s lack \"%s\"" % (language, tabs, word))
            screenshot("Brindle", os.path.join(args.screenshots, "language-%s.png" % language))
        finally:
            stop(program)


ROWS = {"resume": row_resume, "missing_drive": row_missing_drive,
        "foreign_task": row_foreign_task, "recap_command": row_recap_command,
        "export_script": row_export_script, "language": row_language}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--row", required=True, choices=sorted(ROWS))
    parser.add_argument("--program", required=True)
    parser.add_argument("--cli", required=True)
    parser.add_argument("--scratch", required=True)
    parser.add_argument("--screenshots", required=True)
    args = parser.parse_args()
    os.makedirs(args.screenshots, exist_ok=True)
    windowdriver.TIMEOUT_SCREENSHOT = os.path.join(args.screenshots, "timeout-%s.png" % args.row)
    try:
        desktop_ready()
        ROWS[args.row](args, program_environment(language="C.UTF-8"))
    except (TimeoutError, subprocess.TimeoutExpired, ProgramEnded) as error:
        fail(str(error))
    if FAILURES:
        print("%d check(s) failed" % len(FAILURES))
        return 1
    print("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
