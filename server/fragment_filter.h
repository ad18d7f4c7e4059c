// Defence against forged fragments. This ENet release sizes a fragment bitmap from the fragment count a
// remote peer claims and hands out packets whose fragments never covered them, so a peer can make the host
// allocate without bound or relay uninitialised memory. Chat messages are far below the size at which ENet
// fragments, so the server drops every datagram that carries a fragment command before ENet parses it.
#pragma once

#include <enet/enet.h>

#include <cstddef>

// True when the datagram holds a SEND_FRAGMENT or SEND_UNRELIABLE_FRAGMENT command among the commands
// ENet would read, or is compressed (the server has no decompressor, so ENet would drop it anyway).
bool datagramHasFragment(const enet_uint8* data, std::size_t length);

// ENet's intercept hook for the server host: 1 (drop) for a datagram with a fragment, else 0.
int dropFragmentDatagrams(ENetHost* host, ENetEvent* event);
