#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts the real program in a virtual X server, waits for its main window,
# saves a screenshot of the whole screen and ends the program with SIGTERM,
# which must save its options and let it exit as a confirmed close does.
#
# The program would ask the maker's site for updates as it starts; the test
# must never reach the internet, so its settings turn the check off.
set -euo pipefail
binary=$1
shot=$2
title="Tarvelo (Version 2.8.0)"

if [ -z "${SMOKE_INSIDE_XVFB:-}" ]; then
    export SMOKE_INSIDE_XVFB=1
    exec xvfb-run -a -s "-screen 0 1920x1080x24" "$0" "$@"
fi

unset QT_QPA_PLATFORM
store="${XDG_CONFIG_HOME:?}/Dovrin Halsek/Tarvelo.conf"
mkdir -p "${store%/*}"
printf '[General]\nupdate_check=false\n' > "$store"
"$binary" &
pid=$!
trap 'kill "$pid" 2>/dev/null || true' EXIT

fail() { echo "$*" >&2; exit 1; }
shown() { xwininfo -root -tree 2>/dev/null | grep -qF "\"$title\""; }
for _ in $(seq 1 600); do
    kill -0 "$pid" 2>/dev/null || fail "tarvelo exited before showing its window"
    shown && break
    sleep 0.1
done
shown || fail "no window titled \"$title\" appeared"

sleep 1 # let the first paint finish before the screenshot
import -window root "$shot"
[ -s "$shot" ] || fail "screenshot $shot is empty"
echo "window \"$title\" found; screenshot saved to $shot"
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
trap - EXIT
[ "$status" -eq 0 ] || fail "tarvelo exited with $status after SIGTERM"
grep -q '^wtrmark_edit=' "$store" 2>/dev/null && grep -qx 'update_check=false' "$store" \
    || fail "SIGTERM did not save the options, the update check's among them, into $store"
echo "SIGTERM saved the options and ended the program"
