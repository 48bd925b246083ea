#!/bin/sh
# The GL and EGL calls of a short headless run, compared with the reviewed listing in
# gl_calls.txt: any added, dropped, reordered or retyped call shows as a diff.
set -eu
binary=$1
source_dir=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
"$source_dir/tools/trace-gl" "$binary" \
  "redraw; key b; key m; key t; key l; key a; key f; code 7; key space; key r; code 32; snap $out/x.png" \
  > "$out/calls.txt"
diff -u "$source_dir/tests/gl_calls.txt" "$out/calls.txt"
