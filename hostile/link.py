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
import argparse
import fcntl
import os
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from private_x import Xvfb

LIMIT = float(os.environ.get("KOBAL_HOSTILE_TIMEOUT", "20"))  # generous: CI is loaded
TITLES = ("kobalactor: ", "Kobaltron: ", "!: ", "Error: ")
CONFIG = ["priorityup=100", "speedup=100", "audioon=0", "showsplash=0", "boredtime=180", "sleeptime=360",
          "hibernatetime=28800", "initialpriority=0", "transparencyoff=0", "overrideactor=0", "[end]"]
CLIMB = "../" * 12 + "proc/sys/kernel/pid_max"


def crlf(lines):
    return "".join(line + "\r\n" for line in lines)


def write_bmp(path, size=8):
    row = (size * 3 + 3) & ~3
    data = bytearray()
    for y in range(size):
        line = bytearray()
        for x in range(size):
            line += bytes((200, 80, 40)) if 2 <= x < size - 2 and 2 <= y < size - 2 else bytes((0, 255, 0))
        data += line + b"\0" * (row - size * 3)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, size, size, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    Path(path).write_bytes(header + info + data)


def frame(text):
    data = text.encode()
    return b"KA" + struct.pack(">I", len(data)) + data


class Box:
    """A private home and install directory with the staged programs."""

    def __init__(self, stage, display):
        self.dir = Path(tempfile.mkdtemp(prefix="kobal-hostile-link-"))
        self.install = self.dir / "install"
        resource = self.install / "resource"
        resource.mkdir(parents=True)
        for item in (Path(stage).resolve() / "resource").iterdir():
            if item.name != "config.kcfg":
                (resource / item.name).symlink_to(item)
        (resource / "config.kcfg").write_text(crlf(CONFIG))
        for d in ("config/kobaltron", "data", "cache", "home", "tmp"):
            (self.dir / d).mkdir(parents=True, exist_ok=True)
        (self.dir / "config" / "kobaltron" / "Kobaltron.ini").write_text(f"[Path]\nApplication={self.install}\n")
        self.runtime = self.dir / "run"
        self.runtime.mkdir(mode=0o700)
        self.display = display
        self.processes = []
        self.killed = set()  # ended by the case on purpose

    def env(self):
        env = {k: v for k, v in os.environ.items()
               if k not in ("WAYLAND_DISPLAY", "SESSION_MANAGER", "DBUS_SESSION_BUS_ADDRESS", "QT_QPA_PLATFORM")}
        env.update(HOME=str(self.dir / "home"), XDG_CONFIG_HOME=str(self.dir / "config"),
                   XDG_DATA_HOME=str(self.dir / "data"), XDG_CACHE_HOME=str(self.dir / "cache"),
                   XDG_RUNTIME_DIR=str(self.runtime), TMPDIR=str(self.dir / "tmp"), KOBALTRON_NO_DIALOGS="1",
                   DBUS_SESSION_BUS_ADDRESS=f"unix:path={self.runtime}/no-bus", DISPLAY=self.display)
        return env

    def actor(self, name, lists, ddename=None, files=None):
        """An actor directory; lists: name -> entry lines; its active list is active.krnd."""
        d = self.install / "actors" / name
        d.mkdir(parents=True)
        write_bmp(d / "dot.bmp")
        (d / "wave.kani").write_text(crlf(["framecount=2", "framepause=2", "timerspeed=40", "movespeed=30",
                                           "actorwidth=8", "actorheight=8", "transparentred=0",
                                           "transparentgreen=255", "transparentblue=0", "[end]", "dot.bmp",
                                           "dot.bmp"]))
        for list_name, entries in lists.items():
            (d / list_name).write_text(crlf([str(len(entries))] + entries))
        for file_name, text in (files or {}).items():
            (d / file_name).write_text(text)
        (d / "actor.kact").write_text(crlf([
            "version=Kobaltron V1.0", f"actorname={name}", f"actorddename={ddename or name}",
            f"actorpath=actors\\{name}\\", "iconfile=dot.bmp", "activefile=active.krnd",
            "responsefile=active.krnd", "boredfile=active.krnd", "sleepfile=active.krnd", "[end]"]))
        return d / "actor.kact"

    def start(self, actor_file):
        err = open(self.dir / f"stderr-{len(self.processes)}.txt", "wb")
        p = subprocess.Popen([str(self.install / "resource" / "kobalactor"), str(actor_file)], env=self.env(),
                             cwd=self.install, stdout=subprocess.DEVNULL, stderr=err)
        p.err_path = err.name
        err.close()
        self.processes.append(p)
        return p

    def socket_path(self):
        return str(self.runtime / "kobaltron" / "KOBALACTOR-Actor-DDEline")

    def connect(self):
        s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        s.connect(self.socket_path())
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
        shutil.rmtree(self.dir, ignore_errors=True)


