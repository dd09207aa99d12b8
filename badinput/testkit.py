"""What the scripts that run the real programs share: a user of the script's
own (home, XDG directories, runtime directory, no session bus), an install
directory that links the staged programs, an X server of the script's own,
windows found with xdotool, small pictures and actors, waits that poll, and
the tally of failed checks."""
import argparse
import os
import shutil
import signal
import struct
import subprocess
import tempfile
import time
from pathlib import Path

# The settings a run starts from: silent, no splash, nothing sped up.
SETTINGS = ["priorityup=100", "speedup=100", "audioon=0", "showsplash=0", "boredtime=180", "sleeptime=360",
            "hibernatetime=28800", "initialpriority=0", "transparencyoff=0", "overrideactor=0", "[end]"]
# Two frames of dot.bmp, keyed on its green.
ANIMATION = ["framecount=2", "framepause=2", "timerspeed=40", "movespeed=30", "actorwidth=8", "actorheight=8",
             "transparentred=0", "transparentgreen=255", "transparentblue=0", "[end]", "dot.bmp", "dot.bmp"]
# What the caller's session would lend a program: its display, compositor,
# session manager, bus, desktop and our own switches.
SESSION = ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "SESSION_MANAGER", "DBUS_SESSION_BUS_ADDRESS",
           "XDG_CURRENT_DESKTOP", "KOBALTRON_NO_DIALOGS")
MARKER = "KOBAL_TEST_HOME"


def crlf(lines):
    return "".join(line + "\r\n" for line in lines)


def write_bmp(path, size=8):
    """A small keyed picture: a square on the green key colour."""
    row = (size * 3 + 3) & ~3
    data = bytearray()
    for y in range(size):
        line = bytearray()
        for x in range(size):
            inside = 2 <= x < size - 2 and 2 <= y < size - 2
            line += bytes((200, 80, 40)) if inside else bytes((0, 255, 0))
        data += line + b"\0" * (row - size * 3)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, size, size, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    Path(path).write_bytes(header + info + data)


def write_actor(install, name, lists, files=None, actorname=None, ddename=None):
    """actors/NAME below install: actor.kact, dot.bmp, walk.kani (ANIMATION),
    the lists (file name -> entries; the count line is added) and files
    (file name -> text, written last). Every list of the actor is active.krnd."""
    d = Path(install) / "actors" / name
    d.mkdir(parents=True)
    write_bmp(d / "dot.bmp")
    (d / "walk.kani").write_text(crlf(ANIMATION))
    for list_name, entries in lists.items():
        (d / list_name).write_text(crlf([str(len(entries))] + entries))
    for file_name, text in (files or {}).items():
        (d / file_name).write_text(text)
    (d / "actor.kact").write_text(crlf([
        "version=Kobaltron V1.0", f"actorname={actorname or name}", f"actorddename={ddename or name}",
        f"actorpath=actors\\{name}\\", "iconfile=dot.bmp", "activefile=active.krnd", "responsefile=active.krnd",
        "boredfile=active.krnd", "sleepfile=active.krnd", "[end]"]))
    return d


class PrivateHome:
    """A user of the script's own below one directory: HOME, the XDG base
    directories (the system ones empty, so nothing installed on the machine
    counts), a runtime directory and TMPDIR. Every process it starts carries
    a marker in its environment, so that those it leaves behind are found."""

    def __init__(self, root=None, prefix="kobal-test-"):
        self.dir = Path(root) if root else Path(tempfile.mkdtemp(prefix=prefix))
        self.home, self.config, self.data = self.dir / "home", self.dir / "config", self.dir / "data"
        self.cache, self.tmp, self.system = self.dir / "cache", self.dir / "tmp", self.dir / "system"
        self.runtime = self.dir / "run"
        for d in (self.home, self.config, self.data, self.cache, self.tmp, self.system / "data",
                  self.system / "config"):
            d.mkdir(parents=True, exist_ok=True)
        self.runtime.mkdir(mode=0o700, exist_ok=True)

    def env(self, display=None, dialogs=False, bus=True):
        """The environment of a program run as this user on display (none:
        no DISPLAY, and no platform chosen). dialogs=True lets message boxes
        show; bus=False gives no D-Bus address at all (the programs then
        point it nowhere themselves)."""
        env = {k: v for k, v in os.environ.items() if k not in SESSION}
        env.update(HOME=str(self.home), XDG_CONFIG_HOME=str(self.config), XDG_DATA_HOME=str(self.data),
                   XDG_CACHE_HOME=str(self.cache), XDG_DATA_DIRS=str(self.system / "data"),
                   XDG_CONFIG_DIRS=str(self.system / "config"), XDG_RUNTIME_DIR=str(self.runtime),
                   TMPDIR=str(self.tmp), **{MARKER: str(self.dir)})
        if bus:
            # A bus that is not there: without an address D-Bus would
            # autolaunch a session bus into the private home.
            env["DBUS_SESSION_BUS_ADDRESS"] = f"unix:path={self.runtime}/no-bus"
        if not dialogs:
            env["KOBALTRON_NO_DIALOGS"] = "1"
        if display:
            env["DISPLAY"] = display
        return env

    def set_install_path(self, path):
        ini = self.config / "kobaltron" / "Kobaltron.ini"
        ini.parent.mkdir(parents=True, exist_ok=True)
        ini.write_text(f"[Path]\nApplication={path}\n")

    def link_install(self, stage, settings=None):
        """DIR/install: links to the staged programs, its own config.kcfg
        (settings: its bytes or text; else SETTINGS), and this user's install
        path setting naming it."""
        install = self.dir / "install"
        resource = install / "resource"
        resource.mkdir(parents=True)
        for item in (Path(stage).resolve() / "resource").iterdir():
            if item.name != "config.kcfg":
                (resource / item.name).symlink_to(item)
        settings = crlf(SETTINGS) if settings is None else settings
        (resource / "config.kcfg").write_bytes(settings if isinstance(settings, bytes) else settings.encode())
        self.set_install_path(install)
        return install

    def link_socket(self):
        """Where the actors' link listens."""
        return str(self.runtime / "kobaltron" / "KOBALACTOR-Actor-DDEline")

    def leftovers(self):
        """(pid, name) of every live process started as this user."""
        found = []
        needle = f"{MARKER}={self.dir}".encode()
        for entry in os.listdir("/proc"):
            if entry.isdigit() and int(entry) != os.getpid():
                try:
                    with open(f"/proc/{entry}/environ", "rb") as f:
                        if needle in f.read().split(b"\0") and alive(int(entry)):
                            with open(f"/proc/{entry}/comm") as c:
                                found.append((int(entry), c.read().strip()))
                except OSError:
                    pass
        return found

    def end_leftovers(self):
        pids = [pid for pid, _ in self.leftovers()]
        for pid in pids:
            try:
                os.kill(pid, signal.SIGKILL)
            except OSError:
                pass
        poll(lambda: not any(alive(p) for p in pids), 5, step=0.05)

    def remove(self):
        self.end_leftovers()
        shutil.rmtree(self.dir, ignore_errors=True)


