// The benchmark's scenarios and table against its baseline relay on loopback: every line sent must be
// counted once, every list reply checked, and a figure that was not measured must never pass a target.
#include <gtest/gtest.h>

#include <cstdio>

#include "bench/idle_cost.h"
#include "bench/latency_scenarios.h"
#include "bench/load_scenarios.h"
#include "bench/report.h"
#include "bench/targets.h"

namespace {

class BenchScenarioTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(enet_initialize(), 0);
        Text error;
        ASSERT_TRUE(startBaselineTarget(&target, &error)) << error;
        settings.chatters = 3;
        settings.latencyLines = 12;
        settings.burstLines = 30;
        settings.saturationSeconds = 0.3;
        settings.saturationWindow = 2;
        settings.whoRequests = 4;
        settings.idleSeconds = 0.3;
    }
    void TearDown() override {
        stopTarget(&target);
        enet_deinitialize();
    }
    BenchTarget target;
    BenchSettings settings;
};

TEST_F(BenchScenarioTest, EveryLineAndListIsAccountedFor) {
    TargetFigures figures;
    std::vector<BenchChatter> chatters;
    runJoin(&target, settings, &chatters, &figures);
    ASSERT_EQ(figures.joined, 3) << figures.notes;
    runLatency(&target, settings, &chatters, &figures);
    EXPECT_EQ(figures.echo.count, 12u);
    EXPECT_EQ(figures.everyone.count, 12u);
    EXPECT_EQ(figures.latencyLost, 0);
    runBurst(&target, settings, &chatters, &figures);
    EXPECT_FALSE(std::isnan(figures.burstRate)) << figures.notes;
    runSaturation(&target, settings, &chatters, &figures);
    EXPECT_GT(figures.saturationRate, 0);
    runWho(&target, settings, &chatters, &figures);
    EXPECT_EQ(figures.who.count, 4u);
    EXPECT_EQ(figures.whoIncomplete, 0) << figures.notes;
    EXPECT_EQ(figures.notes, "");
    closeChatters(&chatters);
}

TEST_F(BenchScenarioTest, TheWholeRunMeasuresTheRelaysCost) {
    TargetFigures figures = measureTarget(&target, settings);
    EXPECT_EQ(figures.joined, 3);
    EXPECT_FALSE(std::isnan(figures.idleCpuPercent));
    EXPECT_GT(figures.peakKiB, 0);
    EXPECT_TRUE(std::isnan(figures.clientCpuPercent));  // a client joins the chat server only
    EXPECT_EQ(figures.notes, "");
}

Text table(const TargetFigures* server, const TargetFigures* baseline) {
    BenchOptions options;
    std::FILE* file = std::tmpfile();
    printTable(file, options, server, baseline, "0 0 0");
    std::rewind(file);
    Text text;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    std::fclose(file);
    return text;
}

Text rowOf(const Text& text, const Text& label) {
    size_t at = text.find("\n" + label);
    return at == Text::npos ? Text() : text.substr(at + 1, text.find('\n', at + 1) - at - 1);
}

TEST(BenchTable, VerdictsOnlyForMeasuredFigures) {
    TargetFigures server;
    server.echo = summarize({0.5, 0.7, 9.0});
    server.idleCpuPercent = 3.5;
    server.peakKiB = 4000;
    server.saturationRate = 450;
    server.idlePassRate = 900;
    Text text = table(&server, nullptr);
    EXPECT_NE(rowOf(text, "relay back to sender, median (ms)").find("met"), Text::npos) << text;
    EXPECT_NE(rowOf(text, "relay back to sender, p99 (ms)").find("MISSED"), Text::npos) << text;
    EXPECT_NE(rowOf(text, "idle CPU, % of one core").find("MISSED"), Text::npos) << text;
    EXPECT_NE(rowOf(text, "saturation / ceiling (%)").find("50.0"), Text::npos) << text;
    // Nothing was measured for these: no verdict either way.
    for (const char* label : {"relay to every other chatter, median (ms)", "WHO reply, median (ms)",
                              "chat-client idle CPU, % of one core"}) {
        Text row = rowOf(text, label);
        EXPECT_EQ(row.find("met"), Text::npos) << row;
        EXPECT_EQ(row.find("MISSED"), Text::npos) << row;
    }
    Text empty = table(nullptr, nullptr);
    EXPECT_EQ(empty.find("met"), Text::npos) << empty;
}

TEST(BenchTable, RatiosAgainstTheBaseline) {
    TargetFigures server, baseline;
    server.peakKiB = 4000;
    baseline.peakKiB = 2000;
    server.saturationRate = 500;
    baseline.saturationRate = 0;
    Text text = table(&server, &baseline);
    EXPECT_NE(rowOf(text, "peak memory VmHWM (KiB)").find("2.00x"), Text::npos) << text;
    EXPECT_EQ(rowOf(text, "saturation, relayed lines/s").find("x "), Text::npos) << text;
    EXPECT_EQ(figureText(NoFigure, 2), "-");
    EXPECT_EQ(figureText(1.23456, 3), "1.235");
}

TEST(BenchTargets, AServerThatNeverTakesThePortIsRefused) {
    BenchOptions options;
    BenchTarget target;
    Text error;
    options.serverPath = "/nowhere/chat-server";
    EXPECT_FALSE(startServerTarget(options, &target, &error));
    EXPECT_NE(error.find("no program"), Text::npos) << error;
    options.serverPath = "/bin/true";
    error.clear();
    EXPECT_FALSE(startServerTarget(options, &target, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(isRunning(&target.process));
}

}  // namespace
