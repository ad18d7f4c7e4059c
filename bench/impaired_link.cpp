#include "bench/impaired_link.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <map>

#include "bench/relay_child.h"
#include "bench/report.h"

namespace {

constexpr double JoinSeconds = 40;   // ENet gives a connect attempt up after about 31.5 s
constexpr double DrainSeconds = 20;  // what is still owed after this is counted as missing
constexpr double LeaveSeconds = 5;   // how long the chatters' goodbyes may take to be acknowledged

struct FirstArrival {
    int receiver = 0;
    int sequence = 0;
    double ms = 0;  // since the line was sent
};

// What one run keeps about its lines and their arrivals.
struct LineBook {
    std::vector<int> sender;                 // by sequence number
    std::vector<double> sentAt;
    std::map<std::pair<int, int>, int> seen; // (receiver, sequence) -> arrivals
    std::map<std::pair<int, int>, int> lastFrom;  // (receiver, sender) -> last sequence
    std::vector<FirstArrival> firsts;
    long duplicates = 0;
    long outOfOrder = 0;
};

void noteArrivals(const std::vector<Arrival>& arrivals, LineBook* book) {
    for (const Arrival& arrival : arrivals) {
        int sequence = lineSequence(arrival.text);
        if (sequence < 0 || sequence >= static_cast<int>(book->sender.size())) continue;
        if (++book->seen[{arrival.chatter, sequence}] > 1) {
            ++book->duplicates;
            continue;
        }
        auto last = book->lastFrom.find({arrival.chatter, book->sender[sequence]});
        if (last != book->lastFrom.end() && last->second > sequence) ++book->outOfOrder;
        else book->lastFrom[{arrival.chatter, book->sender[sequence]}] = sequence;
        book->firsts.push_back({arrival.chatter, sequence, (arrival.time - book->sentAt[sequence]) * 1000});
    }
}

bool joined(const BenchChatter& chatter) { return chatter.welcomed && chatter.announced; }
bool stayed(const BenchChatter& chatter) { return joined(chatter) && !chatter.lost; }

long owedDeliveries(const std::vector<BenchChatter>& chatters, const LineBook& book, long* delivered) {
    long owed = 0;
    *delivered = 0;
    for (size_t sequence = 0; sequence < book.sender.size(); ++sequence) {
        if (!stayed(chatters[book.sender[sequence]])) continue;
        for (size_t receiver = 0; receiver < chatters.size(); ++receiver) {
            if (!stayed(chatters[receiver])) continue;
            ++owed;
            *delivered += book.seen.count({static_cast<int>(receiver), static_cast<int>(sequence)});
        }
    }
    return owed;
}

// Sends each joined chatter's lines, spread evenly over the interval, while taking what arrives.
void sendLines(BenchTarget* target, std::vector<BenchChatter>* chatters, const LinkSettings& link, LineBook* book) {
    std::vector<Arrival> arrivals;
    int count = static_cast<int>(chatters->size());
    double start = benchSeconds();
    int rounds = static_cast<int>(link.sendSeconds / link.lineInterval);
    std::vector<int> sentRounds(chatters->size(), 0);
    while (benchSeconds() < start + rounds * link.lineInterval + 0.1) {
        double elapsed = benchSeconds() - start;
        for (int c = 0; c < count; ++c) {
            BenchChatter& chatter = (*chatters)[c];
            double due = (sentRounds[c] + static_cast<double>(c) / count) * link.lineInterval;
            if (sentRounds[c] >= rounds || elapsed < due) continue;
            ++sentRounds[c];
            if (!stayed(chatter)) continue;
            int sequence = static_cast<int>(book->sender.size());
            book->sender.push_back(c);
            book->sentAt.push_back(benchSeconds());
            sayText(&chatter, sequencedLine(sequence));
        }
        arrivals.clear();
        serviceChatters(chatters, &target->process, 1, &arrivals);
        noteArrivals(arrivals, book);
    }
}

void drainLines(BenchTarget* target, std::vector<BenchChatter>* chatters, LineBook* book) {
    std::vector<Arrival> arrivals;
    double end = benchSeconds() + DrainSeconds;
    long delivered = 0;
    while (benchSeconds() < end && owedDeliveries(*chatters, *book, &delivered) > delivered) {
        for (int i = 0; i < 50 && benchSeconds() < end; ++i) {
            arrivals.clear();
            serviceChatters(chatters, &target->process, 2, &arrivals);
            noteArrivals(arrivals, book);
        }
    }
}

// Says goodbye from every chatter and waits, at most LeaveSeconds, until the server has acknowledged
// each goodbye (ENet resends a lost one like any reliable command). Without it a goodbye the link lost
// would keep its slot taken until ENet gave the peer up, and the next run could find the lobby full.
void leaveLobby(BenchTarget* target, std::vector<BenchChatter>* chatters) {
    for (BenchChatter& chatter : *chatters)
        if (chatter.connected) enet_peer_disconnect(chatter.peer, 0);
    auto connected = [](const BenchChatter& chatter) { return chatter.connected; };
    double end = benchSeconds() + LeaveSeconds;
    while (benchSeconds() < end && std::any_of(chatters->begin(), chatters->end(), connected))
        serviceChatters(chatters, &target->process, 5, nullptr);
}

SampleSummary owedLatency(const std::vector<BenchChatter>& chatters, const LineBook& book) {
    std::vector<double> samples;
    for (const FirstArrival& first : book.firsts)
        if (stayed(chatters[first.receiver]) && stayed(chatters[book.sender[first.sequence]]))
            samples.push_back(first.ms);
    return summarize(samples);
}

Text rangeText(double low, double high, int decimals) {
    Text a = figureText(low, decimals), b = figureText(high, decimals);
    return a == b ? a : a + "-" + b;
}

}  // namespace

