# Shared test helpers: the program's paths, starting it, waiting for conditions, and PNG
# pictures read, written and compared within a tolerance (a difference picture on failure).
import os, resource, signal, subprocess, sys, time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "tools"))
import pngfile  # noqa: E402 (shared with the picture and icon tools)
from pngfile import read_png  # noqa: E402,F401 (width, height, channels, pixels)

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PROGRAM = os.environ.get("KAVEX_VIEW", os.path.join(SOURCE, "build", "kavex-view"))  # CTest names the build's
FAULT = os.environ.get("KAVEX_FAULT_INJECT", os.path.join(os.path.dirname(PROGRAM), "tests", "libfault_inject.so"))
FAILED = os.path.join(os.path.dirname(FAULT), "failed-pictures")
PLATFORM_VARIABLES = ("KAVEX_PLATFORM", "KAVEX_SCRIPT", "KAVEX_RECORD", "KAVEX_SCALE", "KAVEX_FULLSCREEN",
                      "DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER")


def start(changes, cwd, stderr=subprocess.DEVNULL, file_limit=None, argv=(PROGRAM,), blocked=(),
          stdout=subprocess.DEVNULL):
    # Starts argv in cwd with the environment changed (None unsets) and in its own process
    # group, as a fresh process would: default signal dispositions, none blocked but the
    # signals in blocked (as a launcher may leave them).
    env = {k: v for k, v in os.environ.items() if k not in PLATFORM_VARIABLES}
    env.update(changes)
    def child():
        for s in signal.valid_signals() - {signal.SIGKILL, signal.SIGSTOP}:
            signal.signal(s, signal.SIG_DFL)  # a background job starts with SIGINT ignored
        signal.pthread_sigmask(signal.SIG_SETMASK, blocked)
        if file_limit is not None: resource.setrlimit(resource.RLIMIT_FSIZE, (file_limit, file_limit))
    return subprocess.Popen(argv, cwd=cwd, env={k: v for k, v in env.items() if v is not None}, stdin=subprocess.DEVNULL,
                            stdout=stdout, stderr=stderr, preexec_fn=child, process_group=0)


def eventually(condition, seconds=30):  # polls every 10 ms
    deadline = time.time() + seconds
    while not (held := condition()) and time.time() < deadline: time.sleep(0.01)
    return held


def picture_difference(expected, observed, name, tolerance=3):
    # Pictures as read_png gives them, RGB. None if every channel of every pixel is within the
    # tolerance; else what differs, with
    # NAME.observed.png and NAME.diff.png (the differing pixels red) in failed-pictures/.
    if not expected or not observed or expected[:2] != observed[:2]:
        return f"{name}: expected a picture of {expected and expected[:2]}, observed {observed and observed[:2]}"
    e, o, diff, worst, beyond = expected[3], observed[3], bytearray(expected[3]), (0, 0), 0
    for i in range(0, len(e), 3):
        d = max(abs(e[i] - o[i]), abs(e[i + 1] - o[i + 1]), abs(e[i + 2] - o[i + 2]))
        worst, beyond = max(worst, (d, i)), beyond + (d > tolerance)
        diff[i:i + 3] = b"\xff\0\0" if d > tolerance else bytes(v // 4 for v in e[i:i + 3])
    if not beyond: return None
    os.makedirs(FAILED, exist_ok=True)
    out, i = os.path.join(FAILED, name), worst[1]
    pngfile.write_png(out + ".observed.png", observed[0], observed[1], o)
    pngfile.write_png(out + ".diff.png", expected[0], expected[1], bytes(diff))
    return (f"{name}: {beyond} pixels differ by more than {tolerance}\nProbe color at ({i // 3 % expected[0]},"
            f"{i // 3 // expected[0]})\n  Expected: {tuple(e[i:i + 3])}\n  Observed: {tuple(o[i:i + 3])}\n"
            f"  See {out}.observed.png and .diff.png")
