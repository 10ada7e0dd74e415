#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Every translation holds every text of the sources, translated: lupdate
# reads the sources into a copy of each .ts file, and lrelease must find
# nothing unfinished in it. A new or changed text fails here until
# `make translations` has taken it in and it is translated.
# Usage: translations_complete.sh LUPDATE LRELEASE SOURCE_DIR
set -eu
lupdate=$1 lrelease=$2 source=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for ts in "$source"/translations/*.ts; do
    copy=$work/$(basename "$ts")
    cp "$ts" "$copy"
    "$lupdate" -locations none -no-obsolete -silent "$source/src" -ts "$copy" >/dev/null 2>&1
    report=$("$lrelease" "$copy" -qm "$work/out.qm")
    # lrelease counts a text with no translation at all apart from the
    # unfinished ones ("Ignored N untranslated source text(s)").
    { printf '%s\n' "$report" | grep -q ' 0 unfinished)' &&
        ! printf '%s\n' "$report" | grep -q 'untranslated'; } || {
        echo "FAIL: $(basename "$ts") is not complete: $report"
        echo "Run 'make translations' and translate what is marked unfinished."
        exit 1
    }
done
echo PASS
