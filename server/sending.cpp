#include "server/sending.h"

#include <vector>

#include "common/console/console.h"
#include "common/protocol.h"
#include "server/roster.h"

namespace {

const Text Divider = repeatChar(75, "-");
const Text IntendedLabel = "DATA TO SEND:           ";
const Text PacketLabel = "DATA ENET WANTS TO SEND:";

struct SharedMessage;

// One listener's packet: whom it is counted against.
struct MessageCopy {
    SharedMessage* message = nullptr;
    int slot = -1;               // -1: a peer whose connection the loop has not yet taken
    std::int32_t admission = 0;
};

// One text on its way: its bytes (the NUL after them goes along), the listeners' packets over them,
// and who caused it. It lives until ENet has freed the last packet.
struct SharedMessage {
    ChatServer* server = nullptr;
    Text text;
    int speaker = -1;
    std::int32_t speakerAdmission = 0;
    int holders = 0;             // packets ENet has not yet freed
    std::vector<MessageCopy> copies;
};

// The record still held by the same admission, or none.
Chatter* holderOf(ChatServer& server, int slot, std::int32_t admission) {
    if (slot < 0 || slot >= RosterSize || admission == 0) return nullptr;
    Chatter& chatter = server.chatters[slot];
    return chatter.admission == admission ? &chatter : nullptr;
}

void countAhead(SharedMessage& message, bool adding) {
    Chatter* speaker = holderOf(*message.server, message.speaker, message.speakerAdmission);
    if (speaker == nullptr) return;
    std::size_t bytes = message.text.size() + 1;
    speaker->aheadBytes = adding ? speaker->aheadBytes + bytes : speaker->aheadBytes - bytes;
    speaker->aheadMessages = adding ? speaker->aheadMessages + 1 : speaker->aheadMessages - 1;
}

// ENet frees a packet once its listener has acknowledged it, or is gone: counted out of that listener's
// backlog, and out of what its speaker has on its way once every listener has it.
void forgetCopy(ENetPacket* packet) {
    MessageCopy& copy = *static_cast<MessageCopy*>(packet->userData);
    SharedMessage* message = copy.message;
    if (Chatter* listener = holderOf(*message->server, copy.slot, copy.admission)) {
        listener->backlogBytes -= packet->dataLength;
        --listener->backlogMessages;
    }
    if (--message->holders > 0) return;
    countAhead(*message, false);
    delete message;
}

// A packet for each peer over the message's bytes, counted against its listener; false when ENet could
// not create one, and then none is left. The packets are counted only once all exist, so that the ones
// let go on a failure take nothing with them.
bool createCopies(SharedMessage& message, const std::vector<ENetPeer*>& peers, std::vector<ENetPacket*>* packets) {
    for (std::size_t i = 0; i < peers.size(); ++i) {
        ENetPacket* packet = enet_packet_create(message.text.c_str(), message.text.size() + 1,
                                                ENET_PACKET_FLAG_RELIABLE | ENET_PACKET_FLAG_NO_ALLOCATE);
        if (packet == nullptr) {
            for (ENetPacket* made : *packets) enet_packet_destroy(made);
            packets->clear();
            return false;
        }
        packets->push_back(packet);
    }
    message.copies.resize(peers.size());
    for (std::size_t i = 0; i < peers.size(); ++i) {
        MessageCopy& copy = message.copies[i];
        copy.message = &message;
        copy.slot = chatterSlotOf(*message.server, peers[i]);
        if (copy.slot >= 0) {
            Chatter& listener = message.server->chatters[copy.slot];
            copy.admission = listener.admission;
            listener.backlogBytes += message.text.size() + 1;
            ++listener.backlogMessages;
        }
        (*packets)[i]->userData = &copy;
        (*packets)[i]->freeCallback = forgetCopy;
        ++message.holders;
    }
    return true;
}

// The trace shows the text the server meant to send beside what the packets carry: nothing when ENet
// could not create them (no memory). It is written out before the packets are handed over, so that the
// console never lags the wire: a server stopped between the two has logged what it sent. What waited
// before it (a connect line) goes out in the same write; a trace longer than the console's run of 1024
// bytes in runs of that size.
void printTrace(const Text& text, const Text& carried) {
    printLine(Divider);
    print(IntendedLabel);
    printLine(text);
    print(PacketLabel);
    printLine(carried);
    flushConsole();
}

// Traces the text and hands a copy to each peer on the channel; a refused packet is destroyed there,
// so nothing leaks when a peer has just gone.
void sendToPeers(ChatServer& server, const std::vector<ENetPeer*>& peers, enet_uint8 channel, const Text& text) {
    SharedMessage* message = new SharedMessage;
    message->server = &server;
    message->text = text;
    if (server.speaker >= 0 && server.speaker < RosterSize && server.chatters[server.speaker].active) {
        message->speaker = server.speaker;
        message->speakerAdmission = server.chatters[server.speaker].admission;
    }
    std::vector<ENetPacket*> packets;
    bool created = createCopies(*message, peers, &packets);
    printTrace(text, created ? textFromBuffer(message->text.c_str(), message->text.size() + 1) : Text());
    if (!created) {
        delete message;
        return;
    }
    if (packets.empty()) delete message;
    else countAhead(*message, true);
    // The last packet freed takes the message with it: it is not touched after the sends.
    for (std::size_t i = 0; i < packets.size(); ++i)
        if (enet_peer_send(peers[i], channel, packets[i]) < 0) enet_packet_destroy(packets[i]);
    enet_host_flush(server.host);
}

}  // namespace

void sendToChatter(ChatServer& server, int slot, const Text& text) {
    std::vector<ENetPeer*> peers;
    if (slot >= 0 && slot < RosterSize && server.chatters[slot].peer != nullptr)
        peers.push_back(server.chatters[slot].peer);
    sendToPeers(server, peers, ChatChannel, text);
}

void broadcastText(ChatServer& server, enet_uint8 channel, const Text& text) {
    std::vector<ENetPeer*> peers;
    for (std::size_t i = 0; i < server.host->peerCount; ++i)
        if (server.host->peers[i].state == ENET_PEER_STATE_CONNECTED) peers.push_back(&server.host->peers[i]);
    sendToPeers(server, peers, channel, text);
}
