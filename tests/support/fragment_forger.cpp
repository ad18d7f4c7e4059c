#include "tests/support/fragment_forger.h"

#include <arpa/inet.h>

#include <cstring>
#include <vector>

namespace {

void putWord(enet_uint8* at, enet_uint16 value) {
    at[0] = static_cast<enet_uint8>(value >> 8);
    at[1] = static_cast<enet_uint8>(value);
}

}  // namespace

enet_uint16 nextReliableSequence(const ChatTestClient& client) {
    return static_cast<enet_uint16>(client.peer->channels[0].outgoingReliableSequenceNumber + 1);
}

void sendForgedFragment(ChatTestClient& client, const char* serverAddress, enet_uint16 serverPort,
                        enet_uint16 sequence, enet_uint32 count, enet_uint32 number, enet_uint32 totalLength,
                        const std::string& bytes, enet_uint8 channel) {
    // Header: the server's id for this peer with its session and the sent-time flag, then the sent time.
    std::vector<enet_uint8> datagram(4 + sizeof(ENetProtocolSendFragment));
    putWord(&datagram[0], static_cast<enet_uint16>(client.peer->outgoingPeerID |
                                                   (client.peer->outgoingSessionID << ENET_PROTOCOL_HEADER_SESSION_SHIFT) |
                                                   ENET_PROTOCOL_HEADER_FLAG_SENT_TIME));
    putWord(&datagram[2], 1);
    ENetProtocolSendFragment fragment{};
    fragment.header.command = ENET_PROTOCOL_COMMAND_SEND_FRAGMENT | ENET_PROTOCOL_COMMAND_FLAG_ACKNOWLEDGE;
    fragment.header.channelID = channel;
    fragment.header.reliableSequenceNumber = htons(sequence);
    fragment.startSequenceNumber = htons(sequence);
    fragment.dataLength = htons(static_cast<enet_uint16>(bytes.size()));
    fragment.fragmentCount = htonl(count);
    fragment.fragmentNumber = htonl(number);
    fragment.totalLength = htonl(totalLength);
    std::memcpy(&datagram[4], &fragment, sizeof fragment);
    datagram.insert(datagram.end(), bytes.begin(), bytes.end());
    ENetAddress server{};
    enet_address_set_host(&server, serverAddress);
    server.port = serverPort;
    ENetBuffer buffer;
    buffer.data = datagram.data();
    buffer.dataLength = datagram.size();
    enet_socket_send(client.host->socket, &server, &buffer, 1);
}
