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
import argparse
import os
import random
import subprocess
import sys
import tempfile
import threading
from pathlib import Path

from private_x import Xvfb

failures = []


def check(ok, what, result=None):
    if not ok:
        detail = ""
        if result is not None:
            detail = f"\n  status {result.returncode}\n  stdout {result.stdout!r}\n  stderr {result.stderr!r}"
        failures.append(what + detail)


def run(program, args, env, cwd=None):
    return subprocess.run([str(program)] + args, env=env, cwd=cwd, capture_output=True, text=True, timeout=60)


def private_env(home, display=None):
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    # What is installed system-wide (file types, menus, a session bus) must not count.
    env.update(HOME=str(home), XDG_CONFIG_HOME=str(home / "config"), XDG_DATA_HOME=str(home / "data"),
               XDG_DATA_DIRS=str(home / "system/data"), XDG_CONFIG_DIRS=str(home / "system/config"),
               DBUS_SESSION_BUS_ADDRESS=f"unix:path={home}/run/no-bus",
               XDG_RUNTIME_DIR=str(home / "run"), KOBALTRON_NO_DIALOGS="1")
    (home / "run").mkdir(mode=0o700, exist_ok=True)
    if display:
        env["DISPLAY"] = display
    return env


def dead_display():
    # Far above what servers here take, so no Xvfb started meanwhile has it.
    for n in random.sample(range(20000, 30000), 50):
        if not Path(f"/tmp/.X11-unix/X{n}").exists() and not Path(f"/tmp/.X{n}-lock").exists():
            return f":{n}"
    raise RuntimeError("no unused display number")


def options(programs, home):
    env = private_env(home)  # no display at all
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
        env = private_env(home, display)
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


def no_display(programs, home):
    work = home / "work"
    work.mkdir()
    actor = work / "bob.kact"
    actor.write_text("version=Kobaltron V1.0\r\n[end]\r\n")
    dead = dead_display()
    # An install directory whose settings ask for the launcher's splash.
    splash_home = home / "splash"
    resource = splash_home / "install" / "resource"
    resource.mkdir(parents=True)
    for item in programs["kobaltron"].parent.iterdir():
        if item.name != "config.kcfg":
            (resource / item.name).symlink_to(item)
    (resource / "config.kcfg").write_text("showsplash=1\r\n[end]\r\n")
    (splash_home / "config" / "kobaltron").mkdir(parents=True)
    (splash_home / "config" / "kobaltron" / "Kobaltron.ini").write_text(
        f"[Path]\nApplication={splash_home / 'install'}\n")
    cases = [
        ("kobalactor", [str(actor)]),
        ("kobalconfig", []),
        ("kobalconfig", ["!/some/dir"]),
        ("install", []),
    ]
    for display, expect in ((None, "DISPLAY is not set"), (dead, f"cannot connect to the display \"{dead}\"")):
        for qt_platform in (None, "xcb"):
            env = private_env(home, display)
            # Boxes are really wanted: nothing may try to show one.
            del env["KOBALTRON_NO_DIALOGS"]
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
            r = run(programs["kobaltron"], [str(actor)], dict(env, XDG_CONFIG_HOME=str(splash_home / "config")),
                    cwd=work)
            what = f"kobaltron with a splash (DISPLAY={display}, QT_QPA_PLATFORM={qt_platform})"
            check(r.returncode == 3, what + ": status 3", r)
            check(r.stderr.startswith("kobaltron: ") and expect in r.stderr, what + ": says why", r)
            # The checker needs no display at all.
            r = run(programs["kobalcheck"], [str(actor)], env, cwd=work)
            check(r.returncode in (0, 1) and "bob.kact" in r.stdout + r.stderr, f"kobalcheck without display {display}", r)


def server_reset(programs, home):
    """An X server without -noreset (xvfb-run's default) resets whenever its
    last client leaves and refuses connections meanwhile. A script that polls
    for windows makes that happen all the time; a program starting then must
    still come up, not abort."""
    with Xvfb(reset=True) as display:
        env = private_env(home, display)
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
                if failures:
                    break
        finally:
            stop.set()
            poller.join()


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--stage", required=True)
    p.add_argument("--install", required=True)
    p.add_argument("--check", required=True)
    p.add_argument("part", choices=["options", "no_display", "server_reset"])
    a = p.parse_args()
    resource = Path(a.stage) / "resource"
    programs = {"kobalactor": resource / "kobalactor", "kobaltron": resource / "kobaltron",
                "kobalconfig": resource / "kobalconfig", "install": Path(a.install), "kobalcheck": Path(a.check)}
    with tempfile.TemporaryDirectory() as tmp:
        {"options": options, "no_display": no_display, "server_reset": server_reset}[a.part](programs, Path(tmp))
    for f in failures:
        print("FAIL:", f)
    print(f"{len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
