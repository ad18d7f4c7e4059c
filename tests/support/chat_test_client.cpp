#include "tests/support/chat_test_client.h"

#include <chrono>

namespace {

long long nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void takeEvent(ChatTestClient& client, ENetEvent& event) {
    if (event.type == ENET_EVENT_TYPE_CONNECT) client.connected = true;
    if (event.type == ENET_EVENT_TYPE_DISCONNECT) client.disconnected = true;
    if (event.type == ENET_EVENT_TYPE_RECEIVE) {
        client.packets.emplace_back(reinterpret_cast<const char*>(event.packet->data), event.packet->dataLength);
        enet_packet_destroy(event.packet);
    }
}

}  // namespace

bool startTestClient(ChatTestClient& client, const char* address, enet_uint16 port) {
    client = ChatTestClient();
    client.host = enet_host_create(nullptr, 1, 0, 0, 0);
    if (client.host == nullptr) return false;
    ENetAddress where{};
    if (enet_address_set_host(&where, address) != 0) return false;
    where.port = port;
    client.peer = enet_host_connect(client.host, &where, 10, 0);
    return client.peer != nullptr;
}

void serviceTestClient(ChatTestClient& client, int timeoutMs) {
    if (client.host == nullptr) return;
    ENetEvent event;
    int result = enet_host_service(client.host, &event, static_cast<enet_uint32>(timeoutMs));
    while (result > 0) {
        takeEvent(client, event);
        result = enet_host_service(client.host, &event, 0);
    }
}

bool waitForConnection(ChatTestClient& client, int maxMs) {
    long long end = nowMs() + maxMs;
    while (!client.connected && !client.disconnected && nowMs() < end) serviceTestClient(client, 5);
    return client.connected;
}

bool waitForPackets(ChatTestClient& client, std::size_t count, int maxMs) {
    long long end = nowMs() + maxMs;
    while (client.packets.size() < count && nowMs() < end) serviceTestClient(client, 5);
    return client.packets.size() >= count;
}

void drainTestClient(ChatTestClient& client, int ms) {
    long long end = nowMs() + ms;
    while (nowMs() < end) serviceTestClient(client, 5);
}

void sendTestText(ChatTestClient& client, const std::string& text, bool withNul) {
    sendTestBytes(client, text.c_str(), text.size() + (withNul ? 1 : 0));
}

void sendTestBytes(ChatTestClient& client, const void* data, std::size_t length, enet_uint8 channel) {
    if (client.peer == nullptr) return;
    ENetPacket* packet = enet_packet_create(data, length, ENET_PACKET_FLAG_RELIABLE);
    if (packet == nullptr) return;
    if (enet_peer_send(client.peer, channel, packet) < 0) enet_packet_destroy(packet);
    enet_host_flush(client.host);
}

void disconnectTestClient(ChatTestClient& client) {
    if (client.peer == nullptr) return;
    enet_peer_disconnect(client.peer, 0);
    enet_host_flush(client.host);
}

void stopTestClient(ChatTestClient& client) {
    if (client.host != nullptr) enet_host_destroy(client.host);
    client.host = nullptr;
    client.peer = nullptr;
}

std::string packetAsText(const std::string& packet) { return packet.substr(0, packet.find('\0')); }

std::vector<std::string> receivedTexts(const ChatTestClient& client) {
    std::vector<std::string> texts;
    for (const std::string& packet : client.packets) texts.push_back(packetAsText(packet));
    return texts;
}