LinkRun runImpairedLink(BenchTarget* target, const BenchSettings& settings, const LinkSettings& link,
                        double lossPercent, std::uint64_t seed) {
    LinkRun run;
    run.lossPercent = lossPercent;
    run.chatters = settings.chatters;
    double start = benchSeconds();
    LinkImpairment impairment{lossPercent, link.delayMs, link.jitterMs, link.duplicatePercent, seed};
    RelayChild relay;
    if (!startRelayChild(impairment, target->port, &relay)) return run;
    std::vector<BenchChatter> chatters(static_cast<size_t>(settings.chatters));
    Text error;
    for (BenchChatter& chatter : chatters) openChatter(&chatter, relay.port, &error);
    awaitJoined(&chatters, &target->process, JoinSeconds);
    for (const BenchChatter& chatter : chatters) run.joined += joined(chatter);
    LineBook book;
    sendLines(target, &chatters, link, &book);
    drainLines(target, &chatters, &book);
    for (const BenchChatter& chatter : chatters) run.dropped += joined(chatter) && chatter.lost;
    run.lines = static_cast<long>(book.sender.size());
    run.owed = owedDeliveries(chatters, book, &run.delivered);
    run.duplicates = book.duplicates;
    run.outOfOrder = book.outOfOrder;
    run.latency = owedLatency(chatters, book);
    leaveLobby(target, &chatters);
    closeChatters(&chatters);
    idleFor(target, &chatters, 0.3);
    run.relay = stopRelayChild(&relay);
    run.seconds = benchSeconds() - start;
    return run;
}

void runLossSweep(BenchTarget* target, const BenchSettings& settings, const LinkSettings& link, std::FILE* out,
                  std::FILE* progress) {
    std::fprintf(out, "Bad link: %d chatters through the impairment relay, %.0f ms +/- %.0f ms one-way delay, "
                      "%.0f %% duplication, each chatter one line every %.1f s for %.0f s; %d runs per loss\n",
                 settings.chatters, link.delayMs, link.jitterMs, link.duplicatePercent, link.lineInterval,
                 link.sendSeconds, link.runs);
    std::fprintf(out, "%-6s %-9s %-9s %-13s %-9s %-11s %-13s %-15s %-15s\n", "loss%", "joined", "dropped",
                 "lines missing", "dup/ooo", "exact runs", "relay drop%", "median ms", "p99 ms");
    for (double loss : link.losses) {
        std::vector<LinkRun> runs;
        for (int r = 0; r < link.runs; ++r) {
            LinkRun run = runImpairedLink(target, settings, link, loss, 1000 * static_cast<std::uint64_t>(loss) + r + 1);
            runs.push_back(run);
            std::fprintf(progress,
                         "loss %.0f%% run %d: joined %d/%d, dropped %d, lines %ld, owed %ld, delivered %ld, "
                         "duplicates %ld, out of order %ld, latency median %.1f p99 %.1f ms, relay dropped %ld of "
                         "%ld, duplicated %ld, overtaken %ld, overflowed %ld, %.1f s\n",
                         loss, r + 1, run.joined, run.chatters, run.dropped, run.lines, run.owed, run.delivered,
                         run.duplicates, run.outOfOrder, run.latency.median, run.latency.p99, run.relay.dropped,
                         run.relay.received, run.relay.duplicated, run.relay.overtaken, run.relay.overflowed,
                         run.seconds);
            std::fflush(progress);
        }
        auto span = [&](auto figure, int decimals) {
            double low = 1e300, high = -1e300;
            for (const LinkRun& run : runs) low = std::min(low, figure(run)), high = std::max(high, figure(run));
            return rangeText(low, high, decimals);
        };
        int exact = 0;
        for (const LinkRun& run : runs)
            exact += run.dropped == 0 && run.joined == run.chatters && run.delivered == run.owed &&
                     run.duplicates == 0 && run.outOfOrder == 0;
        std::fprintf(out, "%-6.0f %-9s %-9s %-13s %-9s %-11s %-13s %-15s %-15s\n", loss,
                     span([](const LinkRun& r) { return double(r.joined); }, 0).c_str(),
                     span([](const LinkRun& r) { return double(r.dropped); }, 0).c_str(),
                     span([](const LinkRun& r) { return double(r.owed - r.delivered); }, 0).c_str(),
                     span([](const LinkRun& r) { return double(r.duplicates + r.outOfOrder); }, 0).c_str(),
                     (std::to_string(exact) + "/" + std::to_string(runs.size())).c_str(),
                     span([](const LinkRun& r) { return r.relay.received ? 100.0 * r.relay.dropped / r.relay.received : 0; }, 1).c_str(),
                     span([](const LinkRun& r) { return r.latency.median; }, 0).c_str(),
                     span([](const LinkRun& r) { return r.latency.p99; }, 0).c_str());
        std::fflush(out);
    }
}
