#!/usr/bin/env bash
# Starts the real program in a virtual X server, waits for its main window,
# saves a screenshot of the whole screen and ends the program.
set -euo pipefail
binary=$1
shot=$2
title="Tarvelo (Version 2.8.0)"

if [ -z "${SMOKE_INSIDE_XVFB:-}" ]; then
    export SMOKE_INSIDE_XVFB=1
    exec xvfb-run -a -s "-screen 0 1920x1080x24" "$0" "$@"
fi

unset QT_QPA_PLATFORM
"$binary" &
pid=$!
trap 'kill "$pid" 2>/dev/null || true' EXIT

found=""
for _ in $(seq 1 200); do
    if ! kill -0 "$pid" 2>/dev/null; then
        echo "tarvelo exited before showing its window" >&2
        exit 1
    fi
    if xwininfo -root -tree 2>/dev/null | grep -F "\"$title\"" >/dev/null; then
        found=yes
        break
    fi
    sleep 0.1
done
if [ -z "$found" ]; then
    echo "no window titled \"$title\" appeared" >&2
    exit 1
fi

sleep 1 # let the first paint finish before the screenshot
import -window root "$shot"
[ -s "$shot" ] || { echo "screenshot $shot is empty" >&2; exit 1; }
echo "window \"$title\" found; screenshot saved to $shot"
kill "$pid"
wait "$pid" 2>/dev/null || true
trap - EXIT
