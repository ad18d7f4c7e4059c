#include "bench/last_line.h"

#include <algorithm>

#include "client/connection.h"

namespace {

// The quitter's own pass: the client sends on Enter, then services and pauses 10 ms before it looks
// at Esc again.
constexpr double ClientPassSeconds = 0.010;
// A quitter chats a while before its last line: right after joining, its first ping may still wait for
// an acknowledgement, which would hold its goodbye back on its own.
constexpr double SettleSeconds = 1.0;
// How long the watcher waits for the line and the leave notice after the quitter has gone.
constexpr double WatchSeconds = 3.0;

const Text QuitMark = "quit#";

enum LeaveStyle { ClientLeave, AbruptLeave, LeaveStyles };
const char* const LeaveNames[LeaveStyles] = {"as chat-client leaves (leaveServer)", "abrupt (disconnect, flush, destroy)"};

struct Load {
    std::vector<BenchChatter> chatters;  // the first one also watches
    std::vector<int> owner;              // the sender of each load line
    std::vector<Arrival> arrivals;       // of the last service call
};

struct Tally {
    int rounds = 0;
    int joined = 0;
    int lineArrived = 0;
    int leaveAnnounced = 0;  // within the watch time
    double leaveSeconds = 0; // summed time the leave procedure took
};

void sendLoadLine(Load* load, int chatter) {
    int sequence = static_cast<int>(load->owner.size());
    load->owner.push_back(chatter);
    sayText(&load->chatters[chatter], sequencedLine(sequence));
}

// Services the lobby and the quitter once; each load line that is back at its sender is replaced.
void serviceLoad(BenchTarget* target, Load* load, std::vector<BenchChatter>* quitter) {
    load->arrivals.clear();
    serviceChatters(&load->chatters, &target->process, 1, &load->arrivals);
    if (!quitter->empty() && (*quitter)[0].host != nullptr) serviceChatters(quitter, nullptr, 0, nullptr);
    for (const Arrival& arrival : load->arrivals) {
        int sequence = lineSequence(arrival.text);
        if (sequence >= 0 && sequence < static_cast<int>(load->owner.size()) && load->owner[sequence] == arrival.chatter)
            sendLoadLine(load, arrival.chatter);
    }
}

// What the watching chatter looks for in a round.
struct Watch {
    Text line;   // the quitter's line as the lobby receives it
    Text leave;  // the quitter's leave notice
    bool arrived = false;
    bool announced = false;
};

void noteWatch(const Load& load, Watch* watch) {
    if (watch == nullptr) return;
    for (const Arrival& arrival : load.arrivals) {
        if (arrival.chatter != 0) continue;
        if (arrival.text == watch->line) watch->arrived = true;
        if (arrival.text == watch->leave) watch->announced = true;
    }
}

void serviceFor(BenchTarget* target, Load* load, std::vector<BenchChatter>* quitter, double seconds,
                Watch* watch = nullptr) {
    double end = benchSeconds() + seconds;
    while (benchSeconds() < end && !(watch != nullptr && watch->arrived && watch->announced)) {
        serviceLoad(target, load, quitter);
        noteWatch(*load, watch);
    }
}

void leave(BenchChatter* quitter, LeaveStyle style) {
    if (style == ClientLeave) {
        leaveServer(quitter->host, quitter->peer);
    } else {
        enet_peer_disconnect(quitter->peer, 0);
        enet_host_flush(quitter->host);
    }
    enet_host_destroy(quitter->host);
    *quitter = BenchChatter();
}

void runRound(BenchTarget* target, Load* load, int round, LeaveStyle style, Tally* tally) {
    ++tally->rounds;
    std::vector<BenchChatter> quitter(1);
    Text error;
    if (!openChatter(&quitter[0], target->port, &error)) return;
    double end = benchSeconds() + 5.0;
    while (!(quitter[0].welcomed && quitter[0].announced) && benchSeconds() < end) serviceLoad(target, load, &quitter);
    if (!(quitter[0].welcomed && quitter[0].announced)) return closeChatter(&quitter[0]);
    ++tally->joined;
    Watch watch;
    watch.line = SayTag + quitter[0].name + " " + QuitMark + std::to_string(round);
    watch.leave = OldTag + quitter[0].name;
    serviceFor(target, load, &quitter, SettleSeconds);
    sayText(&quitter[0], SayTag + QuitMark + std::to_string(round));
    serviceFor(target, load, &quitter, ClientPassSeconds, &watch);
    double leaveStart = benchSeconds();
    leave(&quitter[0], style);
    tally->leaveSeconds += benchSeconds() - leaveStart;
    serviceFor(target, load, &quitter, WatchSeconds, &watch);
    tally->lineArrived += watch.arrived;
    tally->leaveAnnounced += watch.announced;
}

}  // namespace

void runLastLine(BenchTarget* target, const BenchSettings& settings, int rounds, std::FILE* out) {
    Load load;
    load.chatters.resize(static_cast<size_t>(std::max(1, settings.chatters - 1)));
    Text error;
    for (BenchChatter& chatter : load.chatters) openChatter(&chatter, target->port, &error);
    awaitJoined(&load.chatters, &target->process, 10.0);
    int loaders = joinedCount(load.chatters);
    for (int c = 0; c < static_cast<int>(load.chatters.size()); ++c)
        for (int line = 0; line < settings.saturationWindow; ++line) sendLoadLine(&load, c);
    std::vector<BenchChatter> none;
    serviceFor(target, &load, &none, 1.0);
    Tally tallies[LeaveStyles];
    for (int round = 0; round < rounds; ++round) {
        LeaveStyle style = static_cast<LeaveStyle>(round % LeaveStyles);
        runRound(target, &load, round, style, &tallies[style]);
    }
    int lost = 0;
    for (const BenchChatter& chatter : load.chatters) lost += chatter.lost;
    closeChatters(&load.chatters);
    std::fprintf(out, "Last line before quitting: %d chatters keep %d lines each in flight (%d of them lost "
                      "their connection); the quitter leaves %.0f ms after its line\n",
                 loaders, settings.saturationWindow, lost, ClientPassSeconds * 1000);
    std::fprintf(out, "%-40s %-8s %-8s %-14s %-18s %-12s\n", "leaving", "rounds", "joined", "line arrived",
                 "leave announced", "leave ms");
    for (int style = 0; style < LeaveStyles; ++style) {
        const Tally& t = tallies[style];
        std::fprintf(out, "%-40s %-8d %-8d %-14d %-18d %-12.1f\n", LeaveNames[style], t.rounds, t.joined,
                     t.lineArrived, t.leaveAnnounced, t.joined > 0 ? t.leaveSeconds / t.joined * 1000 : 0.0);
    }
}
