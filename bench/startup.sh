#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Start-up to a visible window: the real program started in a virtual X
# server, timed from the start until its main window is mapped (xwininfo
# finds it viewable), five times; prints each time and the median.
set -euo pipefail
binary=$1
title="Tarvelo (Version 2.8.0)"
# No network: the update check must not wait for, nor reach, the internet.
if [ -z "${STARTUP_OFFLINE:-}" ] && unshare --net true 2>/dev/null; then
    STARTUP_OFFLINE=1 exec unshare --net "$0" "$@"
fi
if [ -z "${STARTUP_INSIDE_XVFB:-}" ]; then
    export STARTUP_INSIDE_XVFB=1
    exec xvfb-run -a -s "-screen 0 1920x1080x24" "$0" "$@"
fi
unset QT_QPA_PLATFORM
export XDG_CONFIG_HOME=$(mktemp -d)
trap 'rm -rf "$XDG_CONFIG_HOME"' EXIT
"$binary" & pid=$!; sleep 2; kill "$pid"; wait "$pid" 2>/dev/null || true # caches warm
times=()
for run in 1 2 3 4 5; do
    start=$(date +%s%N)
    "$binary" & pid=$!
    until xwininfo -name "$title" 2>/dev/null | grep -q "IsViewable"; do
        kill -0 "$pid" 2>/dev/null || { echo "tarvelo ended before showing its window" >&2; exit 1; }
    done
    end=$(date +%s%N)
    kill "$pid"; wait "$pid" 2>/dev/null || true
    times+=($(( (end - start) / 1000000 )))
done
sorted=($(printf '%s\n' "${times[@]}" | sort -n))
echo "start-up to a visible window: ${times[*]} ms; median ${sorted[2]} ms"
