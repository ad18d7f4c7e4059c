#include "bench/idle_cost.h"

#include <unistd.h>

#include "bench/latency_scenarios.h"
#include "bench/load_scenarios.h"
#include "bench/proc_stats.h"

namespace {

// Services until some chatter receives a NEW notice, or the time is up.
bool awaitNewcomer(BenchTarget* target, std::vector<BenchChatter>* chatters, double seconds) {
    std::vector<Arrival> arrivals;
    double end = benchSeconds() + seconds;
    while (benchSeconds() < end) {
        arrivals.clear();
        serviceChatters(chatters, &target->process, 5, &arrivals);
        for (const Arrival& arrival : arrivals)
            if (tagField(arrival.text) == NewTag) return true;
    }
    return false;
}

// The client asks for the server's address first; an empty answer means 127.0.0.1. A terminal sends
// CR for Enter; a line-reading console may want LF, which is tried when CR brought no connection.
bool startClient(BenchTarget* target, const Text& clientPath, std::vector<BenchChatter>* chatters,
                 ChildProcess* client, Text* notes) {
    Text error;
    if (!startChild({clientPath}, "/dev/null", client, &error)) return *notes += "client: " + error + "; ", false;
    for (const Text& enter : {Text("\r"), Text("\n")}) {
        typeKeys(client, enter);
        if (awaitNewcomer(target, chatters, 3.0)) return true;
        if (!isRunning(client)) break;
    }
    *notes += isRunning(client) ? "the client did not connect; " : "the client ended before connecting; ";
    return false;
}

double cpuPercent(const ProcessUsage& before, const ProcessUsage& after, double seconds) {
    if (!before.valid || !after.valid) return NoFigure;
    return (after.cpuSeconds - before.cpuSeconds) / seconds * 100;
}

}  // namespace

void runIdleCost(BenchTarget* target, const BenchSettings& settings, std::vector<BenchChatter>* chatters,
                 TargetFigures* figures) {
    if (target->process.pid <= 0) return void(figures->notes += "no process to measure the cost of; ");
    ChildProcess client;
    bool withClient = target->isChatServer && !settings.clientPath.empty() && chatters->size() >= 2;
    if (withClient) {
        // Make room: the lobby holds as many peers as the chatters the benchmark was asked for.
        closeChatter(&chatters->back());
        chatters->pop_back();
        idleFor(target, chatters, 0.5);
        withClient = startClient(target, settings.clientPath, chatters, &client, &figures->notes);
    }
    idleFor(target, chatters, 1.0);
    ProcessUsage before = readProcessUsage(target->process.pid);
    ProcessUsage clientBefore = readProcessUsage(client.pid);
    double start = benchSeconds();
    idleFor(target, chatters, settings.idleSeconds);
    double elapsed = benchSeconds() - start;
    ProcessUsage after = readProcessUsage(target->process.pid);
    ProcessUsage clientAfter = readProcessUsage(client.pid);
    figures->idleCpuPercent = cpuPercent(before, after, elapsed);
    if (before.valid && after.valid)
        figures->idlePassRate = (after.voluntarySwitches - before.voluntarySwitches) / elapsed;
    figures->peakKiB = after.valid ? after.peakKiB : -1;
    if (withClient) {
        figures->clientCpuPercent = cpuPercent(clientBefore, clientAfter, elapsed);
        figures->clientPeakKiB = clientAfter.valid ? clientAfter.peakKiB : -1;
    }
    if (client.pid > 0) stopChild(&client, {"\x1b"});
}

TargetFigures measureTarget(BenchTarget* target, const BenchSettings& settings) {
    TargetFigures figures;
    std::vector<BenchChatter> chatters;
    runJoin(target, settings, &chatters, &figures);
    if (figures.joined == settings.chatters) {
        idleFor(target, &chatters, 0.5);
        runLatency(target, settings, &chatters, &figures);
        runBurst(target, settings, &chatters, &figures);
        runSaturation(target, settings, &chatters, &figures);
        runWho(target, settings, &chatters, &figures);
        runIdleCost(target, settings, &chatters, &figures);
    }
    int lost = 0;
    for (const BenchChatter& chatter : chatters) lost += chatter.lost;
    if (lost > 0) figures.notes += std::to_string(lost) + " chatters lost their connection; ";
    closeChatters(&chatters);
    idleFor(target, &chatters, 0.3);
    return figures;
}