def poll(condition, limit):
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.05)
    return condition()


def window_shown(pid, display):
    r = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(pid)], capture_output=True, text=True,
                       env=dict(os.environ, DISPLAY=display), timeout=20)
    return bool(r.stdout.strip())


def messages(p):
    return [line for line in Path(p.err_path).read_text(errors="replace").splitlines() if line.startswith(TITLES)]


def stderr_of(p):
    return Path(p.err_path).read_text(errors="replace")


def end_by_sigterm(p, problems, what):
    p.send_signal(signal.SIGTERM)
    try:
        status = p.wait(2)
    except subprocess.TimeoutExpired:
        problems.append(f"{what}: still running 2 s after SIGTERM")
        p.kill()
        p.wait(10)
        return
    # Every program turns SIGTERM into a clean exit; dying by any signal is a fault.
    if status < 0:
        problems.append(f"{what}: killed by signal {-status}")


def case_path(box, problems):
    sender = box.actor("sender", {"active.krnd": ["!04|1|send.kani|"]}, ddename="sender", files={
        "send.kani": crlf(["framecount=2", "framepause=5", "timerspeed=40", "actorwidth=8", "actorheight=8",
                           "transparentgreen=255", "[end]", "dot.bmp", f"!99|0|*%*{CLIMB}|"])})
    # What the escapes would reach, were they followed: a list of another actor.
    box.actor("other", {"active.krnd": ["!04|1|wave.kani|"], "secret.krnd": ["!04|1|wave.kani|"]})
    target_file = box.actor("target", {"active.krnd": ["!04|1|wave.kani|"]}, ddename="target")
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
    hub_file = box.actor("hub", {"active.krnd": ["!04|1|wave.kani|"]}, ddename="hub")
    b_file = box.actor("bee", {"active.krnd": ["!04|1|wave.kani|"]}, ddename="bee")
    c_file = box.actor("sea", {"active.krnd": ["!04|1|wave.kani|"]}, ddename="sea")
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
    actor_file = box.actor("locked", {"active.krnd": ["!04|1|wave.kani|"]})
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
    try:
        status = p.wait(LIMIT)
    except subprocess.TimeoutExpired:
        problems.append(f"loop: still running after {LIMIT:.0f} s")
        p.kill()
        p.wait(10)
        return
    if status < 0:
        problems.append(f"loop: killed by signal {-status}")
    elif status == 0:
        problems.append("loop: status 0 for a list that loops")
    found = messages(p)
    if not any("Out of stack space" in m and "self.krnd, line 2" in m for m in found):
        problems.append(f"loop: no message naming self.krnd, line 2: {found or stderr_of(p)[-400:]!r}")
    r = subprocess.run([str(Path(check_program).resolve()), str(actor_file)], capture_output=True, text=True, env=box.env(),
                       cwd=box.install, timeout=60)
    if r.returncode <= 0:
        problems.append(f"loop: kobalcheck status {r.returncode}, not a failure")
    if not any("self.krnd:2: error:" in line for line in r.stdout.splitlines() + r.stderr.splitlines()):
        problems.append(f"loop: kobalcheck gives no error at self.krnd:2: {r.stdout[-600:]!r}")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--stage", required=True)
    ap.add_argument("--install")
    ap.add_argument("--check", required=True)
    ap.add_argument("cases", nargs="*")
    args = ap.parse_args()
    cases = {"path": case_path, "flood": case_flood, "lock": case_lock,
             "loop": lambda box, problems: case_loop(box, problems, args.check)}
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
