// The real chat-server program as the hostile-network tests drive it: started on port 42069 with its
// keys fed through a pipe and its console written to a file (a flood traces far more than a pipe holds),
// its memory read from /proc, and its list reply checked through a test client.
// CHAT_HOSTILE_WRAPPER, when set, is a command put in front of the server (valgrind, for instance).
#pragma once

#include <sys/types.h>

#include <deque>
#include <string>
#include <vector>

#include "tests/support/chat_test_client.h"

struct ServerUnderTest {
    pid_t pid = -1;
    int keys = -1;            // the write end of the server's standard input
    std::string consolePath;  // everything the server printed
    std::string directory;
    int status = -1;
    bool instrumented = false;  // runs under valgrind or a sanitizer: its memory figures are not its own
};

long long nowMs();

// Starts the server and waits for "Server Running."; false if it never said so within maxMs.
bool startServerUnderTest(ServerUnderTest& server, int maxMs);
// Esc, then a key at "Hit any key."; false unless it ended with status 0 within maxMs.
bool stopServerUnderTest(ServerUnderTest& server, int maxMs);
// Kills a server that is still running; safe to call twice.
void killServerUnderTest(ServerUnderTest& server);
// The end of a test, once its clients have stopped: stops the server (Esc and a key), kills it if it
// would not stop, and returns what went wrong: a server still running that did not stop, or a sanitizer
// report in its console. Empty when all is well.
std::string endServerUnderTest(ServerUnderTest& server);
bool serverAlive(ServerUnderTest& server);
std::string serverConsole(const ServerUnderTest& server);

// VmHWM (peak resident size) and VmRSS of the process, in KiB; -1 when unreadable.
long peakResidentKiB(pid_t pid);
long residentKiB(pid_t pid);

// One line of the list reply.
struct ListedChatter {
    std::string name;
    int slot = -1;
};

// Sends "WHO " from the client and waits for the list reply. True when it came and every line has the
// reply's shape (name, slot, five unsigned figures, CR LF); the chatters are returned in order.
bool askWho(ChatTestClient& client, std::vector<ListedChatter>* chatters, int maxMs);

// A client connected to the local server that has its welcome and its own NEW notice, or false.
bool joinServer(ChatTestClient& client, int maxMs);

// Sends one UDP datagram from a socket of its own to the server's port on loopback.
void sendRawDatagram(int socket, const std::string& bytes);
int openRawSocket();

// Slows every wait when the server runs under a wrapper such as valgrind.
int scaledMs(int ms);
