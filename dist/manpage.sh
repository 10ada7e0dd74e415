#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Writes the manual page of a Tarvelo program from its own --help, so that
# the page cannot tell another story than the program:
#
#   manpage.sh PROGRAM NAME SUMMARY VERSION DATE OUTPUT
#
# The help text's layout is read as follows: the "Usage:" line is the
# synopsis; paragraphs before the options describe the program; lines
# starting with "  -" are options, continued by lines indented further; lines
# indented by two spaces otherwise are kept as they are; "Options:" starts the
# options; a paragraph after them starting with "Exit status:" is its own
# section. A program whose help offers --list-settings gets a SETTINGS
# section from that list, the one table of its settings, so that the page
# names every key with its type, range, first-run default and meaning. The
# files and the other program are named at the end.
set -eu
program=$1 name=$2 summary=$3 version=$4 date=$5 output=$6

# The page is English, whatever language the build runs in, and the
# settings' values in effect (the builder's own) are not shown.
export LC_ALL=C LANGUAGE=
help=$("$program" --help)
upper=$(printf '%s' "$name" | tr '[:lower:]' '[:upper:]')
settings=$(mktemp)
trap 'rm -f "$settings"' EXIT
if printf '%s\n' "$help" | grep -q -- '--list-settings'; then
    "$program" --list-settings >"$settings"
fi

printf '%s\n' "$help" | awk -v name="$name" -v upper="$upper" -v summary="$summary" \
    -v version="$version" -v date="$date" -v settings="$settings" '
# Text for roff: backslashes doubled as \e, a leading dot or quote escaped.
function text(s) {
    gsub(/\\/, "\\e", s)
    if (s ~ /^[.'"'"']/)
        s = "\\&" s
    return s
}
# Option names bold, their arguments italic, hyphens as minus signs.
function option(s,    out, n, i, words, w) {
    n = split(s, words, " ")
    out = ""
    for (i = 1; i <= n; i++) {
        w = words[i]
        sub(/,$/, "", w)
        if (w ~ /^-/) {
            gsub(/-/, "\\-", w)
            w = "\\fB" w "\\fR"
        } else {
            w = "\\fI" text(w) "\\fR"
        }
        out = out (out == "" ? "" : (words[i - 1] ~ /,$/ ? ", " : " ")) w
    }
    return out
}
function section(title) {
    if (title != current) {
        print ".SH " title
        current = title
    }
    fresh = 1
}
# A blank line: a new paragraph before the next text of the same section.
function flush() {
    if (pending && !fresh)
        print ".PP"
    pending = 0
    fresh = 0
}
BEGIN {
    print ".TH " upper " 1 \"" date "\" \"Tarvelo " version "\" \"User Commands\""
    print ".SH NAME"
    print name " \\- " summary
    stage = "usage"
}
stage == "usage" && /^Usage: / {
    sub(/^Usage: [^ ]+ ?/, "")
    print ".SH SYNOPSIS"
    print ".B " name
    if ($0 != "")
        print text($0)
    stage = "description"
    section("DESCRIPTION")
    next
}
/^Options:$/ { section("OPTIONS"); stage = "options"; next }
/^$/ {
    if (stage == "options" && inOption)
        stage = "after"
    inOption = 0
    if (preformatted) { print ".fi"; preformatted = 0 }
    pending = 1
    blank = 1
    next
}
/^  -/ {
    if (stage != "options") { section("OPTIONS"); stage = "options" }
    line = substr($0, 3)
    split(line, parts, /   */)
    head = parts[1]
    rest = substr(line, length(head) + 1)
    sub(/^ +/, "", rest)
    print ".TP"
    print option(head)
    if (rest != "")
        print text(rest)
    inOption = 1
    pending = 0
    fresh = 0
    blank = 0
    next
}
inOption && /^      / { sub(/^ +/, ""); print text($0); next }
/^  / {
    if (!preformatted) { flush(); print ".nf"; preformatted = 1 }
    print text(substr($0, 3))
    blank = 0
    next
}
{
    if (stage == "after" && blank && /^Exit status:/) {
        section("EXIT STATUS")
        sub(/^Exit status: */, "")
    } else if (stage == "after" && current == "OPTIONS") {
        section("NOTES")
    }
    if (preformatted) { print ".fi"; preformatted = 0 }
    flush()
    print text($0)
    blank = 0
}
# A value or range for roff: minus signs as such.
function value(s) {
    s = text(s)
    gsub(/-/, "\\-", s)
    return s
}
END {
    if (preformatted)
        print ".fi"
    first = 1
    while ((getline line < settings) > 0) {
        split(line, field, "\t")
        if (first) {
            print ".SH SETTINGS"
            print "The keys of the settings store, which \\fB\\-\\-set\\fR takes, each with its type"
            print "and range, its first\\-run default and what it means;"
            print "\\fB\\-\\-list\\-settings\\fR also shows the value in effect."
            first = 0
        }
        print ".TP"
        print "\\fB" text(field[1]) "\\fR (" value(field[2]) ", first\\-run default: " \
            (field[3] == "" ? "empty" : "\\fI" value(field[3]) "\\fR") ")"
        print text(field[5])
    }
    print ".SH FILES"
    print ".TP"
    print ".I ~/.config/Dovrin Halsek/Tarvelo.conf"
    print "The options the window keeps between runs, which \\fBtarvelo\\-cli\\fR stamps with."
    print ".TP"
    print ".I /usr/libexec/tarvelo/tarvelo\\-decoder"
    print "The process that decodes every picture, fenced in, for both programs."
    print ".SH SEE ALSO"
    print (name == "tarvelo" ? "\\fBtarvelo\\-cli\\fR(1)" : "\\fBtarvelo\\fR(1)")
}
' > "$output"
