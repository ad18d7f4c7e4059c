#include "common/protocol.h"

Text tagField(const Text& message) { return leftText(message, 4); }

Text messageBody(const Text& message) { return midText(message, 5, -1); }

Text packetText(const ENetPacket* packet) {
    if (packet == nullptr) return Text();
    return textFromBuffer(packet->data, packet->dataLength);
}

ENetPacket* createTextPacket(const Text& text) {
    return enet_packet_create(text.c_str(), text.size() + 1, ENET_PACKET_FLAG_RELIABLE);
}

void sendPacket(ENetPeer* peer, ENetPacket* packet) {
    if (packet == nullptr) return;
    if (peer == nullptr || enet_peer_send(peer, ChatChannel, packet) < 0) enet_packet_destroy(packet);
}
