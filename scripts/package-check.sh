#!/bin/sh
# Builds the Debian package and checks it the way an operator meets it: lintian finds no error;
# installed with dpkg, the programs are on the PATH with their manual pages; chat-server from the PATH
# runs with its input at an end and its output to a pipe (as the service runs it), lets a chat-client
# from the PATH join and chat, and ends on SIGTERM; the installed unit passes systemd-analyze verify,
# scores 2.0 or lower in systemd-analyze security and is not enabled; dpkg -r takes it all away again.
# The programs run in private network and process namespaces, so UDP port 42069 of the machine is
# never touched and nothing they start outlives the check.
# The package is installed in this machine's own root, as root (through sudo for another user), and is
# always removed at the end; when lobby-chat is installed already, only the build and lintian run.
#   scripts/package-check.sh
set -eu
cd "$(dirname "$0")/.."
started=$(date +%s)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}
fail() {
    echo "package-check: $*"
    exit 1
}

scripts/package.sh >/dev/null
deb=$(ls build/package/*.deb)
echo "package-check: built $deb"
# Every tag down to the pedantic ones is shown, overridden ones with the reason; only errors fail.
lint=0
report=$(lintian --fail-on error --display-info --pedantic --show-overrides "$deb" 2>&1) || lint=1
echo "$report" | grep -v 'running with root privileges' || true
[ "$lint" -eq 0 ] || fail "lintian reports errors"
echo "package-check: lintian reports no errors"

if dpkg-query -W -f='${Status}' lobby-chat 2>/dev/null | grep -q ' installed$'; then
    echo "package-check: lobby-chat is installed on this machine already; not installing over it"
    exit 0
fi

work=$(mktemp -d /tmp/lobby-chat-check-XXXXXX)
cleanup() {
    status=$?
    case "$(dpkg-query -W -f='${db:Status-Status}' lobby-chat 2>/dev/null || true)" in
    installed | config-files | unpacked | half-*) as_root dpkg --purge lobby-chat >/dev/null || status=1 ;;
    esac
    as_root rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

as_root dpkg -i "$deb" >/dev/null
for program in chat-server chat-client chat-bench; do
    [ "$(command -v "$program")" = "/usr/bin/$program" ] || fail "$program is not on the PATH"
done
man -w chat-server chat-client chat-bench || fail "a manual page is missing"

# The server as the service runs it: input from /dev/null, output into a pipe, an unprivileged user
# without capabilities. A client joins through loopback, says hello and leaves with Esc; then SIGTERM
# ends the server.
cat >"$work/run.sh" <<'END'
set -u
ip link set lo up
cd "$1"
mkfifo console
cat console >server.log &
setpriv --reuid=nobody --regid=nogroup --clear-groups --inh-caps=-all --bounding-set=-all --no-new-privs \
    chat-server </dev/null >console 2>&1 &
server=$!
for i in $(seq 50); do grep -q 'Server Running' server.log && break; sleep 0.1; done
(printf '\r'; sleep 1; printf 'hello from the package\r'; sleep 1; printf '\033') | chat-client >client.log 2>&1
echo "client status $?"
sleep 0.5
kill -0 "$server" 2>/dev/null || { echo "chat-server ended by itself"; exit 1; }
kill -TERM "$server"
wait "$server"
echo "server status $?"
wait
END
as_root unshare --net --pid --fork sh "$work/run.sh" "$work" >"$work/run.out" 2>&1 || {
    cat "$work/run.out" "$work/server.log"
    fail "the installed programs did not run as expected"
}
grep -q '^client status 0$' "$work/run.out" || { cat "$work/run.out"; fail "chat-client did not end with status 0"; }
# 143: ended by SIGTERM, which systemd counts as a clean stop.
grep -q '^server status 143$' "$work/run.out" || { cat "$work/run.out"; fail "chat-server did not end by SIGTERM"; }
for line in 'Server Running.' 'Cli0 connected from 16777343:' 'SAY Anonymous0 hello from the package' \
    'Cli0 disconnected.'; do
    grep -q "$line" "$work/server.log" || { cat "$work/server.log"; fail "the server's log lacks: $line"; }
done
grep -q 'Now connected' "$work/client.log" || { cat "$work/client.log"; fail "the client never connected"; }
echo "package-check: chat-server and chat-client from the PATH chatted over loopback; SIGTERM ended the server"

unit=/lib/systemd/system/chat-server.service
[ -f "$unit" ] || fail "$unit is not installed"
# verify ends with 0 after mere warnings (an unknown key, say): any word from it is a failure here.
verify=$(systemd-analyze verify "$unit" 2>&1) || { echo "$verify"; fail "systemd-analyze verify fails"; }
[ -z "$verify" ] || { echo "$verify"; fail "systemd-analyze verify warns"; }
# The threshold is on a scale of 100; the exposure level printed is that figure divided by 10.
security=$(systemd-analyze security --offline=true --threshold=20 "$unit" 2>&1) || {
    echo "$security"
    fail "exposure above 2.0"
}
echo "$security" | tail -n 1
enabled=$(systemctl --root=/ is-enabled chat-server.service 2>/dev/null || true)
[ "$enabled" = disabled ] || fail "chat-server.service is '$enabled' after installation, not disabled"
echo "package-check: unit verified; not enabled"

as_root dpkg -r lobby-chat >/dev/null
if [ -e /usr/bin/chat-server ] || [ -e "$unit" ]; then fail "dpkg -r left files behind"; fi
as_root dpkg --purge lobby-chat >/dev/null
echo "package-check: removed again; $(($(date +%s) - started)) s in all"
