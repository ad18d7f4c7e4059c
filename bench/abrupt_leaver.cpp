#include "bench/abrupt_leaver.h"

#include <algorithm>

#include "bench/report.h"
#include "bench/stress_lobby.h"
#include "bench/targets.h"

namespace {

constexpr double JoinSeconds = 10;
constexpr double SettleSeconds = 1.0;  // a leaver's first ping is acknowledged before it speaks
constexpr double WatchSeconds = 12;    // ENet gives a vanished peer up after 5 to 9 s on loopback
constexpr double AfterOldSeconds = 0.3;  // lines still counted after the OLD, to see them come late
constexpr double DrainSeconds = 2.0;
constexpr int LinesBeforeLeaving = 30;
constexpr int BusyWindow = 4;

struct LeaveRound {
    bool joined = false;
    int arrived = 0;
    int afterOld = 0;
    double oldSeconds = -1;  // from the goodbye to the OLD at the watcher
};

void watchRound(StressLobby* lobby, const Text& linePrefix, const Text& old, double goodbyeAt, LeaveRound* round) {
    double end = goodbyeAt + WatchSeconds;
    while (benchSeconds() < end) {
        serviceLobby(lobby);
        for (const Arrival& arrival : lobby->arrivals) {
            if (arrival.chatter != 0) continue;
            if (arrival.text.compare(0, linePrefix.size(), linePrefix) == 0) {
                ++round->arrived;
                round->afterOld += round->oldSeconds >= 0;
            }
            if (arrival.text == old && round->oldSeconds < 0) {
                round->oldSeconds = arrival.time - goodbyeAt;
                end = std::min(end, arrival.time + AfterOldSeconds);
            }
        }
    }
}

void runRound(StressLobby* lobby, int number, LeaveRound* round) {
    std::vector<int> added = addJoinedChatters(lobby, 1, JoinSeconds);
    BenchChatter* leaver = &lobby->chatters[added[0]];
    round->joined = hasJoined(*leaver);
    if (!round->joined) return vanish(leaver);
    serviceLobbyFor(lobby, SettleSeconds);
    leaver = &lobby->chatters[added[0]];
    Text tag = "leave#" + std::to_string(number) + ".";
    for (int line = 0; line < LinesBeforeLeaving; ++line) sayText(leaver, SayTag + tag + std::to_string(line));
    enet_peer_disconnect(leaver->peer, 0);
    enet_host_flush(leaver->host);
    vanish(leaver);
    double goodbyeAt = benchSeconds();
    watchRound(lobby, SayTag + leaver->name + " " + tag, OldTag + leaver->name, goodbyeAt, round);
}

Text rangeOf(double low, double high, int decimals) {
    Text a = figureText(low, decimals), b = figureText(high, decimals);
    return a == b ? a : a + "-" + b;
}

void printRounds(std::FILE* out, const std::vector<LeaveRound>& rounds) {
    int joined = 0, allBefore = 0, withOld = 0;
    double lowLines = 1e9, highLines = -1, lowOld = 1e9, highOld = -1;
    for (size_t r = 0; r < rounds.size(); ++r) {
        const LeaveRound& round = rounds[r];
        if (!round.joined) {
            std::fprintf(out, "  round %zu: the leaver did not join within %.0f s\n", r + 1, JoinSeconds);
            continue;
        }
        ++joined;
        lowLines = std::min(lowLines, double(round.arrived)), highLines = std::max(highLines, double(round.arrived));
        bool before = round.arrived == LinesBeforeLeaving && round.afterOld == 0 && round.oldSeconds >= 0;
        allBefore += before;
        if (round.oldSeconds >= 0) {
            ++withOld;
            lowOld = std::min(lowOld, round.oldSeconds), highOld = std::max(highOld, round.oldSeconds);
        }
        if (!before || round.oldSeconds > 1.0)
            std::fprintf(out, "  round %zu: %d of %d lines, %d of them after the OLD, OLD %s after the goodbye\n",
                         r + 1, round.arrived, LinesBeforeLeaving, round.afterOld,
                         secondsText(round.oldSeconds, "not within 12 s").c_str());
    }
    std::fprintf(out, "  %d rounds, %d joined: lines arrived %s of %d; all before the OLD in %d; OLD in %d, %s s "
                      "after the goodbye\n",
                 static_cast<int>(rounds.size()), joined, joined ? rangeOf(lowLines, highLines, 0).c_str() : "-",
                 LinesBeforeLeaving, allBefore, withOld, withOld ? rangeOf(lowOld, highOld, 2).c_str() : "-");
}

}  // namespace

int runAbruptLeaver(const BenchOptions& options, std::FILE* out) {
    BenchTarget target;
    StressLobby lobby;
    lobby.window = BusyWindow;
    if (!startStressLobby(options, &target, &lobby, out)) return 1;
    startTalking(&lobby);
    serviceLobbyFor(&lobby, 1.0);
    std::vector<LeaveRound> rounds(static_cast<size_t>(options.abruptLeaverRounds));
    for (int r = 0; r < options.abruptLeaverRounds; ++r) runRound(&lobby, r, &rounds[r]);
    ShortLineFigures figures = stopTalking(&lobby, DrainSeconds);
    std::fprintf(out, "abrupt leaver: %d talkers each keep %d lines in flight; each leaver says %d lines, then "
                      "disconnect, flush and its host destroyed at once; the first talker watches\n",
                 lobby.talkers, BusyWindow, LinesBeforeLeaving);
    printRounds(out, rounds);
    printShortLines(out, figures);
    return endStressRun(&lobby, &target, 0);
}
