#include "client/connection.h"

#include "common/console/console.h"
#include "common/host_guard.h"

int initNetwork() {
    if (initEnet() != 0) {
        printLine("An error occurred while initializing ENet.");
        return -1;
    }
    return 0;
}

ENetHost* connectToServer(const Text& address, enet_uint16 port, int channelCount, ENetPeer** peer) {
    ENetAddress serverAddress;
    serverAddress.host = 0;
    serverAddress.port = port;
    // A host part left at 0 would make the request go to this machine (the kernel takes 0.0.0.0 as
    // a local address), so an unknown name would silently connect to a local server instead.
    if (enet_address_set_host(&serverAddress, address.c_str()) != 0) {
        printLine("Could not resolve the address " + address + ".");
        return nullptr;
    }
    ENetHost* host = enet_host_create(nullptr, 1, 0, 0, 0);
    if (host == nullptr) {
        printLine("An error occurred while trying to create an ENet client host.");
        return nullptr;
    }
    guardHost(host, ClientWaitingLimit);
    *peer = enet_host_connect(host, &serverAddress, static_cast<size_t>(channelCount), 0);
    if (*peer == nullptr) {
        printLine("No available peers for initiating an ENet connection.");
        // The host is of no further use without its one connection.
        enet_host_destroy(host);
        return nullptr;
    }
    return host;
}

void closeNetwork(ENetHost* host) {
    if (host != nullptr) enet_host_destroy(host);
    enet_deinitialize();
}
