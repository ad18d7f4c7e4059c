#!/bin/sh
# Installs what is missing, builds, and runs every test: the suite in a normal build, the suite again
# under AddressSanitizer and UndefinedBehaviorSanitizer, the Debian package (built, linted, installed,
# run, removed), the Windows leg under Wine, and a short smoke of each fuzzer.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=$(nproc)

scripts/build.sh
(cd build && ctest --output-on-failure -j "$jobs" --timeout 300)

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DCHAT_SANITIZE=ON >/dev/null
cmake --build build-asan -j "$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --output-on-failure -j "$jobs" --timeout 600)

scripts/package-check.sh

# The Windows build under Wine.
scripts/test-windows.sh

if [ -x scripts/fuzz.sh ]; then
    scripts/fuzz.sh 20
fi
echo "All tests passed."
