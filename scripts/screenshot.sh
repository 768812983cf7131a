#!/usr/bin/env bash
# Renders the real main window under Xvfb, with a few queued rows, to a PNG.
# Usage: scripts/screenshot.sh BUILD/quillmere docs/screenshot.png
# The window is shown by screenshot_window (scripts/screenshot_window.cpp, built
# as BUILD/tests/screenshot_window), which links the same window library and
# only fills in the queue and texts.
set -euo pipefail

program=${1:?usage: screenshot.sh BUILD/quillmere OUTPUT.png}
output=${2:?usage: screenshot.sh BUILD/quillmere OUTPUT.png}
build=$(dirname "$program")
shower="$build/tests/screenshot_window"
cmake --build "$build" --target screenshot_window >/dev/null

work=$(mktemp -d)
xvfb_pid=
shower_pid=
cleanup() {
    [ -n "$shower_pid" ] && kill "$shower_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# A free display number: the first without a lock file.
display=99
while [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do
    DISPLAY=":$display" xdpyinfo >/dev/null 2>&1 && break
    sleep 0.1
done

# A settings folder of its own, so that the user's option is not touched.
DISPLAY=":$display" XDG_CONFIG_HOME="$work" QT_QPA_PLATFORM=xcb "$shower" &
shower_pid=$!
window=$(DISPLAY=":$display" timeout 20 xdotool search --sync --onlyvisible --name '^Quillmere$' | head -n 1)
# Give the window one moment to paint after it is mapped.
sleep 1
mkdir -p "$(dirname "$output")"
DISPLAY=":$display" import -window "$window" "$output"
echo "wrote $output ($(/usr/bin/identify -format '%wx%h' "$output"))"
