#!/usr/bin/env python3
"""The link between actors, attacked through real actors on a private X server.

  path      a member sends "*%*" and "../" twelve times and
            "proc/sys/kernel/pid_max" (from an actor's type-99 line, and from
            a raw client with absolute, "..\\" and symbolic-link variants):
            every actor goes on running and nothing reaches the user.
  flood     some 300 connections to the hub: it stays up, says so in one
            stderr line (not one per connection), and a real message still
            reaches the actor it names; killed, the hub is replaced and
            messages flow again within a few seconds.
  lock      a link.lock held by someone else does not keep a starting actor
            from showing its window; SIGTERM then ends it within 2 s; once
            the lock is free it serves the link.
  loop      a list that names only itself: the actor ends with a message
            naming the file and line, a non-zero status and no signal;
            kobalcheck reports an error at the same file and line.
Usage: link.py --stage DIR --install PROGRAM --check PROGRAM [CASE...]
"""
import fcntl
import os
import signal
import socket
import struct
import subprocess
import sys
import time
from pathlib import Path

from testkit import PrivateHome, Xvfb, crlf, poll, program_arguments, wait_or_kill, windows, write_actor

LIMIT = float(os.environ.get("KOBAL_HOSTILE_TIMEOUT", "20"))  # generous: CI is loaded
TITLES = ("kobalactor: ", "Kobaltron: ", "!: ", "Error: ")
CLIMB = "../" * 12 + "proc/sys/kernel/pid_max"


def frame(text):
    data = text.encode()
    return b"KA" + struct.pack(">I", len(data)) + data


class Box(PrivateHome):
    """A private user and install directory with the staged programs."""

    def __init__(self, stage, display):
        super().__init__(prefix="kobal-hostile-link-")
        self.install = self.link_install(stage)
        self.display = display
        self.processes = []
        self.killed = set()  # ended by the case on purpose

    def env(self):
        return super().env(self.display)

    def actor(self, name, lists, ddename=None, files=None):
        """An actor directory; lists: name -> entries; its active list is active.krnd."""
        return write_actor(self.install, name, lists, files, ddename=ddename) / "actor.kact"

    def start(self, actor_file):
        err = open(self.dir / f"stderr-{len(self.processes)}.txt", "wb")
        p = subprocess.Popen([str(self.install / "resource" / "kobalactor"), str(actor_file)], env=self.env(),
                             cwd=self.install, stdout=subprocess.DEVNULL, stderr=err)
        p.err_path = err.name
        err.close()
        self.processes.append(p)
        return p

    def connect(self):
        s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        s.connect(self.link_socket())
        return s

    def wait_for_hub(self):
        return poll(lambda: self._listening(), LIMIT)

    def _listening(self):
        try:
            self.connect().close()
            return True
        except OSError:
            return False

    def close(self):
        for p in self.processes:
            if p.poll() is None:
                p.kill()
                p.wait(10)
        self.remove()


def window_shown(pid, display):
    return bool(windows(display, pid=pid))


def messages(p):
    return [line for line in Path(p.err_path).read_text(errors="replace").splitlines() if line.startswith(TITLES)]


def stderr_of(p):
    return Path(p.err_path).read_text(errors="replace")


def end_by_sigterm(p, problems, what):
    p.send_signal(signal.SIGTERM)
    status, ended = wait_or_kill(p, 2)
    if not ended:
        problems.append(f"{what}: still running 2 s after SIGTERM")
        return
    # Every program turns SIGTERM into a clean exit; dying by any signal is a fault.
    if status < 0:
        problems.append(f"{what}: killed by signal {-status}")


