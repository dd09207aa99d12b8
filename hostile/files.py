#!/usr/bin/env python3
"""Hostile files and signals, through the real programs on a private Xvfb.

  fifo_list     a random-choice list that is a FIFO: the actor and kobalcheck
                say "File not found" naming it, at once, never blocked on it.
  zero_anim     an animation that is a link to /dev/zero: the same, and the
                memory stays small (kobalcheck --run too).
  long_line     a list line of 100 KiB: "Out of string space" naming file and
                line; a playlist that is a FIFO: the launcher names it.
  byte_order    a byte-order mark at the start of an actor file, list,
                animation and playlist changes nothing: kobalcheck finds no
                fault and the actor keeps its name.
  signals       SIGTERM or SIGHUP while an error box is up (an actor's error
                at a tick and at start-up, the FIFO list's message, the
                launcher's), while another process holds the link's lock,
                while the configuration window and the installer
                wait for the user, and during a long kobalcheck --run: each
                program ends within 2 s with the status of a clean exit
                (128 + the signal), not by the signal; an actor showing its
                box uses little CPU meanwhile.
  no_autolaunch the runs have no D-Bus address and no bus: no program tries
                dbus-launch (seen with strace where it is at hand), and
  leftovers     no program leaves a process behind.
Every case also checks: no death by a signal, no sanitizer report.
Usage: files.py --stage DIR --install PROGRAM --check PROGRAM
"""
import fcntl
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from testkit import Checks, PrivateHome, Xvfb, crlf, poll, program_arguments, windows, write_actor, xdotool

TIMEOUT = 30          # a run that takes longer hangs
# Far above an actor's own peak (the sanitizer build's is several times
# larger), far below what a runaway read reaches before the time-out.
MEMORY_MB = 1000 if "ASAN_OPTIONS" in os.environ else 400
SIGNAL_SECONDS = 2    # a signal ends a program within this
BOX_CPU = 0.25        # share of a core an actor may use while its box is up

check = Checks()


class Home(PrivateHome):
    """A private user and install directory, with no D-Bus address and no bus."""

    def __init__(self, stage):
        super().__init__(prefix="kobal-hostile-files-")
        self.install = self.link_install(stage)
        (self.dir / "work").mkdir()

    def env(self, display, dialogs=False):
        return super().env(display, dialogs=dialogs, bus=False)

    def actor(self, name, entries=("!04|1|walk.kani|",), kani=None, actorname=None):
        """An actor directory whose every list is active.krnd with these
        entries; kani: walk.kani's lines."""
        return write_actor(self.install, name, {"active.krnd": list(entries)},
                           files={"walk.kani": crlf(kani)} if kani else None, actorname=actorname)


class Run:
    """A program started with its output in files; wait() reaps it with its
    peak memory."""

    def __init__(self, home, args, env, cwd=None):
        self.out = tempfile.NamedTemporaryFile(dir=home.dir, prefix="out-", delete=False)
        self.err = tempfile.NamedTemporaryFile(dir=home.dir, prefix="err-", delete=False)
        self.args = [str(a) for a in args]
        self.proc = subprocess.Popen(self.args, env=env, cwd=cwd or home.dir / "work",
                                     stdout=self.out, stderr=self.err)
        self.started = time.monotonic()
        self.status = None
        self.max_rss_mb = 0

    def wait(self, timeout=TIMEOUT):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.proc.returncode is not None:  # reaped by Popen already
                self.status = self.proc.returncode
                return True
            pid, status, usage = os.wait4(self.proc.pid, os.WNOHANG)
            if pid:
                self.proc.returncode = self.status = os.waitstatus_to_exitcode(status)
                self.max_rss_mb = usage.ru_maxrss / 1024
                return True
            time.sleep(0.02)
        self.proc.kill()
        self.proc.wait()
        return False

    def stdout(self):
        return Path(self.out.name).read_text(errors="replace")

    def stderr(self):
        return Path(self.err.name).read_text(errors="replace")

    def name(self):
        return " ".join(Path(a).name if "/" in a else a for a in self.args)


