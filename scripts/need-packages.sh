#!/bin/sh
# Installs what the given make targets need (scripts/packages) and the machine lacks: as root
# directly, otherwise through sudo for a user who may use it. Anyone else is told, in one line,
# what to install. A machine that has everything is not touched (and needs no network).
# Usage: scripts/need-packages.sh TARGET...   (targets without a line need nothing more)
set -eu
list=$(dirname "$0")/packages
missing=
for target in "$@"; do
    for package in $(sed -n "s/^$target: *//p" "$list"); do
        case " $missing " in *" $package "*) continue ;; esac
        dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q 'ok installed' ||
            missing="$missing $package"
    done
done
[ -n "$missing" ] || exit 0
if [ "$(id -u)" = 0 ]; then
    sudo=
elif command -v sudo >/dev/null 2>&1 &&
    { sudo -n true 2>/dev/null || id -nG | tr ' ' '\n' | grep -qx -e sudo -e admin; }; then
    sudo=sudo
else
    echo "Quillmere needs Debian packages that only root can install: apt-get install --no-install-recommends$missing" >&2
    exit 1
fi
echo "Installing:$missing"
$sudo apt-get update -qq
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing
