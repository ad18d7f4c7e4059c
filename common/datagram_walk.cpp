#include "common/datagram_walk.h"

namespace {

// Where the length of the payload that follows a command of this kind sits, or 0 for none.
std::size_t payloadLengthAt(enet_uint8 kind) {
    switch (kind) {
    case ENET_PROTOCOL_COMMAND_SEND_RELIABLE: return 4;
    case ENET_PROTOCOL_COMMAND_SEND_UNRELIABLE:
    case ENET_PROTOCOL_COMMAND_SEND_UNSEQUENCED:
    case ENET_PROTOCOL_COMMAND_SEND_FRAGMENT:
    case ENET_PROTOCOL_COMMAND_SEND_UNRELIABLE_FRAGMENT: return 6;
    default: return 0;
    }
}

}  // namespace

enet_uint16 protocolWord(const enet_uint8* at) { return static_cast<enet_uint16>((at[0] << 8) | at[1]); }

enet_uint32 protocolLong(const enet_uint8* at) {
    return (static_cast<enet_uint32>(protocolWord(at)) << 16) | protocolWord(at + 2);
}

CommandWalk startWalk(const enet_uint8* data, std::size_t length, bool checksummed) {
    CommandWalk walk;
    walk.data = data;
    walk.length = data != nullptr ? length : 0;
    if (walk.length < 2) return walk;
    enet_uint16 flags = protocolWord(data) & ENET_PROTOCOL_HEADER_FLAG_MASK;
    walk.compressed = (flags & ENET_PROTOCOL_HEADER_FLAG_COMPRESSED) != 0;
    walk.at = (flags & ENET_PROTOCOL_HEADER_FLAG_SENT_TIME) ? 4 : 2;
    if (checksummed) walk.at += sizeof(enet_uint32);
    return walk;
}

const enet_uint8* nextCommand(CommandWalk* walk) {
    if (walk->compressed || walk->at + sizeof(ENetProtocolCommandHeader) > walk->length) return nullptr;
    const enet_uint8* command = walk->data + walk->at;
    // ENet's size table has no entry for an unknown kind, and ENet stops reading there.
    if (commandKind(command) >= ENET_PROTOCOL_COMMAND_COUNT) return nullptr;
    std::size_t size = enet_protocol_command_size(command[0]);
    if (size == 0 || walk->at + size > walk->length) return nullptr;
    std::size_t lengthAt = payloadLengthAt(commandKind(command));
    walk->at += size + (lengthAt != 0 ? protocolWord(command + lengthAt) : 0);
    return command;
}
