#!/bin/sh
# Installs into a temporary prefix: exactly the program, its manual page, desktop entry and
# icons land there; the program runs from there, the page formats without warnings, the entry
# validates.
# Usage: install_test.sh CMAKE BUILD_DIR BINDIR MANDIR DATADIR (the GNUInstallDirs values)
set -eu
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
"$1" --install "$2" --prefix "$prefix" >/dev/null
cd "$prefix"
icons=$(for size in 16 24 32 48 64 128; do echo "./$5/icons/hicolor/${size}x$size/apps/kavex-view.png"; done)
expected=$(printf '%s\n' "./$3/kavex-view" "./$4/man1/kavex-view.1" "./$5/applications/kavex-view.desktop" $icons | sort)
[ "$(find . -type f | sort)" = "$expected" ] || { echo "installed: $(find . -type f)"; exit 1; }
KAVEX_PLATFORM=headless KAVEX_RECORD= KAVEX_SCRIPT='redraw; close' timeout 30 "./$3/kavex-view"
[ -z "$(desktop-file-validate "./$5/applications/kavex-view.desktop" 2>&1)" ]
[ -z "$(groff -ww -man -z "./$4/man1/kavex-view.1" 2>&1)" ]
