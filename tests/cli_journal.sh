#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A tarvelo-cli shard with a journal, as engines that retry run it: killed
# (SIGKILL, now and then SIGTERM) at random moments and run again until it
# ends by itself. Every picture must then be stamped exactly once, the
# journal naming each output, and nothing else be left in the folder. Then
# a failed picture with an awkward name is mended and retried from the
# journal, twice: the second retry stamps nothing.
# Usage: cli_journal.sh path/to/tarvelo-cli
set -eu
cli=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir in out
unset DISPLAY
export XDG_CONFIG_HOME="$work/config" # the first-run options, with a text given
fail() { echo "FAIL: $*"; exit 1; }
count=36

# Each picture in a colour of its own, which its output shows in the middle.
for n in $(seq 1 $count); do
  convert -size 48x48 "xc:rgb($((n * 7)),$((255 - n * 5)),90)" "in/p$n.ppm"
done
stamp() { "$cli" --format png --set resize_check=false --set wtrmark_edit=J "$@"; }
shard() { stamp --jobs 2 --journal journal -o out in; }

RANDOM=$$
runs=0
while :; do
  shard >lines 2>errors &
  pid=$!
  # Late enough for a few pictures, later as the runs go on: a slow machine
  # gets there too.
  ms=$((RANDOM % (150 + runs * 20) + 100))
  sleep "$((ms / 1000)).$(printf '%03d' $((ms % 1000)))"
  if [ $((RANDOM % 5)) = 0 ]; then signal=TERM; else signal=KILL; fi
  kill -$signal $pid 2>/dev/null || true
  status=0
  wait $pid || status=$?
  [ $status = 0 ] && break
  [ $status = 137 ] || [ $status = 130 ] || [ $status = 143 ] || fail "exit status $status: $(cat errors)"
  runs=$((runs + 1))
  [ $runs -lt 80 ] || fail "no run ended by itself"
done
echo "$runs interrupted runs"

tab=$(printf '\t')
[ "$(grep -c "^ok$tab" lines)" = $count ] || fail "$(cat lines)"
grep "^ok$tab" journal | cut -f2 | sort >stamped
[ "$(sort -u stamped | wc -l)" = $count ] && [ "$(wc -l <stamped)" = $count ] ||
  fail "stamped more than once: $(uniq -d stamped)"
ls -A out | sed 's|^|out/|' | sort >files
grep "^ok$tab" journal | cut -f3 | sort >named
diff files named >/dev/null || fail "folder and journal differ: $(diff files named)"
while IFS=$tab read -r state source output; do
  [ "$(convert "$source" -format '%[pixel:p{2,2}]' info:)" = \
    "$(convert "$output" -format '%[pixel:p{2,2}]' info:)" ] || fail "$output is not $source"
done <lines

# A damaged picture whose name holds a tab, a newline and a backslash fails,
# is mended, and is retried from the journal: once.
odd="$(printf 'in2/odd\tna\nme\\x.ppm')"
mkdir in2
head -c 20 in/p1.ppm >"$odd"
stamp --journal journal2 -o out in2 >lines2 && fail "a damaged picture was stamped"
grep -q "^failed${tab}in2/odd\\\\tna\\\\nme\\\\\\\\x.ppm$tab" lines2 || fail "$(cat lines2)"
cp in/p1.ppm "$odd"
for round in 1 2; do
  stamp --retry --journal retry -o out journal*[0-9] - <lines2 >lines3 || fail "retry $round"
done
[ "$(wc -l <lines3)" = 1 ] && [ "$(find out -mindepth 1 -printf . | wc -c)" = $((count + 1)) ] ||
  fail "$(ls -A out)"
"$cli" --retry -o out missing.journal 2>/dev/null && fail "a missing journal retried nothing"
echo PASS
