#!/usr/bin/env python3
"""The help page as an author uses it.

--keys: the key reference names every key the programs read, and gives the
settings the defaults a new install writes.
--walk: "Your first actor" followed step by step, as a new author would:
commands run in a shell from the page's own <pre class="walk" data-run>
blocks, files written as its data-file blocks show them, the painting step
done by painting, outputs compared with its data-output blocks; the actor
started by a data-starts step must appear on a private X server and move.
"""
import html.parser
import os
import re
import signal
import struct
import subprocess
import sys
from pathlib import Path

from testkit import Checks, PrivateHome, Xvfb, alive, poll, program_arguments, wait_for_window, xdotool

SOURCE = Path(__file__).resolve().parent.parent
PAGE = SOURCE / "resource" / "help" / "index.html"
SHOWN_HOME = "/home/you"


class WalkSteps(html.parser.HTMLParser):
    """Elements of class "walk" in page order: (attributes, text)."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.steps, self.open_tag, self.text = [], None, []

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if "walk" in (attrs.get("class") or "").split():
            self.open_tag, self.text = tag, []
            self.steps.append([attrs, ""])

    def handle_data(self, data):
        if self.open_tag:
            self.text.append(data)

    def handle_endtag(self, tag):
        if tag == self.open_tag:
            self.steps[-1][1] = "".join(self.text)
            self.open_tag = None


def key_reference(check):
    page = PAGE.read_text()
    start, end = page.index('id="keys"'), page.index("Random-choice lists (.krnd)")
    reference = page[start:end]
    keys = re.findall(r'\{"(\w+)", &SettingStore::', (SOURCE / "common" / "settings.cpp").read_text())
    check(len(keys) >= 33, "the settings tables were read", f"{len(keys)} keys")
    rows = dict(re.findall(r"<tr><td><code>(\w+)</code></td><td>([^<]*)</td>", reference))
    for key in keys:
        check(f"<code>{key}</code>" in reference, f"the key reference names {key}")
    defaults = re.findall(r'v\.(\w+) = "?(-?\d+)"?;', (SOURCE / "config" / "settings_file.cpp").read_text())
    check(len(defaults) >= 11, "the default settings were read", defaults)
    for key, value in defaults:
        check(rows.get(key) == value, f"the key reference gives {key} the default {value}", rows.get(key))


def paint_hat(path, check):
    """What the author does in a painting program: a hard-edged hat on top."""
    data = bytearray(path.read_bytes())
    (offset,) = struct.unpack_from("<I", data, 10)
    width, height = struct.unpack_from("<ii", data, 18)
    (bits,) = struct.unpack_from("<H", data, 28)
    if not check(bits == 24 and height > 12, f"{path.name} is a 24-bit picture to paint on", (bits, height)):
        return
    row = (width * 3 + 3) & ~3
    for y in range(1, 10):  # from the top; rows are stored bottom-up
        for x in range(width // 2 - (6 if y < 7 else 12), width // 2 + (6 if y < 7 else 12)):
            at = offset + (height - 1 - y) * row + x * 3
            data[at:at + 3] = bytes((40, 40, 200))  # blue, green, red
    path.write_bytes(bytes(data))


def window_place(display, window):
    shell = xdotool(display, "getwindowgeometry", "--shell", window)
    values = dict(line.split("=", 1) for line in shell.split() if "=" in line)
    return values.get("X"), values.get("Y")


def end_actors(home):
    actors = [pid for pid, name in home.leftovers() if name == "kobalactor"]
    for pid in actors:
        os.kill(pid, signal.SIGTERM)
    return poll(lambda: not any(alive(p) for p in actors), 20)


def walk(args, programs, check):
    home = PrivateHome(prefix="kobal-walk-")
    try:
        install = home.link_install(args.stage, settings=(args.stage / "resource" / "config.kcfg").read_bytes())
        bin_dir = home.dir / "bin"
        bin_dir.mkdir()
        for name in ("kobalcheck", "kobaltron"):
            (bin_dir / name).symlink_to(programs[name] if name == "kobalcheck" else install / "resource" / name)
        with Xvfb() as display:
            env = home.env(display)
            env["PATH"] = f"{bin_dir}:{os.environ.get('PATH', '/usr/bin:/bin')}"
            steps = WalkSteps()
            steps.feed(PAGE.read_text())
            check(len(steps.steps) >= 10, "the page holds the walk-through's steps", len(steps.steps))
            cwd, output, runs, starts = home.home, "", 0, 0
            for number, (attrs, text) in enumerate(steps.steps, 1):
                where = f"step {number}"
                print(where, *(k for k in attrs if k.startswith("data-")), text.splitlines()[0] if text else "",
                      flush=True)
                if "data-run" in attrs:
                    runs += 1
                    marker, log = home.dir / "cwd", home.dir / f"run{number}.log"
                    script = f"set -e\n{text}\npwd > '{marker}'\n"
                    # Output goes to a file: a started actor keeps what it inherits open.
                    with open(log, "w") as out:
                        status = subprocess.run(["bash", "-c", script], cwd=cwd, env=env, stdout=out,
                                                stderr=subprocess.STDOUT, timeout=120).returncode
                    output = log.read_text()
                    check(status == 0, f"{where}: {text!r} ends with status 0", f"status {status}\n{output}")
                    cwd = Path(marker.read_text().strip()) if marker.exists() else cwd
                    if attrs.get("data-starts"):
                        starts += 1
                        title = attrs["data-starts"]
                        window = wait_for_window(display, title=title, limit=90)
                        if check(window, f"{where}: a window {title!r} appears"):
                            first = window_place(display, window)
                            moved = poll(lambda: window_place(display, window) != first, 90, step=0.25)
                            check(moved, f"{where}: {title!r} moves on the screen", first)
                            print(f"  {title} at {first}, then at {window_place(display, window)}", flush=True)
                        check(end_actors(home), f"{where}: the actor ends when asked")
                elif "data-output" in attrs:
                    lines = [line.rstrip() for line in output.splitlines()]
                    for shown in text.replace(SHOWN_HOME, str(home.home)).splitlines():
                        check(shown.rstrip() in lines, f"{where}: the output holds {shown!r}", output)
                elif "data-file" in attrs:
                    (cwd / attrs["data-file"]).write_text(text if text.endswith("\n") else text + "\n")
                elif "data-paint" in attrs:
                    paint_hat(cwd / attrs["data-paint"], check)
                else:
                    check(False, f"{where}: a walk step says what it is", attrs)
            check(runs >= 5 and starts >= 1, "the walk-through runs commands and starts the actor", (runs, starts))
            # Where the walk-through ends: an actor that passes, with the author's changes.
            final = subprocess.run([str(bin_dir / "kobalcheck"), "pip.kact"], cwd=cwd, env=env, capture_output=True,
                                   text=True, timeout=120)
            check(final.returncode == 0 and final.stderr == "kobalcheck: 0 errors, 0 warnings\n",
                  "the finished actor passes kobalcheck", final)
            check("land.bmp|thump.wav" in (cwd / "land.kani").read_text(), "the changed animation is in place")
    finally:
        home.remove()


def main():
    args, programs = program_arguments(__doc__, lambda p: p.add_argument("part", choices=["keys", "walk"]))
    check = Checks()
    if args.part == "keys":
        key_reference(check)
    else:
        walk(args, programs, check)
    return check.status()


if __name__ == "__main__":
    sys.exit(main())
