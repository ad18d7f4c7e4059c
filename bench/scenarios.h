// The measurements made against one target, the chat server or the baseline relay: joining, relay
// latency, a timed burst, saturation, the WHO list and the cost of an idle lobby. Each scenario is
// bounded in time and records what it could not measure instead of waiting for it.
#pragma once

#include <cmath>
#include <vector>

#include "bench/bench_chatter.h"
#include "bench/child_process.h"
#include "bench/samples.h"
#include "common/protocol.h"

struct BenchTarget {
    Text label;
    enet_uint16 port = ChatPort;
    ChildProcess process;     // pid -1 for a server started elsewhere whose pid is unknown
    bool isChatServer = false;
};

struct BenchSettings {
    int chatters = 25;
    int latencyLines = 200;
    double latencyInterval = 0.02;   // seconds between two measured lines
    int burstLines = 200;
    double saturationSeconds = 5;
    int saturationWindow = 4;        // lines each chatter keeps in flight
    int whoRequests = 20;
    double idleSeconds = 10;
    Text clientPath;                 // the real chat-client for the client cost; empty for none
};

constexpr double NoFigure = NAN;

struct TargetFigures {
    int joined = 0;
    double joinSeconds = NoFigure;
    SampleSummary echo;              // milliseconds until the line is back at its sender
    SampleSummary everyone;          // milliseconds until every other chatter has it
    int latencyLost = 0;             // lines not complete within a second
    double burstRate = NoFigure;     // lines per second while one chatter's burst is drained
    double saturationRate = NoFigure;
    double saturationSleepsPerSecond = NoFigure;
    double saturationCpuPercent = NoFigure;      // the target's CPU while saturated
    double saturationBenchCpuPercent = NoFigure; // the benchmark's own, to see whether it kept up
    double consoleBytesPerSecond = NoFigure;
    SampleSummary who;
    int whoIncomplete = 0;           // replies missing or not listing every chatter
    double idlePassRate = NoFigure;  // sleeps per second while idle: one per pass of the server loop
    double idleCpuPercent = NoFigure;
    long peakKiB = -1;
    double clientCpuPercent = NoFigure;
    long clientPeakKiB = -1;
    Text notes;
};

// "SAY bench#<seq>" and the sequence number back from a relayed "SAY <name> bench#<seq>" (-1 if none).
Text sequencedLine(int sequence);
int lineSequence(const Text& text);

// Services the chatters for the given time, dropping what arrives. target may be null.
void idleFor(BenchTarget* target, std::vector<BenchChatter>* chatters, double seconds);
