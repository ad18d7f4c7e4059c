// A loopback lobby for the client's in-process tests: a real ENet host on a free port plays the
// server, and the client's host comes from connectToServer. Every wait is bounded.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "client/connection.h"
#include "client/event_display.h"
#include "common/protocol.h"
#include "tests/client_screen.h"

class ClientLoopback : public ::testing::Test {
protected:
    ENetHost* server_ = nullptr;
    ENetPeer* chatter_ = nullptr;  // the client as the server sees it
    ENetHost* client_ = nullptr;
    ENetPeer* serverPeer_ = nullptr;
    // What the server received: each packet's bytes, as long as the packet, and its channel.
    std::vector<std::pair<std::string, int>> received_;

    void SetUp() override {
        ASSERT_EQ(enet_initialize(), 0);
        ENetAddress address{};
        enet_address_set_host(&address, "127.0.0.1");
        address.port = 0;  // a free port of the system's choosing
        server_ = enet_host_create(&address, 4, 0, 0, 0);
        ASSERT_NE(server_, nullptr);
        freshScreen();
    }

    void TearDown() override {
        if (client_ != nullptr) enet_host_destroy(client_);
        enet_host_destroy(server_);
        enet_deinitialize();
    }

    // Services the server host, keeping the peer of a connecting client.
    void serviceServer() {
        ENetEvent event;
        while (enet_host_service(server_, &event, 0) > 0) {
            if (event.type == ENET_EVENT_TYPE_CONNECT) chatter_ = event.peer;
            if (event.type == ENET_EVENT_TYPE_RECEIVE) {
                received_.push_back({std::string(reinterpret_cast<const char*>(event.packet->data),
                                                 event.packet->dataLength),
                                     event.channelID});
                enet_packet_destroy(event.packet);
            }
        }
    }

    void connectClient() {
        client_ = connectToServer("127.0.0.1", server_->address.port, ChatChannelCount, &serverPeer_);
        ASSERT_NE(client_, nullptr);
        ASSERT_TRUE(pumpUntil([this] { return chatter_ != nullptr && serverPeer_->state == ENET_PEER_STATE_CONNECTED; }));
    }

    template <typename Ready>
    bool pumpUntil(Ready ready, int seconds = 5) {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (!ready()) {
            if (std::chrono::steady_clock::now() > end) return false;
            serviceServer();
            serviceNetwork(client_);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

    bool deliverUntilShown(const std::string& needle) {
        return pumpUntil([&] { return screenShows(needle); });
    }

    void sendFromServer(const Text& text, enet_uint8 channel = 0) {
        ASSERT_EQ(enet_peer_send(chatter_, channel, createTextPacket(text)), 0);
        enet_host_flush(server_);
    }

    void sendBytesFromServer(const std::string& bytes) {
        ASSERT_EQ(enet_peer_send(chatter_, 0, enet_packet_create(bytes.data(), bytes.size(), ENET_PACKET_FLAG_RELIABLE)), 0);
        enet_host_flush(server_);
    }
};
