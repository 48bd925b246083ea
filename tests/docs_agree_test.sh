#!/bin/sh
# The README and the manual page name the same keys, environment variables, script commands
# and exit statuses; the README shows every picture in docs/ and nothing that is missing.
# Usage: docs_agree_test.sh SOURCE_DIR
set -eu
cd "$1"
failures=0
fail() {
    printf 'FAIL: %s\n' "$*" >&2
    failures=$((failures + 1))
}

# The first column of the table under the README heading "## $1", without backticks; a cell
# "Up / Down" gives two names. With $2 = 1, only each name's first word.
readme_names() {
    awk -v heading="## $1" -v first_word="$2" '
        $0 == heading { inside = 1; next }
        /^#+ / { inside = 0 }
        !inside || !/^\|/ || /^\|---/ { next }
        rows++ == 0 { next }  # the header
        {
            split($0, cells, "|")
            cell = cells[2]
            gsub(/`/, "", cell)
            n = split(cell, names, " / ")
            for (i = 1; i <= n; i++) {
                name = names[i]
                gsub(/^ +| +$/, "", name)
                if (first_word) sub(/ .*/, "", name)
                print name
            }
        }' README.md | sort
}

# The tags of the .TP paragraphs in the manual page section ".SH $1": each tag line's first
# argument, without font escapes.
manual_names() {
    awk -v section="$1" '
        /^\.SH / { title = substr($0, 5); gsub(/"/, "", title); inside = title == section; next }
        !inside { next }
        tag { tag = 0
              line = $0
              sub(/^\.[A-Z]+ +/, "", line)
              if (line ~ /^"/) { line = substr(line, 2); sub(/".*/, "", line) }
              else sub(/ .*/, "", line)
              gsub(/\\f.|\\%/, "", line)
              gsub(/^ +| +$/, "", line)
              print line }
        /^\.TP/ { tag = 1 }' docs/kavex-view.1 | sort
}

# agree README_HEADING MANUAL_SECTION FIRST_WORD
agree() {
    readme=$(readme_names "$1" "$3")
    manual=$(manual_names "$2")
    if [ -z "$readme" ] || [ -z "$manual" ]; then
        fail "README '## $1' or manual page '$2' lists nothing"
    elif [ "$readme" != "$manual" ]; then
        fail "README '## $1' and manual page '$2' differ;" \
            "only in the README: $(printf '%s\n' "$readme" | grep -vxF "$manual" | paste -sd, -);" \
            "only in the manual page: $(printf '%s\n' "$manual" | grep -vxF "$readme" | paste -sd, -)"
    fi
}

agree Controls CONTROLS 0
agree Environment ENVIRONMENT 0
agree "Headless scripts" "HEADLESS SCRIPTS" 1
agree "Exit statuses" "EXIT STATUS" 0

for picture in docs/*.png; do
    grep -qF "($picture)" README.md || fail "README does not show $picture"
done
missing=$(grep -o 'docs/[^)]*\.png' README.md | while read -r picture; do
    [ -f "$picture" ] || echo "$picture"
done | paste -sd' ' -)
[ -z "$missing" ] || fail "README shows pictures that do not exist: $missing"

[ "$failures" -eq 0 ]
