#!/usr/bin/env python3
"""--help, --version, "--" and a missing display, through the real programs.

  options     every program answers --help and --version on stdout with status
              0, without a display; a name after "--" reaches the program whole
              even when it begins with "-".
  server_reset  a program starting while the X server resets (its last
              client just left) comes up instead of aborting.
  no_display  a program that needs windows, started with DISPLAY unset or
              naming a display nobody serves, says so on stderr and ends with
              a non-zero status, never by a signal; the launcher asked for its
              splash ends with status 3 like the others.
Usage: run_command_lines.py --stage DIR --install PROGRAM --check PROGRAM (options|no_display)
"""
import random
import subprocess
import sys
import tempfile
import threading
from pathlib import Path

from testkit import Checks, PrivateHome, Xvfb, program_arguments

check = Checks()


def run(program, args, env, cwd=None):
    return subprocess.run([str(program)] + args, env=env, cwd=cwd, capture_output=True, text=True, timeout=60)


def dead_display():
    # Far above what servers here take, so no Xvfb started meanwhile has it.
    for n in random.sample(range(20000, 30000), 50):
        if not Path(f"/tmp/.X11-unix/X{n}").exists() and not Path(f"/tmp/.X{n}-lock").exists():
            return f":{n}"
    raise RuntimeError("no unused display number")


def options(programs, user):
    home = user.dir
    env = user.env()  # no display at all
    version = None
    for name, program in programs.items():
        h = run(program, ["--help"], env)
        check(h.returncode == 0, f"{name} --help: status", h)
        check(h.stdout.startswith(f"Usage: {name} "), f"{name} --help: usage line", h)
        check("--version" in h.stdout and "--help" in h.stdout, f"{name} --help: lists its options", h)
        wide = [l for l in h.stdout.splitlines() if len(l) > 80]
        check(not wide, f"{name} --help: lines wider than 80 columns: {wide}", h)
        v = run(program, ["--version"], env)
        check(v.returncode == 0 and v.stdout.startswith(f"{name} (Kobaltron) "), f"{name} --version", v)
        check(v.stdout.count("\n") == 1, f"{name} --version: one line", v)
        number = v.stdout.rsplit(" ", 1)[-1].strip()
        check(version in (None, number), f"{name} --version: the same version as the others", v)
        version = version or number

    # A name beginning with "-" after "--" is the file the program reads.
    work = home / "work"
    work.mkdir()
    # No "[end]": reading it as a file ends with an error that names it.
    (work / "-odd.kact").write_text("version=Kobaltron V1.0\r\n")
    with Xvfb() as display:
        env = user.env(display)
        # A relative name found only here is read from here (the install directory has none).
        for name in ("kobaltron", "kobalactor"):
            r = run(programs[name], ["--", "-odd.kact"], env, cwd=work)
            check(r.returncode > 0 and "Input past end of file" in r.stderr and "/-odd.kact" in r.stderr
                  and "unknown option" not in r.stderr,
                  f"{name} -- -odd.kact: read as an actor file", r)
        r = run(programs["kobalconfig"], ["--", "!/some/--help"], env, cwd=work)
        settings = (home / "config/kobaltron/Kobaltron.ini")
        check(r.returncode == 0 and settings.exists() and "/some/--help" in settings.read_text(),
              "kobalconfig -- !DIR: stores DIR", r)
        r = run(programs["kobalconfig"], ["--", "--version"], env, cwd=work)
        # AddToStartMenu's first check answers: the text went to it as a file name.
        check(r.returncode != 0 and "!: Cannot find the application" in r.stderr and "Kobaltron)" not in r.stdout,
              "kobalconfig -- --version: a file name, not the option", r)
        r = run(programs["kobalcheck"], ["--install", str(programs["kobalactor"].parent.parent), "--", "-odd.kact"],
                env, cwd=work)
        check("-odd.kact" in r.stdout and "unknown option" not in r.stderr, "kobalcheck -- -odd.kact", r)


