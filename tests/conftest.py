# The tables of cases in tests/cases/ (their format is in tests/cases/README.md) as pytest tests:
# each case a test of its name. With KAVEX_UPDATE_PICTURES=1, the observed pictures replace the
# goldens that differ.
import functools
import os
import re
import signal
import subprocess
from pathlib import Path

import pytest
from helpers import PROGRAM, against_golden, eventually, fill, start
from PIL import Image

FAULT = os.environ.get("KAVEX_FAULT_INJECT", Path(PROGRAM).parent / "tests/libfault_inject.so")
ESCAPES = {"n": "\n", "t": "\t", "e": "\x1b", "0": "\0", "\\": "\\"}


def pytest_collect_file(file_path, parent):
    if file_path.suffix == ".txt" and file_path.parent.name == "cases":
        return Table.from_parent(parent, path=file_path)


# A table: a test per case, its lines as (directive, argument).
class Table(pytest.File):
    def collect(self):
        cases = []
        for line in self.path.read_text(encoding="utf-8").splitlines():
            if line.startswith("["):
                cases.append((line[1:-1], []))
            elif line and not line.startswith("#"):
                cases[-1][1].append((line.split(" ", 1) + [""])[:2])
        for name, lines in cases:
            yield Case.from_parent(self, name=name, callobj=functools.partial(run, lines))


# A case of a table, reported as TABLE::NAME.
class Case(pytest.Function):
    def reportinfo(self):
        return self.path, None, self.nodeid


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


# Every file, link and folder under work, by its path from there.
def listing(work):
    return {os.path.relpath(os.path.join(folder, name), work)
            for folder, folders, files in os.walk(work) for name in folders + files}


# What is wrong with a PNG the program left: it must be whole (verify refuses one cut short)
# and 320 x 240 RGB, and like the golden NAME where a name is given.
def picture_errors(path, name=None):
    try:
        with Image.open(path) as image:
            image.verify()
        observed = Image.open(path)
        observed.load()
    except Exception as error:  # Pillow's errors for a broken file are of many kinds
        return [f"{path.name}: not a whole PNG: {error!r}"]
    if (observed.size, observed.mode) != ((320, 240), "RGB"):
        return [f"{path.name}: {observed.size} {observed.mode}, not (320, 240) RGB"]
    difference = name and against_golden(observed, name)
    return [difference] if difference else []


# Runs a case of a table in an empty folder of a short name (the program shortens a quoted path
# of more than 75 bytes, and a case expects {dir} in full), the program's stdout and stderr
# captured by capfd where they are not pipes.
def run(lines, tmp_path_factory, capfd):
    tmp_path = tmp_path_factory.mktemp("case")
    work = str(tmp_path)
    env = {"KAVEX_PLATFORM": "headless"}
    # The directives that gather words, and those that name a file or stream.
    given = {"args": [], "files": [], "limits": [], "blocked": [], "ignored": [], "closed": []}
    named = {"pipe": {}, "mode": {}, "picture": {}}
    signals = []
    status = 0
    texts = {"stdout": "", "stderr": ""}
    for what, raw in lines:
        arg = expand(raw, work)
        first, _, rest = arg.partition(" ")
        if what == "env":
            name, equals, value = arg.partition("=")
            env[name] = value if equals else None
        elif what == "script":  # a line of the script
            env["KAVEX_SCRIPT"] = env["KAVEX_SCRIPT"] + "\n" + arg if "KAVEX_SCRIPT" in env else arg
        elif what == "setup":
            if subprocess.run(raw.replace("{dir}", work), shell=True, cwd=work).returncode:
                pytest.fail(f"set-up failed: {raw}", pytrace=False)
        elif what == "no-sanitizer":
            if b"__asan_init" in Path(PROGRAM).read_bytes():
                pytest.skip("a sanitizer build")
        elif what == "limit":
            given["limits"].append(f"--{first.lower()}={rest}")
        elif what in given:
            given[what] += arg.split(" ")
        elif what in named:
            named[what][first] = rest
        elif what == "signal":
            signals.append((getattr(signal, "SIG" + first), rest))
        elif what in ("status", "fails"):
            status = int(first)
            texts["stderr"] += f"kavex-view: {rest}\n" if what == "fails" else ""
        elif what in ("stderr", "stdout"):
            texts[what] += arg[:-2] if arg.endswith("\\c") else arg + "\n"
        elif what == "text":
            texts[first] = texts.get(first, "") + rest + "\n"
        else:
            pytest.fail(f"unknown directive: {what} {arg}", pytrace=False)
    args = given.pop("args")
    files = given.pop("files")
    pipes = named["pipe"]
    modes = named["mode"]
    pictures = named["picture"]
    before = listing(work)
    # A reader that went away, one that reads nothing, or one that stops reading (its pipe
    # filled just before each signal, so that a write is stuck there).
    streams = {}
    kept = []
    unread = []
    for name, state in pipes.items():
        read_end, streams[name] = os.pipe()
        kept.append(read_end)
        if state == "closed":
            os.close(kept.pop())
        if state == "full":
            fill(streams[name])
        if state == "unread":
            unread.append(streams[name])
    capfd.readouterr()
    process = start(env, work, [PROGRAM] + args, streams.get("stdout"), streams.get("stderr"),
                    **given)
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
    seen = capfd.readouterr()
    outputs = {"stdout": seen.out, "stderr": seen.err}
    for name, text in texts.items():
        path = tmp_path / name
        if name not in outputs and path.exists():
            outputs[name] = path.read_text(errors="replace")
        observed = outputs.get(name, "")
        if name not in pipes and not re.fullmatch(pattern(text), observed):
            errors.append(f"{name} expected:\n{text}observed:\n{observed[:2000]}")
    expected = before | set(files) | set(modes) | set(pictures) | set(texts) - {"stdout", "stderr"}
    left = listing(work)
    if left != expected:
        errors.append(f"files {sorted(left)}, not {sorted(expected)}")
    for name, octal in modes.items():
        path = tmp_path / name
        mode = path.lstat().st_mode if os.path.lexists(path) else 0
        if mode != int(octal, 8):
            errors.append(f"{name}: mode {mode:o}, not {octal}")
    # Every PNG the program made, and every picture, whole; the pictures like their goldens.
    made = {name for name in left - before if name.endswith(".png")}
    for name in sorted(made | set(pictures)):
        errors += picture_errors(tmp_path / name, pictures.get(name))
    if errors:
        pytest.fail("\n".join(errors), pytrace=False)
