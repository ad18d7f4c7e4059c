// chat-bench: measures what the lobby carries. Simulated chatters, each with its own ENet host, join a
// chat-server on loopback, relay timed lines, saturate it, ask for the list and sit idle while the CPU
// and memory of the server and of one real chat-client are read; the same runs against the
// benchmark's own minimal relay give the transport limit. Prints one table and ends by itself.
#include <signal.h>

#include <cstdio>

#include "bench/last_line.h"
#include "bench/report.h"
#include "bench/stress_options.h"
#include "bench/stress_scenarios.h"
#include "bench/targets.h"

namespace {

bool measure(BenchTarget* target, const BenchSettings& settings, TargetFigures* figures) {
    std::fprintf(stderr, "chat-bench: measuring the %s\n", target->label.c_str());
    *figures = measureTarget(target, settings);
    stopTarget(target);
    return true;
}

// The stress runs: the server alone, with the chatters joined, then one run and its figures.
int runStress(const BenchOptions& options) {
    BenchTarget target;
    Text error;
    if (!startServerTarget(options, &target, &error)) return std::fprintf(stderr, "chat-bench: %s\n", error.c_str()), 1;
    TargetFigures joined;
    std::vector<BenchChatter> chatters;
    runJoin(&target, options.settings, &chatters, &joined);
    bool ran = joined.joined == options.settings.chatters;
    if (!ran) std::fprintf(stderr, "chat-bench: %s\n", joined.notes.c_str());
    if (ran && options.floodSeconds > 0) {
        FloodFigures flood;
        runFlood(&target, options.settings, &chatters, options.floodSeconds, options.floodWindow, &flood);
        printFlood(stdout, flood);
    } else if (ran) {
        LongLineFigures lines;
        runLongLines(&target, options.settings, &chatters, options.longLineSeconds, &lines);
        printLongLines(stdout, lines);
    }
    closeChatters(&chatters);
    stopTarget(&target);
    return ran ? 0 : 1;
}

// The bad-link sweep or the last-line rounds, against the chat server alone; each prints its own table.
int measureOnServer(const BenchOptions& options) {
    BenchTarget target;
    Text error;
    if (!startServerTarget(options, &target, &error)) {
        std::fprintf(stderr, "chat-bench: server: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", target.label.c_str());
    if (options.lossSweep) runLossSweep(&target, options.settings, options.link, stdout, stderr);
    else runLastLine(&target, options.settings, options.lastLineRounds, stdout);
    stopTarget(&target);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    BenchOptions options;
    Text error;
    if (!parseOptions(argc, argv, &options, &error) || options.help) {
        std::fprintf(options.help ? stdout : stderr, "%s%s", error.empty() ? "" : (error + "\n").c_str(), UsageText);
        return options.help ? 0 : 2;
    }
    // A child that has ended must not take the benchmark down with it when its keyboard pipe is written.
    signal(SIGPIPE, SIG_IGN);
    if (enet_initialize() != 0) return std::fprintf(stderr, "chat-bench: ENet failed to start\n"), 1;
    if (chosenStressOption(options)) {
        int status = runStressOption(options, stdout);
        enet_deinitialize();
        return status;
    }
    bool stress = options.floodSeconds > 0 || options.longLineSeconds >= 0;
    if (stress || options.lossSweep || options.lastLineRounds > 0) {
        int status = stress ? runStress(options) : measureOnServer(options);
        enet_deinitialize();
        return status;
    }
    Text loadBefore = loadAverage();
    TargetFigures baseline, server;
    BenchTarget baselineTarget, serverTarget;
    bool baselineRan = options.baseline && startBaselineTarget(&baselineTarget, &error) &&
                       measure(&baselineTarget, options.settings, &baseline);
    if (options.baseline && !baselineRan) std::fprintf(stderr, "chat-bench: baseline: %s\n", error.c_str());
    error.clear();
    bool serverRan = options.server && startServerTarget(options, &serverTarget, &error) &&
                     measure(&serverTarget, options.settings, &server);
    if (options.server && !serverRan) std::fprintf(stderr, "chat-bench: server: %s\n", error.c_str());
    if (serverRan) std::printf("%s\n", serverTarget.label.c_str());
    printTable(stdout, options, serverRan ? &server : nullptr, baselineRan ? &baseline : nullptr, loadBefore);
    enet_deinitialize();
    bool complete = (!options.server || serverRan) && (!options.baseline || baselineRan);
    return complete ? 0 : 1;
}
