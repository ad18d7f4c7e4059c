#include "bench/latency_scenarios.h"

#include <cstdlib>

namespace {

const Text SequenceMark = "bench#";
const Text ListHead = WhisperTag + LobbyName + " Chatters:\r\n";

struct Delivery {
    double echo = -1;      // seconds until back at the sender
    double everyone = -1;  // seconds until the last of the others had it
};

Delivery awaitDelivery(BenchTarget* target, std::vector<BenchChatter>* chatters, int sequence, int sender,
                       double start) {
    Delivery delivery;
    int others = 0;
    int expected = static_cast<int>(chatters->size()) - 1;
    std::vector<Arrival> arrivals;
    while ((delivery.echo < 0 || others < expected) && benchSeconds() < start + 1.0) {
        arrivals.clear();
        serviceChatters(chatters, &target->process, 1, &arrivals);
        for (const Arrival& arrival : arrivals) {
            if (lineSequence(arrival.text) != sequence) continue;
            if (arrival.chatter == sender) delivery.echo = arrival.time - start;
            else if (++others == expected) delivery.everyone = arrival.time - start;
        }
    }
    if (expected == 0 && delivery.echo >= 0) delivery.everyone = delivery.echo;
    return delivery;
}

int countListLines(const Text& reply) {
    int lines = 0;
    for (size_t at = reply.find("\r\n"); at != Text::npos; at = reply.find("\r\n", at + 2)) ++lines;
    return lines - 1;  // the first line is the heading
}

}  // namespace

Text sequencedLine(int sequence) { return SayTag + SequenceMark + std::to_string(sequence); }

int lineSequence(const Text& text) {
    if (tagField(text) != SayTag) return -1;
    size_t mark = text.rfind(SequenceMark);
    if (mark == Text::npos) return -1;
    Text digits = text.substr(mark + SequenceMark.size());
    if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != Text::npos) return -1;
    return std::atoi(digits.c_str());
}

void idleFor(BenchTarget* target, std::vector<BenchChatter>* chatters, double seconds) {
    double end = benchSeconds() + seconds;
    ChildProcess* console = target != nullptr ? &target->process : nullptr;
    while (benchSeconds() < end) serviceChatters(chatters, console, 5, nullptr);
}

void runJoin(BenchTarget* target, const BenchSettings& settings, std::vector<BenchChatter>* chatters,
             TargetFigures* figures) {
    chatters->resize(static_cast<size_t>(settings.chatters));
    double start = benchSeconds();
    Text error;
    for (BenchChatter& chatter : *chatters)
        if (!openChatter(&chatter, target->port, &error)) return void(figures->notes += error + "; ");
    bool complete = awaitJoined(chatters, &target->process, 10.0);
    figures->joined = joinedCount(*chatters);
    if (complete) figures->joinSeconds = benchSeconds() - start;
    else figures->notes += "only " + std::to_string(figures->joined) + " chatters joined within 10 s; ";
}

void runLatency(BenchTarget* target, const BenchSettings& settings, std::vector<BenchChatter>* chatters,
                TargetFigures* figures) {
    std::vector<double> echo, everyone;
    for (int sequence = 0; sequence < settings.latencyLines; ++sequence) {
        int sender = sequence % static_cast<int>(chatters->size());
        double start = benchSeconds();
        sayText(&(*chatters)[sender], sequencedLine(sequence));
        Delivery delivery = awaitDelivery(target, chatters, sequence, sender, start);
        if (delivery.echo >= 0) echo.push_back(delivery.echo * 1000);
        if (delivery.everyone >= 0) everyone.push_back(delivery.everyone * 1000);
        else ++figures->latencyLost;
        idleFor(target, chatters, start + settings.latencyInterval - benchSeconds());
    }
    figures->echo = summarize(echo);
    figures->everyone = summarize(everyone);
}

void runWho(BenchTarget* target, const BenchSettings& settings, std::vector<BenchChatter>* chatters,
            TargetFigures* figures) {
    std::vector<double> times;
    std::vector<Arrival> arrivals;
    for (int request = 0; request < settings.whoRequests; ++request) {
        int asker = request % static_cast<int>(chatters->size());
        double start = benchSeconds();
        sayText(&(*chatters)[asker], WhoTag);
        bool answered = false;
        while (!answered && benchSeconds() < start + 1.0) {
            arrivals.clear();
            serviceChatters(chatters, &target->process, 1, &arrivals);
            for (const Arrival& arrival : arrivals) {
                if (arrival.chatter != asker || arrival.text.compare(0, ListHead.size(), ListHead) != 0) continue;
                answered = true;
                times.push_back((arrival.time - start) * 1000);
                int listed = countListLines(arrival.text);
                if (listed != static_cast<int>(chatters->size())) {
                    ++figures->whoIncomplete;
                    figures->notes += "WHO listed " + std::to_string(listed) + " chatters; ";
                }
            }
        }
        if (!answered) ++figures->whoIncomplete;
        idleFor(target, chatters, 0.01);
    }
    figures->who = summarize(times);
}
