#!/bin/sh
# Installs the Debian packages that the Windows build and its tests under Wine need, when any is
# missing; with all of them present it installs nothing and needs no network.
set -eu

packages="cmake make zip binutils-mingw-w64-x86-64 g++-mingw-w64-x86-64-posix wine wine64 xvfb xdotool googletest"

missing=""
for package in $packages; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    case "$status" in
        *" installed") ;;
        *) missing="$missing $package" ;;
    esac
done
[ -z "$missing" ] && exit 0

run_as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}
echo "Installing:$missing"
export DEBIAN_FRONTEND=noninteractive
run_as_root apt-get update -q
# shellcheck disable=SC2086
run_as_root apt-get install -y -q --no-install-recommends $missing
