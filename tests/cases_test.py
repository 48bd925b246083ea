# The real program, one process per case, from a table in tests/cases/ (the format is in
# tests/cases/README.md). Usage: cases_test.py TABLE [NAME-PART]. With KAVEX_UPDATE_PICTURES=1,
# the observed pictures replace the goldens that differ.
import contextlib, os, re, signal, subprocess, sys, tempfile
from pathlib import Path
from support import FAULT, PROGRAM, SOURCE, eventually, picture_difference, read_png, start

ESCAPES = {"n": "\n", "t": "\t", "e": "\x1b", "0": "\0", "\\": "\\"}


def expand(text, work):
    text = re.sub(r"\{name:(\d+)\}", lambda m: "n" * int(m.group(1)), text)
    text = text.replace("{dir}", work).replace("{src}", SOURCE).replace("{fault}", FAULT)
    return re.sub(r"\\([nte0\\])", lambda m: ESCAPES[m.group(1)], text)


def pattern(text):  # '*' matches any text within a line, '**' any lines
    text = text.replace("**", "\0")
    return "".join("[^\n]*" if c == "*" else "(?s:.*)" if c == "\0" else re.escape(c) for c in text)


def fill(pipe):  # through a description of its own: only that one does not block
    filler = os.open(f"/proc/self/fd/{pipe}", os.O_WRONLY | os.O_NONBLOCK)
    for size in (65536, 1):  # then byte by byte, into the last page's room
        with contextlib.suppress(BlockingIOError):
            while True:
                os.write(filler, bytes(size))
    os.close(filler)


def run(lines, work):
    args, out = [], ""
    env, status, err, files, texts, checks, limit, when, closed = {"KAVEX_PLATFORM": "headless"}, 0, "", [], {}, [], None, None, False
    blocked, unread, full = [], (), False
    for what, raw in lines:
        arg = expand(raw, work)
        w = arg.split(" ")
        if what == "env": env[arg.partition("=")[0]] = arg.partition("=")[2] if "=" in arg else None
        elif what == "script": env["KAVEX_SCRIPT"] = arg
        elif what == "args": args += arg.split(" ")
        elif what == "stdout": out += arg + "\n"
        elif what == "status": status = int(arg)
        elif what == "stderr": err += arg[:-2] if raw.endswith("\\c") else arg + "\n"
        elif what == "files": files += w
        elif what == "text": texts[w[0]] = texts.get(w[0], "") + arg[len(w[0]) + 1:] + "\n"
        elif what in ("mode", "picture"): checks.append((what, w[0], w[1])); files.append(w[0])
        elif what == "file-limit": limit = int(arg)
        elif what == "signal": when = (getattr(signal, "SIG" + w[0]), w[1])
        elif what == "stderr-closed": closed = True
        elif what == "blocked": blocked = [getattr(signal, "SIG" + name) for name in w]
        elif what == "stdout-unread": unread = os.pipe()
        elif what == "stderr-full": full = True
        elif what == "no-sanitizer":  # a sanitizer's allocator ends the run where memory runs out
            if b"__asan_init" in Path(PROGRAM).read_bytes(): return ["skipped: a sanitizer build"]
        elif what == "setup":  # a shell command; status 77 skips the case
            made = subprocess.run(raw.replace("{dir}", work), shell=True, cwd=work).returncode
            if made: return [f"skipped: cannot {raw}"] if made == 77 else [f"set-up failed: {raw}"]
        else: return [f"unknown directive: {what} {arg}"]
    files += list(texts) + os.listdir(work)
    read_end, write_end = os.pipe()  # for a stderr that nobody reads
    if full:
        fill(write_end)
    else:
        os.close(read_end)
    stderr, stdout = tempfile.TemporaryFile(), tempfile.TemporaryFile()
    process = start(env, work, write_end if closed or full else stderr, limit, [PROGRAM] + args, blocked=blocked,
                    stdout=unread[1] if unread else stdout)
    os.close(write_end)

    def ended():
        nonlocal when
        if when and os.path.exists(os.path.join(work, when[1])):
            if unread:
                fill(unread[1])
            process.send_signal(when[0])
            when = None
        return process.poll() is not None
    errors = [] if eventually(ended, 60) else ["still running after 60 s"]
    process.kill()
    for end in unread + ((read_end,) if full else ()):
        os.close(end)
    with stderr: stderr.seek(0); seen, returned = stderr.read().decode(errors="replace"), process.wait()
    if (returned if returned >= 0 else 128 - returned) != status: errors.append(f"status {returned} (negative: a signal), not {status}")
    if not re.fullmatch(pattern(err), seen): errors.append(f"stderr expected:\n{err}observed:\n{seen}")
    with stdout: stdout.seek(0); seen = stdout.read().decode(errors="backslashreplace")
    if not re.fullmatch(pattern(out), seen): errors.append(f"stdout expected:\n{out}observed:\n{seen}")
    for name, text in texts.items():
        content = Path(work, name).read_text(errors="backslashreplace") if os.path.exists(os.path.join(work, name)) else ""
        if not re.fullmatch(pattern(text), content): errors.append(f"{name} expected:\n{text}observed:\n{content[:1000]}")
    if sorted(os.listdir(work)) != sorted(set(files)): errors.append(f"files {sorted(os.listdir(work))}, not {sorted(set(files))}")
    for what, name, expected in checks:
        observed, golden = os.path.join(work, name), os.path.join(SOURCE, expected)
        if what == "mode" and (mode := os.lstat(observed).st_mode if os.path.lexists(observed) else 0) != int(expected, 8):
            errors.append(f"{name}: mode {mode:o}, not {expected}")
        if what == "picture" and os.environ.get("KAVEX_UPDATE_PICTURES") and os.path.exists(observed) and (
                not os.path.exists(golden) or Path(observed).read_bytes() != Path(golden).read_bytes()):
            Path(golden).write_bytes(Path(observed).read_bytes())
            print("updated", expected)
        if what == "picture": errors += filter(None, [picture_difference(read_png(golden), read_png(observed), os.path.basename(expected)[:-4])])
    return errors


cases, failed = [], 0
for line in Path(sys.argv[1]).read_text(encoding="utf-8").splitlines():
    if line.startswith("["): cases.append((line[1:-1], []))
    elif line and not line.startswith("#"): cases[-1][1].append((line.split(" ", 1) + [""])[:2])
for name, lines in cases:
    if sys.argv[2:] and sys.argv[2] not in name: continue
    with tempfile.TemporaryDirectory(prefix="kavex-test-") as work: errors = run(lines, work)
    failed += bool(errors) and not errors[0].startswith("skipped")
    print("ok  " if not errors else "    " if errors[0].startswith("skipped") else "FAIL", f"[{name}]" + "".join("\n" + e for e in errors).replace("\n", "\n    "), flush=True)
sys.exit(failed > 0)
