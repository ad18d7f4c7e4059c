#include "bench/forged_connect.h"

#include <enet/protocol.h>

#include <cstring>

#include "common/protocol.h"

Text forgedConnect(enet_uint16 outgoingPeerID, enet_uint32 connectID, enet_uint16 sentTime) {
    ENetProtocolHeader header;
    header.peerID = ENET_HOST_TO_NET_16(ENET_PROTOCOL_MAXIMUM_PEER_ID | ENET_PROTOCOL_HEADER_FLAG_SENT_TIME);
    header.sentTime = ENET_HOST_TO_NET_16(sentTime);
    ENetProtocolConnect connect;
    std::memset(&connect, 0, sizeof connect);
    connect.header.command = ENET_PROTOCOL_COMMAND_CONNECT | ENET_PROTOCOL_COMMAND_FLAG_ACKNOWLEDGE;
    connect.header.channelID = 0xFF;
    connect.header.reliableSequenceNumber = ENET_HOST_TO_NET_16(1);
    connect.outgoingPeerID = ENET_HOST_TO_NET_16(outgoingPeerID);
    connect.incomingSessionID = 0xFF;
    connect.outgoingSessionID = 0xFF;
    connect.mtu = ENET_HOST_TO_NET_32(1400);
    connect.windowSize = ENET_HOST_TO_NET_32(ENET_PROTOCOL_MAXIMUM_WINDOW_SIZE);
    connect.channelCount = ENET_HOST_TO_NET_32(static_cast<enet_uint32>(ChatChannelCount));
    connect.packetThrottleInterval = ENET_HOST_TO_NET_32(ENET_PEER_PACKET_THROTTLE_INTERVAL);
    connect.packetThrottleAcceleration = ENET_HOST_TO_NET_32(ENET_PEER_PACKET_THROTTLE_ACCELERATION);
    connect.packetThrottleDeceleration = ENET_HOST_TO_NET_32(ENET_PEER_PACKET_THROTTLE_DECELERATION);
    connect.connectID = connectID;  // ENet sends and compares it as it is, without a byte swap
    Text datagram(reinterpret_cast<const char*>(&header), sizeof header);
    datagram.append(reinterpret_cast<const char*>(&connect), sizeof connect);
    return datagram;
}
