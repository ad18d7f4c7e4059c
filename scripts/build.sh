#!/bin/sh
# Builds the programs into build/ (chat-server, chat-client, chat-bench and the tests).
set -eu
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
