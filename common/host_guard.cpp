#include "common/host_guard.h"

#include <cstdlib>

#include "common/datagram_walk.h"

namespace {

bool isFragment(enet_uint8 kind) {
    return kind == ENET_PROTOCOL_COMMAND_SEND_FRAGMENT || kind == ENET_PROTOCOL_COMMAND_SEND_UNRELIABLE_FRAGMENT;
}

FragmentFields fragmentFields(const enet_uint8* command) {
    FragmentFields fields;
    fields.fragmentLength = protocolWord(command + 6);
    fields.fragmentCount = protocolLong(command + 8);
    fields.fragmentNumber = protocolLong(command + 12);
    fields.totalLength = protocolLong(command + 16);
    fields.fragmentOffset = protocolLong(command + 20);
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
    CommandWalk walk = startWalk(data, length, checksummed);
    // Neither host decompresses, so ENet would drop a compressed datagram anyway.
    if (walk.compressed) return false;
    while (const enet_uint8* command = nextCommand(&walk))
        if (isFragment(commandKind(command)) && !fragmentAcceptable(fragmentFields(command), packetLimit)) return false;
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
