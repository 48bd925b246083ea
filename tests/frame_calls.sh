#!/bin/sh
# The GL calls of one frame, between two glFlush, traced with apitrace: names and enumerants
# in order, numbers left out (the pictures check what they draw). Compared with frame_calls.txt.
# Usage: frame_calls.sh PROGRAM SOURCE_DIR
set -eu
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
KAVEX_PLATFORM=headless KAVEX_RECORD= KAVEX_SCRIPT='redraw; key b; key m; key l; key t; key a; key f; redraw' \
    apitrace trace --api egl -o "$dir/t.trace" "$1" >/dev/null 2>&1
apitrace dump --color=never "$dir/t.trace" | sed -e 's/^[0-9]* //' | sed -n '/^glFlush/,/^glFlush/p' |
    sed -e '/^glBegin/,/^glEnd/{/^glBegin\|^glEnd/!d}' -e 's/= -\{0,1\}[0-9][0-9.e+-]*/= N/g' >"$dir/frame.txt"
diff -u "$2/tests/frame_calls.txt" "$dir/frame.txt"
