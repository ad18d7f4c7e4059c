#include "bench/stress_options.h"

#include <algorithm>

#include "bench/stress_lobby.h"
#include "bench/targets.h"

bool startStressServer(const BenchOptions& options, BenchTarget* target, std::FILE* out) {
    Text error;
    if (!startServerTarget(options, target, &error)) {
        std::fprintf(stderr, "chat-bench: server: %s\n", error.c_str());
        return false;
    }
    std::fprintf(out, "%s\n", target->label.c_str());
    return true;
}

int stressTalkers(const BenchOptions& options) { return std::min(10, options.settings.chatters); }

bool startStressLobby(const BenchOptions& options, BenchTarget* target, StressLobby* lobby, std::FILE* out) {
    if (!startStressServer(options, target, out)) return false;
    Text error;
    if (openStressLobby(lobby, target, stressTalkers(options), 10, &error)) return true;
    std::fprintf(stderr, "chat-bench: %s\n", error.c_str());
    closeStressLobby(lobby);
    stopTarget(target);
    return false;
}

bool chosenStressOption(const BenchOptions& options) {
    return options.silentPeerSeconds > 0 || options.slowReaderSeconds > 0 || options.tinyPacketSeconds > 0 ||
           options.halfOpenConnects > 0 || options.firstLineTries > 0 || options.abruptLeaverRounds > 0;
}

int runStressOption(const BenchOptions& options, std::FILE* out) {
    if (options.silentPeerSeconds > 0) return runSilentPeer(options, out);
    if (options.slowReaderSeconds > 0) return runSlowReader(options, out);
    if (options.tinyPacketSeconds > 0) return runTinyPackets(options, out);
    if (options.halfOpenConnects > 0) return runHalfOpen(options, out);
    if (options.firstLineTries > 0) return runFirstLine(options, out);
    return runAbruptLeaver(options, out);
}
