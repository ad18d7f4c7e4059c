// Reading a received ENet datagram's commands the way ENet itself reads them, for the hosts' datagram
// hooks, which look at a datagram before ENet does. Nothing here trusts the bytes: every read is
// bounded by the datagram's length.
#pragma once

#include <enet/enet.h>

#include <cstddef>

// Protocol words travel in network order.
enet_uint16 protocolWord(const enet_uint8* at);
enet_uint32 protocolLong(const enet_uint8* at);

// Where a walk through one datagram's commands stands.
struct CommandWalk {
    const enet_uint8* data = nullptr;
    std::size_t length = 0;
    std::size_t at = 0;       // where the next command starts
    bool compressed = false;  // a compressed datagram's commands cannot be read; the walk is empty
};

// Starts a walk at the first command, behind the header and, on a host that checksums, the checksum.
CommandWalk startWalk(const enet_uint8* data, std::size_t length, bool checksummed);

// The next command ENet would read, or nullptr where ENet stops reading: at the end, at a command of
// an unknown kind, or at one that does not fit in what is left.
const enet_uint8* nextCommand(CommandWalk* walk);

// The command's kind, without its flags.
inline enet_uint8 commandKind(const enet_uint8* command) { return command[0] & ENET_PROTOCOL_COMMAND_MASK; }
