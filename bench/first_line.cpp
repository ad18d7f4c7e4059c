#include "bench/first_line.h"

#include <algorithm>

#include "bench/report.h"
#include "bench/stress_lobby.h"
#include "bench/targets.h"

namespace {

constexpr double TrySeconds = 10;    // a try whose lines are not back by then counts as missing
constexpr double SettleSeconds = 0.3;
constexpr double DrainSeconds = 2.0;
constexpr int BusyWindow = 4;

struct FirstLineTimes {
    std::vector<double> first, second;  // ms from the send until the line was back
    int missing = 0;                    // tries without their first or second line back in time
};

// Services the newcomer's host here, not in the lobby's pass: its first line must leave in the same
// flush as the acknowledgement of the connection, as a client's does that speaks at once.
void serviceNewcomer(BenchChatter* newcomer, const Text& firstBack, const Text& secondBack, double* firstSent,
                     double* secondSent, FirstLineTimes* times, int tryNumber) {
    ENetEvent event;
    for (int events = 0; events < 256 && enet_host_service(newcomer->host, &event, 0) > 0; ++events) {
        double now = benchSeconds();
        if (event.type == ENET_EVENT_TYPE_DISCONNECT) newcomer->lost = true;
        if (event.type == ENET_EVENT_TYPE_CONNECT) {
            sayText(newcomer, SayTag + "first#" + std::to_string(tryNumber));
            *firstSent = now;
        }
        if (event.type != ENET_EVENT_TYPE_RECEIVE) continue;
        Text text = packetText(event.packet);
        enet_packet_destroy(event.packet);
        auto endsWith = [&](const Text& tail) {
            return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
        };
        if (tagField(text) != SayTag) continue;
        if (*secondSent < 0 && endsWith(firstBack)) {
            times->first.push_back((now - *firstSent) * 1000);
            sayText(newcomer, SayTag + "second#" + std::to_string(tryNumber));
            *secondSent = now;
        } else if (*secondSent >= 0 && endsWith(secondBack)) {
            times->second.push_back((now - *secondSent) * 1000);
            *secondSent = -2;  // done
        }
    }
}

void tryFirstLine(StressLobby* lobby, int tryNumber, FirstLineTimes* times) {
    int index = addChatter(lobby);
    BenchChatter* newcomer = &lobby->chatters[index];
    newcomer->serviced = false;
    Text firstBack = " first#" + std::to_string(tryNumber), secondBack = " second#" + std::to_string(tryNumber);
    double firstSent = -1, secondSent = -1, end = benchSeconds() + TrySeconds;
    while (secondSent != -2 && !newcomer->lost && benchSeconds() < end) {
        serviceLobby(lobby);
        serviceNewcomer(newcomer, firstBack, secondBack, &firstSent, &secondSent, times, tryNumber);
    }
    times->missing += secondSent != -2;
    newcomer->serviced = true;
    closeChatter(newcomer);
    lobby->chatters.erase(lobby->chatters.begin() + index);
    serviceLobbyFor(lobby, SettleSeconds);
}

Text spread(const std::vector<double>& samples) {
    if (samples.empty()) return "- / - / -";
    return figureText(*std::min_element(samples.begin(), samples.end()), 1) + " / " +
           figureText(percentile(samples, 0.5), 1) + " / " +
           figureText(*std::max_element(samples.begin(), samples.end()), 1);
}

void printTimes(std::FILE* out, const char* lobbyState, const FirstLineTimes& t, int tries) {
    std::fprintf(out, "  %s lobby: first line back min / p50 / max %s ms; second line %s ms; %d of %d tries "
                      "incomplete\n",
                 lobbyState, spread(t.first).c_str(), spread(t.second).c_str(), t.missing, tries);
}

}  // namespace

int runFirstLine(const BenchOptions& options, std::FILE* out) {
    BenchTarget target;
    StressLobby lobby;
    if (!startStressLobby(options, &target, &lobby, out)) return 1;
    FirstLineTimes idle, busy;
    for (int n = 0; n < options.firstLineTries; ++n) tryFirstLine(&lobby, n, &idle);
    lobby.window = BusyWindow;
    startTalking(&lobby);
    serviceLobbyFor(&lobby, 1.0);
    for (int n = 0; n < options.firstLineTries; ++n) tryFirstLine(&lobby, options.firstLineTries + n, &busy);
    ShortLineFigures figures = stopTalking(&lobby, DrainSeconds);
    std::fprintf(out, "first line: %d newcomers each in an idle lobby of %d and in a busy one (each keeps %d lines "
                      "in flight); each says a line the moment it is connected\n",
                 options.firstLineTries, lobby.talkers, BusyWindow);
    printTimes(out, "idle", idle, options.firstLineTries);
    printTimes(out, "busy", busy, options.firstLineTries);
    printShortLines(out, figures);
    return endStressRun(&lobby, &target, 0);
}
