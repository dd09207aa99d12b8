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
import subprocess
import sys
import tempfile
from pathlib import Path

from testkit import Checks, PrivateHome, Xvfb, press_return, wait_for_window

check = Checks()


def files_below(root):
    return {str(p.relative_to(root)) for p in root.rglob("*") if p.is_file()}


def desktop_caches(files):
    """The desktop's caches among files: rebuilt by its own tools, they may stay behind."""
    return {f for f in files
            if f.startswith("data/mime/") and "/packages/" not in f or f == "data/applications/mimeinfo.cache"}


OWN_DEFAULTS = "[Default Applications]\ntext/plain=mine.desktop;\n"


def users_own_entries(home):
    """What the user had before: a menu entry and a file association of their own."""
    apps = home / "data/applications"
    apps.mkdir(parents=True)
    (apps / "mine.desktop").write_text("[Desktop Entry]\nType=Application\nName=Mine\nExec=true\n")
    (home / "config/mimeapps.list").write_text(OWN_DEFAULTS)
    return apps


def login_entry(home, install):
    """The login choice as the configuration window writes it: the samples of install."""
    entry = home / "config/autostart/kobaltron-actors.desktop"
    entry.parent.mkdir(parents=True)
    entry.write_text("[Desktop Entry]\nType=Application\nName=Kobaltron actors\n"
                     f"Exec={install}/resource/kobaltron {install}/actors/samples.kpls\n"
                     f"X-Kobaltron-File={install}/actors/samples.kpls\n")
    return entry


def install(medium, env):
    program = subprocess.Popen([str(medium / "install")], cwd=medium, env=env,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    window = wait_for_window(env["DISPLAY"], "Kobaltron Install", limit=60, proc=program)
    if not window:
        program.kill()
        raise RuntimeError("the Install window did not appear")
    # Return presses "Install".
    press_return(env["DISPLAY"], window)
    out, err = program.communicate(timeout=120)
    return program.returncode, err


def without_manifest(medium, tmp, display):
    """The medium's own programs stand for a packaged install: their install
    directory holds no manifest."""
    home = tmp / "packaged"
    env = PrivateHome(home).env(display)
    apps = users_own_entries(home)
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
    entry = login_entry(home, medium)
    check((apps / "Kobaltron/Actors/Zed.desktop").exists(), "kobalconfig FILE made no menu entry")

    r = subprocess.run([config, "--uninstall"], env=env, cwd=home, capture_output=True, text=True, timeout=120)
    check(r.returncode == 0 and "!: Kobaltron's entries and settings of this user have been removed" in r.stderr,
          f"kobalconfig --uninstall without a manifest: status {r.returncode}, {r.stderr!r}")
    # The box's lines reach stderr joined by blanks.
    for listed in (str(entry), str(apps / "Kobaltron/Actors/Zed.desktop"), str(home / "config/kobaltron/config.kcfg")):
        check(" " + listed + " " in r.stderr.replace("\n", " "), f"--uninstall does not list {listed}: {r.stderr!r}")

    after = files_below(home)
    caches = desktop_caches(after - before)
    check(after - caches == before, f"left or lost: {sorted((after - caches) ^ before)}")
    for f in caches:
        text = (home / f).read_bytes()
        check(b"kactor" not in text and b"kplaylist" not in text and b"obaltron" not in text,
              f"{f} still names the product")
    check((home / "config/mimeapps.list").read_text() == OWN_DEFAULTS,
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
        env = PrivateHome(home).env(display)
        apps = users_own_entries(home)
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
        entry = login_entry(home, installdir)

        r = subprocess.run([str(installdir / "resource/kobalconfig"), "--uninstall"], env=env, cwd=home,
                           capture_output=True, text=True, timeout=120)
        check(r.returncode == 0 and "!: Kobaltron has been removed" in r.stderr,
              f"kobalconfig --uninstall: status {r.returncode}, {r.stderr!r}")

        left = files_below(installdir) if installdir.exists() else set()
        check(left == {"my notes.txt", "actors/kobi/my own.kact"}, f"left in the install directory: {sorted(left)}")
        check(not (installdir / "resource").exists(), "the resource directory is gone")
        check(len(installed) > 50, f"the install put {len(installed)} files in place")
        check(not entry.exists(), "the autostart entry is gone")
        outside = {f for f in files_below(home) if not f.startswith("data/kobaltron/")}
        caches = desktop_caches(outside - before)
        check(outside - caches == before, f"outside the install directory: {sorted(outside - caches ^ before)}")
        check((home / "config/mimeapps.list").read_text() == OWN_DEFAULTS,
              "mimeapps.list: " + (home / "config/mimeapps.list").read_text())
        ini = home / "config/kobaltron/Kobaltron.ini"
        check(not ini.exists() or "Application" not in ini.read_text(), "the install path setting is gone")
        r = subprocess.run(["xdg-mime", "query", "default", "application/x-kactor"], env=env,
                           capture_output=True, text=True, timeout=60)
        check(r.stdout.strip() == "", f"xdg-mime still names {r.stdout.strip()!r} for actor files")
        without_manifest(medium, home, display)
    return check.status()


if __name__ == "__main__":
    sys.exit(main())
