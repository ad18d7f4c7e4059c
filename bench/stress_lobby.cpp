#include "bench/stress_lobby.h"

#include <algorithm>

#include "bench/proc_stats.h"
#include "bench/report.h"
#include "bench/targets.h"

namespace {

const Text LongMark = " long#";

void sendShortLine(StressLobby* lobby, int talker) {
    int line = static_cast<int>(lobby->lineSender.size());
    lobby->lineSender.push_back(talker);
    lobby->lineSentAt.push_back(benchSeconds());
    for (std::vector<bool>& heard : lobby->heard) heard.push_back(false);
    if (lobby->window > 0) ++lobby->inFlight[talker];
    sayText(&lobby->chatters[talker], sequencedLine(line));
}

void sendLongLine(StressLobby* lobby) {
    BenchChatter& sender = lobby->chatters[lobby->longSender];
    sayText(&sender, SayTag + lobby->longBody + LongMark + std::to_string(lobby->longSent++));
}

bool canTalk(const BenchChatter& chatter) { return hasJoined(chatter) && !chatter.lost && chatter.serviced; }

// A talker listens for the other talkers' lines; a lone talker listens for its own, back from the server.
bool listensTo(const StressLobby& lobby, int talker, int sender) { return lobby.talkers == 1 || talker != sender; }

void noteShortLine(StressLobby* lobby, const Arrival& arrival) {
    int line = lineSequence(arrival.text);
    if (line < 0 || line >= static_cast<int>(lobby->lineSender.size())) return;
    int sender = lobby->lineSender[line];
    if (arrival.chatter == sender && lobby->window > 0) {
        --lobby->inFlight[sender];
        if (lobby->talking && canTalk(lobby->chatters[sender])) sendShortLine(lobby, sender);
    }
    if (arrival.chatter >= lobby->talkers || !listensTo(*lobby, arrival.chatter, sender)) return;
    std::vector<bool>& heard = lobby->heard[arrival.chatter];
    if (heard[line]) return;
    heard[line] = true;
    lobby->delays.push_back((arrival.time - lobby->lineSentAt[line]) * 1000);
    double& last = lobby->lastHeard[arrival.chatter];
    if (lobby->talking) lobby->longestSilence = std::max(lobby->longestSilence, arrival.time - last);
    last = std::max(last, arrival.time);
}

void noteArrivals(StressLobby* lobby) {
    for (const Arrival& arrival : lobby->arrivals) {
        noteShortLine(lobby, arrival);
        bool ownLong = arrival.chatter == lobby->longSender && arrival.bytes > lobby->longBody.size();
        if (!ownLong) continue;
        ++lobby->longBack;
        if (lobby->talking && canTalk(lobby->chatters[lobby->longSender])) sendLongLine(lobby);
    }
}

void sendDueLines(StressLobby* lobby) {
    if (!lobby->talking || lobby->window > 0) return;
    double now = benchSeconds();
    for (int talker = 0; talker < lobby->talkers; ++talker) {
        if (now < lobby->nextLineAt[talker] || !canTalk(lobby->chatters[talker])) continue;
        sendShortLine(lobby, talker);
        lobby->nextLineAt[talker] = std::max(lobby->nextLineAt[talker] + lobby->interval, now);
    }
}

long owedMissing(const StressLobby& lobby) {
    long missing = 0;
    for (int talker = 0; talker < lobby.talkers; ++talker) {
        if (!canTalk(lobby.chatters[talker])) continue;
        for (size_t line = 0; line < lobby.lineSender.size(); ++line)
            missing += listensTo(lobby, talker, lobby.lineSender[line]) && !lobby.heard[talker][line];
    }
    return missing;
}

}  // namespace

bool hasJoined(const BenchChatter& chatter) { return chatter.welcomed && chatter.announced; }

bool openStressLobby(StressLobby* lobby, BenchTarget* target, int talkers, double joinSeconds, Text* error) {
    lobby->target = target;
    lobby->talkers = talkers;
    lobby->chatters.resize(static_cast<size_t>(talkers));
    for (BenchChatter& chatter : lobby->chatters)
        if (!openChatter(&chatter, target->port, error)) return false;
    lobby->heard.assign(static_cast<size_t>(talkers), {});
    if (awaitJoined(&lobby->chatters, &target->process, joinSeconds)) return true;
    *error = std::to_string(joinedCount(lobby->chatters)) + " of " + std::to_string(talkers) +
             " talkers joined within " + secondsText(joinSeconds);
    return false;
}

int addChatter(StressLobby* lobby) {
    lobby->chatters.emplace_back();
    Text error;
    openChatter(&lobby->chatters.back(), lobby->target->port, &error);
    return static_cast<int>(lobby->chatters.size()) - 1;
}