def ends_with_message(home, args, env, texts, what, cwd=None, stdout=False):
    """Runs to its end: bounded time and memory, a non-zero status, no signal,
    and every text in its stderr (and stdout where the program reports there)."""
    r = Run(home, args, env, cwd)
    if not r.wait():
        check(False, f"{what}: still running after {TIMEOUT} s")
        return r
    said = r.stderr() + (r.stdout() if stdout else "")
    print(f"  {what}: status {r.status}, {time.monotonic() - r.started:.1f} s, peak {r.max_rss_mb:.0f} MB", flush=True)
    check(r.status is not None and r.status > 0, f"{what}: a non-zero status, not a signal", f"status {r.status}")
    check(r.max_rss_mb < MEMORY_MB, f"{what}: memory stays bounded", f"{r.max_rss_mb:.0f} MB")
    check("Sanitizer" not in said and "runtime error:" not in said, f"{what}: no sanitizer report", said[-2000:])
    for text in texts:
        check(text in said, f"{what}: says {text!r}", said[-1500:])
    return r


def fifo_list(home, programs, display):
    d = home.actor("fifo")
    (d / "active.krnd").unlink()
    os.mkfifo(d / "active.krnd")
    env = home.env(display)
    fifo = str(d / "active.krnd")
    ends_with_message(home, [programs["kobalactor"], d / "actor.kact"], env, ["File not found", fifo],
                      "actor with a FIFO list")
    ends_with_message(home, [programs["kobalcheck"], "--install", home.install, d / "actor.kact"], env,
                      ["active.krnd"], "kobalcheck of a FIFO list", stdout=True)
    ends_with_message(home, [programs["kobalcheck"], "--install", home.install, "--run", "10", d / "actor.kact"],
                      env, ["File not found", "active.krnd"], "kobalcheck --run of a FIFO list", stdout=True)


def zero_anim(home, programs, display):
    d = home.actor("zero", ["!04|1|zero.kani|"])
    (d / "zero.kani").symlink_to("/dev/zero")
    env = home.env(display)
    zero = str(d / "zero.kani")
    ends_with_message(home, [programs["kobalactor"], d / "actor.kact"], env, ["File not found", zero],
                      "actor with an animation linked to /dev/zero")
    ends_with_message(home, [programs["kobalcheck"], "--install", home.install, "--run", "10", d / "actor.kact"],
                      env, ["File not found", "zero.kani"], "kobalcheck --run of /dev/zero", stdout=True)
    ends_with_message(home, [programs["kobalcheck"], "--install", home.install, d / "actor.kact"], env,
                      ["zero.kani"], "kobalcheck of /dev/zero", stdout=True)


def long_line(home, programs, display):
    d = home.actor("long", ["!04|1|walk.kani|" + "x" * 100 * 1024])
    env = home.env(display)
    ends_with_message(home, [programs["kobalactor"], d / "actor.kact"], env,
                      ["Out of string space", str(d / "active.krnd") + ", line 2"], "actor with a 100 KiB list line")
    ends_with_message(home, [programs["kobalcheck"], "--install", home.install, d / "actor.kact"], env,
                      ["active.krnd"], "kobalcheck of a 100 KiB list line", stdout=True)
    # The launcher: a FIFO named on its command line is no file there (its
    # usage message), one in a playlist an actor file that is not found.
    fifo = home.install / "fifo.kact"
    os.mkfifo(fifo)
    ends_with_message(home, [programs["kobaltron"], fifo], env, ["Usage: Kobaltron"],
                      "launcher given a FIFO")
    playlist = home.install / "fifo.kpls"
    playlist.write_text(f"{fifo}\r\n")
    ends_with_message(home, [programs["kobaltron"], playlist], env, [f"Error: File not found: {fifo}"],
                      "launcher with a FIFO in a playlist")
    os.mkfifo(home.install / "fifo-list.kpls")
    ends_with_message(home, [programs["kobaltron"], home.install / "fifo-list.kpls"], env, ["Usage: Kobaltron"],
                      "launcher given a FIFO playlist")


