// chat-client: asks for the server's address, connects, and runs the chat until Esc is held down.
#include "client/connection.h"
#include "client/input_line.h"
#include "common/console/console.h"
#include "common/failed_start.h"
#include "common/protocol.h"

namespace {

const Text DefaultServerAddress = "127.0.0.1";

// Keys typed while the address was read or the host was made are not meant for the input line, nor
// is an Esc among them meant to end the chat before it starts.
void discardWaitingKeys() {
    while (!pollKey().empty()) {
    }
    discardKeys();
}

}  // namespace

int main() {
    if (initNetwork() != 0) endFailedStart();
    Text address = inputText("Enter ip to connect to");
    if (address.empty()) address = DefaultServerAddress;
    ENetPeer* peer = nullptr;
    ENetHost* host = connectToServer(address, ChatPort, ChatChannelCount, &peer);
    discardWaitingKeys();
    if (host == nullptr) {
        printLine("Exiting due to error.");
        closeNetwork(nullptr);
        endFailedStart();
    }
    chatLoop(host, peer);
    leaveServer(host, peer);
    closeNetwork(host);
    endProgram(0);
}