def case_path(box, problems):
    sender = box.actor("sender", {"active.krnd": ["!04|1|send.kani|"]}, ddename="sender", files={
        "send.kani": crlf(["framecount=2", "framepause=5", "timerspeed=40", "actorwidth=8", "actorheight=8",
                           "transparentgreen=255", "[end]", "dot.bmp", f"!99|0|*%*{CLIMB}|"])})
    # What the escapes would reach, were they followed: a list of another actor.
    box.actor("other", {"active.krnd": ["!04|1|walk.kani|"], "secret.krnd": ["!04|1|walk.kani|"]})
    target_file = box.actor("target", {"active.krnd": ["!04|1|walk.kani|"]}, ddename="target")
    target_dir = target_file.parent
    (target_dir / "out.krnd").symlink_to(box.install / "actors" / "other" / "secret.krnd")
    (target_dir / "up").symlink_to("/")
    target = box.start(target_file)
    if not box.wait_for_hub():
        problems.append("path: the first actor never served the link")
        return
    sender_p = box.start(sender)
    raw = [f"*%*{CLIMB}", f"target%*{CLIMB}", "*%*" + CLIMB.replace("/", "\\"), "*%*/proc/sys/kernel/pid_max",
           "*%*C:\\proc\\sys\\kernel\\pid_max", "*%*up/proc/sys/kernel/pid_max", "*%*out.krnd",
           "*%*../other/secret.krnd", f"*%*{box.install}/actors/other/secret.krnd", "*%*/dev/zero",
           "*%*" + "../" * 12 + "dev/zero"]
    s = box.connect()
    for text in raw:
        s.sendall(frame(text))
    # Several link ticks: the sender's line goes out every few frames.
    time.sleep(4)
    s.close()
    for name, p in (("target", target), ("sender", sender_p)):
        if p.poll() is not None:
            problems.append(f"path: {name} ended (status {p.returncode}): {stderr_of(p)[-400:]!r}")
        elif messages(p):
            problems.append(f"path: {name} showed a message: {messages(p)}")
        else:
            end_by_sigterm(p, problems, f"path: {name}")


def case_flood(box, problems):
    hub_file = box.actor("hub", {"active.krnd": ["!04|1|walk.kani|"]}, ddename="hub")
    b_file = box.actor("bee", {"active.krnd": ["!04|1|walk.kani|"]}, ddename="bee")
    c_file = box.actor("sea", {"active.krnd": ["!04|1|walk.kani|"]}, ddename="sea")
    hub = box.start(hub_file)
    if not box.wait_for_hub():
        problems.append("flood: the first actor never served the link")
        return
    bee = box.start(b_file)
    sea = box.start(c_file)
    if not poll(lambda: window_shown(bee.pid, box.display) and window_shown(sea.pid, box.display), LIMIT):
        problems.append("flood: the members' windows never showed")
    time.sleep(1.5)  # joined
    sender = box.connect()
    flood = []
    try:
        for _ in range(320):
            try:
                flood.append(box.connect())
            except OSError:
                time.sleep(0.01)
        time.sleep(1.5)
        if hub.poll() is not None:
            problems.append(f"flood: the hub ended (status {hub.returncode}): {stderr_of(hub)[-400:]!r}")
            return
        refused = [line for line in stderr_of(hub).splitlines() if "refused" in line]
        if len(refused) != 1:
            problems.append(f"flood: {len(refused)} stderr lines about refused connections, not one: {refused[:5]}")
        if messages(hub):
            problems.append(f"flood: the hub showed a message: {messages(hub)}")
        sender.sendall(frame("bee%*closeactor*"))
        if not poll(lambda: bee.poll() is not None, LIMIT):
            problems.append("flood: a real message did not reach its actor through a flooded hub")
        elif bee.returncode != 0:
            problems.append(f"flood: bee ended with status {bee.returncode}")
        if sea.poll() is not None:
            problems.append("flood: a message for bee ended sea")
    finally:
        sender.close()
        for s in flood:
            s.close()

    # The hub goes: sea serves instead within a few seconds, and a message reaches it.
    hub.kill()
    hub.wait(10)
    box.killed.add(hub.pid)
    deadline = time.monotonic() + 6
    while time.monotonic() < deadline and sea.poll() is None:
        try:
            s = box.connect()
            s.sendall(frame("sea%*closeactor*"))
            time.sleep(0.3)
            s.close()
        except OSError:
            time.sleep(0.1)
    if sea.poll() is None:
        problems.append("flood: no new hub carried a message within 6 s of the old one going")
        end_by_sigterm(sea, problems, "flood: sea")
    elif sea.returncode != 0:
        problems.append(f"flood: sea ended with status {sea.returncode}")


