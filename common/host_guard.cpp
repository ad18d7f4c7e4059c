#include "common/host_guard.h"

#include <cstdlib>

namespace {

// Protocol words travel in network order.
enet_uint16 readWord(const enet_uint8* at) { return static_cast<enet_uint16>((at[0] << 8) | at[1]); }

enet_uint32 readLong(const enet_uint8* at) {
    return (static_cast<enet_uint32>(readWord(at)) << 16) | readWord(at + 2);
}

bool isFragment(enet_uint8 kind) {
    return kind == ENET_PROTOCOL_COMMAND_SEND_FRAGMENT || kind == ENET_PROTOCOL_COMMAND_SEND_UNRELIABLE_FRAGMENT;
}

// Where the length of the payload that follows a command of this kind sits, or 0 for none.
std::size_t payloadLengthAt(enet_uint8 kind) {
    if (kind == ENET_PROTOCOL_COMMAND_SEND_RELIABLE) return 4;
    if (kind == ENET_PROTOCOL_COMMAND_SEND_UNRELIABLE || kind == ENET_PROTOCOL_COMMAND_SEND_UNSEQUENCED ||
        isFragment(kind))
        return 6;
    return 0;
}

FragmentFields fragmentFields(const enet_uint8* command) {
    FragmentFields fields;
    fields.fragmentLength = readWord(command + 6);
    fields.fragmentCount = readLong(command + 8);
    fields.fragmentNumber = readLong(command + 12);
    fields.totalLength = readLong(command + 16);
    fields.fragmentOffset = readLong(command + 20);
    return fields;
}

// Every block ENet allocates starts zeroed: its reassembly buffers above all, which it fills only where
// fragments arrive. A fresh block of the size ENet's packets reach comes zeroed from the system anyway.
void* zeroedAllocation(std::size_t size) { return std::calloc(1, size); }

}  // namespace

int initEnet() {
    ENetCallbacks callbacks{zeroedAllocation, std::free, std::abort};
    return enet_initialize_with_callbacks(ENET_VERSION, &callbacks);
}

bool fragmentAcceptable(const FragmentFields& f, std::size_t packetLimit) {
    if (f.fragmentCount > ENET_PROTOCOL_MAXIMUM_FRAGMENT_COUNT || f.fragmentNumber >= f.fragmentCount) return false;
    if (f.totalLength > packetLimit || f.fragmentOffset >= f.totalLength) return false;
    if (f.fragmentLength > f.totalLength - f.fragmentOffset) return false;
    if (f.fragmentCount > f.totalLength) return false;
    // A sender cuts only a packet longer than one piece, into pieces of at least SmallestFragment bytes.
    enet_uint32 mostPieces = static_cast<enet_uint32>((f.totalLength + SmallestFragment - 1) / SmallestFragment);
    return f.fragmentCount >= 2 && f.fragmentCount <= mostPieces;
}

bool datagramAcceptable(const enet_uint8* data, std::size_t length, std::size_t packetLimit, bool checksummed) {
    if (data == nullptr || length < 2) return true;
    enet_uint16 flags = readWord(data) & ENET_PROTOCOL_HEADER_FLAG_MASK;
    if (flags & ENET_PROTOCOL_HEADER_FLAG_COMPRESSED) return false;
    std::size_t at = (flags & ENET_PROTOCOL_HEADER_FLAG_SENT_TIME) ? 4 : 2;
    if (checksummed) at += sizeof(enet_uint32);
    // Walk the commands as ENet does; it stops at the first one that does not fit, and so does this.
    while (at + sizeof(ENetProtocolCommandHeader) <= length) {
        enet_uint8 kind = data[at] & ENET_PROTOCOL_COMMAND_MASK;
        // ENet stops at an unknown command; its size table has no entry for one.
        if (kind >= ENET_PROTOCOL_COMMAND_COUNT) return true;
        std::size_t size = enet_protocol_command_size(data[at]);
        if (size == 0 || at + size > length) return true;
        if (isFragment(kind) && !fragmentAcceptable(fragmentFields(data + at), packetLimit)) return false;
        std::size_t lengthAt = payloadLengthAt(kind);
        at += size + (lengthAt != 0 ? readWord(data + at + lengthAt) : 0);
    }
    return true;
}

int dropUnacceptableDatagrams(ENetHost* host, ENetEvent* /*event*/) {
    if (host == nullptr) return 0;
    bool checksummed = host->checksum != nullptr;
    return datagramAcceptable(host->receivedData, host->receivedDataLength, host->maximumPacketSize, checksummed)
               ? 0
               : 1;
}

void guardHost(ENetHost* host, std::size_t waitingLimit) {
    host->intercept = dropUnacceptableDatagrams;
    host->maximumPacketSize = MessageLimit;
    host->maximumWaitingData = waitingLimit;
}