def byte_order(home, programs, display):
    bom = "\ufeff"
    d = home.actor("bom", actorname="Bommy")
    # The name first: the mark must not spoil the first key.
    kact = d / "actor.kact"
    lines = kact.read_bytes().split(b"\r\n")
    kact.write_bytes(b"\r\n".join([lines[1], lines[0]] + lines[2:]))
    for name in ("actor.kact", "active.krnd", "walk.kani"):
        p = d / name
        p.write_bytes(bom.encode() + p.read_bytes())
    playlist = home.install / "bom.kpls"
    playlist.write_text(bom + f"{d / 'actor.kact'}\r\n")
    env = home.env(display)
    r = Run(home, [programs["kobalcheck"], "--install", home.install, playlist], env)
    check(r.wait() and r.status == 0, "kobalcheck of files that start with a byte-order mark: no fault",
          f"status {r.status}\n    {r.stdout()[-1500:]}{r.stderr()[-500:]}")
    # The actor keeps its name: its window's title.
    r = Run(home, [programs["kobalactor"], d / "actor.kact"], env)
    found = poll(lambda: window_of(display, r.proc.pid, "Bommy"), 20)
    check(found, "actor file with a byte-order mark keeps its actorname", r.stderr()[-1000:])
    r.proc.send_signal(signal.SIGTERM)
    check(r.wait(SIGNAL_SECONDS + 10) and r.status is not None and r.status >= 0,
          "actor with byte-order marks ends on SIGTERM", f"status {r.status}")


def window_of(display, pid, title):
    """A visible window of pid with exactly this title."""
    return windows(display, title, pid)


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def ends_on_signal(r, sig, what, title=None, display=None, measure_cpu=False, allowed=()):
    """Waits for the program's box or window, then sends sig: it must end
    within SIGNAL_SECONDS with 128 + sig (or a status in allowed)."""
    if title:
        up = poll(lambda: r.proc.poll() is None and window_of(display, r.proc.pid, title), TIMEOUT)
        if not up:
            check(False, f"{what}: no window {title!r} came up", f"status {r.proc.poll()}\n    {r.stderr()[-1500:]}")
            r.proc.kill()
            r.wait()
            return
    if measure_cpu:
        start_cpu, start = cpu_seconds(r.proc.pid), time.monotonic()
        time.sleep(2)
        share = (cpu_seconds(r.proc.pid) - start_cpu) / (time.monotonic() - start)
        print(f"  {what}: {share:.0%} of a core while up", flush=True)
        check(share < BOX_CPU, f"{what}: little CPU while the box is up", f"{share:.0%} of a core")
    sent = time.monotonic()
    r.proc.send_signal(sig)
    ended = r.wait(SIGNAL_SECONDS)
    took = time.monotonic() - sent
    check(ended, f"{what}: ends within {SIGNAL_SECONDS} s of {sig.name}", f"still running after {took:.1f} s")
    print(f"  {what}: {sig.name} -> status {r.status}, {took:.2f} s", flush=True)
    if ended:
        check(r.status == 128 + sig or r.status in allowed, f"{what}: status {128 + sig} after {sig.name}, not killed by it",
              f"status {r.status}\n    {r.stderr()[-800:]}")


