#!/bin/bash
# The Windows programs under Wine, as a person meets them, with the Linux programs on the same loopback:
#  0. The output rules in a console's cells: the output probe's screen, read back with its colours.
#  1. chat-server.exe with a Linux chat-client and chat-client.exe: each sees the other's line, the
#     sender's name in colour 15 and the text in colour 7; the typed line on row 25 in colour 2. A typed
#     euro sign, which code page 437 lacks, reaches the other client as '?' from either form.
#  2. Held Esc ends chat-client.exe only while its console window is in front; it ends with status 0.
#  3. 400 lines through the full console buffer: chat-client.exe and chat-server.exe show the last ones
#     in order, the client's input row and the server's "Hit any key." below them. chat-server.exe: Esc
#     stops it, "Hit any key.", a key ends it with status 0.
#  4. The Linux chat-server with chat-client.exe and a Linux chat-client: the same exchange. With the
#     port taken chat-server.exe ends with status 1: in a console of its own after "Hit any key." and a
#     key, from a shell that owns the console at once. After "chcp 65001", accents pass both ways
#     between chat-client.exe and a Linux chatter; after it ends, the console's code pages and colours
#     are the user's again.
#  5. Ctrl+C at the prompt ends chat-client.exe at once (the system's default).
# The Windows programs run in wineconsole under Xvfb; keys come from xdotool, and their consoles are
# read back cell by cell (characters and colours) by console_reader.exe. The Linux client runs in tmux.
# Usage: chat_under_wine.sh BUILD_WINDOWS_DIR BUILD_LINUX_DIR, with DISPLAY and WINEPREFIX set
# (scripts/test-windows.sh sets them).
set -u
win=$(cd "$1" && pwd)
linux=$(cd "$2" && pwd)
work=$(mktemp -d /tmp/chat-wine.XXXXXX)
tmux_socket=chat-wine-$$
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# The Wine prefix and the X display (Xvfb) are the caller's: DISPLAY and WINEPREFIX.
cleanup() {
    tmux -L "$tmux_socket" kill-server 2>/dev/null
    wineserver -k 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# Waits until a command's output matches a pattern (grep -E), at most the given seconds.
await() {
    local seconds=$1 pattern=$2; shift 2
    local end=$((SECONDS + seconds))
    while [ $SECONDS -lt $end ]; do
        "$@" 2>/dev/null | grep -qE -- "$pattern" && return 0
        sleep 0.2
    done
    return 1
}

screen_of() { wine "$win/console_reader.exe" "$1"; }
pane() { tmux -L "$tmux_socket" capture-pane -p -e -t "$1"; }

# Prints the X window whose name holds the text once there is one, at most after 10 s.
window_named() {
    local window=""
    for _ in $(seq 100); do
        window=$(xdotool search --name "$1" 2>/dev/null | head -1)
        [ -n "$window" ] && break
        sleep 0.1
    done
    echo "$window"
}

# Starts a program in wineconsole, its exit status to a file; prints the X window once it is there.
start_console() {
    local exe=$1
    (cd "$win" && wineconsole "$exe"; echo $? > "$work/$exe.status") >/dev/null 2>&1 &
    window_named "$exe"
}

# Raised (no window manager runs) and clicked into, the window becomes Wine's foreground window; keys
# then go to it.
bring_to_front() {
    xdotool windowraise "$1"
    xdotool mousemove --window "$1" 40 40 click 1
    sleep 0.3
}

status_of() {
    local exe=$1
    for _ in $(seq 50); do
        [ -s "$work/$exe.status" ] && { cat "$work/$exe.status"; return; }
        sleep 0.1
    done
    echo none
}

# The row of a console dump that holds a text, and that row's colour digits under it.
colours_under() {
    local dump=$1 text=$2
    awk -v t="$text" 'index($0, t) { split($0, p, "|"); i = index(p[1], t);
                      print substr(p[2], i, length(t)); exit }' <<<"$dump"
}

