#include "client/event_display.h"

#include "common/console/console.h"
#include "common/protocol.h"

namespace {

// The text the server's peer carries in its data word while the connection is up. The client owns it.
const char PeerLabel[] = "Client information";

const int SenderColor = 15;
const int TextColor = 7;
const int WhisperColor = 13;
const int NoticeColor = 14;

void showNotice(const Text& text) {
    setTextColor(NoticeColor);
    print("* ");
    printLine(text);
}

void showConnect(ENetPeer* peer) {
    printLine("Now connected");
    peer->data = const_cast<char*>(PeerLabel);
}

// The label and "disconected." form one text, spelled as users of the lobby have always seen it.
void showDisconnect(ENetPeer* peer) {
    Text label = peer->data != nullptr ? Text(static_cast<const char*>(peer->data)) : Text();
    printLine(label + "disconected.");
    peer->data = nullptr;
}

// The received packet is ours; nothing of it is kept once its line is printed.
void showPacket(ENetPacket* packet) {
    showMessage(packetText(packet));
    enet_packet_destroy(packet);
}

}  // namespace

MessagePieces cutMessage(const Text& text) {
    MessagePieces pieces;
    pieces.tag = tagField(text);
    pieces.rest = messageBody(text);
    int blank = findText(1, pieces.rest, " ");
    pieces.firstWord = leftText(pieces.rest, blank - 1);
    pieces.remainder = blank == 0 ? pieces.rest : midText(pieces.rest, blank + 1, -1);
    return pieces;
}

void showMessage(const Text& text) {
    MessagePieces pieces = cutMessage(text);
    if (pieces.tag == SayTag) {
        setTextColor(SenderColor);
        print(pieces.firstWord);
        setTextColor(TextColor);
        print(": ");
        printLine(pieces.remainder);
    } else if (pieces.tag == WhisperTag) {
        setTextColor(WhisperColor);
        print(pieces.firstWord);
        print(" whispers");
        setTextColor(TextColor);
        print(": ");
        printLine(pieces.remainder);
    } else if (pieces.tag == NewTag) {
        showNotice(pieces.rest + " connected =)");
    } else if (pieces.tag == OldTag) {
        showNotice(pieces.rest + " disconnected =(");
    } else if (pieces.tag == NameTag) {
        showNotice(pieces.firstWord + " is now known as " + pieces.remainder);
    } else {
        printLine("* Unknown packet identifier: " + pieces.tag);
    }
}

void showEvent(const ENetEvent& event) {
    if (event.channelID != ChatChannel) {
        if (event.type == ENET_EVENT_TYPE_RECEIVE) enet_packet_destroy(event.packet);
        return;
    }
    switch (event.type) {
        case ENET_EVENT_TYPE_CONNECT: showConnect(event.peer); break;
        case ENET_EVENT_TYPE_RECEIVE: showPacket(event.packet); break;
        case ENET_EVENT_TYPE_DISCONNECT: showDisconnect(event.peer); break;
        default: break;
    }
}

void serviceNetwork(ENetHost* host) {
    // One record serves the whole call. ENet fills in the channel only for a receive, so a connect
    // or disconnect keeps the channel of a receive handled earlier in the same call.
    ENetEvent event = {};
    while (enet_host_service(host, &event, 0) > 0) showEvent(event);
}
