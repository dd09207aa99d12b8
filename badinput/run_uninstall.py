#!/usr/bin/env python3
"""A real install from the staged medium in a private home on a private X
server, then `kobalconfig --uninstall` from the installed product: what the
installer put in place and registered goes, the user's own files (in the
install directory and beside the registrations) stay.
Usage: run_uninstall.py --medium DIR
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from private_x import Xvfb

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def files_below(root):
    return {str(p.relative_to(root)) for p in root.rglob("*") if p.is_file()}


def xdotool(env, *args):
    return subprocess.run(["xdotool", *args], env=env, capture_output=True, text=True, timeout=30).stdout


def install(medium, env):
    program = subprocess.Popen([str(medium / "install")], cwd=medium, env=env,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    deadline = time.monotonic() + 60
    window = ""
    while not window and time.monotonic() < deadline:
        window = xdotool(env, "search", "--onlyvisible", "--name", "^Kobaltron Install$").split("\n")[0]
        time.sleep(0.1)
    if not window:
        program.kill()
        raise RuntimeError("the Install window did not appear")
    # Return presses "Install".
    xdotool(env, "windowfocus", "--sync", window, "key", "Return")
    out, err = program.communicate(timeout=120)
    return program.returncode, err


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--medium", required=True)
    medium = Path(p.parse_args().medium)
    with tempfile.TemporaryDirectory() as tmp, Xvfb() as display:
        home = Path(tmp)
        (home / "run").mkdir(mode=0o700)
        env = {k: v for k, v in os.environ.items() if k not in ("WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
        # What is installed system-wide (file types, menus, a session bus) must not count.
        (home / "system/data").mkdir(parents=True)
        (home / "system/config").mkdir(parents=True)
        env.update(HOME=str(home), XDG_CONFIG_HOME=str(home / "config"), XDG_DATA_HOME=str(home / "data"),
                   XDG_DATA_DIRS=str(home / "system/data"), XDG_CONFIG_DIRS=str(home / "system/config"),
                   DBUS_SESSION_BUS_ADDRESS=f"unix:path={home}/run/no-bus",
                   XDG_RUNTIME_DIR=str(home / "run"), KOBALTRON_NO_DIALOGS="1", DISPLAY=display)
        # What the user had before: an entry and an association of their own.
        apps = home / "data/applications"
        apps.mkdir(parents=True)
        (apps / "mine.desktop").write_text("[Desktop Entry]\nType=Application\nName=Mine\nExec=true\n")
        (home / "config").mkdir()
        (home / "config/mimeapps.list").write_text("[Default Applications]\ntext/plain=mine.desktop;\n")
        before = files_below(home)

        status, err = install(medium, env)
        check(status == 0, f"install ended with {status}: {err}")
        installdir = home / "data/kobaltron"
        manifest = installdir / "kobaltron-install.manifest"
        check(manifest.exists(), "the installer keeps a manifest in the install directory")
        check((apps / "Kobaltron/Congigure Kobaltron.url").exists(), "the installer made its menu entries")
        check("kobaltron-" in (home / "config/mimeapps.list").read_text(), "the installer made its associations")
        installed = files_below(installdir)
        # The user's own files in the install directory, and a login choice.
        (installdir / "my notes.txt").write_text("mine\n")
        (installdir / "actors/kobi/my own.kact").write_text("mine\n")
        (home / "config/autostart").mkdir(parents=True)
        entry = home / "config/autostart/kobaltron-actors.desktop"
        entry.write_text("[Desktop Entry]\nType=Application\nName=Kobaltron actors\n"
                         f"Exec={installdir}/resource/kobaltron {installdir}/actors/samples.kpls\n"
                         f"X-Kobaltron-File={installdir}/actors/samples.kpls\n")

        r = subprocess.run([str(installdir / "resource/kobalconfig"), "--uninstall"], env=env, cwd=home,
                           capture_output=True, text=True, timeout=120)
        check(r.returncode == 0 and "!: Kobaltron has been removed" in r.stderr,
              f"kobalconfig --uninstall: status {r.returncode}, {r.stderr!r}")

        left = files_below(installdir) if installdir.exists() else set()
        check(left == {"my notes.txt", "actors/kobi/my own.kact"}, f"left in the install directory: {sorted(left)}")
        check(not (installdir / "resource").exists(), "the resource directory is gone")
        check(len(installed) > 50, f"the install put {len(installed)} files in place")
        check(not entry.exists(), "the autostart entry is gone")
        # D-Bus's autolaunch (Qt asks for a session bus) keeps its address under ~/.dbus.
        outside = {f for f in files_below(home) if not f.startswith(("data/kobaltron/", ".dbus/"))}
        # The desktop's caches, rebuilt by its own tools, may stay behind.
        caches = {f for f in outside - before
                  if f.startswith("data/mime/") and "/packages/" not in f or f == "data/applications/mimeinfo.cache"}
        check(outside - caches == before, f"outside the install directory: {sorted(outside - caches ^ before)}")
        check((home / "config/mimeapps.list").read_text() == "[Default Applications]\ntext/plain=mine.desktop;\n",
              "mimeapps.list: " + (home / "config/mimeapps.list").read_text())
        ini = home / "config/kobaltron/Kobaltron.ini"
        check(not ini.exists() or "Application" not in ini.read_text(), "the install path setting is gone")
        r = subprocess.run(["xdg-mime", "query", "default", "application/x-kactor"], env=env,
                           capture_output=True, text=True, timeout=60)
        check(r.stdout.strip() == "", f"xdg-mime still names {r.stdout.strip()!r} for actor files")
    for f in failures:
        print("FAIL:", f)
    print(f"{len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
