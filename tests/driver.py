# One driver for every end-to-end case: the real program started as a user's shell would start
# it, waits for conditions, pictures compared within a tolerance, and the tables of cases in
# tests/cases/ (their format is in tests/cases/README.md).
# Usage: driver.py TABLE [NAME-PART]. With KAVEX_UPDATE_PICTURES=1, the observed pictures
# replace the goldens that differ.
import os
import re
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

SOURCE = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(SOURCE / "tools"))
import pngfile  # noqa: E402 (shared with the picture and icon tools)

PROGRAM = os.path.abspath(os.environ.get("KAVEX_VIEW", SOURCE / "build/kavex-view"))
FAULT = os.environ.get("KAVEX_FAULT_INJECT", Path(PROGRAM).parent / "tests/libfault_inject.so")
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
ESCAPES = {"n": "\n", "t": "\t", "e": "\x1b", "0": "\0", "\\": "\\"}


# Starts argv in cwd, in a process group of its own, as from a fresh shell: the environment
# changed by env (None unsets), every signal at its default but those blocked or ignored,
# limits as [(resource, value)], and the descriptors in closed closed.
def start(env, cwd, argv=(PROGRAM,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
          limits=(), blocked=(), ignored=(), closed=()):
    variables = {k: v for k, v in os.environ.items() if k not in UNSET}
    variables.update(PINNED)
    variables.update(env)

    def in_child():
        for number in signal.valid_signals() - {signal.SIGKILL, signal.SIGSTOP}:
            signal.signal(number, signal.SIG_IGN if number in ignored else signal.SIG_DFL)
        signal.pthread_sigmask(signal.SIG_SETMASK, blocked)
        for kind, value in limits:
            resource.setrlimit(kind, (value, value))
        for fd in closed:
            os.close(fd)

    variables = {k: v for k, v in variables.items() if v is not None}
    return subprocess.Popen(argv, cwd=cwd, env=variables, stdin=subprocess.DEVNULL,
                            stdout=stdout, stderr=stderr, preexec_fn=in_child, process_group=0)


# Polls the condition every 10 ms until it holds or the time is up; its last value.
def eventually(condition, seconds=30):
    deadline = time.monotonic() + seconds
    held = condition()
    while not held and time.monotonic() < deadline:
        time.sleep(0.01)
        held = condition()
    return held


# None where every channel of every pixel is within the tolerance; else what differs, with
# NAME.observed.png and NAME.diff.png (the differing pixels red) in failed-pictures/.
def picture_difference(expected, observed, name, tolerance=3):
    if not expected or not observed or expected[:2] != observed[:2]:
        sizes = [picture and picture[:2] for picture in (expected, observed)]
        return f"{name}: expected a picture of {sizes[0]}, observed {sizes[1]}"
    e, o = expected[3], observed[3]
    diff = bytearray(e)
    worst, at = -1, 0
    for i in range(0, len(e), 3):
        d = max(abs(e[i + c] - o[i + c]) for c in range(3))
        if d > tolerance:
            diff[i:i + 3] = b"\xff\0\0"
        if d > worst:
            worst, at = d, i
    if worst <= tolerance:
        return None
    FAILED.mkdir(parents=True, exist_ok=True)
    pngfile.write_png(FAILED / f"{name}.observed.png", observed[0], observed[1], o)
    pngfile.write_png(FAILED / f"{name}.diff.png", expected[0], expected[1], bytes(diff))
    return (f"{name}: pixels differ by more than {tolerance}\n"
            f"Probe color at ({at // 3 % expected[0]},{at // 3 // expected[0]})\n"
            f"  Expected: {tuple(e[at:at + 3])}\n"
            f"  Observed: {tuple(o[at:at + 3])}\n"
            f"  See {FAILED / name}.observed.png and .diff.png")


# A table's argument with {dir}, {fault}, {name:N} (a name of N bytes), {COMMANDS*N} (the
# commands N times over) and the escapes \n \t \e \0 \\ put in.
def expand(text, work):
    text = re.sub(r"\{name:(\d+)\}", lambda m: "n" * int(m.group(1)), text)
    text = re.sub(r"\{([^{}]+)\*(\d+)\}", lambda m: ";".join([m.group(1)] * int(m.group(2))), text)
    text = text.replace("{dir}", work).replace("{fault}", str(FAULT))
    return re.sub(r"\\([nte0\\])", lambda m: ESCAPES[m.group(1)], text)


# A regular expression for expected text: '*' is any text within a line, '**' any lines.
def pattern(text):
    parts = re.split(r"(\*\*|\*)", text)
    return "".join({"*": "[^\n]*", "**": "(?s:.*)"}.get(part, re.escape(part)) for part in parts)


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


# Every file, link and folder under work, by its path from there.
def listing(work):
    return {os.path.relpath(os.path.join(folder, name), work)
            for folder, folders, files in os.walk(work) for name in folders + files}


# A mode or picture check of a file the program left; what is wrong, as a list.
def check(what, path, expected):
    if what == "mode":
        mode = path.lstat().st_mode if os.path.lexists(path) else 0
        return [] if mode == int(expected, 8) else [f"{path.name}: mode {mode:o}, not {expected}"]
    golden = SOURCE / "docs" / (expected + ".png")
    if not golden.exists():
        golden = SOURCE / "tests/pictures" / (expected + ".png")
    if os.environ.get("KAVEX_UPDATE_PICTURES") and path.exists():
        if not golden.exists() or golden.read_bytes() != path.read_bytes():
            golden.write_bytes(path.read_bytes())
            print("updated", expected)
    difference = picture_difference(pngfile.read_png(golden), pngfile.read_png(path), golden.stem)
    return [difference] if difference else []


# Runs a case of a table, its lines as (directive, argument), in the empty folder work; what
# went wrong, as a list of lines.
def run(lines, work):
    env = {"KAVEX_PLATFORM": "headless"}
    start_with = {"limits": [], "blocked": [], "ignored": [], "closed": []}
    args, signals, checks, files, pipes = [], [], [], [], {}
    status, texts = 0, {"stdout": "", "stderr": ""}
    for what, raw in lines:
        arg = expand(raw, work)
        words = arg.split(" ")
        if what == "env":
            name, equals, value = arg.partition("=")
            env[name] = value if equals else None
        elif what == "script":  # a line of the script
            env["KAVEX_SCRIPT"] = env["KAVEX_SCRIPT"] + "\n" + arg if "KAVEX_SCRIPT" in env else arg
        elif what == "args":
            args += words
        elif what == "setup":
            made = subprocess.run(raw.replace("{dir}", work), shell=True, cwd=work)
            if made.returncode:
                return [f"{'skipped' if made.returncode == 77 else 'set-up failed'}: {raw}"]
        elif what == "no-sanitizer":
            if b"__asan_init" in Path(PROGRAM).read_bytes():
                return ["skipped in a sanitizer build"]
        elif what == "limit":
            start_with["limits"].append((getattr(resource, "RLIMIT_" + words[0]), int(words[1])))
        elif what in ("blocked", "ignored"):
            start_with[what] += [getattr(signal, "SIG" + word) for word in words]
        elif what == "closed":
            start_with["closed"] += [int(word) for word in words]
        elif what == "pipe":
            pipes[words[0]] = words[1]
        elif what == "signal":
            signals.append((getattr(signal, "SIG" + words[0]), words[1]))
        elif what == "status":
            status = int(arg)
        elif what == "fails":
            status = int(words[0])
            texts["stderr"] += "kavex-view: " + arg.partition(" ")[2] + "\n"
        elif what in ("stderr", "stdout"):
            texts[what] += arg[:-2] if arg.endswith("\\c") else arg + "\n"
        elif what == "text":
            texts[words[0]] = texts.get(words[0], "") + arg.partition(" ")[2] + "\n"
        elif what == "files":
            files += words
        elif what in ("mode", "picture"):
            checks.append((what, Path(work, words[0]), words[1]))
            files.append(words[0])
        else:
            return [f"unknown directive: {what} {arg}"]
    before = listing(work)
    outputs = tempfile.mkdtemp(prefix="kavex-test-")
    streams, kept, unread = {}, [], []
    for name in ("stdout", "stderr"):
        if name not in pipes:
            streams[name] = os.open(os.path.join(outputs, name), os.O_WRONLY | os.O_CREAT)
            continue
        # A reader that went away, one that reads nothing, or one that stops reading (its pipe
        # filled just before each signal, so that a write is stuck there).
        read_end, streams[name] = os.pipe()
        kept.append(read_end)
        if pipes[name] == "closed":
            os.close(kept.pop())
        if pipes[name] == "full":
            fill(streams[name])
        if pipes[name] == "unread":
            unread.append(streams[name])
    process = start(env, work, [PROGRAM] + args, streams["stdout"], streams["stderr"],
                    **start_with)
    for stream in streams.values():
        if stream not in unread:
            os.close(stream)

    def ended():
        while signals and os.path.lexists(os.path.join(work, signals[0][1])):
            for pipe in unread:
                fill(pipe)
            process.send_signal(signals.pop(0)[0])
        return process.poll() is not None

    errors = [] if eventually(ended, 60) else ["still running after 60 s"]
    process.kill()
    returned = process.wait()
    for end in kept + unread:
        os.close(end)
    if (returned if returned >= 0 else 128 - returned) != status:
        errors.append(f"status {returned} (a signal where negative), not {status}")
    for name, text in texts.items():
        path = Path(outputs if name in streams else work, name)
        seen = path.read_text(errors="replace") if path.exists() else ""
        if name not in pipes and not re.fullmatch(pattern(text), seen):
            errors.append(f"{name} expected:\n{text}observed:\n{seen[:2000]}")
    shutil.rmtree(outputs)
    expected = sorted(before | set(files) | set(texts) - set(streams))
    if sorted(listing(work)) != expected:
        errors.append(f"files {sorted(listing(work))}, not {expected}")
    for what, path, value in checks:
        errors += check(what, path, value)
    return errors


if __name__ == "__main__":
    cases = []
    for line in Path(sys.argv[1]).read_text(encoding="utf-8").splitlines():
        if line.startswith("["):
            cases.append((line[1:-1], []))
        elif line and not line.startswith("#"):
            cases[-1][1].append((line.split(" ", 1) + [""])[:2])
    failed = 0
    for name, lines in cases:
        if name.find(sys.argv[2] if len(sys.argv) > 2 else "") < 0:
            continue
        with tempfile.TemporaryDirectory(prefix="kavex-test-") as work:
            errors = run(lines, work)
        skipped = errors and errors[0].startswith("skipped")
        failed += bool(errors) and not skipped
        print("    " if skipped else "FAIL" if errors else "ok  ", f"[{name}]", flush=True)
        for error in errors:
            print("    " + error.replace("\n", "\n    "), flush=True)
    sys.exit(failed > 0)