def signals(home, programs, display):
    env = home.env(display, dialogs=True)

    # An error at a tick: the first frame shows, the second picture is missing.
    d = home.actor("tick", kani=[
        "framecount=2", "framepause=2", "timerspeed=40", "movespeed=30", "actorwidth=8", "actorheight=8",
        "transparentred=0", "transparentgreen=255", "transparentblue=0", "[end]", "dot.bmp", "missing.bmp"])
    r = Run(home, [programs["kobalactor"], d / "actor.kact"], env)
    ends_on_signal(r, signal.SIGTERM, "actor with an error box from a tick", "kobalactor", display, measure_cpu=True)
    check("missing.bmp" in r.stderr(), "actor's error box names the missing picture", r.stderr()[-800:])
    check(not (home.runtime / "kobaltron" / "KOBALACTOR-Actor-DDEline").exists(),
          "actor ended during its box leaves no link socket behind")

    # At start-up, the FIFO list's message.
    fifo = home.install / "actors" / "fifo" / "actor.kact"
    r = Run(home, [programs["kobalactor"], fifo], env)
    ends_on_signal(r, signal.SIGHUP, "actor with the FIFO list's box", "kobalactor", display, measure_cpu=True)

    # Another process holds the link's lock: the actor waits in it (or, once
    # that wait is bounded, runs without the link); either way a signal ends it.
    lock_dir = home.runtime / "kobaltron"
    lock_dir.mkdir(mode=0o700, exist_ok=True)
    with open(lock_dir / "link.lock", "a") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        r = Run(home, [programs["kobalactor"], home.install / "actors" / "bom" / "actor.kact"], env)
        time.sleep(2)
        ends_on_signal(r, signal.SIGTERM, "actor while the link lock is held", allowed=(0,))

    # The launcher's box for an actor file that is not there.
    playlist = home.install / "nobody.kpls"
    playlist.write_text(f"{home.install / 'nobody.kact'}\r\n")
    r = Run(home, [programs["kobaltron"], playlist], env)
    ends_on_signal(r, signal.SIGTERM, "launcher with its error box", "Error", display)

    # The configuration window and the installer waiting for the user.
    r = Run(home, [programs["kobalconfig"]], env)
    ends_on_signal(r, signal.SIGTERM, "configuration window", "Kobaltron Configuration", display)
    r = Run(home, [programs["install"]], env)
    ends_on_signal(r, signal.SIGHUP, "installer", "Kobaltron Install", display)
    # The checker's long headless run has no event loop to wait for.
    r = Run(home, [programs["kobalcheck"], "--install", home.install, "--run", str(7 * 86400),
                   home.install / "actors" / "bom" / "actor.kact"], env)
    time.sleep(1)
    if r.proc.poll() is None:
        ends_on_signal(r, signal.SIGTERM, "kobalcheck --run")


def no_autolaunch(home, programs, display):
    """Where strace is at hand, the real cause is seen too: no program even
    tries to start dbus-launch (without dbus-x11 nothing would be left behind
    to find)."""
    if not shutil.which("strace"):
        print("  no strace here: only leftovers are checked", flush=True)
        return
    env = home.env(display)
    actor = home.install / "actors" / "bom" / "actor.kact"
    for name, args, title in (("kobalactor", [actor], "Bommy"), ("kobalconfig", [], "Kobaltron Configuration"),
                              ("install", [], "Kobaltron Install")):
        log = home.dir / f"strace-{name}"
        r = Run(home, ["strace", "-f", "-qq", "-o", log, "-e", "trace=execve", programs[name], *args], env)
        # The program itself, found by its window on this private display:
        # strace's first child seen by pgrep may be a short-lived one.
        def program_pid():
            found = xdotool(display, "search", "--onlyvisible", "--name", f"^{title}$", "getwindowpid").split()
            return int(found[0]) if found else None
        pid = poll(program_pid, TIMEOUT)
        check(pid, f"{name} under strace: its window came up", r.stderr()[-800:])
        if pid:
            try:
                os.kill(pid, signal.SIGTERM)
            except ProcessLookupError:
                # Ended on its own: say how, with what strace saw last.
                trace = log.read_text(errors="replace").splitlines()[-5:] if log.exists() else []
                check(False, f"{name} under strace ended before it was asked to (status {r.proc.poll()})",
                      r.stderr()[-800:] + "\n    " + "\n    ".join(trace))
        if not r.wait():
            check(False, f"{name} under strace: ends on SIGTERM")
        tried = [line for line in log.read_text(errors="replace").splitlines() if "dbus-launch" in line]
        check(not tried, f"{name}: no session bus autolaunched", "\n    ".join(tried[:2]))


def main():
    args, programs = program_arguments(__doc__.split("\n\n")[0])
    home = Home(args.stage)
    try:
        with Xvfb() as display:
            for case in (fifo_list, zero_anim, long_line, byte_order, signals, no_autolaunch):
                before = len(check.failures)
                case(home, programs, display)
                print(f"{case.__name__}: {'ok' if len(check.failures) == before else 'FAILED'}", flush=True)
            # Helpers a run may have started end with it, or not at all.
            time.sleep(0.5)
            left = home.leftovers()
            check(not left, "no process left behind", ", ".join(f"{pid} {comm}" for pid, comm in left))
            print(f"leftovers: {'ok' if not left else 'FAILED'}", flush=True)
    finally:
        home.remove()
    return check.status()


if __name__ == "__main__":
    sys.exit(main())
