"""A private X server for the desktop tests and the measuring tools, on a display of its own."""
import os, subprocess


def start_xvfb(*options, screen="1024x768x24"):
    """(the Xvfb process, its display name, as ":N"), with Xvfb's options added and a screen of
    WIDTHxHEIGHTxDEPTH. Xvfb picks a free display and writes its number once it listens; OSError
    if it ends first."""
    ready, write = os.pipe()
    argv = ["Xvfb", "-displayfd", str(write), "-screen", "0", screen, "-nolisten", "tcp"]
    server = subprocess.Popen(argv + list(options), pass_fds=(write,), stderr=subprocess.DEVNULL)
    os.close(write)
    with os.fdopen(ready, "rb") as pipe:
        number = pipe.readline().strip()
    if not number:
        server.wait()
        raise OSError("Xvfb did not start")
    return server, ":" + number.decode()
