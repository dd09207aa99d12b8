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
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from testkit import Checks, PrivateHome, Xvfb, program_arguments, wait_for_window, window_size, xdotool

check = Checks()
OLD = "priorityup =150\r\n[end]\r\n"


def press_ok(program, env):
    """Opens the window, clicks OK (0, 3240, 855 x 375 twips of 7560) and
    returns the finished process with its stderr."""
    started = time.monotonic()
    proc = subprocess.Popen([str(program)], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    display = env["DISPLAY"]
    wid = wait_for_window(display, "Kobaltron Configuration", limit=60)
    if not wid:
        proc.kill()
        return None, "no window: " + proc.communicate()[1], 0
    width, _ = window_size(display, wid)
    x, y = (427 * width) // 7560, (3427 * width) // 7560
    xdotool(display, "mousemove", "--window", wid, x, y, "click", "1")
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
        env = PrivateHome(base / "home").env(display)
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
        env = PrivateHome(base / "home").env(display)
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
    _, programs = program_arguments(__doc__.split("\n\n")[0])
    with Xvfb() as display:
        read_only(programs["kobalconfig"], display)
        left_temp(programs["kobalconfig"], display)
    return check.status()


if __name__ == "__main__":
    sys.exit(main())
