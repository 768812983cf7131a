#!/bin/sh
# `./make TARGET...` is make, on a machine that may not have it yet (a fresh Debian): make is
# installed first, with what the targets need, and then runs the Makefile.
set -eu
cd "$(dirname "$0")"
command -v make >/dev/null 2>&1 || scripts/need-packages.sh make build "$@"
exec make "$@"
