#include "bench/held_lines.h"

#include <algorithm>

#include "bench/relay_child.h"
#include "bench/report.h"
#include "bench/stress_lobby.h"
#include "bench/targets.h"

namespace {

constexpr double JoinSeconds = 10;
constexpr double WarmSeconds = 1.0;   // long lines on their way before the peer goes silent
constexpr double DrainSeconds = 10.0;  // lines behind a long line to every listener take a while
constexpr double SlowJoinSeconds = 40;
// The slow reader's link toward it: 1 Mbit/s behind a queue of 64 KiB, half a second of it, as a
// home router's buffer might hold.
constexpr double SlowBitsPerSecond = 1e6;
constexpr double SlowQueueBytes = 64 * 1024;

// The first time since `since` that a talker received the text, or -1.
struct Watched {
    Text text;
    double at = -1;
};

void watchFor(const StressLobby& lobby, Watched* watched) {
    if (watched->at >= 0 || watched->text.empty()) return;
    for (const Arrival& arrival : lobby.arrivals)
        if (arrival.chatter < lobby.talkers && arrival.text == watched->text) {
            watched->at = arrival.time;
            return;
        }
}

// "1.23 s after <what>", or "not within <limit> s" when it never came.
Text sinceText(double at, double since, const char* what, double limit) {
    if (at < 0) return "not within " + figureText(limit, 1) + " s";
    return secondsText(at - since) + " after " + what;
}

}  // namespace

int runSilentPeer(const BenchOptions& options, std::FILE* out) {
    BenchTarget target;
    if (!startStressServer(options, &target, out)) return 1;
    StressLobby lobby;
    Text error;
    bool opened = openStressLobby(&lobby, &target, stressTalkers(options), JoinSeconds, &error);
    std::vector<int> extra = opened ? addJoinedChatters(&lobby, 2, JoinSeconds) : std::vector<int>();
    if (!opened || !hasJoined(lobby.chatters[extra[0]]) || !hasJoined(lobby.chatters[extra[1]])) {
        std::fprintf(stderr, "chat-bench: the lobby did not fill: %s\n", error.c_str());
        return endStressRun(&lobby, &target, 1);
    }
    lobby.longSender = extra[0];
    int silent = extra[1];
    startTalking(&lobby);
    serviceLobbyFor(&lobby, WarmSeconds);
    // From now on nothing of the silent peer reaches the server: not a datagram, not an acknowledgement.
    lobby.chatters[silent].serviced = false;
    double silentAt = benchSeconds();
    Watched old{OldTag + lobby.chatters[silent].name};
    int newcomer = -1;
    double newcomerAt = -1, welcomedAt = -1;
    while (benchSeconds() < silentAt + options.silentPeerSeconds) {
        serviceLobby(&lobby);
        watchFor(lobby, &old);
        if (newcomer < 0 && benchSeconds() >= silentAt + options.silentPeerSeconds / 3) {
            newcomer = addChatter(&lobby);
            newcomerAt = benchSeconds();
        }
        if (newcomer >= 0 && welcomedAt < 0 && hasJoined(lobby.chatters[newcomer])) welcomedAt = benchSeconds();
    }
    long longSent = lobby.longSent, longBack = lobby.longBack;
    ShortLineFigures figures = stopTalking(&lobby, DrainSeconds);
    std::fprintf(out,
                 "silent peer: %d talkers say a short line every %.0f ms, one chatter keeps %d lines of 1 MiB in "
                 "flight (%ld sent, %ld back at it), one peer stops acknowledging for %.1f s\n",
                 lobby.talkers, lobby.interval * 1000, lobby.longWindow, longSent, longBack,
                 options.silentPeerSeconds);
    double watched = options.silentPeerSeconds;
    std::fprintf(out, "  silent peer's OLD at the others: %s\n", sinceText(old.at, silentAt, "it went silent", watched).c_str());
    std::fprintf(out, "  newcomer, %.1f s after: welcomed (welcome and own NEW) %s\n", newcomerAt < 0 ? 0 : newcomerAt - silentAt,
                 sinceText(welcomedAt, newcomerAt, "connecting", silentAt + watched - newcomerAt).c_str());
    printShortLines(out, figures);
    return endStressRun(&lobby, &target, 0);
}

int runSlowReader(const BenchOptions& options, std::FILE* out) {
    BenchTarget target;
    if (!startStressServer(options, &target, out)) return 1;
    LinkImpairment link;
    link.downBytesPerSecond = SlowBitsPerSecond / 8;
    link.downQueueBytes = SlowQueueBytes;
    RelayChild relay;
    StressLobby lobby;
    Text error;
    bool ready = startRelayChild(link, target.port, &relay) &&
                 openStressLobby(&lobby, &target, stressTalkers(options), JoinSeconds, &error);
    std::vector<int> extra = ready ? addJoinedChatters(&lobby, 1, JoinSeconds) : std::vector<int>();
    int reader = -1;
    if (ready && hasJoined(lobby.chatters[extra[0]])) {
        // The slow reader reaches the server through the capped link.
        lobby.chatters.emplace_back();
        reader = static_cast<int>(lobby.chatters.size()) - 1;
        openChatter(&lobby.chatters[reader], relay.port, &error);
        double end = benchSeconds() + SlowJoinSeconds;
        while (!hasJoined(lobby.chatters[reader]) && benchSeconds() < end) serviceLobby(&lobby);
    }
    if (reader < 0 || !hasJoined(lobby.chatters[reader])) {
        std::fprintf(stderr, "chat-bench: the lobby did not fill %s\n", error.c_str());
        if (relay.pid > 0) stopRelayChild(&relay);
        return endStressRun(&lobby, &target, 1);
    }
    lobby.longSender = extra[0];
    Watched old{OldTag + lobby.chatters[reader].name};
    double start = benchSeconds(), cutAt = -1;
    startTalking(&lobby);
    while (benchSeconds() < start + options.slowReaderSeconds) {
        serviceLobby(&lobby);
        watchFor(lobby, &old);
        if (cutAt < 0 && lobby.chatters[reader].lost) cutAt = benchSeconds();
    }
    long longSent = lobby.longSent, longBack = lobby.longBack;
    ShortLineFigures figures = stopTalking(&lobby, DrainSeconds);
    closeStressLobby(&lobby);
    RelayFigures relayed = stopRelayChild(&relay);
    std::fprintf(out,
                 "slow reader: %d talkers say a short line every %.0f ms, one chatter keeps %d lines of 1 MiB in "
                 "flight (%ld sent, %ld back at it), one reader behind %.2f Mbit/s (queue %.0f KiB) for %.1f s\n",
                 lobby.talkers, lobby.interval * 1000, lobby.longWindow, longSent, longBack,
                 SlowBitsPerSecond / 1e6, SlowQueueBytes / 1024, options.slowReaderSeconds);
    std::fprintf(out, "  slow reader cut off (its disconnect): %s; its OLD at the others: %s; "
                      "link: %ld datagrams, %ld dropped at the full queue\n",
                 sinceText(cutAt, start, "the start", options.slowReaderSeconds).c_str(),
                 sinceText(old.at, start, "the start", options.slowReaderSeconds).c_str(), relayed.received,
                 relayed.overflowed);
    printShortLines(out, figures);
    stopTarget(&target);
    return 0;
}