class Xvfb:
    """An X server of the script's own, on a free display named by the server
    itself (-displayfd), so that nothing it starts touches the display other
    tests share. reset=True leaves out -noreset: the server then resets
    whenever its last client leaves, as xvfb-run's does by default."""

    def __init__(self, reset=False):
        self.reset = reset

    def __enter__(self):
        read, write = os.pipe()
        self.process = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x1024x24"] +
                                        ([] if self.reset else ["-noreset"]),
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, pass_fds=(write,))
        os.close(write)
        with os.fdopen(read) as f:
            number = f.readline().strip()
        if not number:
            self.process.kill()
            self.process.wait()
            raise RuntimeError("Xvfb did not start")
        return f":{number}"

    def __exit__(self, *exc):
        self.process.terminate()
        self.process.wait(10)


def alive(pid):
    """Running, and not a zombie waiting to be reaped."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] not in ("Z", "X")
    except OSError:
        return False


def poll(condition, limit, step=0.1):
    """condition's first true value within limit seconds, else its last."""
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(step)
    return condition()


def wait_or_kill(proc, limit):
    """(status, True) once proc ends within limit seconds; else it is killed:
    (its status, False)."""
    try:
        return proc.wait(limit), True
    except subprocess.TimeoutExpired:
        proc.kill()
        return proc.wait(10), False


def xdotool(display, *args):
    return subprocess.run(["xdotool", *map(str, args)], env=dict(os.environ, DISPLAY=display), capture_output=True,
                          text=True, timeout=30).stdout


def windows(display, title=None, pid=None):
    """The visible windows with exactly this title, of this process, or both."""
    args = ["search", "--onlyvisible"] + (["--all"] if title and pid else [])
    args += (["--pid", pid] if pid else []) + (["--name", f"^{title}$"] if title else [])
    return xdotool(display, *args).split()


def wait_for_window(display, title=None, pid=None, limit=60, proc=None):
    """The first such window within limit seconds (and while proc runs), or None."""
    found = poll(lambda: windows(display, title, pid) or (proc is not None and proc.poll() is not None), limit)
    return found[0] if isinstance(found, list) and found else None


def window_size(display, window):
    geometry = dict(line.split("=", 1) for line in xdotool(display, "getwindowgeometry", "--shell", window).split())
    return int(geometry["WIDTH"]), int(geometry["HEIGHT"])


def press_return(display, window):
    """Return in the window, as a user at the keyboard presses its default button."""
    xdotool(display, "windowfocus", "--sync", window, "key", "Return")


class Checks:
    """The failed checks of a script: each is printed when it fails, and the
    tally ends the script."""

    def __init__(self):
        self.failures = []

    def __call__(self, ok, what, detail=""):
        if ok:
            return True
        if isinstance(detail, subprocess.CompletedProcess):
            detail = f"status {detail.returncode}\n  stdout {detail.stdout!r}\n  stderr {detail.stderr!r}"
        self.failures.append(what + (f"\n    {detail}" if detail else ""))
        print("FAIL:", self.failures[-1], flush=True)
        return False

    def status(self):
        print(f"{len(self.failures)} failure(s)")
        return 1 if self.failures else 0


def program_arguments(description, more=None):
    """--stage, --install and --check as CMake passes them, and more's own:
    (the parsed arguments, program name -> path)."""
    p = argparse.ArgumentParser(description=description)
    p.add_argument("--stage", required=True, type=Path)
    p.add_argument("--install", help="the install program")
    p.add_argument("--check", help="kobalcheck")
    if more:
        more(p)
    args = p.parse_args()
    resource = args.stage.resolve() / "resource"
    programs = {name: resource / name for name in ("kobalactor", "kobaltron", "kobalconfig")}
    for name, path in (("install", args.install), ("kobalcheck", args.check)):
        if path:
            programs[name] = Path(path).resolve()
    return args, programs
