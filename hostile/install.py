#!/usr/bin/env python3
"""Menu entries, install media and removal, made to run or overwrite what
they should not, through the real programs in a private home:

  menu_entry      an executable actor file and playlist (their last lines
                  run `touch`) added with `kobalconfig FILE`: the entry's
                  Exec, read as a desktop reads it and run by `gio launch`,
                  starts the launcher with the file; the file never runs.
  leading_out     a medium whose Files.dat and Commands.dat have ..\\..\\
                  lines: refused with a message naming each list and line,
                  exit status 1, nothing written anywhere.
  own_medium      the medium's own folder as destination: refused with a
                  message, not one file of the medium deleted or changed.
  install_gone    an actor whose install directory is removed while it
                  runs ends at its next file read with status 0, one line on
                  stderr and no error box.
Usage: install.py --stage DIR --install PROG --check PROG
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from testkit import Checks, PrivateHome, Xvfb, program_arguments, wait_for_window, wait_or_kill, window_size, xdotool

check = Checks()
BAD_SIGNALS = (-signal.SIGSEGV, -signal.SIGABRT, -signal.SIGBUS, -signal.SIGFPE, -signal.SIGILL, -signal.SIGKILL)


def exec_arguments(entry_text):
    """The Exec line as a desktop reads it: string escapes, then the quoting
    rules, then %% (no other field code is expected here)."""
    line = next(l for l in entry_text.splitlines() if l.startswith("Exec="))[5:]
    value, i = "", 0
    while i < len(line):
        c = line[i]
        if c == "\\" and i + 1 < len(line):
            i += 1
            value += {"s": " ", "n": "\n", "t": "\t", "r": "\r"}.get(line[i], line[i])
        else:
            value += c
        i += 1
    args, arg, quoted, started, i = [], "", False, False, 0
    while i < len(value):
        c = value[i]
        if quoted and c == "\\" and i + 1 < len(value):
            i += 1
            arg += value[i]
        elif c == '"':
            quoted, started = not quoted, True
        elif c == " " and not quoted:
            if started or arg:
                args.append(arg)
            arg, started = "", False
        elif c == "%":
            if value[i + 1:i + 2] != "%":
                raise ValueError(f"field code in {value!r}")
            i += 1
            arg += "%"
        else:
            arg += c
        i += 1
    if started or arg:
        args.append(arg)
    return args


def run(argv, env, cwd=None, timeout=120):
    r = subprocess.run(argv, env=env, cwd=cwd, capture_output=True, text=True, timeout=timeout)
    check(r.returncode not in BAD_SIGNALS, f"{argv[0]} died by signal {-r.returncode}")
    return r


def menu_entry(stage, tmp, display):
    home = tmp / "menu"
    env = PrivateHome(home).env(display)
    launcher = os.path.realpath(stage / "resource/kobaltron")
    folder = home / "my actors $HOME `id` 100%"
    folder.mkdir(parents=True)
    cases = [
        # file name, its text, the menu entry's name, what the launcher says about it
        ("evil \"one\" 'x' #1 (a);&|<>*?~.kact",
         "#!/bin/sh\ntouch '{mark}'\nexit 0\nversion=Evil 6.6\nactorname=Evil One\n"
         "actorpath=actors\\kobi\\\nsplashscreen=splash.bmp\n[end]\n",
         "Evil One", "not compatible with this version (Evil 6.6)"),
        ("run me.kpls", "#!/bin/sh\ntouch '{mark}'\nexit 0\n", "run me", "File not found"),
    ]
    for name, text, entry_name, said in cases:
        mark = home / ("ran-" + name.split(".")[-1])
        file = folder / name
        file.write_text(text.format(mark=mark))
        file.chmod(0o755)
        r = run([str(stage / "resource/kobalconfig"), str(file)], env, cwd=home)
        check(r.returncode == 0 and "has been added to the start menu!" in r.stderr,
              f"kobalconfig {name}: status {r.returncode}, {r.stderr!r}")
        entries = [p for p in (home / "data/applications").rglob("*.desktop") if p.stem == entry_name]
        check(len(entries) == 1, f"{name}: menu entries {entries}")
        if not entries:
            continue
        entry = entries[0]
        argv = exec_arguments(entry.read_text())
        check(len(argv) == 2 and os.path.realpath(argv[0]) == launcher and argv[1] == str(file),
              f"{name}: the entry runs {argv}, not the launcher with the file")
        # Opened as a desktop opens it. The launcher writes to the stderr it
        # inherits, so the run ends when the launcher has.
        if shutil.which("gio"):
            r = run(["gio", "launch", str(entry)], env, cwd=home)
        else:
            r = run(argv, env, cwd=home)
        check(said in r.stderr, f"{name}: the launcher did not answer ({said!r}): {r.returncode} {r.stderr!r}")
        check(not mark.exists(), f"{name}: opening the menu entry ran the file")


def click_install(program, medium, env, stderr_file):
    proc = subprocess.Popen([str(program)], cwd=medium, env=env, stdout=subprocess.DEVNULL,
                            stderr=stderr_file)
    display = env["DISPLAY"]
    window = wait_for_window(display, "Kobaltron Install", limit=60, proc=proc)
    if not window:
        proc.kill()
        proc.wait(10)
        raise RuntimeError("the Install window did not appear")
    width, height = window_size(display, window)
    # "Install" sits at 4920, 2880, 975 x 615 twips of a 5940 x 3885 window.
    x, y = (4920 + 975 // 2) * width // 5940, (2880 + 615 // 2) * height // 3885
    xdotool(display, "mousemove", "--window", window, x, y, "click", "1")
    return proc


def make_medium(root, files, commands, contents):
    (root / "Install").mkdir(parents=True)
    (root / "Install/Files.dat").write_bytes(files.encode())
    (root / "Install/Commands.dat").write_bytes(commands.encode())
    for name, text in contents.items():
        (root / name).parent.mkdir(parents=True, exist_ok=True)
        (root / name).write_text(text)


def snapshot(root):
    return {str(p.relative_to(root)): p.read_bytes() for p in root.rglob("*") if p.is_file()}


def leading_out(program, tmp, display):
    home = tmp / "out"
    user = PrivateHome(home)
    env = user.env(display)
    medium = home / "media/disc"
    make_medium(medium, "ok.txt\r\nactors\r\n..\\..\\pwned.txt\r\n",
                "install\r\n..\\..\\evil.kact\r\n", {"ok.txt": "ok\n"})
    dest = home / "dest/inst"
    user.set_install_path(dest)
    before = snapshot(home)
    with open(home / "install.err", "w+") as err:
        proc = click_install(program, medium, env, err)
        status, ended = wait_or_kill(proc, 120)
        check(ended, "leading_out: the installer did not end within 120 s")
        err.seek(0)
        text = err.read()
    check(status == 1, f"leading_out: exit status {status}, {text!r}")
    check(status not in BAD_SIGNALS, f"leading_out: died by signal {-status}")
    for named in (f"{medium}/Install/Files.dat, line 3: ..\\..\\pwned.txt",
                  f"{medium}/Install/Commands.dat, line 2: ..\\..\\evil.kact"):
        check(named in text, f"leading_out: no message naming {named!r}: {text!r}")
    after = snapshot(home)
    after.pop("install.err", None)
    check(after == before, f"leading_out: written: {sorted(set(after) ^ set(before))}")
    check(not (home / "pwned.txt").exists() and not dest.exists(), "leading_out: something was installed")


def own_medium(program, tmp, display):
    home = tmp / "own"
    user = PrivateHome(home)
    env = user.env(display)
    medium = home / "media/disc"
    make_medium(medium, "readme.txt\r\nactors\r\nactors\\bob.kact\r\n", "install\r\nactors\\bob.kact\r\n",
                {"readme.txt": "read me\n", "actors/bob.kact": "actorname=Bob\r\n[end]\r\n"})
    before = snapshot(medium)
    for dest in (medium, medium / "actors"):
        user.set_install_path(dest)
        with open(home / "install.err", "w+") as err:
            proc = click_install(program, medium, env, err)
            deadline, text = time.monotonic() + 60, ""
            while "install medium's own folder" not in text and time.monotonic() < deadline and proc.poll() is None:
                time.sleep(0.2)
                err.seek(0)
                text = err.read()
            check("install medium's own folder" in text, f"own_medium {dest}: no message: {text!r}")
            # The window stays open for another destination: the test closes it.
            if proc.poll() is None:
                proc.terminate()
            status, ended = wait_or_kill(proc, 30)
            check(ended, f"own_medium {dest}: the installer ignored SIGTERM")
            check(status not in BAD_SIGNALS, f"own_medium {dest}: died by signal {-status}")
        check(snapshot(medium) == before, f"own_medium {dest}: the medium changed")
        check(not (home / "data/applications").exists(), f"own_medium {dest}: menu entries written")


def install_gone(stage, tmp, display):
    home = tmp / "gone"
    user = PrivateHome(home)
    env = user.env(display)
    inst = home / "inst"
    shutil.copytree(stage, inst, symlinks=True)
    user.set_install_path(inst)
    with open(home / "actor.err", "w+") as err:
        proc = subprocess.Popen([str(inst / "resource/kobalactor"), "actors\\kobi\\kobi.kact"], cwd=inst,
                                env=env, stdout=subprocess.DEVNULL, stderr=err)
        shown = wait_for_window(display, "Kobi", limit=60, proc=proc)
        check(shown, "install_gone: Kobi's window did not appear")
        shutil.rmtree(inst)
        status, ended = wait_or_kill(proc, 120)
        check(ended, "install_gone: the actor went on for 120 s without its install directory")
        err.seek(0)
        text = err.read()
    check(status == 0, f"install_gone: exit status {status}, {text!r}")
    check("is gone" in text and "Run-time error" not in text,
          f"install_gone: expected one quiet line, got {text!r}")


def main():
    args, programs = program_arguments(__doc__.split("\n\n")[0])
    stage, program = args.stage.resolve(), programs["install"]
    with tempfile.TemporaryDirectory() as t, Xvfb() as display:
        tmp = Path(t)
        for name, case in (("menu_entry", lambda: menu_entry(stage, tmp, display)),
                           ("leading_out", lambda: leading_out(program, tmp, display)),
                           ("own_medium", lambda: own_medium(program, tmp, display)),
                           ("install_gone", lambda: install_gone(stage, tmp, display))):
            start = time.monotonic()
            try:
                case()
            except Exception as e:  # a case that cannot run is a failure, the others still run
                check(False, f"{name}: {type(e).__name__}: {e}")
            print(f"{name}: done in {time.monotonic() - start:.1f} s", flush=True)
    return check.status()


if __name__ == "__main__":
    sys.exit(main())