def case_lock(box, problems):
    actor_file = box.actor("locked", {"active.krnd": ["!04|1|walk.kani|"]})
    link_dir = box.runtime / "kobaltron"
    link_dir.mkdir(mode=0o700)
    lock = open(link_dir / "link.lock", "w")
    fcntl.flock(lock, fcntl.LOCK_EX)
    try:
        p = box.start(actor_file)
        if not poll(lambda: p.poll() is not None or window_shown(p.pid, box.display), 3):
            problems.append("lock: no window within 3 s while the link lock is held")
        if p.poll() is not None:
            problems.append(f"lock: ended (status {p.returncode}): {stderr_of(p)[-400:]!r}")
            return
        q = box.start(actor_file)
        if not poll(lambda: q.poll() is not None or window_shown(q.pid, box.display), 3):
            problems.append("lock: no window within 3 s for a second actor while the link lock is held")
        end_by_sigterm(q, problems, "lock")
    finally:
        fcntl.flock(lock, fcntl.LOCK_UN)
        lock.close()
    # Free again: the next link tick makes it the hub.
    if not box.wait_for_hub():
        problems.append("lock: the actor never served the link once the lock was free")
    if p.poll() is None:
        end_by_sigterm(p, problems, "lock, after the lock was freed")


def case_loop(box, problems, check_program):
    actor_file = box.actor("loop", {"active.krnd": ["self.krnd"], "self.krnd": ["self.krnd"]})
    p = box.start(actor_file)
    status, ended = wait_or_kill(p, LIMIT)
    if not ended:
        problems.append(f"loop: still running after {LIMIT:.0f} s")
        return
    if status < 0:
        problems.append(f"loop: killed by signal {-status}")
    elif status == 0:
        problems.append("loop: status 0 for a list that loops")
    found = messages(p)
    if not any("Out of stack space" in m and "self.krnd, line 2" in m for m in found):
        problems.append(f"loop: no message naming self.krnd, line 2: {found or stderr_of(p)[-400:]!r}")
    r = subprocess.run([str(check_program), str(actor_file)], capture_output=True, text=True, env=box.env(),
                       cwd=box.install, timeout=60)
    if r.returncode <= 0:
        problems.append(f"loop: kobalcheck status {r.returncode}, not a failure")
    if not any("self.krnd:2: error:" in line for line in r.stdout.splitlines() + r.stderr.splitlines()):
        problems.append(f"loop: kobalcheck gives no error at self.krnd:2: {r.stdout[-600:]!r}")


def main():
    args, programs = program_arguments(__doc__.split("\n\n")[0], lambda p: p.add_argument("cases", nargs="*"))
    cases = {"path": case_path, "flood": case_flood, "lock": case_lock,
             "loop": lambda box, problems: case_loop(box, problems, programs["kobalcheck"])}
    chosen = args.cases or list(cases)
    failed = 0
    with Xvfb() as display:
        for name in chosen:
            box = Box(args.stage, display)
            problems = []
            started = time.monotonic()
            try:
                cases[name](box, problems)
            finally:
                for p in box.processes:
                    if p.poll() is None:
                        end_by_sigterm(p, problems, f"{name}: left running")
                    elif p.returncode < 0 and p.returncode != -signal.SIGTERM and p.pid not in box.killed:
                        problems.append(f"{name}: an actor was killed by signal {-p.returncode}")
                    if "Sanitizer" in stderr_of(p) or "runtime error:" in stderr_of(p):
                        problems.append(f"{name}: a sanitizer report")
                box.close()
            verdict = "ok" if not problems else "FAILED"
            print(f"{name}: {verdict} ({time.monotonic() - started:.1f} s)")
            for problem in problems:
                print(f"  {problem}")
            failed += bool(problems)
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
