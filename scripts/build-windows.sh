#!/bin/sh
# Cross-builds the Windows programs with MinGW-w64 into build-windows/: chat-server.exe and
# chat-client.exe, statically linked (no DLL beside them), and lobby-chat-<version>-win64.zip holding
# both, a README for Windows users and ENet's licence. Installs the Debian packages it needs when any is
# missing, and nothing when all are there, so that it builds offline.
set -eu
cd "$(dirname "$0")/.."
scripts/windows-packages.sh
jobs=${CHAT_JOBS:-2}

cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-windows -j "$jobs" --target chat-server chat-client

version=$(sed -n '1s/^[^(]*(\([^)]*\)).*/\1/p' debian/changelog)
name=lobby-chat-$version-win64
stage=build-windows/zip/$name
rm -rf build-windows/zip "build-windows/$name.zip"
mkdir -p "$stage"
for program in chat-server chat-client; do
    x86_64-w64-mingw32-strip -o "$stage/$program.exe" "build-windows/$program.exe"
done
# Windows' own editors expect CRLF line ends.
sed 's/$/\r/' docs/windows/README.txt > "$stage/README.txt"
sed 's/$/\r/' third_party/enet/LICENSE > "$stage/ENET-LICENSE.txt"
(cd build-windows/zip && zip -q -r -X "../$name.zip" "$name")
echo "build-windows/$name.zip"
