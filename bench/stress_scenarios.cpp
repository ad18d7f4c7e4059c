#include "bench/stress_scenarios.h"

#include <algorithm>
#include <cstdlib>

#include "bench/proc_stats.h"
#include "bench/report.h"

namespace {

constexpr double DrainLimitSeconds = 30;
constexpr int FlooderWindow = 16;
constexpr double LobbyLineInterval = 0.1;

// Lines in flight per chatter, and who sent each sequence number.
struct Flight {
    std::vector<int> owner;
    std::vector<int> outstanding;
    long delivered = 0;
};

void sendNext(std::vector<BenchChatter>* chatters, Flight* flight, int chatter, const Text& filler) {
    int sequence = static_cast<int>(flight->owner.size());
    flight->owner.push_back(chatter);
    ++flight->outstanding[chatter];
    Text line = sequencedLine(sequence);
    // The mark stays at the end, where lineSequence looks for it.
    sayText(&(*chatters)[chatter], filler.empty() ? line : SayTag + filler + " " + messageBody(line));
}

long totalOutstanding(const Flight& flight) {
    long total = 0;
    for (int lines : flight.outstanding) total += lines;
    return total;
}

int droppedCount(const std::vector<BenchChatter>& chatters) {
    int dropped = 0;
    for (const BenchChatter& chatter : chatters) dropped += chatter.lost;
    return dropped;
}

// Services once; counts every copy of a sequenced line, and refills the sender's window when its own
// comes back, if it is one of the senders.
void serviceFlight(BenchTarget* target, std::vector<BenchChatter>* chatters, Flight* flight,
                   const std::vector<bool>& sending, const Text& filler, std::vector<Arrival>* arrivals) {
    arrivals->clear();
    serviceChatters(chatters, &target->process, 1, arrivals);
    for (const Arrival& arrival : *arrivals) {
        int sequence = lineSequence(arrival.text);
        if (sequence < 0 || sequence >= static_cast<int>(flight->owner.size())) continue;
        ++flight->delivered;
        if (flight->owner[sequence] != arrival.chatter) continue;
        --flight->outstanding[arrival.chatter];
        if (sending[arrival.chatter] && !(*chatters)[arrival.chatter].lost)
            sendNext(chatters, flight, arrival.chatter, filler);
    }
}

// Printable filler of the length, different for each seed, no blank.
Text fillerText(size_t bytes, int seed) {
    Text text(bytes, 'a');
    for (size_t i = 0; i < bytes; ++i) text[i] = static_cast<char>('a' + (i * 7 + static_cast<size_t>(seed)) % 26);
    return text;
}

void measureLongLine(BenchTarget* target, std::vector<BenchChatter>* chatters, size_t bodyBytes, int seed,
                     LongLineResult* result) {
    result->bodyBytes = bodyBytes;
    BenchChatter& sender = (*chatters)[0];
    Text body = fillerText(bodyBytes, seed);
    Text relayed = SayTag + sender.name + " " + body;
    Text next = "SAY bench#" + std::to_string(900000 + seed);
    Text nextRelayed = SayTag + sender.name + " bench#" + std::to_string(900000 + seed);
    size_t count = chatters->size();
    std::vector<double> wholeAt(count, -1), nextAt(count, -1);
    double start = benchSeconds();
    sayText(&sender, SayTag + body);
    sayText(&sender, next);
    std::vector<Arrival> arrivals;
    int complete = 0;
    while (complete < static_cast<int>(count) && benchSeconds() < start + DrainLimitSeconds) {
        arrivals.clear();
        serviceChatters(chatters, &target->process, 1, &arrivals);
        for (const Arrival& arrival : arrivals) {
            size_t who = static_cast<size_t>(arrival.chatter);
            if (arrival.bytes == relayed.size() + 1 && arrival.text == relayed) wholeAt[who] = arrival.time;
            if (arrival.text == nextRelayed && nextAt[who] < 0) {
                nextAt[who] = arrival.time;
                ++complete;
            }
        }
    }
    double lastWhole = start, lastNext = start;
    for (size_t i = 0; i < count; ++i) {
        if (wholeAt[i] >= 0) ++result->whole, lastWhole = std::max(lastWhole, wholeAt[i]);
        if (nextAt[i] >= 0 && wholeAt[i] >= 0 && nextAt[i] >= wholeAt[i]) ++result->nextFollowed;
        if (nextAt[i] >= 0) lastNext = std::max(lastNext, nextAt[i]);
    }
    if (result->whole == static_cast<int>(count)) result->everyoneMs = (lastWhole - start) * 1000;
    if (complete == static_cast<int>(count)) result->nextMs = (lastNext - start) * 1000;
}

// Chatter 0 keeps FlooderWindow lines of 1 MiB on their way; chatter 1 says a short line every 100 ms and
// times its return; the server's resident size is sampled as it goes.
void runLargeLineFlooder(BenchTarget* target, std::vector<BenchChatter>* chatters, double seconds,
                         LongLineFigures* figures) {
    Flight flight;
    flight.outstanding.assign(chatters->size(), 0);
    std::vector<bool> sending(chatters->size(), false);
    sending[0] = true;
    Text filler = fillerText(1 << 20, 5);
    std::vector<Arrival> arrivals;
    std::vector<double> echo, lobbySent;  // the short lines' send times, by their number
    const Text lobbyMark = SayTag + (*chatters)[1].name + " lobby#";
    double nextLobby = benchSeconds(), nextSample = benchSeconds();
    double start = benchSeconds();
    for (int line = 0; line < FlooderWindow; ++line) sendNext(chatters, &flight, 0, filler);
    while (benchSeconds() < start + seconds) {
        serviceFlight(target, chatters, &flight, sending, filler, &arrivals);
        for (const Arrival& arrival : arrivals) {
            if (arrival.chatter != 1 || arrival.text.compare(0, lobbyMark.size(), lobbyMark) != 0) continue;
            size_t number = std::strtoul(arrival.text.c_str() + lobbyMark.size(), nullptr, 10);
            if (number < lobbySent.size()) echo.push_back((arrival.time - lobbySent[number]) * 1000);
        }
        double now = benchSeconds();
        if (now >= nextLobby) {
            sayText(&(*chatters)[1], "SAY lobby#" + std::to_string(lobbySent.size()));
            lobbySent.push_back(now);
            nextLobby = now + LobbyLineInterval;
        }
        if (now >= nextSample) {
            ProcessUsage usage = readProcessUsage(target->process.pid);
            if (usage.valid) figures->residentMaxKiB = std::max(figures->residentMaxKiB, usage.residentKiB);
            nextSample = now + 0.1;
        }
    }
    figures->flooderSeconds = benchSeconds() - start;
    figures->flooderSent = static_cast<long>(flight.owner.size());
    sending[0] = false;
    double drainEnd = benchSeconds() + DrainLimitSeconds;
    while (flight.outstanding[0] > 0 && benchSeconds() < drainEnd)
        serviceFlight(target, chatters, &flight, sending, filler, &arrivals);
    figures->flooderRelayed = figures->flooderSent - flight.outstanding[0];
    figures->lobbyEcho = summarize(echo);
    figures->lobbyLost = static_cast<int>(lobbySent.size() - echo.size());
    ProcessUsage usage = readProcessUsage(target->process.pid);
    if (usage.valid) figures->residentEndKiB = usage.residentKiB, figures->peakEndKiB = usage.peakKiB;
}

}  // namespace

