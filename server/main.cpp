// chat-server: the lobby. Starts ENet and the host on the chat port, runs the event loop until Esc,
// then tears everything down and waits for a key. A failed start ends with status 1, a run that
// ended with Esc with 0.
#include "common/console/console.h"
#include "common/failed_start.h"
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
        endFailedStart();
    }
    server.host = createServerHost("", ChatPort, ServerPeerLimit);
    if (server.host == nullptr) {
        printLine("Exiting due to error.");
        closeNetwork(nullptr);
        endFailedStart();
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
