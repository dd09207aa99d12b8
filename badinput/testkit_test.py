#!/usr/bin/env python3
"""The shared helper of the scripts that run the real programs: a private
user that lends nothing of the caller's session, pictures the programs can
read, actors as the programs expect them, and waits that end what they
started."""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path
from unittest import mock

import testkit


class Pictures(unittest.TestCase):
    def test_bmp_rows_are_padded_and_keyed(self):
        with tempfile.TemporaryDirectory() as tmp:
            for size in (8, 5):  # 5 pixels of 3 bytes need a byte of padding a row
                path = Path(tmp) / f"dot{size}.bmp"
                testkit.write_bmp(path, size)
                data = path.read_bytes()
                magic, file_size, _, _, offset = struct.unpack_from("<2sIHHI", data)
                _, width, height, _, bits = struct.unpack_from("<IiiHH", data, 14)
                row = (size * 3 + 3) & ~3
                self.assertEqual((magic, file_size, offset), (b"BM", len(data), 54))
                self.assertEqual((width, height, bits), (size, size, 24))
                self.assertEqual(len(data), 54 + row * size)
                pixel = lambda x, y: data[54 + y * row + x * 3:54 + y * row + x * 3 + 3]
                self.assertEqual(pixel(0, 0), bytes((0, 255, 0)))  # the key colour, blue-green-red
                self.assertEqual(pixel(size // 2, size // 2), bytes((200, 80, 40)))
                if shutil.which("identify"):
                    said = subprocess.run(["identify", "-format", "%wx%h", str(path)], capture_output=True,
                                          text=True)
                    self.assertEqual(said.stdout, f"{size}x{size}", said.stderr)

    def test_actor_lists_count_their_entries(self):
        with tempfile.TemporaryDirectory() as tmp:
            d = testkit.write_actor(tmp, "bob", {"active.krnd": ["!04|1|walk.kani|", "!04|1|walk.kani|"]},
                                    files={"walk.kani": "replaced"}, ddename="bobby")
            self.assertEqual((d / "active.krnd").read_bytes(), b"2\r\n!04|1|walk.kani|\r\n!04|1|walk.kani|\r\n")
            self.assertEqual((d / "walk.kani").read_text(), "replaced")
            kact = (d / "actor.kact").read_bytes().split(b"\r\n")
            self.assertIn(b"actorname=bob", kact)
            self.assertIn(b"actorddename=bobby", kact)
            self.assertIn(b"actorpath=actors\\bob\\", kact)
            self.assertEqual(kact[-2:], [b"[end]", b""])
            self.assertTrue((d / "dot.bmp").is_file())


class User(unittest.TestCase):
    def setUp(self):
        self.user = testkit.PrivateHome(prefix="kobal-testkit-")
        self.addCleanup(self.user.remove)

    def test_nothing_of_the_callers_session_reaches_a_program(self):
        session = {name: "caller's" for name in testkit.SESSION}
        session.update(HOME="/root", XDG_DATA_DIRS="/usr/share", XDG_CONFIG_HOME="/root/.config")
        with mock.patch.dict(os.environ, session):
            env = self.user.env()
            for name in testkit.SESSION:
                self.assertNotEqual(env.get(name), "caller's", name)
            for name in ("HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_DATA_DIRS",
                         "XDG_CONFIG_DIRS", "XDG_RUNTIME_DIR", "TMPDIR"):
                self.assertTrue(Path(env[name]).is_dir(), name)
                self.assertTrue(Path(env[name]).is_relative_to(self.user.dir), name)
            self.assertEqual(os.stat(env["XDG_RUNTIME_DIR"]).st_mode & 0o777, 0o700)
            bus = env["DBUS_SESSION_BUS_ADDRESS"]
            self.assertTrue(bus.startswith("unix:path="))
            self.assertFalse(os.path.exists(bus[len("unix:path="):]))

            env = self.user.env(":7", dialogs=True, bus=False)
            self.assertEqual(env["DISPLAY"], ":7")
            self.assertNotIn("KOBALTRON_NO_DIALOGS", env)
            self.assertNotIn("DBUS_SESSION_BUS_ADDRESS", env)
            self.assertEqual(self.user.env()["KOBALTRON_NO_DIALOGS"], "1")

    def test_install_links_the_stage_but_keeps_its_own_settings(self):
        stage = Path(self.user.dir) / "stage"
        (stage / "resource").mkdir(parents=True)
        (stage / "resource" / "kobalactor").write_text("program")
        (stage / "resource" / "config.kcfg").write_text("the stage's")
        install = self.user.link_install(stage, b"mine\r\n[end]\r\n")
        self.assertEqual(os.readlink(install / "resource" / "kobalactor"), str(stage / "resource" / "kobalactor"))
        self.assertFalse((install / "resource" / "config.kcfg").is_symlink())
        self.assertEqual((install / "resource" / "config.kcfg").read_bytes(), b"mine\r\n[end]\r\n")
        self.assertEqual((stage / "resource" / "config.kcfg").read_text(), "the stage's")
        ini = Path(self.user.env()["XDG_CONFIG_HOME"]) / "kobaltron" / "Kobaltron.ini"
        self.assertEqual(ini.read_text(), f"[Path]\nApplication={install}\n")

    def test_leftovers_are_the_users_own_processes_and_end(self):
        mine = subprocess.Popen(["sleep", "600"], env=self.user.env())
        other = subprocess.Popen(["sleep", "600"])
        try:
            found = testkit.poll(lambda: [pid for pid, name in self.user.leftovers() if name == "sleep"], 20)
            self.assertEqual(found, [mine.pid])
            self.user.end_leftovers()
            self.assertFalse(testkit.alive(mine.pid))
            self.assertEqual(mine.wait(10), -9)
            self.assertIsNone(other.poll())
        finally:
            for p in (mine, other):
                p.kill()
                p.wait()


class Waits(unittest.TestCase):
    def test_poll_gives_the_first_true_value_or_the_last(self):
        values = iter([0, [], "x", "y"])
        self.assertEqual(testkit.poll(lambda: next(values), 20, step=0), "x")
        self.assertEqual(testkit.poll(lambda: [], 0.2, step=0.05), [])

    def test_a_process_past_its_limit_is_killed(self):
        self.assertEqual(testkit.wait_or_kill(subprocess.Popen(["true"]), 20), (0, True))
        p = subprocess.Popen(["sleep", "600"])
        self.assertEqual(testkit.wait_or_kill(p, 0.2), (-9, False))

    def test_checks_count_failures_and_tell_the_process_outcome(self):
        check = testkit.Checks()
        with mock.patch("sys.stdout"):
            self.assertTrue(check(True, "fine"))
            self.assertEqual(check.status(), 0)
            check(False, "ran", subprocess.CompletedProcess(["x"], 3, "out", "err"))
            self.assertEqual(check.status(), 1)
        self.assertEqual(len(check.failures), 1)
        self.assertIn("status 3", check.failures[0])
        self.assertIn("'err'", check.failures[0])


@unittest.skipUnless(shutil.which("Xvfb") and shutil.which("xdpyinfo"), "needs Xvfb and xdpyinfo")
class Server(unittest.TestCase):
    def test_serves_its_own_display_and_ends(self):
        x = testkit.Xvfb()
        with x as display:
            self.assertRegex(display, r"^:\d+$")
            r = subprocess.run(["xdpyinfo", "-display", display], capture_output=True, text=True, timeout=30)
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertIn("1280x1024 pixels", r.stdout)
        self.assertIsNotNone(x.process.poll())


if __name__ == "__main__":
    sys.exit(unittest.main())
