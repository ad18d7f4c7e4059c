#!/bin/sh
# Installs the Debian packages that the Windows build and its tests under Wine need, when any is
# missing; with all of them present it installs nothing and needs no network.
set -eu
exec "$(dirname "$0")/setup.sh" cmake make zip binutils-mingw-w64-x86-64 g++-mingw-w64-x86-64-posix \
    wine wine64 xvfb xdotool googletest
