#include "server/roster.h"

#include <chrono>
#include <cmath>
#include <cstdint>

double serverClock() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

int takeSlot(ChatServer& server) {
    int slot = server.nextSlot;
    ++server.nextSlot;
    if (slot < ServerPeerLimit) return slot;
    for (int free = 0; free < RosterSize; ++free)
        if (!server.chatters[free].active) return free;
    // Cannot happen while the host admits fewer peers than the roster holds; slot 25 is the spare.
    return RosterSize - 1;
}

void admitChatter(ChatServer& server, int slot, ENetPeer* peer) {
    peer->data = reinterpret_cast<void*>(static_cast<std::intptr_t>(slot));
    Chatter& chatter = server.chatters[slot];
    chatter.peer = peer;
    chatter.active = true;
    chatter.name = "Anonymous" + decimalText(static_cast<std::int32_t>(slot));
    // takeSlot has just counted this admission, so no two holders of a slot share the number.
    chatter.admission = server.nextSlot;
    chatter.leaving = false;
    chatter.intakeBound = 0;
    chatter.intakeHandled = false;
    chatter.refused = RefusedRecord{};
}

Text renameChatter(ChatServer& server, int slot, const Text& requested) {
    Chatter& chatter = server.chatters[slot];
    Text oldName = chatter.name;
    chatter.name = requested;
    if (findText(1, chatter.name, " ") > 0 || chatter.name.size() > NameLimit)
        chatter.name = "Lamer" + realText(std::floor(serverClock()));
    return oldName;
}

void releaseChatter(ChatServer& server, int slot, ENetPeer* peer) {
    Chatter& chatter = server.chatters[slot];
    chatter.active = false;
    chatter.name.clear();
    chatter.leaving = false;
    // ENet frees what it still held for the peer, and each freed message is counted out of the record's
    // backlog while the record still names this holder.
    if (chatter.peer != nullptr) enet_peer_reset(chatter.peer);
    if (peer != nullptr) peer->data = nullptr;
    chatter.admission = 0;
    chatter.backlogBytes = chatter.backlogMessages = 0;
    chatter.aheadBytes = chatter.aheadMessages = 0;
    chatter.heldBackSince = 0;
    chatter.refused = RefusedRecord{};
}

int chatterSlotOf(const ChatServer& server, const ENetPeer* peer) {
    if (peer == nullptr) return -1;
    std::intptr_t slot = reinterpret_cast<std::intptr_t>(peer->data);
    if (slot < 0 || slot >= RosterSize) return -1;
    const Chatter& chatter = server.chatters[slot];
    if (!chatter.active || chatter.peer != peer) return -1;
    return static_cast<int>(slot);
}