std::vector<int> addJoinedChatters(StressLobby* lobby, int count, double seconds) {
    std::vector<int> added;
    for (int i = 0; i < count; ++i) added.push_back(addChatter(lobby));
    double end = benchSeconds() + seconds;
    auto allIn = [&] {
        for (int index : added)
            if (!hasJoined(lobby->chatters[index])) return false;
        return true;
    };
    while (!allIn() && benchSeconds() < end) serviceLobby(lobby);
    return added;
}

void startTalking(StressLobby* lobby) {
    double now = benchSeconds();
    lobby->talking = true;
    lobby->lastHeard.assign(static_cast<size_t>(lobby->talkers), now);
    lobby->inFlight.assign(static_cast<size_t>(lobby->talkers), 0);
    lobby->nextLineAt.clear();
    // Spread over the interval, so the lobby does not speak in chorus.
    for (int talker = 0; talker < lobby->talkers; ++talker)
        lobby->nextLineAt.push_back(now + lobby->interval * talker / lobby->talkers);
    for (int talker = 0; talker < lobby->talkers && lobby->window > 0; ++talker)
        for (int line = 0; line < lobby->window; ++line) sendShortLine(lobby, talker);
    if (lobby->longSender < 0) return;
    if (lobby->longBody.empty()) lobby->longBody = fillerBody(1 << 20, 7);
    for (int line = 0; line < lobby->longWindow; ++line) sendLongLine(lobby);
}

void serviceLobby(StressLobby* lobby, int waitMs) {
    lobby->arrivals.clear();
    serviceChatters(&lobby->chatters, &lobby->target->process, waitMs, &lobby->arrivals);
    noteArrivals(lobby);
    sendDueLines(lobby);
}

void serviceLobbyFor(StressLobby* lobby, double seconds) {
    double end = benchSeconds() + seconds;
    while (benchSeconds() < end) serviceLobby(lobby);
}

ShortLineFigures stopTalking(StressLobby* lobby, double drainSeconds) {
    ShortLineFigures figures;
    double now = benchSeconds();
    // A talker still silent when the sending stops has been silent since it last heard a line.
    for (int talker = 0; talker < lobby->talkers; ++talker)
        if (canTalk(lobby->chatters[talker]) && !lobby->lastHeard.empty())
            lobby->longestSilence = std::max(lobby->longestSilence, now - lobby->lastHeard[talker]);
    lobby->talking = false;
    double end = now + drainSeconds;
    while (benchSeconds() < end && owedMissing(*lobby) > 0) serviceLobby(lobby);
    figures.longestSilence = lobby->longestSilence;
    figures.delay = summarize(lobby->delays);
    figures.missing = owedMissing(*lobby);
    ProcessUsage usage = readProcessUsage(lobby->target->process.pid);
    if (usage.valid) figures.peakKiB = usage.peakKiB;
    return figures;
}

void vanish(BenchChatter* chatter) {
    if (chatter->host != nullptr) enet_host_destroy(chatter->host);
    chatter->host = nullptr;
    chatter->peer = nullptr;
    chatter->serviced = false;
}

void closeStressLobby(StressLobby* lobby) {
    for (BenchChatter& chatter : lobby->chatters)
        if (!chatter.serviced) vanish(&chatter);
    closeChatters(&lobby->chatters);
}

void printShortLines(std::FILE* out, const ShortLineFigures& f) {
    bool any = f.delay.count > 0;
    std::fprintf(out,
                 "  others' longest silence %.2f s; their short lines: %zu arrived, delay of those p50 / p99 / max "
                 "%s / %s / %s ms, %ld missing; server peak %ld KiB\n",
                 f.longestSilence, f.delay.count, figureText(any ? f.delay.median : NoFigure, 1).c_str(),
                 figureText(any ? f.delay.p99 : NoFigure, 1).c_str(), figureText(any ? f.delay.max : NoFigure, 1).c_str(),
                 f.missing, f.peakKiB);
}

Text secondsText(double seconds, const char* none) {
    if (seconds < 0 || std::isnan(seconds)) return none;
    return figureText(seconds, 2) + " s";
}

Text fillerBody(size_t bytes, int seed) {
    Text text(bytes, 'a');
    for (size_t i = 0; i < bytes; ++i) text[i] = static_cast<char>('a' + (i * 7 + static_cast<size_t>(seed)) % 26);
    return text;
}

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
    endStressRun(lobby, target, 1);
    return false;
}

int endStressRun(StressLobby* lobby, BenchTarget* target, int status) {
    closeStressLobby(lobby);
    stopTarget(target);
    return status;
}
