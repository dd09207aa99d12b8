#!/usr/bin/env python3
"""The bad-input suite: broken actors, animations, lists, playlists, settings
files, install media and link messages, each given to the real program.

Each case runs in a private home (HOME, XDG_* and TMPDIR) with an install
directory that links the staged programs, with KOBALTRON_NO_DIALOGS=1 so
that message boxes answer by themselves. A case passes when the program
  - says what is wrong in a message (stderr "title: text") that names the
    file, and the line where one was read;
  - ends with a non-zero status (or does what the case says instead);
  - is not killed by a signal and reports nothing from a sanitizer;
  - ends within the time-out;
  - writes or changes no file outside its own (the link's runtime files,
    and for the installer its destination and settings).
Usage: run_badinput.py --stage DIR --install PROGRAM [--only CATEGORY]... [CASE...]
"""
import argparse
import hashlib
import os
import shutil
import signal
import socket
import subprocess
import sys
import time
from dataclasses import dataclass, field
from pathlib import Path

from testkit import PrivateHome, press_return, wait_for_window, write_bmp

HERE = Path(__file__).resolve().parent
TIMEOUT = float(os.environ.get("KOBAL_BADINPUT_TIMEOUT", "30"))
# Message box titles: the programs' own, "!" and "Error"; every box is also
# a "title: text" line on stderr.
TITLES = ("kobalactor: ", "Kobaltron: ", "Install: ", "!: ", "Error: ", "?: ")


@dataclass
class Case:
    name: str
    category: str               # actor, launcher, installer, link
    args: list = field(default_factory=list)   # relative to the install directory unless absolute
    file: str = ""              # the file the message must name (its last path parts)
    line: int = 0               # and the line, when one was read
    text: str = ""              # and this text
    detail: str = ""            # and this reason right after the line
    config: str = ""            # a settings file of badinput/settings as resource/config.kcfg
    medium: str = ""            # installer: the medium of badinput/media
    link: str = ""              # link: the bytes of badinput/link sent to a running actor
    outcome: str = "fails"      # fails (non-zero status), installs (status 0), stays (keeps running)


def actor(case, **kw):
    return Case(f"actor/{case}", "actor", [f"actors/{case}/actor.kact"], **kw)


CASES = [
    # Actor files
    actor("actor-no-end", file="actor-no-end/actor.kact", line=10, text="Input past end of file"),
    actor("actor-overflow", file="actor-overflow/actor.kact", line=10, text="Overflow"),
    actor("actor-missing-icon", file="actor-missing-icon/nothere.ico", text="File not found"),
    actor("actor-bad-icon", file="actor-bad-icon/notapicture.bmp", text="Invalid picture"),
    actor("actor-missing-list", file="actor-missing-list/gone.krnd", text="File not found"),
    actor("actor-zero-priorityup", file="actor-zero-priorityup/wave.kani", text="Division by zero"),
    actor("actor-switch-missing", file="nobody/gone.kact", text="Path not found"),
    Case("actor/no-command-line", "actor", [], text="This program is used by Kobaltron, Do not run it manually!"),
    Case("actor/missing-actor-file", "actor", ["actors/nobody.kact"],
         text="This program is used by Kobaltron, Do not run it manually!"),
    # Animation files
    actor("anim-missing-picture", file="anim-missing-picture/missing.bmp", text="File not found"),
    actor("anim-bad-picture", file="anim-bad-picture/text.bmp", text="Invalid picture"),
    # Named at its framecount line, with the reason, as the checker names it.
    actor("anim-past-end", file="anim-past-end/wave.kani", line=1,
          text="Input past end of file: ", detail="(framecount 3 is larger than its 1 frame line)"),
    actor("anim-no-end", file="anim-no-end/wave.kani", line=10, text="Input past end of file"),
    actor("anim-overflow", file="anim-overflow/wave.kani", text="Overflow"),
    actor("anim-bad-command", file="anim-bad-command/wave.kani", line=12, text="Invalid procedure call"),
    actor("anim-dollar-no-comma", file="anim-dollar-no-comma/wave.kani", line=12, text="Invalid procedure call"),
    actor("anim-negative-timerspeed", file="anim-negative-timerspeed/wave.kani", text="Invalid property value"),
    # Random-choice lists
    actor("list-overflow", file="list-overflow/active.krnd", line=1, text="Overflow"),
    actor("list-too-short", file="list-too-short/active.krnd", line=1, text="Input past end of file",
          detail="(the list has no entries)"),
    actor("list-loop", file=".krnd", line=2, text="Out of stack space"),
    # Settings files, read by the actor program and by the launcher
    Case("actor/config-no-end", "actor", ["actors/good/actor.kact"], config="no-end.kcfg",
         file="resource/config.kcfg", line=11, text="Input past end of file"),
    Case("actor/config-overflow", "actor", ["actors/good/actor.kact"], config="overflow.kcfg",
         file="resource/config.kcfg", line=5, text="Overflow"),
    Case("actor/config-garbage", "actor", ["actors/good/actor.kact"], config="garbage.kcfg",
         file="resource/config.kcfg", line=2, text="Input past end of file"),
    Case("launcher/config-no-end", "launcher", ["good.kpls"], config="no-end.kcfg",
         file="resource/config.kcfg", line=11, text="Input past end of file"),
    # Playlists and the launcher's command line
    Case("launcher/no-command-line", "launcher", [], text="Usage: Kobaltron:[Actorfile.kact]"),
    Case("launcher/missing-actor", "launcher", ["missing-actor.kpls"], text="File not found: actors\\nobody.kact"),
    Case("launcher/actor-no-end", "launcher", ["actor-no-end.kpls"], file="actor-no-end/actor.kact", line=10,
         text="Input past end of file"),
    Case("launcher/actor-overflow", "launcher", ["actor-overflow.kpls"], file="actor-overflow/actor.kact",
         line=10, text="Overflow"),
    Case("launcher/garbage-playlist", "launcher", ["garbage.kpls"], text="File not found: "),
    # Install media
    Case("installer/missing-file", "installer", medium="missing-file", file="resource/nothere.txt",
         text="File not found"),
    Case("installer/no-commands", "installer", medium="no-commands", file="Install/Commands.dat",
         text="File not found"),
    Case("installer/actor-no-end", "installer", medium="actor-no-end", file="actors/bob.kact", line=3,
         text="Input past end of file"),
    # Lines leading out refuse the whole medium before anything is written.
    Case("installer/outside", "installer", medium="outside", file="Install/Files.dat", line=2,
         text="lead outside the destination"),
    Case("installer/no-copy-list", "installer", medium="no-copy-list", text="Install: Source not found",
         outcome="stays"),
    # Link messages to a running actor
    Case("link/garbage", "link", link="garbage.bin", outcome="stays"),
    Case("link/oversized", "link", link="oversized.bin", outcome="stays"),
    Case("link/unknown-commands", "link", link="unknown-commands.bin", outcome="stays"),
    # A list that fails when a message names it: the command is dropped.
    Case("link/broken-list", "link", link="broken-list.bin", outcome="stays"),
]


