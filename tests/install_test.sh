#!/bin/sh
# Installs into a temporary prefix and checks what lands there: the program, which runs from
# there; its manual page, which formats without warnings; its desktop entry, which validates.
# Usage: install_test.sh CMAKE BUILD_DIR BINDIR MANDIR DATADIR (the GNUInstallDirs values)
set -eu
cmake=$1 build=$2 bindir=$3 mandir=$4 datadir=$5
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() {
    printf 'FAIL: %s\n' "$*" >&2
    failures=$((failures + 1))
}

"$cmake" --install "$build" --prefix "$prefix" >/dev/null
program=$bindir/kavex-view
page=$mandir/man1/kavex-view.1
entry=$datadir/applications/kavex-view.desktop
cd "$prefix"

expected=$(printf './%s\n' "$program" "$page" "$entry" | sort)
installed=$(find . -type f | sort)
[ "$installed" = "$expected" ] ||
    fail "installed files: expected
$expected
observed
$installed"

out=$(KAVEX_PLATFORM=headless KAVEX_SCRIPT='redraw; close' timeout 30 "./$program" 2>&1) ||
    fail "the installed program failed: $out"

grep -qx 'Exec=kavex-view' "$entry" || fail "$entry does not run kavex-view"
if ! out=$(desktop-file-validate "$entry" 2>&1) || [ -n "$out" ]; then
    fail "desktop-file-validate $entry: $out"
fi

if ! out=$(groff -ww -man -z "$page" 2>&1) || [ -n "$out" ]; then
    fail "groff -ww -man -z $page: $out"
fi
lexgrog "$page" >/dev/null || fail "lexgrog finds no NAME section in $page"

[ "$failures" -eq 0 ]
