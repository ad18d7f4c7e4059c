// chat-server: the lobby. Starts ENet and the host on the chat port, runs the event loop until Esc,
// then tears everything down and waits for a key. The exit status is 0 on every path.
#include "common/console/console.h"
#include "common/host_guard.h"
#include "common/protocol.h"
#include "server/intake.h"
#include "server/server_host.h"
#include "server/server_loop.h"

int main() {
    static ChatServer server;
    printLine("Server starting...");
    if (initEnet() != 0) {
        printLine("An error occurred while initializing ENet.");
        endProgram(0);
    }
    server.host = createServerHost("", ChatPort, ServerPeerLimit);
    if (server.host == nullptr) {
        printLine("Exiting due to error.");
        closeNetwork(nullptr);
        endProgram(0);
    }
    attachIntake(server);
    printLine("Server Running.");
    serverLoop(server);
    printLine("Cleaning up.");
    detachIntake(server);
    closeNetwork(server.host);
    server.host = nullptr;
    printLine("Hit any key.");
    waitForKey();
    endProgram(0);
}
