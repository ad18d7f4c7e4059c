// The benchmark's parts: summary figures, line numbering, /proc parsing, options, child processes, and
// its baseline relay, which must speak the chat's protocol for its figures to be a fair comparison.
#include <gtest/gtest.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <enet/protocol.h>
#include <sys/socket.h>

#include "bench/baseline_relay.h"
#include "bench/forged_connect.h"
#include "bench/options.h"
#include "bench/proc_stats.h"
#include "bench/scenarios.h"
#include "bench/stress_lobby.h"
#include "bench/targets.h"
#include "bench/impairment_relay.h"

namespace {

TEST(BenchSamples, NearestRankPercentiles) {
    std::vector<double> hundred;
    for (int i = 100; i >= 1; --i) hundred.push_back(i);
    struct Case { std::vector<double> samples; double fraction; double expected; };
    std::vector<Case> cases = {
        {{}, 0.5, 0},           {{5}, 0.5, 5},       {{5}, 0.99, 5},     {{3, 1, 2}, 0.5, 2},
        {{2, 1}, 0.5, 1},       {hundred, 0.5, 50},  {hundred, 0.99, 99}, {hundred, 1.0, 100},
        {{7, 9, 8}, 0.01, 7},
    };
    for (const Case& c : cases) EXPECT_EQ(percentile(c.samples, c.fraction), c.expected) << c.samples.size();
    SampleSummary summary = summarize(hundred);
    EXPECT_EQ(summary.count, 100u);
    EXPECT_EQ(summary.max, 100);
}

TEST(BenchLines, SequenceNumbersSurviveTheRelay) {
    EXPECT_EQ(sequencedLine(42), "SAY bench#42");
    struct Case { Text text; int expected; };
    std::vector<Case> cases = {
        {"SAY Anonymous3 bench#17", 17}, {"SAY  bench#0", 0},        {"SAY bench#x bench#5", 5},
        {"SAY Anonymous3 bench#", -1},   {"SAY a bench#12a", -1},    {"NEW bench#3", -1},
        {"SAY a bench#9999999999", -1},  {"SAY a bench#-1", -1},     {"SAYbench#1", -1},
    };
    for (const Case& c : cases) EXPECT_EQ(lineSequence(c.text), c.expected) << c.text;
}

TEST(BenchProc, StatLineCountsFieldsAfterTheLastParenthesis) {
    long long ticks = 0;
    ASSERT_TRUE(parseStatCpuTicks("42 (a) b) c) R 1 1 1 0 -1 4194560 100 0 0 0 7 5 0 0 20 0 1", &ticks));
    EXPECT_EQ(ticks, 12);
    EXPECT_FALSE(parseStatCpuTicks("42 (x", &ticks));
    EXPECT_FALSE(parseStatCpuTicks("42 (x) R 1 1 1 0 -1 4194560 100 0 0", &ticks));
    EXPECT_FALSE(parseStatCpuTicks("", &ticks));
}

TEST(BenchProc, StatusFieldsAreMatchedWhole) {
    Text status = "Name:\tchat-server\nVmHWM:\t    1234 kB\nnonvoluntary_ctxt_switches:\t5\n";
    EXPECT_EQ(statusField(status, "VmHWM"), 1234);
    EXPECT_EQ(statusField(status, "Name"), -1);
    EXPECT_EQ(statusField(status, "voluntary_ctxt_switches"), -1);
    EXPECT_EQ(statusField(status + "voluntary_ctxt_switches:\t17\n", "voluntary_ctxt_switches"), 17);
    EXPECT_EQ(statusField("VmHWM:\t8 kB\n", "VmHWM"), 8);
}

TEST(BenchProc, ReadsThisProcess) {
    ProcessUsage usage = readProcessUsage(getpid());
    ASSERT_TRUE(usage.valid);
    EXPECT_GT(usage.peakKiB, 0);
    EXPECT_GE(usage.voluntarySwitches, 0);
    EXPECT_FALSE(readProcessUsage(-5).valid);
}

BenchOptions parsed(std::vector<Text> args, bool* ok) {
    std::vector<char*> argv = {const_cast<char*>("chat-bench")};
    for (Text& arg : args) argv.push_back(&arg[0]);
    BenchOptions options;
    Text error;
    *ok = parseOptions(static_cast<int>(argv.size()), argv.data(), &options, &error);
    return options;
}

TEST(BenchOptionsTest, ValuesAndRefusals) {
    bool ok = false;
    EXPECT_EQ(parsed({}, &ok).settings.chatters, 25);
    EXPECT_TRUE(ok);
    EXPECT_EQ(parsed({"--smoke"}, &ok).settings.chatters, 5);
    EXPECT_EQ(parsed({"--chatters", "7", "--smoke"}, &ok).settings.chatters, 7);
    EXPECT_TRUE(parsed({"--console", "tmux"}, &ok).console == ConsoleMode::Tmux);
    BenchOptions path = parsed({"--console", "/dev/null", "--baseline-only"}, &ok);
    EXPECT_TRUE(path.console == ConsoleMode::Path && path.consolePath == "/dev/null" && !path.server && path.baseline);
    EXPECT_EQ(parsed({"--server", "/nowhere/chat-server"}, &ok).settings.clientPath, "");
    for (std::vector<Text> bad : {std::vector<Text>{"--chatters", "26"}, {"--chatters", "0"}, {"--bogus"},
                                  {"--server"}, {"--seconds", "0"}, {"--pid", "x"}}) {
        parsed(bad, &ok);
        EXPECT_FALSE(ok) << bad[0];
    }
}

TEST(BenchOptionsTest, StressOptions) {
    bool ok = false;
    EXPECT_EQ(parsed({"--half-open"}, &ok).halfOpenConnects, 30);
    EXPECT_TRUE(ok);
    EXPECT_EQ(parsed({"--half-open", "--server", "x"}, &ok).serverPath, "x");
    EXPECT_TRUE(ok);
    EXPECT_EQ(parsed({"--half-open", "7"}, &ok).halfOpenConnects, 7);
    EXPECT_EQ(parsed({"--silent-peer", "2.5"}, &ok).silentPeerSeconds, 2.5);
    EXPECT_EQ(parsed({"--first-line", "4"}, &ok).firstLineTries, 4);
    for (std::vector<Text> bad : {std::vector<Text>{"--silent-peer", "0"}, {"--slow-reader", "x"},
                                  {"--tiny-packets", "-1"}, {"--half-open", "0"}, {"--first-line", "0"},
                                  {"--abrupt-leaver"}}) {
        parsed(bad, &ok);
        EXPECT_FALSE(ok) << bad[0];
    }
}

// A 1000 bytes-per-ms link with a 3000-byte queue: each row is one datagram (bytes, arrival) and when
// it has passed the link, -1 for dropped; the rows run in order on one link.
TEST(RelayRateCap, DatagramsLeaveAtTheRateBehindABoundedQueue) {
    RateLimit link{1.0, 3000, 0};
    struct Row { size_t bytes; double now; double due; };
    std::vector<Row> rows = {
        {1000, 10, 1010},  // an idle link: sent at once, taking its own time
        {1000, 10, 2010},  // behind it
        {2000, 10, -1},    // 2000 queued ahead + 2000 would pass 3000
        {1000, 10, 3010},  // 2000 + 1000 fits
        {1, 10, -1},       // full
        {500, 2010, 3510}, // 1000 left ahead of it
        {5000, 9000, 14000},  // an empty queue takes even a datagram larger than the queue
    };
    for (const Row& row : rows) EXPECT_EQ(rateLimitedDue(link, row.bytes, row.now), row.due) << row.bytes << "@" << row.now;
}

// The forged connects, sent from a plain socket to a real ENet host: each takes a slot of its own and
// is answered, and none completes.
TEST(ForgedConnect, TakesASlotOfARealHostAndIsAnswered) {
    Text datagram = forgedConnect(3, 0x01020304, 77);
    ASSERT_EQ(datagram.size(), sizeof(ENetProtocolHeader) + sizeof(ENetProtocolConnect));
    EXPECT_EQ(static_cast<unsigned char>(datagram[0]), 0x8F);  // sent-time flag and peer ID 0xFFF, big-endian
    EXPECT_EQ(static_cast<unsigned char>(datagram[1]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(datagram[4]), ENET_PROTOCOL_COMMAND_CONNECT | ENET_PROTOCOL_COMMAND_FLAG_ACKNOWLEDGE);
    ASSERT_EQ(enet_initialize(), 0);
    ENetAddress address{ENET_HOST_ANY, 0};
    enet_address_set_host_ip(&address, "127.0.0.1");
    ENetHost* host = enet_host_create(&address, 4, 0, 0, 0);
    ASSERT_NE(host, nullptr);
    ENetAddress bound;
    enet_socket_get_address(host->socket, &bound);
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(bound.port);
    for (enet_uint32 id : {11u, 12u, 12u, 13u}) {  // the repeated connect ID is a resend, not a new peer
        Text connect = forgedConnect(static_cast<enet_uint16>(id), id, 1);
        sendto(fd, connect.data(), connect.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
    ENetEvent event;
    int events = 0;
    for (int pass = 0; pass < 20; ++pass) events += enet_host_service(host, &event, 5) > 0;
    int halfOpen = 0;
    for (size_t i = 0; i < host->peerCount; ++i) halfOpen += host->peers[i].state == ENET_PEER_STATE_ACKNOWLEDGING_CONNECT;
    char answer[2048];
    long answers = 0;
    while (recv(fd, answer, sizeof answer, 0) > 0) ++answers;
    EXPECT_EQ(halfOpen, 3);
    EXPECT_EQ(events, 0);
    EXPECT_GE(answers, 3);
    close(fd);
    enet_host_destroy(host);
    enet_deinitialize();
}

TEST(BenchChild, TypedKeysReachTheChildAndItsOutputIsDrained) {
    ChildProcess child;
    Text error;
    ASSERT_TRUE(startChild({"/bin/sh", "-c", "printf abc; read x; printf \"$x\""}, "", &child, &error)) << error;
    typeKeys(&child, "xyz\n");
    EXPECT_TRUE(waitForExit(&child, 10));
    drainOutput(&child);
    EXPECT_EQ(child.outputBytes, 6);
    stopChild(&child, {});
}

TEST(BenchChild, StopEndsAChildThatIgnoresItsKeys) {
    ChildProcess child;
    Text error;
    ASSERT_TRUE(startChild({"/bin/sleep", "60"}, "/dev/null", &child, &error)) << error;
    EXPECT_TRUE(isRunning(&child));
    stopChild(&child, {"\x1b"});
    EXPECT_FALSE(isRunning(&child));
}

// Services until every chatter has a message, or a few seconds have passed; returns the first of each.
std::vector<Text> nextMessages(std::vector<BenchChatter>* chatters, std::vector<Arrival>* pending) {
    std::vector<Text> first(chatters->size());
    double end = benchSeconds() + 5;
    size_t filled = 0;
    while (filled < chatters->size() && benchSeconds() < end) {
        serviceChatters(chatters, nullptr, 5, pending);
        for (const Arrival& arrival : *pending)
            if (first[arrival.chatter].empty()) first[arrival.chatter] = arrival.text, ++filled;
        pending->clear();
    }
    return first;
}

class BaselineRelayTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(enet_initialize(), 0);
        Text error;
        ASSERT_TRUE(startBaselineRelay(&relay, &port, 60, &error)) << error;
        chatters.resize(2);
        for (BenchChatter& chatter : chatters) ASSERT_TRUE(openChatter(&chatter, port, &error)) << error;
        ASSERT_TRUE(awaitJoined(&chatters, nullptr, 5));
    }
    void TearDown() override {
        closeChatters(&chatters);
        stopChild(&relay, {});
        enet_deinitialize();
    }
    ChildProcess relay;
    enet_uint16 port = 0;
    std::vector<BenchChatter> chatters;
    std::vector<Arrival> pending;
};

TEST_F(BaselineRelayTest, WelcomesAndNamesLikeTheLobby) {
    EXPECT_TRUE(udpPortBound(port));
    EXPECT_NE(chatters[0].name, chatters[1].name);
    for (const BenchChatter& chatter : chatters) EXPECT_EQ(chatter.name.rfind("Anonymous", 0), 0u) << chatter.name;
}

TEST_F(BaselineRelayTest, RelaysSayToEveryoneWithTheSendersName) {
    idleFor(nullptr, &chatters, 0.1);  // the second NEW notice, seen by the first chatter
    sayText(&chatters[1], "SAY hello there");
    std::vector<Text> got = nextMessages(&chatters, &pending);
    Text expected = "SAY " + chatters[1].name + " hello there";
    EXPECT_EQ(got[0], expected);
    EXPECT_EQ(got[1], expected);
}

TEST_F(BaselineRelayTest, AnswersWhoToTheAskerAlone) {
    idleFor(nullptr, &chatters, 0.1);
    sayText(&chatters[0], "WHO ");
    std::vector<Arrival> arrivals;
    double end = benchSeconds() + 5;
    while (arrivals.empty() && benchSeconds() < end) serviceChatters(&chatters, nullptr, 5, &arrivals);
    idleFor(nullptr, &chatters, 0.1);
    ASSERT_EQ(arrivals.size(), 1u);
    EXPECT_EQ(arrivals[0].chatter, 0);
    const Text& list = arrivals[0].text;
    ASSERT_EQ(list.rfind("WSP Lobby Chatters:\r\n", 0), 0u) << list;
    for (const BenchChatter& chatter : chatters)
        EXPECT_NE(list.find("\r\n" + chatter.name + " (#"), Text::npos) << list;
    EXPECT_EQ(list.substr(list.size() - 3), ")\r\n");
}

TEST_F(BaselineRelayTest, AnnouncesALeaverToTheOthers) {
    idleFor(nullptr, &chatters, 0.1);
    Text leaver = chatters[1].name;
    closeChatter(&chatters[1]);
    chatters.pop_back();
    std::vector<Text> got = nextMessages(&chatters, &pending);
    EXPECT_EQ(got[0], "OLD " + leaver);
}

TEST_F(BaselineRelayTest, EndsWhenAsked) {
    stopChild(&relay, {});
    EXPECT_FALSE(isRunning(&relay));
    EXPECT_FALSE(udpPortBound(port));
}

// The stress lobby's accounting, against the baseline relay: a talker that stops for 0.6 s leaves a
// silence at least that long, and once it is back every line owed arrives. A lone talker listens to its
// own lines.
TEST(StressLobbyTest, ASilenceIsMeasuredAndEveryLineAccountedFor) {
    ASSERT_EQ(enet_initialize(), 0);
    for (int talkers : {1, 2}) {
        BenchTarget target;
        Text error;
        ASSERT_TRUE(startBaselineRelay(&target.process, &target.port, 60, &error)) << error;
        StressLobby lobby;
        ASSERT_TRUE(openStressLobby(&lobby, &target, talkers, 5, &error)) << error;
        startTalking(&lobby);
        serviceLobbyFor(&lobby, 0.3);
        lobby.chatters[talkers - 1].serviced = false;
        serviceLobbyFor(&lobby, 0.6);
        lobby.chatters[talkers - 1].serviced = true;
        serviceLobbyFor(&lobby, 0.3);
        ShortLineFigures figures = stopTalking(&lobby, 5);
        EXPECT_GE(figures.longestSilence, 0.55) << talkers;
        EXPECT_EQ(figures.missing, 0) << talkers;
        EXPECT_GE(figures.delay.count, talkers == 1 ? 6u : 14u) << talkers;
        // The lines to the paused talker waited for it.
        if (talkers == 2) {
            EXPECT_GE(figures.delay.max, 300);
        }
        EXPECT_GT(figures.peakKiB, 0);
        closeStressLobby(&lobby);
        stopChild(&target.process, {});
    }
    enet_deinitialize();
}

}  // namespace
