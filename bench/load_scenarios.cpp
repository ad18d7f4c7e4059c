#include "bench/load_scenarios.h"

#include <unistd.h>

#include "bench/proc_stats.h"

namespace {

// A line counts as lost when it has not come back within this time after the load ends.
constexpr double DrainSeconds = 5.0;

struct LoadState {
    std::vector<int> owner;        // the sender of each sequence number
    std::vector<int> outstanding;  // lines in flight per chatter
    long echoes = 0;               // lines back at their sender before the end of the load
};

void sendNext(std::vector<BenchChatter>* chatters, LoadState* state, int chatter) {
    int sequence = static_cast<int>(state->owner.size());
    state->owner.push_back(chatter);
    ++state->outstanding[chatter];
    sayText(&(*chatters)[chatter], sequencedLine(sequence));
}

long totalOutstanding(const LoadState& state) {
    long total = 0;
    for (int lines : state.outstanding) total += lines;
    return total;
}

// Services once and counts the sender's own lines that came back; refills the window while sending.
void serviceLoad(BenchTarget* target, std::vector<BenchChatter>* chatters, LoadState* state, bool sending,
                 std::vector<Arrival>* arrivals) {
    arrivals->clear();
    serviceChatters(chatters, &target->process, 1, arrivals);
    for (const Arrival& arrival : *arrivals) {
        int sequence = lineSequence(arrival.text);
        if (sequence < 0 || sequence >= static_cast<int>(state->owner.size())) continue;
        if (state->owner[sequence] != arrival.chatter) continue;
        --state->outstanding[arrival.chatter];
        if (!sending) continue;
        ++state->echoes;
        sendNext(chatters, state, arrival.chatter);
    }
}

}  // namespace

void runBurst(BenchTarget* target, const BenchSettings& settings, std::vector<BenchChatter>* chatters,
              TargetFigures* figures) {
    LoadState state;
    state.outstanding.assign(chatters->size(), 0);
    std::vector<Arrival> arrivals;
    double start = benchSeconds();
    // Each line is its own packet and flush, as the client sends them.
    for (int line = 0; line < settings.burstLines; ++line) sendNext(chatters, &state, 0);
    double lastEcho = start;
    double end = start + DrainSeconds + settings.burstLines * 0.01;
    while (state.outstanding[0] > 0 && benchSeconds() < end) {
        serviceLoad(target, chatters, &state, false, &arrivals);
        if (!arrivals.empty()) lastEcho = benchSeconds();
    }
    if (state.outstanding[0] == 0) figures->burstRate = settings.burstLines / (lastEcho - start);
    else figures->notes += "burst: " + std::to_string(state.outstanding[0]) + " lines never came back; ";
    idleFor(target, chatters, 0.2);
}

void runSaturation(BenchTarget* target, const BenchSettings& settings, std::vector<BenchChatter>* chatters,
                   TargetFigures* figures) {
    LoadState state;
    state.outstanding.assign(chatters->size(), 0);
    std::vector<Arrival> arrivals;
    ProcessUsage before = readProcessUsage(target->process.pid);
    ProcessUsage benchBefore = readProcessUsage(getpid());
    long long consoleBefore = target->process.outputBytes;
    double start = benchSeconds();
    for (int chatter = 0; chatter < static_cast<int>(chatters->size()); ++chatter)
        for (int line = 0; line < settings.saturationWindow; ++line) sendNext(chatters, &state, chatter);
    while (benchSeconds() < start + settings.saturationSeconds)
        serviceLoad(target, chatters, &state, true, &arrivals);
    double elapsed = benchSeconds() - start;
    ProcessUsage after = readProcessUsage(target->process.pid);
    ProcessUsage benchAfter = readProcessUsage(getpid());
    figures->saturationRate = state.echoes / elapsed;
    figures->saturationBenchCpuPercent = (benchAfter.cpuSeconds - benchBefore.cpuSeconds) / elapsed * 100;
    if (before.valid && after.valid) {
        figures->saturationSleepsPerSecond = (after.voluntarySwitches - before.voluntarySwitches) / elapsed;
        figures->saturationCpuPercent = (after.cpuSeconds - before.cpuSeconds) / elapsed * 100;
    }
    if (target->process.outputFd >= 0)
        figures->consoleBytesPerSecond = (target->process.outputBytes - consoleBefore) / elapsed;
    double drainEnd = benchSeconds() + DrainSeconds;
    while (totalOutstanding(state) > 0 && benchSeconds() < drainEnd)
        serviceLoad(target, chatters, &state, false, &arrivals);
    if (totalOutstanding(state) > 0)
        figures->notes += "saturation: " + std::to_string(totalOutstanding(state)) + " lines never came back; ";
    idleFor(target, chatters, 0.2);
}
