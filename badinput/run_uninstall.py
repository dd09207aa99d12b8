#!/usr/bin/env python3
"""A real install from the staged medium in a private home on a private X
server, then `kobalconfig --uninstall` from the installed product: what the
installer put in place and registered goes, the user's own files (in the
install directory and beside the registrations) stay. Then, as on a packaged
install (no installer, no manifest), a user's registrations, menu entries,
login entry and settings made by the programs themselves: `--uninstall`
removes them all, lists them, and keeps the user's own actors.
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


def without_manifest(medium, tmp, display):
    """The medium's own programs stand for a packaged install: their install
    directory holds no manifest."""
    home = tmp / "packaged"
    (home / "run").mkdir(parents=True, mode=0o700)
    env = {k: v for k, v in os.environ.items() if k not in ("WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    env.update(HOME=str(home), XDG_CONFIG_HOME=str(home / "config"), XDG_DATA_HOME=str(home / "data"),
               XDG_DATA_DIRS=str(home / "sysdata"), XDG_RUNTIME_DIR=str(home / "run"),
               KOBALTRON_NO_DIALOGS="1", DISPLAY=display)
    apps = home / "data/applications"
    apps.mkdir(parents=True)
    (apps / "mine.desktop").write_text("[Desktop Entry]\nType=Application\nName=Mine\nExec=true\n")
    (home / "config").mkdir()
    (home / "config/mimeapps.list").write_text("[Default Applications]\ntext/plain=mine.desktop;\n")
    own = {home / "data/kobaltron/actors/zed/zed.kact": b"actorname=Zed\r\n[end]\r\n",
           home / "zed/zed.kact": b"actorname=Zed\r\n[end]\r\n"}
    for f, text in own.items():
        f.parent.mkdir(parents=True, exist_ok=True)
        f.write_bytes(text)
    before = files_below(home)

    config = str(medium / "resource/kobalconfig")
    for args in (["INSTALL"], [str(home / "zed/zed.kact")], [str(medium / "actors/samples.kpls")]):
        r = subprocess.run([config, *args], env=env, cwd=home, capture_output=True, text=True, timeout=120)
        check(r.returncode == 0, f"kobalconfig {args}: status {r.returncode}, {r.stderr!r}")
    # What the configuration window writes: the user's settings and the login choice.
    (home / "config/kobaltron").mkdir(exist_ok=True)
    (home / "config/kobaltron/config.kcfg").write_text("showsplash=0\r\n[end]\r\n")
    (home / "config/autostart").mkdir(parents=True)
    entry = home / "config/autostart/kobaltron-actors.desktop"
    entry.write_text("[Desktop Entry]\nType=Application\nName=Kobaltron actors\n"
                     f"Exec={medium}/resource/kobaltron {medium}/actors/samples.kpls\n"
                     f"X-Kobaltron-File={medium}/actors/samples.kpls\n")
    check((apps / "Kobaltron/Actors/Zed.desktop").exists(), "kobalconfig FILE made no menu entry")

    r = subprocess.run([config, "--uninstall"], env=env, cwd=home, capture_output=True, text=True, timeout=120)
    check(r.returncode == 0 and "!: Kobaltron's entries and settings of this user have been removed" in r.stderr,
          f"kobalconfig --uninstall without a manifest: status {r.returncode}, {r.stderr!r}")
    # The box's lines reach stderr joined by blanks.
    for listed in (str(entry), str(apps / "Kobaltron/Actors/Zed.desktop"), str(home / "config/kobaltron/config.kcfg")):
        check(" " + listed + " " in r.stderr.replace("\n", " "), f"--uninstall does not list {listed}: {r.stderr!r}")

    # D-Bus's autolaunch (Qt asks for a session bus) keeps its address under ~/.dbus.
    after = {f for f in files_below(home) if not f.startswith(".dbus/")}
    caches = {f for f in after - before
              if f.startswith("data/mime/") and "/packages/" not in f or f == "data/applications/mimeinfo.cache"}
    check(after - caches == before, f"left or lost: {sorted((after - caches) ^ before)}")
    for f in caches:
        text = (home / f).read_bytes()
        check(b"kactor" not in text and b"kplaylist" not in text and b"obaltron" not in text,
              f"{f} still names the product")
    check((home / "config/mimeapps.list").read_text() == "[Default Applications]\ntext/plain=mine.desktop;\n",
          "mimeapps.list: " + (home / "config/mimeapps.list").read_text())
    check(not (home / "config/kobaltron").exists(), "the settings folder is left")
    for f, text in own.items():
        check(f.exists() and f.read_bytes() == text, f"the user's own {f} went")
    check((medium / "resource/kobalconfig").exists(), "the programs of a packaged install stay")


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
        # The command list's actor and playlist entries open them with the launcher.
        launcher = f"Exec={installdir}/resource/kobaltron "
        entries = list((apps / "Kobaltron/Actors").glob("*.desktop"))
        check(len(entries) >= 3, f"actor and playlist entries: {entries}")
        for e in entries:
            check(launcher in e.read_text(), f"{e.name} does not open its file with the launcher: {e.read_text()!r}")
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
        without_manifest(medium, home, display)
    for f in failures:
        print("FAIL:", f)
    print(f"{len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
