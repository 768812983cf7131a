#!/usr/bin/env bash
# Packaging checks run by ctest.
#   check-package.sh install BUILD   an install into an empty DESTDIR holds
#                                    exactly the expected files, and make
#                                    uninstall removes them all
#   check-package.sh deb BUILD VERSION
#                                    cpack's .deb is named quillmere_VERSION_
#                                    <arch>.deb, holds the same files, has
#                                    the expected control fields and a
#                                    hardened program
set -euo pipefail
usage="usage: check-package.sh install BUILD | deb BUILD VERSION"
mode=${1:?$usage}
build=$(cd "${2:?$usage}" && pwd)
source=$(cd "$(dirname "$0")/.." && pwd)

expected() {
    cat <<'LIST'
./usr/bin/quillmere
./usr/share/applications/com.dranvik.Quillmere.desktop
./usr/share/doc/quillmere/changelog.gz
./usr/share/doc/quillmere/copyright
./usr/share/icons/hicolor/256x256/apps/com.dranvik.Quillmere.png
./usr/share/icons/hicolor/48x48/apps/com.dranvik.Quillmere.png
./usr/share/icons/hicolor/scalable/apps/com.dranvik.Quillmere.svg
./usr/share/man/man1/quillmere.1.gz
./usr/share/metainfo/com.dranvik.Quillmere.metainfo.xml
LIST
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ "$mode" = install ]; then
    DESTDIR="$work/root" cmake --install "$build" --prefix /usr >/dev/null
    diff -u <(expected) <(cd "$work/root" && find . ! -type d | sort)
    make -s -C "$source" uninstall BUILD="$build" PREFIX=/usr DESTDIR="$work/root" >/dev/null
    left=$(cd "$work/root" && find . ! -type d)
    [ -z "$left" ] || { echo "make uninstall left: $left" >&2; exit 1; }
    echo "install: $(expected | wc -l) files, as expected; make uninstall removes them"
    exit 0
fi

[ "$mode" = deb ] || { echo "unknown mode $mode" >&2; exit 2; }
version=${3:?$usage}
deb="$work/quillmere_${version}_$(dpkg --print-architecture).deb"
cpack --config "$build/CPackConfig.cmake" -B "$work" >/dev/null
[ -f "$deb" ] || { echo "no $(basename "$deb"); cpack made:" "$work"/*.deb >&2; exit 1; }
diff -u <(expected) <(dpkg-deb --contents "$deb" | awk '{ print $6 }' | grep -v '/$' | sort)

field() { dpkg-deb --field "$deb" "$1"; }
failed=0
check() {  # check FIELD DESCRIPTION COMMAND...: COMMAND gets the field's value
    local name=$1 what=$2 value
    shift 2
    value=$(field "$name")
    if ! "$@" "$value"; then
        echo "$name: expected $what, got: $value" >&2
        failed=1
    fi
}
is() { [ "$2" = "$1" ]; }
matches() { [[ $2 =~ $1 ]]; }
first_line_is() { [ "${2%%$'\n'*}" = "$1" ]; }
summary=$(sed -n 's:.*<summary>\(.*\)</summary>.*:\1:p' "$source/data/com.dranvik.Quillmere.metainfo.xml")
check Package "quillmere" is quillmere
check Version "$version" is "$version"
check Section "utils" is utils
check Maintainer "a name and an address" matches '^[^<]+ <[^@>]+@[^>]+>$'
check Depends "fonts-liberation" matches '(^|, )fonts-liberation(,|$)'
check Depends "the Qt libraries found by dpkg-shlibdeps" matches '(^|, )libqt6widgets6 \(>= '
check Description "the metainfo's summary first" first_line_is "$summary"
check Description "a longer description after it" matches $'\n .+'
# Built with Debian's hardening flags and stripped as Debian strips: relocations bound at start,
# fortified functions, no compiler notes (what lintian checks as hardening-no-bindnow,
# hardening-no-fortify-functions and binary-has-unneeded-section).
dpkg-deb -x "$deb" "$work/unpacked"
program="$work/unpacked/usr/bin/quillmere"
# grep reads to the end (no -q): under pipefail, a grep that stops at the first match can leave
# the command before it killed by SIGPIPE, and a present match reported as missing.
readelf -d "$program" | grep BIND_NOW >/dev/null ||
    { echo "the program is not bound at start" >&2; failed=1; }
nm -D "$program" | grep -v __stack_chk | grep '__.*_chk' >/dev/null ||
    { echo "the program uses no fortified function" >&2; failed=1; }
if readelf -S -W "$program" | grep -E ' \.(comment|note) ' >/dev/null; then
    echo "the program keeps .comment or .note" >&2
    failed=1
fi
exit $failed
