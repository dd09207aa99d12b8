"""An X server of the script's own, so that nothing it starts touches the
display other tests share."""
import os
import subprocess


class Xvfb:
    """Xvfb on a free display, named by the server itself (-displayfd).
    reset=True leaves out -noreset: the server then resets whenever its last
    client leaves, as xvfb-run's does by default."""

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
            raise RuntimeError("Xvfb did not start")
        return f":{number}"

    def __exit__(self, *exc):
        self.process.terminate()
        self.process.wait(10)
