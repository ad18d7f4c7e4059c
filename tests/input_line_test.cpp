// The input row and the send sequence, read back from the console's screen model, with the messages
// taken off the wire by a real ENet host on loopback.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "client/input_line.h"
#include "tests/client_loopback.h"
#include "tests/client_screen.h"

namespace {

using InputLine = ClientLoopback;

TEST_F(InputLine, DrawsOnRow25AndReturnsToColumnOne) {
    moveCursor(7, 30);
    setTextColor(14);
    drawInputLine("hello", "_");
    expectRow(25, {{"> hello_", '2'}});
    EXPECT_EQ(cursorLine(), "cursor 7,1\n");
    // After a Backspace the mark's blank covers the position that fell free.
    drawInputLine("hell", "_ ");
    expectRow(25, {{"> hell_ ", '2'}});
    // The colour is left as the input line set it.
    print("x");
    expectRow(7, {{"x", '2'}});
}

TEST_F(InputLine, MessagesGoOutWithTheirTerminatorOnTheChatChannel) {
    connectClient();
    const std::pair<Text, std::string> cases[] = {
        {"", std::string("SAY \0", 5)},
        {"hello", std::string("SAY hello\0", 10)},
        {"/who all", std::string("WHO \0", 5)},
        {"/name Bob", std::string("REN Bob\0", 8)},
        {"/help me", std::string("/help me\0", 9)},
    };
    for (const auto& c : cases) {
        Text line = c.first;
        sendInputLine(client_, serverPeer_, &line);
        EXPECT_TRUE(line.empty());
    }
    ASSERT_TRUE(pumpUntil([this] { return received_.size() >= 5; }));
    ASSERT_EQ(received_.size(), 5u);
    for (size_t i = 0; i < received_.size(); ++i) {
        EXPECT_EQ(received_[i].first, cases[i].second) << i;
        EXPECT_EQ(received_[i].second, 0) << i;
    }
}

TEST_F(InputLine, SendingBeforeTheConnectionIsUpEmptiesTheLineAndSendsNothing) {
    client_ = connectToServer("127.0.0.1", server_->address.port, ChatChannelCount, &serverPeer_);
    ASSERT_NE(client_, nullptr);
    drawInputLine("too early", "_");
    moveCursor(3, 9);
    setTextColor(7);
    Text line = "too early";
    // ENet refuses a peer that is still connecting; the packet must not stay behind (the
    // sanitizer build checks for the leak).
    sendInputLine(client_, serverPeer_, &line);
    EXPECT_TRUE(line.empty());
    expectRow(25, {{std::string(75, ' '), '7'}});
    EXPECT_EQ(cursorLine(), "cursor 3,1\n");
    ASSERT_TRUE(pumpUntil([this] { return chatter_ != nullptr && serverPeer_->state == ENET_PEER_STATE_CONNECTED; }));
    pumpUntil([] { return false; }, 1);
    EXPECT_TRUE(received_.empty());
}

}  // namespace