def snapshot(root, skip=()):
    """path -> (size, content hash) of every file below root."""
    files = {}
    for dirpath, dirnames, filenames in os.walk(root):
        dirnames[:] = [d for d in dirnames if os.path.join(dirpath, d) not in skip]
        for name in filenames:
            p = os.path.join(dirpath, name)
            try:
                if os.path.islink(p):
                    files[p] = ("link", os.readlink(p))
                    continue
                with open(p, "rb") as f:
                    files[p] = (os.path.getsize(p), hashlib.sha1(f.read()).hexdigest())
            except OSError:
                files[p] = ("unreadable",)
    return files


def changed(before, after):
    return sorted(p for p in set(before) | set(after) if before.get(p) != after.get(p))


class Sandbox:
    """A private user with an install directory of the staged programs, the
    case's settings file and medium, and the actors and playlists of badinput/."""

    def __init__(self, stage, case):
        self.user = PrivateHome(prefix="kobal-badinput-")
        self.dir = self.user.dir
        self.runtime = self.user.runtime
        self.install = self.user.link_install(
            stage, (HERE / "settings" / case.config).read_bytes() if case.config else None)
        shutil.copytree(HERE / "actors", self.install / "actors")
        for d in (self.install / "actors").iterdir():
            write_bmp(d / "dot.bmp")
        for p in (HERE / "playlists").iterdir():
            shutil.copy(p, self.install / p.name)
        self.medium = None
        if case.medium:
            self.medium = self.dir / "medium"
            shutil.copytree(HERE / "media" / case.medium, self.medium)

    def env(self):
        display = os.environ.get("DISPLAY")
        env = self.user.env(display)
        if not display:
            env["QT_QPA_PLATFORM"] = "offscreen"
        return env


def press_install(pid):
    """Presses "Install" with Return, its window's default key."""
    display = os.environ.get("DISPLAY")
    window = wait_for_window(display, "Kobaltron Install", pid, TIMEOUT)
    if not window:
        return "the Install window did not appear"
    press_return(display, window)
    return ""


def send_link(box, data):
    deadline = time.monotonic() + TIMEOUT
    while time.monotonic() < deadline:
        try:
            s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            s.connect(box.user.link_socket())
            break
        except OSError:
            time.sleep(0.1)
    else:
        return "the actor's link never listened"
    try:
        s.sendall(data)
        time.sleep(0.3)
    except OSError:
        pass  # a hub that drops a bad connection may do so mid-write
    finally:
        s.close()
    return ""


