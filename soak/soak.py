# Soak run: the real program draws 100 000 frames headless, cycling through every combination of
# the five switches (l b t a f), four frames each, and once per round of 32 the next texture
# environment (m). Prints the lowest resident memory in each quarter of the run; fails if it
# grows by more than 128 KiB from the second quarter to the third and again from the third to
# the last. A leak grows all along; a one-off step is not one (a fresh Debian 13 once rose by
# 764 KiB in the third quarter and stayed there to the end).
#
# The program runs with glibc's allocator thresholds fixed, so that resident memory follows the
# memory in use. Left to itself, glibc raises its mmap threshold once Mesa first frees one of its
# 1 MiB buffers, moving Mesa's 512 KiB vertex buffer onto the heap (a one-off step of 512 KiB),
# and keeps up to twice that threshold free at the top of the heap, where a small leak hides
# until it has used it up. Mesa also holds a spare 1 MiB buffer for a while now and then, so the
# check compares the lowest figure of each quarter.
# Usage: soak.py [PROGRAM] (default: build/kavex-view)
import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

FRAMES, EACH, ALLOWED_KIB = 100000, 4, 128
program = sys.argv[1] if len(sys.argv) > 1 else "build/kavex-view"
lines, previous = [], 0
for n in range(FRAMES // EACH):
    combination = n % 32
    if combination == 0 and n > 0:
        lines.append("key m")
    for bit, key in enumerate("lbtaf"):  # the keys of the switches that change
        if (previous ^ combination) >> bit & 1:
            lines.append("key " + key)
    lines.append(f"redraw {EACH}")
    previous = combination
script = tempfile.NamedTemporaryFile("w", suffix=".script")
script.write("\n".join(lines))
script.flush()
tunables = "glibc.malloc.mmap_threshold=131072:glibc.malloc.trim_threshold=131072"
env = dict(os.environ, KAVEX_PLATFORM="headless", KAVEX_SCRIPT="@" + script.name,
           GLIBC_TUNABLES=tunables)
env.pop("KAVEX_RECORD", None)
started = time.time()
samples = []  # (seconds since the start, resident KiB)
with subprocess.Popen([program], env=env) as run:
    while run.poll() is None:
        status = Path(f"/proc/{run.pid}/status").read_text()  # there until poll() reaps it
        for line in status.splitlines():
            if line.startswith("VmRSS:"):
                samples.append((time.time() - started, int(line.split()[1])))
        time.sleep(0.05)
seconds = time.time() - started
print(f"frames: {FRAMES} in {seconds:.1f} s, exit status {run.returncode}")
quarters = [[kib for t, kib in samples if int(4 * t / seconds) == q] for q in range(4)]
lowest = [min(quarter, default=0) for quarter in quarters]
print(f"lowest resident memory in each quarter: {lowest} KiB")
growth = [lowest[2] - lowest[1], lowest[3] - lowest[2]]
print(f"growth, quarter 2 to 3 and 3 to 4: {growth} KiB (a leak: over {ALLOWED_KIB} in both)")
sys.exit(run.returncode != 0 or min(growth) > ALLOWED_KIB or not all(lowest))