def no_display(programs, user):
    home = user.dir
    work = home / "work"
    work.mkdir()
    actor = work / "bob.kact"
    # Its splash picture is there: the launcher gets as far as the display.
    (work / "bob.gif").write_bytes(b"GIF89a")
    actor.write_text(f"version=Kobaltron V1.0\r\nactorpath={work}/\r\nsplashscreen=bob.gif\r\n[end]\r\n")
    dead = dead_display()
    # An install directory whose settings ask for the launcher's splash.
    splash_user = PrivateHome(home / "splash")
    splash_user.link_install(programs["kobaltron"].parent.parent, "showsplash=1\r\n[end]\r\n")
    cases = [
        ("kobalactor", [str(actor)]),
        ("kobalconfig", []),
        ("kobalconfig", ["!/some/dir"]),
        ("install", []),
    ]
    for display, expect in ((None, "DISPLAY is not set"), (dead, f"cannot connect to the display \"{dead}\"")):
        for qt_platform in (None, "xcb"):
            # Boxes are really wanted: nothing may try to show one.
            env = user.env(display, dialogs=True)
            if qt_platform:
                env["QT_QPA_PLATFORM"] = qt_platform
            for name, args in cases:
                r = run(programs[name], args, env, cwd=work)
                what = f"{name} {' '.join(args)} (DISPLAY={display}, QT_QPA_PLATFORM={qt_platform})"
                check(r.returncode > 0, what + ": non-zero status, no signal", r)
                check(r.stderr.startswith(f"{name}: ") and expect in r.stderr, what + ": says why", r)
            # The launcher opens its display only for a box or the splash; its
            # messages still reach stderr.
            r = run(programs["kobaltron"], [], env, cwd=work)
            check(r.returncode > 0 and "Usage: Kobaltron" in r.stderr, f"kobaltron without display {display}", r)
            # A splash is asked for: no window, no actor, the status of every program without a display.
            r = run(programs["kobaltron"], [str(actor)], dict(env, XDG_CONFIG_HOME=str(splash_user.config)),
                    cwd=work)
            what = f"kobaltron with a splash (DISPLAY={display}, QT_QPA_PLATFORM={qt_platform})"
            check(r.returncode == 3, what + ": status 3", r)
            check(r.stderr.startswith("kobaltron: ") and expect in r.stderr, what + ": says why", r)
            # The checker needs no display at all.
            r = run(programs["kobalcheck"], [str(actor)], env, cwd=work)
            check(r.returncode in (0, 1) and "bob.kact" in r.stdout + r.stderr, f"kobalcheck without display {display}", r)


def server_reset(programs, user):
    """An X server without -noreset (xvfb-run's default) resets whenever its
    last client leaves and refuses connections meanwhile. A script that polls
    for windows makes that happen all the time; a program starting then must
    still come up, not abort."""
    with Xvfb(reset=True) as display:
        env = user.env(display)
        stop = threading.Event()

        def poll():
            while not stop.is_set():
                subprocess.run(["xdotool", "search", "--name", "Kobalconfig"], env=env, capture_output=True)

        poller = threading.Thread(target=poll)
        poller.start()
        try:
            for i in range(60):
                r = run(programs["kobalconfig"], [f"!/some/dir{i}"], env)
                check(r.returncode == 0 and "Kobalconfig: Registry key added" in r.stderr,
                      f"kobalconfig !DIR on a resetting server, run {i}", r)
                if check.failures:
                    break
        finally:
            stop.set()
            poller.join()


def main():
    parts = {"options": options, "no_display": no_display, "server_reset": server_reset}
    a, programs = program_arguments(__doc__.split("\n\n")[0], lambda p: p.add_argument("part", choices=list(parts)))
    with tempfile.TemporaryDirectory() as tmp:
        parts[a.part](programs, PrivateHome(tmp))
    return check.status()


if __name__ == "__main__":
    sys.exit(main())