def run_case(case, stage, install_program):
    box = Sandbox(stage, case)
    problems = []
    try:
        cwd = box.medium or box.install
        if case.category in ("actor", "link"):
            program = box.install / "resource" / "kobalactor"
            args = [str(box.install / a) for a in case.args] if case.category == "actor" else \
                [str(box.install / "actors" / "linked" / "actor.kact")]
        elif case.category == "launcher":
            program = box.install / "resource" / "kobaltron"
            args = case.args
        else:
            program = Path(install_program)
            args = []
        if case.category == "installer" and not os.environ.get("DISPLAY"):
            return None  # the Install button needs an X server

        skip = {str(box.runtime), str(box.dir / "cache")}
        own = [str(box.runtime)]
        if case.category == "installer":
            # Its job: the destination, the install path and the desktop's menus.
            own += [str(box.install), str(box.dir / "config"), str(box.dir / "data")]
        before = snapshot(box.dir, skip)
        stage_before = snapshot(stage)

        out_path, err_path = box.dir / "stdout.txt", box.dir / "stderr.txt"
        with open(out_path, "wb") as out, open(err_path, "wb") as err:
            proc = subprocess.Popen([str(program), *args], cwd=cwd, env=box.env(), stdout=out, stderr=err)
        status = None
        ended_by_us = False
        try:
            if case.category == "installer":
                problem = press_install(proc.pid)
                if problem:
                    problems.append(problem)
            if case.category == "link":
                problem = send_link(box, (HERE / "link" / case.link).read_bytes())
                if problem:
                    problems.append(problem)
            if case.outcome == "stays":
                time.sleep(3 if case.category == "link" else 0)
                if case.category == "installer":
                    # The window stays for the user to correct the source.
                    deadline = time.monotonic() + TIMEOUT
                    while time.monotonic() < deadline and case.text.split(": ", 1)[1] not in \
                            err_path.read_text(errors="replace"):
                        time.sleep(0.1)
                    time.sleep(0.5)
                if proc.poll() is not None:
                    problems.append(f"ended (status {proc.returncode}) instead of going on")
                else:
                    proc.send_signal(signal.SIGTERM)
                    ended_by_us = True
            status = proc.wait(TIMEOUT)
        except subprocess.TimeoutExpired:
            problems.append(f"still running after {TIMEOUT:.0f} s (hangs)")
            proc.kill()
            status = proc.wait()
        box.user.end_leftovers()

        err = err_path.read_text(errors="replace")
        messages = [line for line in err.splitlines() if line.startswith(TITLES)]
        if status is not None and status < 0 and not (ended_by_us and status == -signal.SIGTERM):
            problems.append(f"killed by signal {-status}")
        if "Sanitizer" in err or "runtime error:" in err:
            problems.append("a sanitizer report")
        if case.outcome == "fails" and status == 0:
            problems.append("status 0 for bad input")
        if case.outcome == "installs" and status != 0:
            problems.append(f"status {status}; the rest of the medium should have been installed")
        if case.category == "link" and case.outcome == "stays" and messages:
            problems.append("a link failure reached the user")
        if case.text or case.file:
            want_line = f", line {case.line}" if case.line else ""
            if case.detail:
                want_line += " " + case.detail
            if not any(case.text in m and case.file.replace("/", os.sep) in m and want_line in m
                       for m in messages):
                problems.append(f"no message with {case.text!r}, naming {case.file or 'nothing'}"
                                f"{want_line}")

        after = snapshot(box.dir, skip)
        stray = [p for p in changed(before, after)
                 if not any(p == o or p.startswith(o + os.sep) for o in own)
                 and not p.startswith(str(box.dir / "stdout.txt")) and not p.startswith(str(err_path))]
        if stray:
            problems.append("wrote or changed files not its own: " + ", ".join(
                os.path.relpath(p, box.dir) for p in stray))
        stage_changes = changed(stage_before, snapshot(stage))
        if stage_changes:
            problems.append("changed the staged install directory: " + ", ".join(stage_changes))
        if problems:
            problems.append("stderr was:\n      " + "\n      ".join(err.splitlines()[-8:] or ["(empty)"]))
        return problems
    finally:
        box.user.remove()


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--stage", type=Path, required=True)
    ap.add_argument("--install", required=True, help="the install program")
    ap.add_argument("--only", action="append", choices=["actor", "launcher", "installer", "link"])
    ap.add_argument("cases", nargs="*")
    args = ap.parse_args()
    cases = [c for c in CASES if (not args.only or c.category in args.only)
             and (not args.cases or c.name in args.cases)]
    failed = skipped = 0
    for case in cases:
        problems = run_case(case, args.stage.resolve(), os.path.abspath(args.install))
        if problems is None:
            skipped += 1
            print(f"SKIP {case.name}: needs an X server")
        elif problems:
            failed += 1
            print(f"FAIL {case.name}")
            for p in problems:
                print(f"    {p}")
        else:
            print(f"ok   {case.name}")
        sys.stdout.flush()
    print(f"{len(cases) - failed - skipped} passed, {failed} failed, {skipped} skipped")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
