#include "server/server_host.h"

#include "common/console/console.h"
#include "common/host_guard.h"
#include "server/intake.h"

ENetHost* createServerHost(const Text& address, enet_uint16 port, std::size_t peerLimit) {
    ENetAddress where;
    where.host = ENET_HOST_ANY;
    where.port = 0;
    if (!address.empty()) enet_address_set_host(&where, address.c_str());
    where.port = port;
    // Channel limit 0 lets ENet grant the 10 channels a client asks for; bandwidth 0 means no limit.
    ENetHost* host = enet_host_create(&where, peerLimit, 0, 0, 0);
    if (host == nullptr) {
        printLine("An error occurred while trying to create an ENet server host.");
        return nullptr;
    }
    guardHost(host, ServerWaitingLimit);
    host->intercept = screenDatagram;
    return host;
}

void closeNetwork(ENetHost* host) {
    if (host != nullptr) enet_host_destroy(host);
    enet_deinitialize();
}
