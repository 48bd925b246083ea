# Soak run: the real program draws 100 000 frames headless, cycling through every combination of
# the five switches (l b t a f), four frames each, and once per round of 32 the next texture
# environment (m). Prints the lowest resident memory in each quarter of the run; fails if the
# last quarter's is more than 256 KiB above the second's.
#
# The program runs with glibc's allocator thresholds fixed, so that resident memory follows the
# memory in use. Left to itself, glibc raises its mmap threshold once Mesa first frees one of its
# 1 MiB buffers, moving Mesa's 512 KiB vertex buffer onto the heap (a one-off step of 512 KiB),
# and keeps up to twice that threshold free at the top of the heap, where a small leak hides
# until it has used it up. Mesa also holds a spare 1 MiB buffer for a while now and then, so the
# check compares the lowest figures of the second quarter and the last: a leak grows on.
# Usage: soak.py [PROGRAM] (default: build/kavex-view)
import os, subprocess, sys, tempfile, time
from pathlib import Path

FRAMES, EACH, ALLOWED_KIB = 100000, 4, 256
program = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "build", "kavex-view")
steps, previous = [], 0
for n in range(FRAMES // EACH):
    combination = n % 32
    steps += ["key m"] * (combination == 0 and n > 0) + ["key " + k for i, k in enumerate("lbtaf") if (previous ^ combination) >> i & 1]
    steps.append(f"redraw {EACH}")
    previous = combination
script = tempfile.NamedTemporaryFile("w", suffix=".script")
script.write("\n".join(steps)), script.flush()
env = {k: v for k, v in os.environ.items() if k != "KAVEX_RECORD"} | {"KAVEX_PLATFORM": "headless", "KAVEX_SCRIPT": "@" + script.name,
                                                                 "GLIBC_TUNABLES": "glibc.malloc.mmap_threshold=131072:glibc.malloc.trim_threshold=131072"}
started, samples = time.time(), []
with subprocess.Popen([program], env=env) as run:
    while run.poll() is None:
        status = Path(f"/proc/{run.pid}/status").read_text()  # there until poll() reaps the process
        samples += [(time.time(), int(line.split()[1])) for line in status.splitlines() if line.startswith("VmRSS:")]
        time.sleep(0.05)
seconds = time.time() - started
print(f"frames:                     {FRAMES} in {seconds:.1f} s ({FRAMES / seconds:.0f} frames/s), exit status {run.returncode}")
lowest = [min((kib for t, kib in samples if int(4 * (t - started) / seconds) == q), default=0) for q in range(4)]
for q in range(4): print(f"lowest resident, quarter {q + 1}: {lowest[q]} KiB")
print(f"growth, quarter 2 to 4:     {lowest[3] - lowest[1]} KiB (allowed {ALLOWED_KIB})")
sys.exit(run.returncode != 0 or lowest[3] - lowest[1] > ALLOWED_KIB or not all(lowest))
