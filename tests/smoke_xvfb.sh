#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts the real program in a virtual X server, waits for its main window,
# saves a screenshot of the whole screen and ends the program with SIGTERM,
# which must save its options and let it exit as a confirmed close does.
#
# The program asks the maker's site for updates as it starts; the test must
# never reach the internet, so it runs without a network.
set -euo pipefail
binary=$1
shot=$2
title="Tarvelo (Version 2.8.0)"

if [ -z "${SMOKE_OFFLINE:-}" ]; then
    # A network namespace of its own has only a loopback interface, and that
    # is down: nothing can leave it. Root can make one, other users where
    # user namespaces are allowed.
    for isolate in "unshare --net" "unshare --map-root-user --net"; do
        if $isolate true 2>/dev/null; then
            SMOKE_OFFLINE="in a network namespace of its own" exec $isolate "$0" "$@"
        fi
    done
    # Without namespaces every request goes to an HTTP proxy on a closed
    # port of this machine (Qt honours http_proxy), which refuses it at once.
    port=9
    while (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; do port=$((port + 1)); done
    export http_proxy="http://127.0.0.1:$port"
    export https_proxy=$http_proxy all_proxy=$http_proxy HTTP_PROXY=$http_proxy HTTPS_PROXY=$http_proxy
    unset no_proxy NO_PROXY
    export SMOKE_OFFLINE="with requests sent to the closed port 127.0.0.1:$port"
fi

if [ -z "${SMOKE_INSIDE_XVFB:-}" ]; then
    export SMOKE_INSIDE_XVFB=1
    exec xvfb-run -a -s "-screen 0 1920x1080x24" "$0" "$@"
fi

unset QT_QPA_PLATFORM
store="${XDG_CONFIG_HOME:?}/Dovrin Halsek/Tarvelo.conf"
rm -f "$store"
"$binary" &
pid=$!
trap 'kill "$pid" 2>/dev/null || true' EXIT

found=""
for _ in $(seq 1 600); do
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
echo "window \"$title\" found ($SMOKE_OFFLINE); screenshot saved to $shot"
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
trap - EXIT
[ "$status" -eq 0 ] || { echo "tarvelo exited with $status after SIGTERM" >&2; exit 1; }
grep -q '^wtrmark_edit=' "$store" 2>/dev/null \
    || { echo "SIGTERM did not save the options into $store" >&2; exit 1; }
echo "SIGTERM saved the options and ended the program"
