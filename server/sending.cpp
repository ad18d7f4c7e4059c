#include "server/sending.h"

#include "common/console/console.h"
#include "common/protocol.h"

namespace {

const Text Divider = repeatChar(75, "-");
const Text IntendedLabel = "DATA TO SEND:           ";
const Text PacketLabel = "DATA ENET WANTS TO SEND:";

// The trace shows the text the server meant to send beside what the packet really carries. A packet
// ENet could not create (no memory) carries nothing, so its second copy is printed empty.
void printTrace(const Text& text, const ENetPacket* packet) {
    printLine(Divider);
    print(IntendedLabel);
    printLine(text);
    print(PacketLabel);
    printLine(packetText(packet));
}

}  // namespace

void sendToChatter(ChatServer& server, int slot, const Text& text) {
    ENetPacket* packet = createTextPacket(text);
    printTrace(text, packet);
    if (packet == nullptr) return;
    ENetPeer* peer = nullptr;
    if (slot >= 0 && slot < RosterSize) peer = server.chatters[slot].peer;
    // A refused packet is destroyed there, so nothing leaks when the peer has just gone.
    sendPacket(peer, packet);
    enet_host_flush(server.host);
}

void broadcastText(ChatServer& server, enet_uint8 channel, const Text& text) {
    ENetPacket* packet = createTextPacket(text);
    printTrace(text, packet);
    if (packet == nullptr) return;
    // ENet destroys the packet itself when no peer is connected to take it.
    enet_host_broadcast(server.host, channel, packet);
    enet_host_flush(server.host);
}
