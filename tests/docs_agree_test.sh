#!/bin/sh
# The manual page has an entry for every variable, script command and exit status in the
# README's tables, and the README shows only pictures that exist. Usage: docs_agree_test.sh SRC
set -eu
cd "$1"
tags=$(awk '/^\.TP/ { getline; gsub(/\\f.|\\%|"/, ""); print $2 }' docs/kavex-view.1)
failed=0
for heading in Environment "Headless scripts" "Exit statuses"; do
    for name in $(awk -F'|' -v h="## $heading" '$0 == h { on = 1 } /^## / && $0 != h { on = 0 }
            on && /^\|---/ { on = 2; next } on == 2 && /^\|/ { split($2, w, " "); gsub(/`/, "", w[1]); print w[1] }' README.md); do
        echo "$tags" | grep -qx -- "$name" || { echo "docs/kavex-view.1 has no entry for $name ($heading)"; failed=1; }
    done
done
for picture in $(grep -o 'docs/[a-z-]*\.png' README.md); do
    [ -f "$picture" ] || { echo "README shows $picture, which does not exist"; failed=1; }
done
exit $failed
