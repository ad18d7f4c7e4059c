#include "server/server_events.h"

#include "common/console/console.h"
#include "common/protocol.h"
#include "server/chatter_list.h"
#include "server/roster.h"
#include "server/sending.h"

namespace {

Text slotText(int slot) { return decimalText(static_cast<std::int32_t>(slot)); }

void handleConnect(ChatServer& server, ENetPeer* peer) {
    int slot = takeSlot(server);
    // The address is shown as ENet keeps it: the network-order bytes read as one native number.
    printLine("Cli" + slotText(slot) + " connected from " +
              decimalText(static_cast<std::uint32_t>(peer->address.host)) + ":" +
              decimalText(static_cast<std::uint32_t>(peer->address.port)));
    admitChatter(server, slot, peer);
    sendToChatter(server, slot, WelcomeText);
    broadcastText(server, ChatChannel, NewTag + server.chatters[slot].name);
}

void handleMessage(ChatServer& server, int slot, const Text& text) {
    Text tag = tagField(text);
    Text body = messageBody(text);
    if (tag == SayTag) {
        broadcastText(server, ChatChannel, SayTag + server.chatters[slot].name + " " + body);
    } else if (tag == RenameTag) {
        Text oldName = renameChatter(server, slot, body);
        broadcastText(server, ChatChannel, NameTag + oldName + " " + server.chatters[slot].name);
    } else if (tag == WhoTag) {
        sendToChatter(server, slot, WhisperTag + LobbyName + " " + chatterList(server));
    } else {
        printLine("Unknown packet identifier: " + tag);
    }
}

void handleReceive(ChatServer& server, ENetPeer* peer, const ENetPacket* packet) {
    int slot = chatterSlotOf(server, peer);
    if (slot < 0) {
        printLine("Packet from unconnected or dead client. Destroying.");
        return;
    }
    server.chatters[slot].intakeHandled = true;
    server.speaker = slot;
    handleMessage(server, slot, packetText(packet));
    server.speaker = -1;
}

void announceLeaver(ChatServer& server, int slot, ENetPeer* peer) {
    printLine("Cli" + slotText(slot) + " disconnected.");
    broadcastText(server, ChatChannel, OldTag + server.chatters[slot].name);
    releaseChatter(server, slot, peer);
}

// A peer that holds no record of its own (its connect was never handled) leaves silently: its data
// word may read as another chatter's slot, whose record must not be announced or freed.
void handleDisconnect(ChatServer& server, ENetPeer* peer) {
    int slot = chatterSlotOf(server, peer);
    if (slot < 0) return;
    announceLeaver(server, slot, peer);
}

}  // namespace

void endChatter(ChatServer& server, int slot) {
    ENetPeer* peer = server.chatters[slot].peer;
    // The peer is sent a goodbye it need not acknowledge, and reset: ENet frees everything it held for
    // it, and it is no longer connected when its leaving is announced.
    enet_peer_disconnect_now(peer, 0);
    announceLeaver(server, slot, peer);
}

void handleServerEvent(ChatServer& server, ENetEvent& event) {
    switch (event.type) {
    case ENET_EVENT_TYPE_CONNECT: handleConnect(server, event.peer); break;
    case ENET_EVENT_TYPE_RECEIVE: handleReceive(server, event.peer, event.packet); break;
    case ENET_EVENT_TYPE_DISCONNECT: handleDisconnect(server, event.peer); break;
    default: break;
    }
    // The server keeps nothing of a received packet once its text has been handled.
    if (event.packet != nullptr) enet_packet_destroy(event.packet);
    event.packet = nullptr;
}
