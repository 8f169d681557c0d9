#!/usr/bin/env python3
"""Random scenarios against brindle-cli, checked against the rules of docs/safety.md.

Each scenario is built from one seed: a random source tree (names that differ only by case,
the same name in several folders, names that are not UTF-8, links into and out of the tree,
hard links, FIFOs, read-only files), random entries already in the destination (files,
folders, links to files and folders outside, dangling links), a random request (copy, move,
verify, then fix errors; overwrite rule, collate, filters, threads, method), sometimes
interrupted and resumed, sometimes with a source file saved over while the run goes on,
sometimes onto a small tmpfs or a FUSE exFAT mount (root only). After the run the rules are
checked against snapshots taken before it.

    scenarios.py --cli PATH [--count N]      N scenarios from random seeds (env SCENARIOS)
    scenarios.py --cli PATH --seed S         one scenario again (env SEED)

A failure prints its seed, the rule and a command that replays it; the exit code is 1.
"""

import argparse
import hashlib
import json
import os
import random
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import threading
import time

# Faults known and not fixed yet: each relaxes one check, named here so that nothing is
# hidden. Empty this list as the fixes land.
KNOWN_FAULTS = {
}

# Seeds that once found a fault, run before the random ones: data lost by a move (collated
# names, a link in the destination), files written outside the destination, "processed more
# than found".
REGRESSION_SEEDS = [1960830467, 833289190, 228458416, 1593838160, 860206458, 1665546621,
                    37593199, 1550731521, 858764392, 121630953, 1820809506, 727723372,
                    2098649939, 345989210]

NAMES = ["a.txt", "A.txt", "notes.txt", "Notes.TXT", "b.bin", "x.tmp", ".hidden", "data",
         "Data", "z", "e\u0301t\u00e9.txt"]
RAW_NAMES = [b"caf\xe9.txt", b"bad\xff", b"d\xc3("]


class Failure(Exception):
    pass


