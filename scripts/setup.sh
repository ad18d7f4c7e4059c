#!/bin/sh
# Installs the Debian packages the project builds and tests with, when any is missing; with all of them
# present it installs nothing and needs no network. Given package names, it sees to those instead.
#   scripts/setup.sh [PACKAGE ...]
set -eu

# dpkg-dev, debhelper and lintian build and check the package; man-db, systemd and iproute2 check it installed.
# strace and linux-perf (perf) are for the profiling commands in docs/performance.md.
# kitty, xfce4-terminal (VTE) and xterm are the real terminals of tests/x_terminal_test.cpp, under Xvfb with
# Mesa's software GL (libgl1-mesa-dri), keys sent by xdotool, VTE's screen read through xclip, Num Lock by xset.
packages="build-essential cmake pkg-config libenet-dev libgtest-dev libvterm-dev tmux valgrind clang libclang-rt-dev procps
    dpkg-dev debhelper lintian man-db systemd iproute2 strace linux-perf
    kitty xfce4-terminal xterm libgl1-mesa-dri xvfb xdotool xclip x11-xserver-utils"
[ $# -gt 0 ] && packages="$*"

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
