// Forged ENet fragment commands, sent through a connected test client's own socket so that the server
// takes them as that peer's: the shape of the fragment attacks this ENet release is open to.
#pragma once

#include <string>

#include "tests/support/chat_test_client.h"

// The reliable sequence number the client's next packet on channel 0 will carry.
enet_uint16 nextReliableSequence(const ChatTestClient& client);

// Sends one datagram holding one reliable SEND_FRAGMENT command on the channel: piece number of count
// pieces of a packet of totalLength bytes, carrying bytes at offset 0.
void sendForgedFragment(ChatTestClient& client, const char* serverAddress, enet_uint16 serverPort,
                        enet_uint16 sequence, enet_uint32 count, enet_uint32 number, enet_uint32 totalLength,
                        const std::string& bytes, enet_uint8 channel = 0);
