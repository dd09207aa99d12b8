#!/usr/bin/env python3
"""The settings file under the configuration window's OK, through the real
kobalconfig on a private X server (OK clicked with xdotool).

  read_only   a config.kcfg marked read-only in a folder the user may write:
              OK ends with "Permission denied" naming the file, a non-zero
              status and no signal; the file stays as it was, and the install
              path setting is left as it was.
  left_temp   a temporary file left by a write killed before its rename
              (config.kcfg.tmp<pid>-0 of a process that is gone) is removed by
              the next OK, which writes the file whole.
Usage: settings_file.py --stage DIR --install PROGRAM --check PROGRAM
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from private_x import Xvfb

failures = []
OLD = "priorityup =150\r\n[end]\r\n"


def check(ok, what):
    if not ok:
        failures.append(what)


def private_env(home, display):
    env = {k: v for k, v in os.environ.items() if k not in ("WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    env.update(HOME=str(home), XDG_CONFIG_HOME=str(home / "config"), XDG_DATA_HOME=str(home / "data"),
               XDG_RUNTIME_DIR=str(home / "run"), KOBALTRON_NO_DIALOGS="1", DISPLAY=display,
               DBUS_SESSION_BUS_ADDRESS="unix:path=/nonexistent")
    (home / "run").mkdir(mode=0o700, parents=True, exist_ok=True)
    return env


def window(title, env, limit=60):
    """The id and width of the visible window with this title, polled."""
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", f"^{title}$"], env=env,
                               capture_output=True, text=True)
        ids = found.stdout.split()
        if ids:
            geometry = subprocess.run(["xdotool", "getwindowgeometry", ids[0]], env=env,
                                      capture_output=True, text=True).stdout
            width = re.search(r"Geometry: (\d+)x", geometry)
            if width:
                return ids[0], int(width.group(1))
        time.sleep(0.2)
    return None, 0


def press_ok(program, env):
    """Opens the window, clicks OK (0, 3000, 855 x 375 twips of 7560) and
    returns the finished process with its stderr."""
    started = time.monotonic()
    proc = subprocess.Popen([str(program)], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    wid, width = window("Kobaltron Configuration", env)
    if not wid:
        proc.kill()
        return None, "no window: " + proc.communicate()[1], 0
    x, y = (427 * width) // 7560, (3187 * width) // 7560
    subprocess.run(["xdotool", "mousemove", "--window", wid, str(x), str(y), "click", "1"], env=env)
    try:
        _, err = proc.communicate(timeout=60)
    except subprocess.TimeoutExpired:
        proc.kill()
        return None, "still running a minute after OK", 0
    return proc.returncode, err, time.monotonic() - started


def install(base, env, program):
    product = base / "product"
    (product / "resource").mkdir(parents=True)
    (product / "resource" / "kobalactor").write_text("")
    settings = product / "resource" / "config.kcfg"
    settings.write_bytes(OLD.encode())
    subprocess.run([str(program), f"!{product}"], env=env, capture_output=True, timeout=60)
    return product, settings


def read_only(program, display):
    with tempfile.TemporaryDirectory() as tmp:
        base = Path(tmp)
        env = private_env(base / "home", display)
        product, settings = install(base, env, program)
        settings.chmod(0o444)
        stored = base / "home" / "config"
        before = sorted((str(p), p.read_bytes()) for p in stored.rglob("*") if p.is_file())
        check(any(str(product).encode() in b for _, b in before), "read_only: no install path setting to keep")
        status, err, took = press_ok(program, env)
        check(status is not None and status > 0, f"read_only: status {status}, expected a failure\n{err}")
        check("Permission denied" in err and str(settings) in err,
              f"read_only: no \"Permission denied\" naming {settings}: {err!r}")
        # (OK would write the same install path again; the order of the two
        # writes is checked by the unit tests.)
        check(settings.read_bytes() == OLD.encode(), "read_only: the read-only file changed")
        check(sorted((str(p), p.read_bytes()) for p in stored.rglob("*") if p.is_file()) == before,
              "read_only: the settings of the home changed")
        check(took < 60, f"read_only: took {took:.0f} s")


def left_temp(program, display):
    with tempfile.TemporaryDirectory() as tmp:
        base = Path(tmp)
        env = private_env(base / "home", display)
        product, settings = install(base, env, program)
        left = product / "resource" / "config.kcfg.tmp999999999-0"
        left.write_text("priorityup =1")
        status, err, _ = press_ok(program, env)
        check(status == 0, f"left_temp: status {status}\n{err}")
        check(not left.exists(), "left_temp: the temporary file of a killed write is still there")
        text = settings.read_bytes().decode()
        check(text.startswith("priorityup =150\r\n") and text.endswith("[end]\r\n"),
              f"left_temp: config.kcfg not written whole: {text!r}")
        leftovers = [p.name for p in (product / "resource").iterdir() if ".tmp" in p.name]
        check(not leftovers, f"left_temp: temporary files left: {leftovers}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--stage", required=True)
    parser.add_argument("--install")
    parser.add_argument("--check")
    args = parser.parse_args()
    program = Path(args.stage) / "resource" / "kobalconfig"
    with Xvfb() as display:
        read_only(program, display)
        left_temp(program, display)
    for f in failures:
        print("FAIL:", f)
    print("settings_file:", "ok" if not failures else f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