def digest(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


def snapshot(root):
    """Every entry below root (bytes paths): kind, mode, times, and content or link text."""
    entries = {}
    root = os.fsencode(root)
    if not os.path.lexists(root):
        return entries
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(folder, name)
            rel = os.path.relpath(path, root)
            st = os.lstat(path)
            if stat.S_ISREG(st.st_mode):
                entries[rel] = ("file", digest(path), stat.S_IMODE(st.st_mode), st.st_mtime_ns)
            elif stat.S_ISLNK(st.st_mode):
                entries[rel] = ("link", os.readlink(path))
            elif stat.S_ISDIR(st.st_mode):
                entries[rel] = ("dir", stat.S_IMODE(st.st_mode))
            else:
                entries[rel] = ("special", stat.S_IFMT(st.st_mode))
        # Links to folders are entries, never walked.
        dirs[:] = [d for d in dirs if not os.path.islink(os.path.join(folder, d))]
    return entries


def hashes_below(root):
    return {e[1] for e in snapshot(root).values() if e[0] == "file"}


class Scenario:
    def __init__(self, seed, cli, work, budget):
        self.seed = seed
        self.rng = random.Random(seed)
        self.cli = cli
        self.base = tempfile.mkdtemp(prefix="brindle-scenario-", dir=work)
        self.src = os.path.join(self.base, "src")
        self.dst = os.path.join(self.base, "dst")
        self.outside = os.path.join(self.base, "outside")
        self.home = os.path.join(self.base, "home")
        self.budget = budget
        self.mount = None
        self.loop = None
        self.hardlinks = []  # groups of relative paths that name one file
        self.saved_over = {}  # relative path -> hash of the new version
        self.notes = []

    # --- the world -------------------------------------------------------------------

    def build(self):
        r = self.rng
        for d in (self.src, self.outside, self.home):
            os.makedirs(d)
        with open(os.path.join(self.outside, "keep.txt"), "wb") as f:
            f.write(b"outside, never to be written")
        folders = [b""]
        for _ in range(r.randint(0, 4)):
            parent = r.choice(folders)
            name = os.fsencode(r.choice(NAMES + ["sub", "Sub", "deep"]))
            if r.random() < 0.15:
                name = r.choice(RAW_NAMES)
            path = os.path.join(parent, name)
            full = os.path.join(os.fsencode(self.src), path)
            if not os.path.lexists(full):
                os.makedirs(full)
                folders.append(path)
        files = []
        for _ in range(r.randint(1, 14)):
            folder = r.choice(folders)
            name = os.fsencode(r.choice(NAMES))
            if r.random() < 0.1:
                name = r.choice(RAW_NAMES)
            path = os.path.join(os.fsencode(self.src), folder, name)
            if os.path.lexists(path):
                continue
            size = r.choice([0, 1, 100, 5000, 70000, r.randint(0, 300000)])
            if r.random() < 0.03:
                size = 9 << 20  # copied on its own, not in a group
            with open(path, "wb") as f:
                f.write(r.randbytes(size) if size < 400000 else os.urandom(size))
            if r.random() < 0.1:
                os.chmod(path, 0o444)
            files.append(path)
        src = os.fsencode(self.src)
        for _ in range(r.randint(0, 3)):
            folder = os.path.join(src, r.choice(folders))
            name = os.path.join(folder, b"link%d" % r.randint(0, 99))
            if os.path.lexists(name):
                continue
            kind = r.choice(["relative", "absolute-in", "outside", "dangling", "folder"])
            if kind == "relative" and files:
                os.symlink(os.path.relpath(r.choice(files), folder), name)
            elif kind == "absolute-in" and files:
                os.symlink(r.choice(files), name)
            elif kind == "outside":
                os.symlink(os.fsencode(self.outside), name)
            elif kind == "dangling":
                os.symlink(b"nowhere/at/all", name)
            elif kind == "folder":
                os.symlink(os.path.join(src, r.choice(folders)) or src, name)
        if files and r.random() < 0.3:
            target = r.choice(files)
            twin = os.path.join(os.path.dirname(target), b"hardlink")
            if not os.path.lexists(twin):
                os.link(target, twin)
                names = [target, twin]
                # A third name, in another folder at times; drawn apart so that the seeds
                # of earlier faults still build the trees they found them in.
                extra = random.Random(self.seed ^ 0x5eed)
                if extra.random() < 0.5:
                    third = os.path.join(os.fsencode(self.src), extra.choice(folders),
                                         b"hardlink3")
                    if not os.path.lexists(third):
                        os.link(target, third)
                        names.append(third)
                self.hardlinks.append([os.path.relpath(n, os.fsencode(self.src)) for n in names])
        if r.random() < 0.2:
            fifo = os.path.join(src, r.choice(folders), b"fifo")
            if not os.path.lexists(fifo):
                os.mkfifo(fifo)
        self.plant_destination(folders, files)

    def plant_destination(self, folders, files):
        r = self.rng
        if r.random() < 0.4:
            return
        os.makedirs(self.dst, exist_ok=True)
        dst = os.fsencode(self.dst)
        src = os.fsencode(self.src)
        for path in r.sample(files, min(len(files), r.randint(0, 3))):
            rel = os.path.relpath(path, src)
            target = os.path.join(dst, rel)
            os.makedirs(os.path.dirname(target), exist_ok=True)
            kind = r.choice(["same", "different", "older", "folder", "link-file", "dangling"])
            if os.path.lexists(target):
                continue
            if kind == "same":
                shutil.copy2(path, target)
            elif kind == "different":
                with open(target, "wb") as f:
                    f.write(b"another file of the destination")
            elif kind == "older":
                shutil.copy2(path, target)
                with open(target, "r+b") as f:
                    f.write(b"X")
                os.utime(target, (1000000000, 1000000000))
            elif kind == "folder":
                os.makedirs(os.path.join(target, b"inside"))
            elif kind == "link-file":
                os.symlink(os.path.join(os.fsencode(self.outside), b"keep.txt"), target)
            else:
                os.symlink(b"no/such/target", target)
        sub = [f for f in folders if f]
        if sub and r.random() < 0.25:
            # A link where a folder of the copy goes, to a folder outside the destination.
            target = os.path.join(dst, r.choice(sub))
            if not os.path.lexists(target):
                os.makedirs(os.path.dirname(target), exist_ok=True)
                os.symlink(os.fsencode(self.outside), target)

    def mount_destination(self):
        if os.geteuid() != 0 or self.rng.random() > 0.08:
            return
        os.makedirs(self.dst, exist_ok=True)
        if self.rng.random() < 0.5 or not shutil.which("mount.exfat-fuse") \
                or not os.path.exists("/dev/fuse"):
            size = self.rng.choice(["300k", "2m", "20m"])
            if subprocess.call(["mount", "-t", "tmpfs", "-o", "size=" + size, "tmpfs", self.dst],
                               stderr=subprocess.DEVNULL) == 0:
                self.mount = "tmpfs " + size
            return
        image = os.path.join(self.base, "exfat.img")
        with open(image, "wb") as f:
            f.truncate(64 << 20)
        if subprocess.call(["mkfs.exfat", image], stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL) != 0:
            return
        loop = subprocess.run(["losetup", "-f", "--show", image], capture_output=True, text=True)
        if loop.returncode != 0:
            return
        self.loop = loop.stdout.strip()
        if subprocess.call(["mount.exfat-fuse", self.loop, self.dst],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL) == 0:
            self.mount = "exfat"
        # FUSE exFAT keeps no links, owners or modes: only bytes are compared there.

    def unmount(self):
        if self.mount:
            subprocess.call(["umount", "-l", self.dst], stderr=subprocess.DEVNULL)
        if self.loop:
            subprocess.call(["losetup", "-d", self.loop], stderr=subprocess.DEVNULL)

    # --- the run ---------------------------------------------------------------------

    def request(self):
        r = self.rng
        command = r.choice(["copy", "copy", "move", "move", "verify"])
        args = [command, self.src, self.dst]
        overwrite = r.choice(["never", "older", "always", "rename", "different", None])
        if overwrite:
            args += ["--overwrite", overwrite]
        options = {"collate": r.random() < 0.15, "filters": False}
        if options["collate"]:
            args.append("--collate")
        for flag, p in (("--no-hidden", 0.1), ("--no-recursive", 0.07), ("--no-links", 0.1),
                        ("--no-empty-folders", 0.1)):
            if r.random() < p:
                args.append(flag)
                options["filters"] = options["filters"] or flag != "--no-empty-folders"
        if r.random() < 0.1:
            args += ["--exclude", "*.tmp"]
            options["filters"] = True
        if r.random() < 0.07:
            args += ["--include", "*.txt"]
            options["filters"] = True
        args += ["--threads", str(r.randint(1, 8))]
        if r.random() < 0.2:
            args += ["--method", r.choice(["native", "qt", "simple"])]
        if command != "verify" and not os.path.isdir(os.path.dirname(self.dst)):
            args.append("--parents")
        return command, args, options, overwrite

    def env(self):
        env = dict(os.environ)
        env.update(HOME=self.home, XDG_CONFIG_HOME=os.path.join(self.home, ".config"),
                   XDG_DATA_HOME=os.path.join(self.home, ".local/share"),
                   XDG_CACHE_HOME=os.path.join(self.home, ".cache"),
                   XDG_RUNTIME_DIR=self.home, LC_ALL="C.UTF-8", LANGUAGE="")
        return env

    def run_cli(self, args, interrupt=None):
        process = subprocess.Popen([self.cli, "--json"] + args, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, env=self.env())
        if interrupt:
            delay, sig = interrupt
            time.sleep(delay)
            if process.poll() is None:
                process.send_signal(sig)
        try:
            out, err = process.communicate(timeout=self.budget)
        except subprocess.TimeoutExpired:
            process.kill()
            process.communicate()
            raise Failure("I4: the run did not end within %d s" % self.budget)
        if process.returncode < 0 and not (interrupt and -process.returncode == interrupt[1]):
            raise Failure("I4: brindle-cli died of signal %d: %s" %
                          (-process.returncode, err.decode(errors="replace")[-400:]))
        try:
            report = json.loads(out) if out.strip() else {}
        except ValueError:
            report = {}
        return process.returncode, report, err.decode(errors="replace")

    def save_over_later(self):
        """An editor saves a source file over while the run goes on."""
        regular = [p for p, e in snapshot(self.src).items() if e[0] == "file"]
        if not regular:
            return None
        rel = self.rng.choice(regular)
        delay = self.rng.random() * 0.2
        data = b"saved over by an editor %d" % self.seed

        def work():
            time.sleep(delay)
            path = os.path.join(os.fsencode(self.src), rel)
            temporary = path + b".saving"
            try:
                with open(temporary, "wb") as f:
                    f.write(data)
                os.rename(temporary, path)
                self.saved_over[rel] = hashlib.sha256(data).hexdigest()
            except OSError:
                pass  # its folder was moved away already

        thread = threading.Thread(target=work)
        thread.start()
        return thread

    def play(self):
        self.build()
        self.mount_destination()
        command, args, options, overwrite = self.request()
        before_src = snapshot(self.src)
        before_out = snapshot(self.outside)
        dst_existed = os.path.lexists(self.dst) and bool(os.listdir(self.dst))
        source_hashes = {e[1] for e in before_src.values() if e[0] == "file"}
        self.notes = ["%s %s" % (" ".join(args[:1] + args[3:]),
                                 ("onto " + self.mount) if self.mount else "")]
        interrupt = None
        if self.rng.random() < 0.15:
            interrupt = (self.rng.random() * 0.15,
                         self.rng.choice([signal.SIGINT, signal.SIGTERM, signal.SIGKILL]))
        editor = self.save_over_later() if self.rng.random() < 0.1 else None
        code, report, err = self.run_cli(args, interrupt)
        if editor:
            editor.join()
        if interrupt:
            self.notes.append("interrupted by signal %d -> %d" % (interrupt[1], code))
            if code == 3 or code < 0:
                code, report, err = self.resume_or_repeat(args, err)
        self.notes.append("exit %d" % code)
        if code not in (0, 1, 3):
            raise Failure("I4: exit code %d for a run that should complete: %s" % (code, err[-400:]))

        self.check_sources_safe(command, source_hashes, before_src)
        if snapshot(self.outside) != before_out:
            raise Failure("I2: the folder outside the destination changed")
        self.check_report(report)
        if code == 0:
            self.check_complete(command, options, overwrite, before_src, dst_existed, args)
        if code == 1 and command != "verify" and self.rng.random() < 0.3:
            self.fix_errors()

    def resume_or_repeat(self, args, err):
        data = os.path.join(self.home, ".local/share/Orvanesoft/Brindle")
        stopped = [f for f in os.listdir(data) if f.startswith("stopped-")] \
            if os.path.isdir(data) else []
        if stopped:
            self.notes.append("resumed")
            return self.run_cli(["resume", os.path.join(data, stopped[0])])
        if not os.path.lexists(self.src):
            # The move ended its work before the signal came: nothing left to run again.
            self.notes.append("source moved away")
            return 0, {}, ""
        self.notes.append("run again")
        return self.run_cli(args)

    def fix_errors(self):
        data = os.path.join(self.home, ".local/share/Orvanesoft/Brindle")
        errors = [f for f in os.listdir(data) if f.startswith("copyerrors-")] \
            if os.path.isdir(data) else []
        if errors:
            code, report, _ = self.run_cli(["resume", os.path.join(data, errors[0]),
                                            "--fix-errors"])
            self.notes.append("fix errors -> %d" % code)
            self.check_report(report)

    # --- the rules -------------------------------------------------------------------

    def check_sources_safe(self, command, source_hashes, before_src):
        after_src = snapshot(self.src)
        if command in ("copy", "verify"):
            changed = {rel for rel in before_src if before_src.get(rel) != after_src.get(rel)}
            changed -= set(self.saved_over)
            changed = {rel for rel in changed
                       if not (before_src[rel][0] == "dir" and after_src.get(rel, ("",))[0] == "dir"
                               and before_src[rel][1] == after_src[rel][1])}
            if changed:
                raise Failure("I3: a %s changed its source: %s" %
                              (command, sorted(os.fsdecode(c) for c in changed)[:5]))
        present = hashes_below(self.src) | hashes_below(self.dst)
        replaced = {before_src[rel][1] for rel in self.saved_over if rel in before_src}
        wanted = (source_hashes - replaced) | set(self.saved_over.values())
        lost = wanted - present
        if lost:
            raise Failure("I1: %d source file(s) no longer exist anywhere" % len(lost))

    def check_report(self, report):
        if not report:
            return
        if report.get("processedFiles", 0) > report.get("totalFiles", 0):
            raise Failure("I4: processed %d of %d files" %
                          (report["processedFiles"], report["totalFiles"]))

    def check_complete(self, command, options, overwrite, before_src, dst_existed, args):
        """Exit 0: the destination holds what cp -a would have made of the source."""
        if command == "verify" or options["collate"] or options["filters"] or self.saved_over:
            return
        if dst_existed and overwrite not in ("always",):
            return
        after = snapshot(self.dst)
        src = os.fsencode(self.src)
        for rel, entry in before_src.items():
            got = after.get(rel)
            if entry[0] == "file":
                if self.mount == "exfat" and got is None:
                    continue  # a name exFAT refuses is an error, not a success
                if got is None or got[0] != "file" or got[1] != entry[1]:
                    raise Failure("I4: exit 0, but %s is not copied (%s)" %
                                  (os.fsdecode(rel), got and got[0]))
            elif entry[0] == "link" and self.mount != "exfat":
                target = entry[1]
                if os.path.isabs(target) and (target + b"/").startswith(src + b"/"):
                    target = os.fsencode(self.dst) + target[len(src):]
                if got is None or got[0] != "link" or got[1].rstrip(b"/") != target.rstrip(b"/"):
                    raise Failure("I4: exit 0, but link %s is %s" % (os.fsdecode(rel), got))
        self.check_hardlinks(after)
        if command == "copy" and self.mount != "exfat":
            same = [a for a in args if a in ("--no-empty-folders", "--no-hidden", "--no-recursive",
                                             "--no-links")]
            code, report, _ = self.run_cli(["verify", self.src, self.dst] + same)
            # Entries the destination held before the run are there beyond the source.
            extras = [e for e in report.get("errorItems", [])
                      if e.get("message", "").endswith("the source does not")]
            if code == 1 and dst_existed and len(extras) == len(report.get("errorItems", [])):
                code = 0
            if code != 0:
                raise Failure("I4: the copy said completed, a verify of it ends with %d" % code)

    def check_hardlinks(self, after):
        """Names of one file in the source name one file in the destination, as with cp -a.
        Not on exFAT, which has no links, nor after a run repeated from scratch: a move that
        was killed has already taken some names away from the source."""
        if self.mount == "exfat" or "run again" in self.notes:
            return
        dst = os.fsencode(self.dst)
        for names in self.hardlinks:
            if not all(after.get(n, ("",))[0] == "file" for n in names):
                continue  # left out, and reported as such
            inodes = {os.lstat(os.path.join(dst, n)).st_ino for n in names}
            if len(inodes) != 1:
                raise Failure("I4: exit 0, but %s are %d files instead of one" %
                              (", ".join(os.fsdecode(n) for n in names), len(inodes)))

    def cleanup(self):
        self.unmount()
        subprocess.call(["chmod", "-R", "u+rwX", self.base], stderr=subprocess.DEVNULL)
        shutil.rmtree(self.base, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--count", type=int, default=25)
    parser.add_argument("--seed", type=int, default=int(os.environ.get("SEED", "-1")))
    parser.add_argument("--budget", type=int, default=120, help="seconds per run")
    options = parser.parse_args()
    if os.environ.get("SCENARIOS"):
        options.count = int(os.environ["SCENARIOS"])
    seeds = [options.seed] if options.seed >= 0 else REGRESSION_SEEDS + \
        [random.SystemRandom().randrange(1 << 31) for _ in range(options.count)]
    work = tempfile.mkdtemp(prefix="brindle-scenarios-")
    failures = []
    for seed in seeds:
        scenario = Scenario(seed, os.path.abspath(options.cli), work, options.budget)
        try:
            scenario.play()
        except Failure as failure:
            failures.append((seed, str(failure), "; ".join(scenario.notes)))
            print("FAIL seed %d: %s\n  %s\n  replay: SEED=%d %s --cli %s" %
                  (seed, failure, "; ".join(scenario.notes), seed, sys.argv[0], options.cli),
                  flush=True)
        finally:
            scenario.cleanup()
    shutil.rmtree(work, ignore_errors=True)
    print("%d scenarios, %d failed; known faults not checked: %s" %
          (len(seeds), len(failures), ", ".join(sorted(KNOWN_FAULTS))))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