# Both clients type a line; each must see the other's line, sender in 15, text in 7.
exchange() {
    local label=$1 client_window=$2
    bring_to_front "$client_window"
    xdotool type --delay 20 "127.0.0.x"   # edited at the prompt: x erased, 1 typed
    xdotool key BackSpace type 1
    xdotool key Return
    if ! await 10 "Now connected" screen_of chat-client.exe; then fail "$label: chat-client.exe did not connect"; return; fi
    tmux -L "$tmux_socket" new-session -d -s linux -x 80 -y 25 "LC_ALL=C.UTF-8 $linux/chat-client"
    await 10 "Enter ip" pane linux || fail "$label: Linux chat-client gave no prompt"
    tmux -L "$tmux_socket" send-keys -t linux Enter
    await 10 "Now connected" pane linux || fail "$label: Linux chat-client did not connect"
    sleep 0.5
    bring_to_front "$client_window"
    xdotool type --delay 20 "from windows"
    # The euro sign goes in behind the typed keys, once the console has taken them all.
    await 10 "> from windows_" screen_of chat-client.exe
    wine "$win/console_reader.exe" chat-client.exe type " €"
    await 10 "> from windows \\?_" screen_of chat-client.exe
    local dump
    dump=$(screen_of chat-client.exe)
    local typed
    typed=$(sed -n 25p <<<"$dump")
    if [[ "$typed" == "> from windows ?_"* ]] && [ "$(colours_under "$typed" "> from windows ?_")" = "22222222222222222" ]; then
        pass "$label: the typed line stands on row 25 in colour 2"
    else
        fail "$label: row 25 reads: $typed"
    fi
    xdotool key Return
    tmux -L "$tmux_socket" send-keys -t linux "from linux €" Enter
    if await 10 ": from windows \\?" pane linux; then
        # The sender's name in bright white (97 in the pane's escape codes), then the text in light grey.
        if pane linux | grep -qE $'\e\\[97m[A-Za-z0-9]+\e\\[37m: from windows'; then
            pass "$label: the Linux client shows the Windows line in its colours"
        else
            fail "$label: colours of the Windows line on Linux: $(pane linux | grep 'from windows' | cat -v)"
        fi
    else
        fail "$label: the Linux client never showed the Windows line"
    fi
    if await 10 ": from linux" screen_of chat-client.exe; then
        dump=$(screen_of chat-client.exe)
        local row name
        row=$(grep ': from linux' <<<"$dump" | head -1)
        name=${row%%: from linux*}
        local want
        want=$(printf 'f%.0s' $(seq ${#name}))777777777777
        if [ "$(colours_under "$row" "$name: from linux")" = "$want" ]; then
            pass "$label: chat-client.exe shows the Linux line, name in 15, text in 7"
        else
            fail "$label: colours of the Linux line on Windows: $row"
        fi
        grep -q ': from windows ?' <<<"$dump" || fail "$label: chat-client.exe did not get its own line back"
        grep -q ': from linux ?' <<<"$dump" || fail "$label: the euro sign typed on Linux did not arrive as '?'"
    else
        fail "$label: chat-client.exe never showed the Linux line"
    fi
}

# Held Esc counts only while the client's window is in front: with notepad in front nothing happens.
held_esc() {
    local label=$1 client_window=$2
    wine notepad >/dev/null 2>&1 &
    local notepad=$!
    local other
    other=$(window_named Notepad)
    bring_to_front "$other"
    xdotool keydown Escape; sleep 1; xdotool keyup Escape
    sleep 0.3
    if screen_of chat-client.exe >/dev/null; then
        pass "$label: Esc held while another window is in front leaves chat-client.exe running"
    else
        fail "$label: chat-client.exe ended on an Esc held in another window"
    fi
    kill "$notepad"
    bring_to_front "$client_window"
    xdotool keydown Escape; sleep 0.5; xdotool keyup Escape
    local status
    status=$(status_of chat-client.exe)
    [ "$status" = 0 ] && pass "$label: Esc held in its window ends chat-client.exe, status 0" ||
        fail "$label: chat-client.exe status after Esc: $status"
    await 10 "disconnected|left" pane linux >/dev/null
    # The Linux chatter leaves with Esc: its goodbye reaches the server now, not at a time-out later on.
    tmux -L "$tmux_socket" send-keys -t linux Escape
    for _ in $(seq 50); do tmux -L "$tmux_socket" has-session -t linux 2>/dev/null || break; sleep 0.1; done
    tmux -L "$tmux_socket" kill-session -t linux 2>/dev/null
}

# The visible rows of a console dump without their colours and trailing blanks.
rows_of() { head -n -1 <<<"$1" | cut -d'|' -f1 | sed 's/ *$//'; }

# The last rows of the server's trace of chatter $1 saying "line 1" to "line $2": $3 rows.
trace_tail() {
    local name=$1 n=$2 rows=$3 divider
    divider=$(printf '%75s' '' | tr ' ' -)
    for i in $(seq $((n - rows / 3)) "$n"); do
        printf '%s\n' "$divider" "DATA TO SEND:           SAY $name line $i" "DATA ENET WANTS TO SEND:SAY $name line $i"
    done | tail -"$rows"
}

# 400 lines through a console buffer that fills up (Wine's holds 150 rows): chat-client.exe shows the
# last 24 in order with its input row below them, typed into after the flood. The server's trace is
# checked when it stops. Leaves the client running, its window in $flood_window, the sender's name in
# $flood_name.
flood() {
    local client_window
    client_window=$(start_console chat-client.exe)
    flood_window=$client_window
    await 10 "Enter ip to connect to" screen_of chat-client.exe
    bring_to_front "$client_window"
    xdotool key Return
    await 10 "Now connected" screen_of chat-client.exe || fail "flood: chat-client.exe did not connect"
    rm -f "$work/sender.out"
    (cd "$win" && wine line_sender.exe 400 > "$work/sender.out" 2>&1) &
    await 120 "back 400" cat "$work/sender.out" || fail "flood: the sender: $(cat "$work/sender.out")"
    await 30 ": line 400" screen_of chat-client.exe
    bring_to_front "$client_window"
    xdotool type --delay 20 "abc"
    sleep 0.5
    local dump
    dump=$(screen_of chat-client.exe)
    flood_name=$(rows_of "$dump" | sed -n 's/^\(.*\): line 400$/\1/p')
    local want
    want=$(for i in $(seq 377 400); do echo "$flood_name: line $i"; done; echo "> abc_")
    if [ -n "$flood_name" ] && [ "$(rows_of "$dump")" = "$want" ] &&
       [ "$(sed -n 25p <<<"$dump" | cut -d'|' -f2 | cut -c1-6)" = 222222 ]; then
        pass "flood: chat-client.exe shows lines 377 to 400 in order and its input row"
    else
        fail "flood: chat-client.exe shows: $(rows_of "$dump" | sed -n '1p;22,25p')"
    fi
}

# Accents on a console at code page 65001: chat-client.exe, started from a Command Prompt after
# "chcp 65001", and a Linux chatter exchange "é ü ñ" as the same letters (code page 437 bytes on the
# wire and in the console's cells). After chat-client.exe ends, the console is at 65001 again and the
# Command Prompt's next line comes in the console's own colours, those of the prompt.
code_pages() {
    (cd "$win" && wineconsole cmd /k "chcp 65001 >NUL & chat-client.exe & echo back in the shell") >/dev/null 2>&1 &
    local window
    window=$(window_named cmd.exe)
    await 10 "Enter ip to connect to" screen_of chat-client.exe || fail "code pages: chat-client.exe gave no prompt"
    local own
    own=$(colours_under "$(screen_of chat-client.exe)" "Enter ip")
    bring_to_front "$window"
    xdotool key Return
    await 10 "Now connected" screen_of chat-client.exe || fail "code pages: chat-client.exe did not connect"
    tmux -L "$tmux_socket" new-session -d -s linux -x 80 -y 25 "$linux/chat-client"
    await 10 "Enter ip" pane linux && tmux -L "$tmux_socket" send-keys -t linux Enter
    await 10 "Now connected" pane linux || fail "code pages: the Linux chat-client did not connect"
    wine "$win/console_reader.exe" chat-client.exe type $'é ü ñ\r'
    tmux -L "$tmux_socket" send-keys -t linux "ñ ü é" Enter
    await 10 ": é ü ñ" pane linux && pass "code pages: the Linux chatter reads é ü ñ from chat-client.exe" ||
        fail "code pages: the Linux chatter shows: $(pane linux | grep ': ' | tail -2)"
    local accents
    accents=$(printf ': \244 \201 \202')
    await 10 "$accents" screen_of chat-client.exe && pass "code pages: chat-client.exe shows ñ ü é in its cells" ||
        fail "code pages: chat-client.exe shows: $(screen_of chat-client.exe | grep ': ' | tail -2 | od -c | head -5)"
    bring_to_front "$window"
    xdotool keydown Escape; sleep 0.5; xdotool keyup Escape
    await 10 "back in the shell" screen_of cmd.exe
    local state="" row=""
    state=$(wine "$win/console_reader.exe" cmd.exe state)
    row=$(screen_of cmd.exe | grep "back in the shell" | head -1)
    [ "$state" = "code pages 65001 65001 colours 0${own:0:1}" ] &&
        [ "$(colours_under "$row" "back in the shell")" = "$(printf "${own:0:1}%.0s" $(seq 17))" ] &&
        pass "code pages: after chat-client.exe the console is at 65001 again, in its own colours" ||
        fail "code pages: after chat-client.exe: $state; $row"
    xdotool type exit
    xdotool key Return
    tmux -L "$tmux_socket" kill-session -t linux 2>/dev/null
}

# 0: control bytes are cells, colours per cell, the erase below the cursor, the bottom-right cell filled
# without a scroll, a move cancelling the pending break, a tab at column 1 eight blanks.
(cd "$win" && wineconsole cmd /c "console_output_probe.exe terminal 2>NUL") >/dev/null 2>&1 &
await 10 "bottom-end" screen_of console_output_probe.exe
probe=$(screen_of console_output_probe.exe)
rows=$(wc -l <<<"$probe")
top=$(sed -n 1p <<<"$probe")
want_top=$(printf 'plain green \033[31m\001\333')
if [[ "$top" == "$want_top "* ]] && [ "$(colours_under "$top" "green ")" = aaaaaa ] &&
   [ "$(cut -d'|' -f2 <<<"$top" | cut -c7-19)" = aaaaaaaaaaaaa ]; then
    pass "output probe: row 1 holds the bytes as cells, in colour 10 from the first setTextColor"
else
    fail "output probe: row 1 reads: $(cat -v <<<"$top")"
fi
bottom=$(sed -n "$((rows - 1))p" <<<"$probe")
if [ "$bottom" = "        >$(printf '%61s' '')bottom-end|fffffffff$(cut -d'|' -f2 <<<"$bottom" | cut -c10-70)cccccccccc" ] &&
   [ "$(sed -n "$((rows - 2))p" <<<"$probe" | cut -c1-81)" = "row 24$(printf '%74s' '')|" ] &&
   [ "$(sed -n "$((rows - 3))p" <<<"$probe" | cut -c1-81)" = "er$(printf '%78s|' '')" ] &&
   [ "$(tail -1 <<<"$probe")" = "cursor 25,10" ]; then
    pass "output probe: the erase below the cursor, the bottom-right cell filled without a scroll, the tab and the cursor"
else
    fail "output probe: bottom rows read: $(tail -4 <<<"$probe" | cat -v)"
fi
wineserver -k 2>/dev/null

# 1-3: chat-server.exe, with a bind retried while a sibling run holds the port.
for attempt in 1 2 3 4 5 6; do
    rm -f "$work/chat-server.exe.status"
    server_window=$(start_console chat-server.exe)
    await 10 "Server Running" screen_of chat-server.exe && break
    echo "chat-server.exe did not start (port 42069 busy?), retrying"; sleep 5
done
client_window=$(start_console chat-client.exe)
await 10 "Enter ip to connect to\\? " screen_of chat-client.exe && pass "prompt shown by chat-client.exe" ||
    fail "chat-client.exe gave no prompt"
exchange "Windows server" "$client_window"
held_esc "Windows server" "$client_window"
rm -f "$work/chat-client.exe.status"
flood

bring_to_front "$server_window"
xdotool key Escape
if await 10 "Hit any key\\." screen_of chat-server.exe; then
    pass "Esc stops chat-server.exe and it asks for a key"
    want=$(trace_tail "$flood_name" 400 22; echo "Cleaning up."; echo "Hit any key."; echo)
    [ "$(rows_of "$(screen_of chat-server.exe)")" = "$want" ] &&
        pass "flood: chat-server.exe's trace ends in order, \"Hit any key.\" below it" ||
        fail "flood: chat-server.exe shows: $(rows_of "$(screen_of chat-server.exe)" | tail -5)"
    bring_to_front "$server_window"
    xdotool key space
    status=$(status_of chat-server.exe)
    [ "$status" = 0 ] && pass "a key ends chat-server.exe, status 0" || fail "chat-server.exe status: $status"
else
    fail "chat-server.exe did not stop on Esc"
fi
bring_to_front "$flood_window"
xdotool keydown Escape; sleep 0.5; xdotool keyup Escape
[ "$(status_of chat-client.exe)" = 0 ] || fail "flood: chat-client.exe did not end on Esc"

# The port taken by a running server: chat-server.exe ends with status 1. In a console of its own, as
# started from Explorer, it first asks for a key, so that its lines stay to be read; started from a
# shell that owns the console, it ends at once.
port_taken() {
    rm -f "$work/chat-server.exe.status" "$work/shell.status"
    local window
    window=$(start_console chat-server.exe)
    local want
    want=$(printf '%s\n' "Server starting..." "An error occurred while trying to create an ENet server host." \
           "Exiting due to error." "Hit any key.")
    if await 10 "Hit any key" screen_of chat-server.exe &&
       [ "$(screen_of chat-server.exe | head -4 | cut -d'|' -f1 | sed 's/ *$//')" = "$want" ]; then
        sleep 1
        [ -s "$work/chat-server.exe.status" ] && fail "port taken: chat-server.exe did not wait for a key" ||
            pass "port taken: chat-server.exe in a console of its own shows its lines and waits for a key"
    else
        fail "port taken: chat-server.exe in its own console shows: $(screen_of chat-server.exe | head -5)"
    fi
    bring_to_front "$window"
    xdotool key space
    local status
    status=$(status_of chat-server.exe)
    [ "$status" = 1 ] && pass "port taken: a key ends it, status 1" || fail "port taken: status after a key: $status"
    (cd "$win" && wineconsole cmd /c chat-server.exe; echo $? > "$work/shell.status") >/dev/null 2>&1 &
    for _ in $(seq 100); do [ -s "$work/shell.status" ] && break; sleep 0.1; done
    status=$(cat "$work/shell.status" 2>/dev/null)
    [ "$status" = 1 ] && pass "port taken: chat-server.exe from a shell ends at once, status 1" ||
        fail "port taken: chat-server.exe from a shell: status ${status:-none} after 10 s"
}

# 4: the Linux chat-server, with the bind retried the same way.
for attempt in 1 2 3 4 5 6; do
    tmux -L "$tmux_socket" new-session -d -s server -x 80 -y 25 "$linux/chat-server; sleep 600"
    await 5 "Server Running|error" pane server
    pane server | grep -q "Server Running" && break
    tmux -L "$tmux_socket" kill-session -t server
    echo "port busy, retrying"; sleep 5
done
port_taken
client_window=$(start_console chat-client.exe)
await 10 "Enter ip to connect to" screen_of chat-client.exe || fail "chat-client.exe gave no prompt"
exchange "Linux server" "$client_window"
held_esc "Linux server" "$client_window"
code_pages
tmux -L "$tmux_socket" send-keys -t server Escape
await 5 "Hit any key" pane server && tmux -L "$tmux_socket" send-keys -t server x

# 5: the process ends before the line is finished: the typed address is never answered.
rm -f "$work/chat-client.exe.status"
client_window=$(start_console chat-client.exe)
await 10 "Enter ip to connect to" screen_of chat-client.exe
bring_to_front "$client_window"
xdotool type --delay 20 "127.0.0.1"
xdotool key ctrl+c
[ "$(status_of chat-client.exe)" != none ] && pass "Ctrl+C at the prompt ends chat-client.exe" ||
    fail "chat-client.exe still runs after Ctrl+C"

echo "chat under Wine: $failures failure(s)"
[ "$failures" -eq 0 ]
