#!/bin/sh
# The Windows leg: cross-builds (scripts/build-windows.sh), then under Wine runs the portable unit tests
# through CTest and the Windows programs' own tests in wineconsole under Xvfb, together with the Linux
# programs from build/. Wine is not Windows: these tests stand in for a real Windows machine.
set -eu
cd "$(dirname "$0")/.."
jobs=${CHAT_JOBS:-2}
scripts/setup.sh
scripts/build-windows.sh >/dev/null
cmake --build build-windows -j "$jobs"
cmake -S . -B build >/dev/null
cmake --build build -j "$jobs" --target chat-server chat-client

work=$(mktemp -d /tmp/chat-windows.XXXXXX)
xvfb=""
cleanup() {
    WINEPREFIX=$work/prefix wineserver -k 2>/dev/null || true
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

# A display of its own: Wine must see DISPLAY before the first process of its prefix starts, or
# wineconsole finds no driver.
for display in $(seq 90 140); do
    if [ ! -e "/tmp/.X11-unix/X$display" ] && [ ! -e "/tmp/.X$display-lock" ]; then
        Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        xvfb=$!
        break
    fi
done
# No Mono or Gecko: the prefix is made offline, without asking.
export DISPLAY=":$display" WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
wineboot -i >/dev/null 2>&1

(cd build-windows && ctest --output-on-failure -j "$jobs" --timeout 120)
tests/win32/chat_under_wine.sh build-windows build
echo "Windows leg passed."
