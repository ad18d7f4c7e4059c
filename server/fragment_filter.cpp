#include "server/fragment_filter.h"

#include <cstdint>

namespace {

enet_uint16 readWord(const enet_uint8* at) {
    // Protocol words travel in network order.
    return static_cast<enet_uint16>((at[0] << 8) | at[1]);
}

// Bytes of payload that follow a command of this kind, or 0 for commands that carry none.
std::size_t payloadLength(const enet_uint8* command, enet_uint8 kind, std::size_t available) {
    std::size_t lengthAt = 0;
    if (kind == ENET_PROTOCOL_COMMAND_SEND_RELIABLE) lengthAt = 4;
    else if (kind == ENET_PROTOCOL_COMMAND_SEND_UNRELIABLE || kind == ENET_PROTOCOL_COMMAND_SEND_UNSEQUENCED)
        lengthAt = 6;
    if (lengthAt == 0 || available < lengthAt + 2) return 0;
    return readWord(command + lengthAt);
}

bool isFragment(enet_uint8 kind) {
    return kind == ENET_PROTOCOL_COMMAND_SEND_FRAGMENT || kind == ENET_PROTOCOL_COMMAND_SEND_UNRELIABLE_FRAGMENT;
}

}  // namespace

bool datagramHasFragment(const enet_uint8* data, std::size_t length) {
    if (data == nullptr || length < 2) return false;
    enet_uint16 flags = readWord(data) & ENET_PROTOCOL_HEADER_FLAG_MASK;
    if (flags & ENET_PROTOCOL_HEADER_FLAG_COMPRESSED) return true;
    std::size_t at = (flags & ENET_PROTOCOL_HEADER_FLAG_SENT_TIME) ? 4 : 2;
    // Walk the commands as ENet does; it stops at the first one that does not fit, and so do we.
    while (at + sizeof(ENetProtocolCommandHeader) <= length) {
        enet_uint8 kind = data[at] & ENET_PROTOCOL_COMMAND_MASK;
        if (isFragment(kind)) return true;
        // ENet stops at an unknown command; its size table has no entry for one.
        if (kind >= ENET_PROTOCOL_COMMAND_COUNT) return false;
        std::size_t size = enet_protocol_command_size(data[at]);
        if (size == 0 || at + size > length) return false;
        at += size + payloadLength(data + at, kind, length - at);
    }
    return false;
}

int dropFragmentDatagrams(ENetHost* host, ENetEvent* /*event*/) {
    if (host == nullptr) return 0;
    return datagramHasFragment(host->receivedData, host->receivedDataLength) ? 1 : 0;
}
