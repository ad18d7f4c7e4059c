#!/bin/sh
# Builds the Debian package lobby-chat into build/package/: the three programs, their manual pages,
# the README and docs, the copyright file and the server's systemd unit, all under /usr but the unit,
# which goes to /lib/systemd/system where Debian packages keep their units. debhelper builds it from a
# copy of the source tree in build/package/src, so that dpkg-buildpackage leaves its results in
# build/package/ and nothing outside the project.
#   scripts/package.sh        -> build/package/lobby-chat_<version>_<arch>.deb
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh

out=build/package
rm -rf "$out"
mkdir -p "$out/src"
# The sources only: no build trees, no git data, no fuzzing corpora.
tar -cf - --exclude=./.git --exclude='./build*' --exclude=./fuzz . | tar -C "$out/src" -xf -

(cd "$out/src" && dpkg-buildpackage --build=binary --no-sign --jobs-try=auto >../build.log 2>&1) || {
    tail -n 40 "$out/build.log"
    echo "package.sh: dpkg-buildpackage failed (log: $out/build.log)"
    exit 1
}
rm -rf "$out/src"

count=$(find "$out" -maxdepth 1 -name '*.deb' | wc -l)
if [ "$count" -ne 1 ]; then
    echo "package.sh: expected one .deb in $out, found $count"
    exit 1
fi
ls "$out"/*.deb
