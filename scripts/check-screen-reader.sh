#!/bin/sh
# What a screen reader hears of the real window, under Xvfb through AT-SPI (scripts/try-window.py):
# files and a folder given on the command line are queued once the window shows, in order; a run
# is heard to start and end (the window's busy state) and its new title is heard.
# Usage: scripts/check-screen-reader.sh BUILD/quillmere
set -eu
program=${1:?usage: check-screen-reader.sh BUILD/quillmere}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/site"
# Enough pages for a run that lasts a moment.
i=0
while [ $i -lt 500 ]; do echo "cat $i" >"$work/site/p$i.htm"; i=$((i + 1)); done
echo cat >"$work/first.txt"
# No window manager: what is heard does not depend on one.
"$here/try-window.py" --program "$program" --no-frame --arg "$work/first.txt" --arg "$work/site" \
    listen:object:state-changed:busy,object:property-change:accessible-name \
    sleep:2 rows heard click:"Replace Text" sleep:5 heard rows >"$work/out"
rows=$(grep -c "	" "$work/out")
first=$(grep -m1 "	" "$work/out")
heard=$(grep "^object:" "$work/out" | cut -d" " -f1,2 | tr '\n' ' ')
expected="object:state-changed:busy 1 object:state-changed:busy 0 object:property-change:accessible-name 0 "
failed=0
[ "$rows" = 1002 ] || { echo "expected 2 x 501 rows, saw $rows" >&2; failed=1; }
[ "$first" = "$work/first.txt	Queued" ] || { echo "first row: $first" >&2; failed=1; }
[ "$(grep -c "	Done$" "$work/out")" = 501 ] || { echo "not every row done" >&2; failed=1; }
[ "$heard" = "$expected" ] || { printf 'heard: %s\nexpected: %s\n' "$heard" "$expected" >&2; failed=1; }
[ $failed = 0 ] && echo "screen reader: the queue as given, the run's start, end and title heard"
exit $failed