void runFlood(BenchTarget* target, const BenchSettings& /*settings*/, std::vector<BenchChatter>* chatters,
              double seconds, int window, FloodFigures* figures) {
    Flight flight;
    flight.outstanding.assign(chatters->size(), 0);
    std::vector<bool> sending(chatters->size(), true);
    std::vector<Arrival> arrivals;
    figures->seconds = seconds;
    figures->window = window;
    double start = benchSeconds();
    for (int chatter = 0; chatter < static_cast<int>(chatters->size()); ++chatter)
        for (int line = 0; line < window; ++line) sendNext(chatters, &flight, chatter, "");
    while (benchSeconds() < start + seconds) serviceFlight(target, chatters, &flight, sending, "", &arrivals);
    double elapsed = benchSeconds() - start;
    figures->sent = static_cast<long>(flight.owner.size());
    figures->expected = figures->sent * static_cast<long>(chatters->size());
    sending.assign(chatters->size(), false);
    double drainStart = benchSeconds();
    while (flight.delivered < figures->expected && benchSeconds() < drainStart + DrainLimitSeconds)
        serviceFlight(target, chatters, &flight, sending, "", &arrivals);
    figures->drainSeconds = benchSeconds() - drainStart;
    figures->delivered = flight.delivered;
    figures->rate = (figures->sent - totalOutstanding(flight)) / elapsed;
    figures->dropped = droppedCount(*chatters);
    ProcessUsage usage = readProcessUsage(target->process.pid);
    if (usage.valid) figures->peakKiB = usage.peakKiB;
}

