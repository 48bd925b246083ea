# What the tables of cases (conftest.py) and the desktop test share: the real program started as
# a user's shell would start it, waits for conditions, and pictures compared within a tolerance.
import os
import subprocess
import time
from pathlib import Path

from PIL import Image, ImageChops

SOURCE = Path(__file__).resolve().parent.parent
PROGRAM = os.path.abspath(os.environ.get("KAVEX_VIEW", SOURCE / "build/kavex-view"))
FAILED = Path(PROGRAM).parent / "tests/failed-pictures"
# The golden pictures are llvmpipe's. Other drivers draw a little differently (a quad split
# along the other diagonal), so the tests pin Mesa's software rasterizer, whatever the machine.
PINNED = {
    "__EGL_VENDOR_LIBRARY_FILENAMES": "/usr/share/glvnd/egl_vendor.d/50_mesa.json",
    "LIBGL_ALWAYS_SOFTWARE": "1",
    "GALLIUM_DRIVER": "llvmpipe",
}
# Variables of the program's that a test must set itself.
UNSET = ["KAVEX_PLATFORM", "KAVEX_SCRIPT", "KAVEX_RECORD", "KAVEX_SCALE", "KAVEX_FULLSCREEN",
         "DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"]


# Starts argv in cwd, in a process group of its own, as from a fresh shell: the environment
# changed by env (None unsets), every signal at its default but those blocked or ignored (by
# name: HUP, ...), limits as prlimit's options (--fsize=4096, ...), and the descriptors in closed
# closed. sh, prlimit and coreutils' env set these up in turn: a function run in the child would
# cost a fork of this whole process, some 15 ms a start.
def start(env, cwd, argv=(PROGRAM,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
          limits=(), blocked=(), ignored=(), closed=()):
    variables = {**os.environ, **dict.fromkeys(UNSET), **PINNED, **env}
    variables = {k: v for k, v in variables.items() if v is not None}
    # A preloaded library goes to the program alone: a sanitizer build's would not load in env.
    preload = variables.pop("LD_PRELOAD", None)
    wrappers = []
    if closed:
        wrappers += ["/bin/sh", "-c", 'exec "$0" "$@" ' + " ".join(f"{fd}>&-" for fd in closed)]
    if limits:
        wrappers += ["/usr/bin/prlimit", *limits, "--"]
    wrappers += ["/usr/bin/env", "--default-signal"]
    wrappers += ["--ignore-signal=" + name for name in ignored]
    wrappers += ["--block-signal=" + name for name in blocked]
    if preload:
        wrappers += ["LD_PRELOAD=" + preload]
    return subprocess.Popen(wrappers + list(argv), cwd=cwd, env=variables,
                            stdin=subprocess.DEVNULL, stdout=stdout, stderr=stderr,
                            process_group=0)


# Fills a pipe to its last byte, through a description of its own that does not block.
def fill(pipe):
    end = os.open(f"/proc/self/fd/{pipe}", os.O_WRONLY | os.O_NONBLOCK)
    for size in (65536, 1):
        try:
            while True:
                os.write(end, bytes(size))
        except BlockingIOError:
            pass
    os.close(end)


# Polls the condition every 10 ms until it holds or the time is up; its last value.
def eventually(condition, seconds=30):
    deadline = time.monotonic() + seconds
    held = condition()
    while not held and time.monotonic() < deadline:
        time.sleep(0.01)
        held = condition()
    return held


# None where every channel of every pixel of two Pillow images is within the tolerance; else
# where they differ, with NAME.expected.png and NAME.observed.png in failed-pictures/.
def compare(expected, observed, name, tolerance=3):
    if expected.size != observed.size:
        return f"{name}: expected a picture of {expected.size}, observed {observed.size}"
    difference = ImageChops.difference(expected.convert("RGB"), observed.convert("RGB"))
    box = difference.point(lambda step: 255 if step > tolerance else 0).getbbox()
    if not box:
        return None
    FAILED.mkdir(parents=True, exist_ok=True)
    expected.save(FAILED / f"{name}.expected.png")
    observed.save(FAILED / f"{name}.observed.png")
    return f"{name}: pixels differ by more than {tolerance} within {box} (see {FAILED / name}.*)"


# compare against the golden NAME.png, the README's in docs/ or the tests' in tests/pictures/.
# With KAVEX_UPDATE_PICTURES set, the picture replaces a golden that differs first.
def against_golden(observed, name):
    golden = SOURCE / "docs" / (name + ".png")
    if not golden.exists():
        golden = SOURCE / "tests/pictures" / (name + ".png")
    if os.environ.get("KAVEX_UPDATE_PICTURES"):
        if not golden.exists() or compare(Image.open(golden), observed, name, 0):
            observed.save(golden)
            print("updated", name)
    return compare(Image.open(golden), observed, name)
