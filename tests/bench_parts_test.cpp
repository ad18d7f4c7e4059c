// The benchmark's parts: summary figures, line numbering, /proc parsing, options, child processes, and
// its baseline relay, which must speak the chat's protocol for its figures to be a fair comparison.
#include <gtest/gtest.h>
#include <unistd.h>

#include "bench/baseline_relay.h"
#include "bench/options.h"
#include "bench/proc_stats.h"
#include "bench/scenarios.h"
#include "bench/targets.h"

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

}  // namespace
