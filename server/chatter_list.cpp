#include "server/chatter_list.h"

namespace {

const Text LineEnd = "\r\n";

Text chatterLine(const Chatter& chatter, int slot) {
    const ENetPeer& peer = *chatter.peer;
    return chatter.name + " (#" + decimalText(static_cast<std::int32_t>(slot)) + ", " +
           decimalText(static_cast<std::uint32_t>(peer.roundTripTime)) + " +/- " +
           decimalText(static_cast<std::uint32_t>(peer.roundTripTimeVariance)) + ", " +
           decimalText(static_cast<std::uint32_t>(peer.packetLoss)) + ", " +
           decimalText(static_cast<std::uint32_t>(peer.packetsLost)) + ", " +
           decimalText(static_cast<std::uint32_t>(peer.packetsSent)) + ")" + LineEnd;
}

}  // namespace

Text chatterList(const ChatServer& server) {
    Text list = "Chatters:" + LineEnd;
    for (int slot = 0; slot < RosterSize; ++slot) {
        const Chatter& chatter = server.chatters[slot];
        if (chatter.active && chatter.peer != nullptr) list += chatterLine(chatter, slot);
    }
    return list;
}