void printFlood(std::FILE* out, const FloodFigures& f) {
    std::fprintf(out,
                 "flood: %.0f s, %d lines in flight per chatter: sent %ld, delivered %ld of %ld (lost %ld), "
                 "chatters dropped %d, %s lines/s, drained in %s s, server peak %ld KiB\n",
                 f.seconds, f.window, f.sent, f.delivered, f.expected, f.expected - f.delivered, f.dropped,
                 figureText(f.rate, 0).c_str(), figureText(f.drainSeconds, 2).c_str(), f.peakKiB);
}

void runLongLines(BenchTarget* target, const BenchSettings& /*settings*/, std::vector<BenchChatter>* chatters,
                  double flooderSeconds, LongLineFigures* figures) {
    ProcessUsage before = readProcessUsage(target->process.pid);
    if (before.valid) figures->peakBeforeKiB = before.peakKiB;
    int seed = 0;
    for (size_t bytes : {size_t(1500), size_t(4096), size_t(65536), size_t(1) << 20}) {
        LongLineResult result;
        measureLongLine(target, chatters, bytes, ++seed, &result);
        figures->lines.push_back(result);
        idleFor(target, chatters, 0.2);
    }
    ProcessUsage after = readProcessUsage(target->process.pid);
    if (after.valid) figures->peakAfterLinesKiB = after.peakKiB;
    if (chatters->size() >= 2 && flooderSeconds > 0) runLargeLineFlooder(target, chatters, flooderSeconds, figures);
    figures->dropped = droppedCount(*chatters);
}

void printLongLines(std::FILE* out, const LongLineFigures& f) {
    std::fprintf(out, "%-12s %18s %20s %22s\n", "body bytes", "whole at chatters", "all had it (ms)",
                 "next line, all (ms)");
    for (const LongLineResult& line : f.lines)
        std::fprintf(out, "%-12zu %18d %20s %15s (%d after it)\n", line.bodyBytes, line.whole,
                     figureText(line.everyoneMs, 1).c_str(), figureText(line.nextMs, 1).c_str(), line.nextFollowed);
    std::fprintf(out, "server peak before / after the long lines: %ld / %ld KiB\n", f.peakBeforeKiB,
                 f.peakAfterLinesKiB);
    if (f.flooderSeconds <= 0) return;
    std::fprintf(out,
                 "large-line flooder, %.1f s with %d lines of 1 MiB in flight: sent %ld, relayed %ld; server "
                 "resident max %ld KiB, at the end %ld KiB, peak %ld KiB\n",
                 f.flooderSeconds, FlooderWindow, f.flooderSent, f.flooderRelayed, f.residentMaxKiB, f.residentEndKiB,
                 f.peakEndKiB);
    std::fprintf(out, "lobby line every 100 ms meanwhile: %zu back, median %s ms, p99 %s ms, max %s ms, %d not back "
                      "by the flood's end\n",
                 f.lobbyEcho.count, figureText(f.lobbyEcho.count ? f.lobbyEcho.median : NoFigure, 1).c_str(),
                 figureText(f.lobbyEcho.count ? f.lobbyEcho.p99 : NoFigure, 1).c_str(),
                 figureText(f.lobbyEcho.count ? f.lobbyEcho.max : NoFigure, 1).c_str(), f.lobbyLost);
    std::fprintf(out, "chatters dropped: %d\n", f.dropped);
}
