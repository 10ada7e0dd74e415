#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# tarvelo-cli as scripts and clusters run it, with no display: two shards of
# one list run by GNU parallel into one folder, and a SIGTERM mid-run.
# Usage: cli_scale.sh path/to/tarvelo-cli
set -eu
cli=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir a b shared in stopped
unset DISPLAY
export XDG_CONFIG_HOME="$work/config" # the first-run options, with a text given
fail() { echo "FAIL: $*"; exit 1; }

# Both shards hold p0..p3.png, each picture in a colour of its own.
for n in 0 1 2 3; do
  convert -size 64x64 "xc:rgb($((n * 60)),200,40)" "a/p$n.png"
  convert -size 64x64 "xc:rgb(40,$((n * 60)),200)" "b/p$n.png"
done
ls a/*.png b/*.png | parallel --will-cite --pipe -N4 -j2 "$cli" --set wtrmark_edit=Shard --format png -o shared - >lines
[ "$(wc -l <lines)" = 8 ] || fail "$(cat lines)"
[ "$(ls shared | wc -l)" = 8 ] || fail "$(ls shared)"
tab=$(printf '\t')
while IFS=$tab read -r state source output; do
  [ "$state" = ok ] || fail "$source: $output"
  [ "$(convert "$source" -alpha off -format '%[pixel:p{32,32}]' info:)" = \
    "$(convert "$output" -alpha off -format '%[pixel:p{960,960}]' info:)" ] || fail "$output is not $source"
done <lines

# SIGTERM after the first picture: the files written are whole, and each is
# reported; nothing else is left in the folder.
convert -size 900x700 gradient:red-blue in/p1.png
for n in $(seq 2 24); do cp in/p1.png "in/p$n.png"; done
"$cli" --set wtrmark_edit=Stop --format tif --jobs 1 -o stopped in >reported &
pid=$!
while [ ! -s reported ]; do sleep 0.05; done
kill -TERM $pid
status=0
wait $pid || status=$?
[ $status = 130 ] || fail "exit status $status after SIGTERM"
count=$(wc -l <reported)
[ "$count" -lt 24 ] && [ "$(ls stopped | wc -l)" = "$count" ] || fail "$(ls stopped)"
[ "$(md5sum stopped/* | cut -d' ' -f1 | sort -u | wc -l)" = 1 ] || fail "outputs differ"
convert "$(ls stopped/* | head -1)" -format '%w' info: | grep -qx 1920 || fail "output damaged"
echo "PASS"
