#!/bin/sh
# Installs what is missing, builds, and starts the server (or, with the argument "client", a client).
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
case "${1:-server}" in
    client) exec build/chat-client ;;
    *) exec build/chat-server ;;
esac
