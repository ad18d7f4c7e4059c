#!/bin/sh
# Runs the hostile-network suites (hostile_network_test and hostile_limits_test) with their chat-server under valgrind's memcheck, then reads every server's
# valgrind log: the run passes only when each server ended normally and reported no invalid access, no use
# of uninitialised memory and no definitely lost bytes. The suite's waits are stretched tenfold.
#   scripts/valgrind-hostile.sh [GTEST_FILTER]      (BUILD_DIR=build by default)
set -eu
cd "$(dirname "$0")/.."
build="${BUILD_DIR:-build}"
scripts/setup.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCHAT_SANITIZE=OFF >/dev/null
cmake --build "$build" --target chat-server hostile_network_test hostile_limits_test -j "$(nproc)"

logs=$(mktemp -d /tmp/chat-valgrind-XXXXXX)
suite=0
for suite_program in hostile_network_test hostile_limits_test; do
    CHAT_HOSTILE_WRAPPER="valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite \
--errors-for-leak-kinds=definite --log-file=$logs/server-%p.log" \
        "$build/$suite_program" --gtest_filter="${1:-*}" || suite=1
done

status=0
count=0
for log in "$logs"/server-*.log; do
    [ -e "$log" ] || continue
    count=$((count + 1))
    summary=$(grep -h 'ERROR SUMMARY' "$log" || true)
    lost=$(grep -h 'definitely lost:' "$log" || echo "definitely lost: 0 bytes (all heap blocks freed)")
    echo "$(basename "$log"): ${summary#==*== } | ${lost#==*== }"
    case "$summary" in
        *"ERROR SUMMARY: 0 errors"*) ;;
        *) status=1; echo "  valgrind reported errors, or the server did not end normally: see $log" ;;
    esac
done
if [ "$count" -eq 0 ]; then
    echo "No server ran under valgrind."
    status=1
fi
if [ "$suite" -ne 0 ]; then
    echo "A hostile-network suite failed under valgrind."
    status=1
fi
[ "$status" -eq 0 ] && echo "valgrind: $count servers, no invalid access, no definitely lost bytes (logs in $logs)"
exit "$status"
