#include "server/sending.h"

#include "common/console/console.h"
#include "common/protocol.h"

namespace {

const Text Divider = repeatChar(75, "-");
const Text IntendedLabel = "DATA TO SEND:           ";
const Text PacketLabel = "DATA ENET WANTS TO SEND:";

// The trace shows the text the server meant to send beside what the packet really carries. A packet
// ENet could not create (no memory) carries nothing, so its second copy is printed empty. The trace is
// written out before the packet is handed over, so that the console never lags the wire: a server
// stopped between the two has logged what it sent. What waited before it (a connect line) goes out in
// the same write; a trace longer than the console's run of 1024 bytes in runs of that size.
void printTrace(const Text& text, const ENetPacket* packet) {
    printLine(Divider);
    print(IntendedLabel);
    printLine(text);
    print(PacketLabel);
    printLine(packetText(packet));
    flushConsole();
}

// ENet frees a packet once every peer it went to has acknowledged it, or has gone; the server counts it
// out of its backlog then.
void forgetPacket(ENetPacket* packet) {
    static_cast<ChatServer*>(packet->userData)->queuedBytes -= packet->dataLength;
}

ENetPacket* createCountedPacket(ChatServer& server, const Text& text) {
    ENetPacket* packet = createTextPacket(text);
    if (packet == nullptr) return nullptr;
    packet->userData = &server;
    packet->freeCallback = forgetPacket;
    server.queuedBytes += packet->dataLength;
    return packet;
}

}  // namespace

void sendToChatter(ChatServer& server, int slot, const Text& text) {
    ENetPacket* packet = createCountedPacket(server, text);
    printTrace(text, packet);
    if (packet == nullptr) return;
    ENetPeer* peer = nullptr;
    if (slot >= 0 && slot < RosterSize) peer = server.chatters[slot].peer;
    // A refused packet is destroyed there, so nothing leaks when the peer has just gone.
    sendPacket(peer, packet);
    enet_host_flush(server.host);
}

void broadcastText(ChatServer& server, enet_uint8 channel, const Text& text) {
    ENetPacket* packet = createCountedPacket(server, text);
    printTrace(text, packet);
    if (packet == nullptr) return;
    // ENet destroys the packet itself when no peer is connected to take it.
    enet_host_broadcast(server.host, channel, packet);
    enet_host_flush(server.host);
}
