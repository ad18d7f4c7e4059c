// What a remote peer may make an ENet host hold, for both programs' hosts. This ENet release trusts the
// fragment commands it receives: it sizes a reassembly bitmap from the fragment count a peer claims,
// counts only the packet bytes against its waiting-data limit, and hands out packets whose fragments
// never covered them, with the gaps holding whatever the heap held. The guard makes ENet allocate only
// zeroed memory, checks every fragment command before ENet parses it, and sets the host's limits.
#pragma once

#include <enet/enet.h>

#include <cstddef>

// The longest message, terminating NUL included, either program sends or takes (ENet's maximumPacketSize
// on both hosts). A chat line of 1 MiB with a long name fits, and so does the list of 25 chatters whose
// names are 80,000 bytes each. The server sends nothing longer, so a client never refuses what it gets.
constexpr std::size_t MessageLimit = 2u << 20;
// Packet bytes the client's one peer, the server, may have it hold (ENet's maximumWaitingData): two
// messages of the longest kind.
constexpr std::size_t ClientWaitingLimit = 2 * MessageLimit;
// The smallest piece an ENet sender cuts a packet into: the smallest MTU ENet accepts (576) less the
// datagram header, the fragment command and a checksum. Only a packet longer than its piece is cut.
constexpr std::size_t SmallestFragment = 576 - 4 - 24 - 4;

// Brings ENet up with an allocator that zeroes every block, so that bytes of a packet that no fragment
// filled read as NUL and end its text. 0 on success, as enet_initialize.
int initEnet();

// The fields of one fragment command, in host order.
struct FragmentFields {
    enet_uint32 fragmentLength = 0;  // bytes this command carries
    enet_uint32 fragmentCount = 0;
    enet_uint32 fragmentNumber = 0;
    enet_uint32 totalLength = 0;
    enet_uint32 fragmentOffset = 0;
};

// True when an ENet sender could have sent this fragment of a packet of at most packetLimit bytes: the
// checks ENet makes itself, the fragment count no more than the total length (as later ENet releases
// check), and pieces no smaller than SmallestFragment, so a forged start of a tiny packet cannot make
// the host keep bookkeeping far larger than the bytes ENet counts for it.
bool fragmentAcceptable(const FragmentFields& fragment, std::size_t packetLimit);

// True when every fragment command among the commands ENet would read from this datagram is acceptable,
// and the datagram is not compressed (neither host decompresses, so ENet would drop it anyway). A host
// that checksums its datagrams has the checksum after the header.
bool datagramAcceptable(const enet_uint8* data, std::size_t length, std::size_t packetLimit,
                        bool checksummed = false);

// ENet's intercept hook: 1 (drop the datagram) when it is not acceptable for the host's packet limit.
int dropUnacceptableDatagrams(ENetHost* host, ENetEvent* event);

// Puts the guard on a host: the intercept, MessageLimit and the given waiting-data limit.
void guardHost(ENetHost* host, std::size_t waitingLimit);
