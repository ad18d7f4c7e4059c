#include "bench/impairment_relay.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace {

// ENet never sends more than its MTU; the rest of a bigger datagram would be cut off anyway.
constexpr std::size_t MaxDatagram = 65536;
// Bounded reading: one call takes at most this many datagrams from each socket.
constexpr int ReadsPerSocket = 256;

double relayClockMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// splitmix64: small, seedable, and good enough to decide the fate of datagrams.
std::uint64_t nextRandom(ImpairmentRelay& relay) {
    std::uint64_t z = (relay.randomState += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// Evenly in [0, 1).
double randomUnit(ImpairmentRelay& relay) { return static_cast<double>(nextRandom(relay) >> 11) * 0x1.0p-53; }

bool chance(ImpairmentRelay& relay, double percent) { return randomUnit(relay) * 100.0 < percent; }

double randomDelay(ImpairmentRelay& relay) {
    const LinkImpairment& link = relay.impairment;
    double delay = link.delayMs + (randomUnit(relay) * 2.0 - 1.0) * link.jitterMs;
    return std::max(0.0, delay);
}

sockaddr_in loopbackAddress(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

int openLoopbackSocket() {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in any = loopbackAddress(0);
    if (bind(fd, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool sameAddress(const sockaddr_in& a, const sockaddr_in& b) {
    return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
}

// The route of a chatter, made on its first datagram; -1 when the relay holds its limit of routes.
int routeOf(ImpairmentRelay& relay, const sockaddr_in& chatter) {
    for (std::size_t i = 0; i < relay.routes.size(); ++i)
        if (sameAddress(relay.routes[i].chatter, chatter)) return static_cast<int>(i);
    if (relay.routes.size() >= RelayMaxRoutes) return -1;
    RelayRoute route;
    route.chatter = chatter;
    route.down.bytesPerMs = relay.impairment.downBytesPerSecond / 1000.0;
    route.down.queueBytes = relay.impairment.downQueueBytes;
    route.upstream = openLoopbackSocket();
    if (route.upstream < 0) return -1;
    relay.routes.push_back(route);
    return static_cast<int>(relay.routes.size()) - 1;
}

// Decides the datagram's fate: dropped, or held once or twice until its delay has passed.
void admitDatagram(ImpairmentRelay& relay, int route, bool towardServer, const char* data, std::size_t length) {
    ++relay.figures.received;
    long arrival = relay.arrivals++;
    if (chance(relay, relay.impairment.lossPercent)) {
        ++relay.figures.dropped;
        return;
    }
    int copies = chance(relay, relay.impairment.duplicatePercent) ? 2 : 1;
    if (copies == 2) ++relay.figures.duplicated;
    double now = relayClockMs();
    for (int copy = 0; copy < copies; ++copy) {
        if (relay.held.size() >= RelayMaxHeld) {
            ++relay.figures.overflowed;
            continue;
        }
        double due = now + randomDelay(relay);
        RateLimit& cap = relay.routes[route].down;
        if (!towardServer && cap.bytesPerMs > 0) {
            double passed = rateLimitedDue(cap, length, now);
            if (passed < 0) {
                ++relay.figures.overflowed;
                continue;
            }
            due = std::max(due, passed);
        }
        relay.held.push({due, arrival, route, towardServer, std::string(data, length)});
    }
}

void readChatters(ImpairmentRelay& relay, char* buffer) {
    for (int reads = 0; reads < ReadsPerSocket; ++reads) {
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        ssize_t got = recvfrom(relay.listener, buffer, MaxDatagram, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (got < 0) return;
        int route = routeOf(relay, from);
        if (route < 0) {
            ++relay.figures.overflowed;
            continue;
        }
        admitDatagram(relay, route, true, buffer, static_cast<std::size_t>(got));
    }
}

void readServer(ImpairmentRelay& relay, int route, char* buffer) {
    for (int reads = 0; reads < ReadsPerSocket; ++reads) {
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        ssize_t got = recvfrom(relay.routes[route].upstream, buffer, MaxDatagram, 0,
                               reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (got < 0) return;
        // Only the server's own datagrams travel back to the chatter.
        if (sameAddress(from, relay.server)) admitDatagram(relay, route, false, buffer, static_cast<std::size_t>(got));
    }
}

void sendHeld(ImpairmentRelay& relay, const HeldDatagram& datagram) {
    RelayRoute& route = relay.routes[datagram.route];
    long& last = datagram.towardServer ? route.lastArrivalUp : route.lastArrivalDown;
    if (datagram.arrival < last) ++relay.figures.overtaken;
    last = std::max(last, datagram.arrival);
    int fd = datagram.towardServer ? route.upstream : relay.listener;
    const sockaddr_in& to = datagram.towardServer ? relay.server : route.chatter;
    // A full socket buffer loses the datagram, as a real network would.
    sendto(fd, datagram.bytes.data(), datagram.bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    ++relay.figures.sent;
}

void sendDue(ImpairmentRelay& relay) {
    double now = relayClockMs();
    while (!relay.held.empty() && relay.held.top().due <= now) {
        sendHeld(relay, relay.held.top());
        relay.held.pop();
    }
}

}  // namespace

double rateLimitedDue(RateLimit& limit, std::size_t bytes, double nowMs) {
    double start = std::max(nowMs, limit.freeAtMs);
    double queued = (start - nowMs) * limit.bytesPerMs;
    if (queued > 0 && queued + static_cast<double>(bytes) > limit.queueBytes) return -1;
    limit.freeAtMs = start + static_cast<double>(bytes) / limit.bytesPerMs;
    return limit.freeAtMs;
}

bool openRelay(ImpairmentRelay& relay, std::uint16_t serverPort, const LinkImpairment& impairment) {
    relay = ImpairmentRelay();
    relay.impairment = impairment;
    relay.randomState = impairment.seed;
    relay.server = loopbackAddress(serverPort);
    relay.listener = openLoopbackSocket();
    if (relay.listener < 0) return false;
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    getsockname(relay.listener, reinterpret_cast<sockaddr*>(&bound), &length);
    relay.port = ntohs(bound.sin_port);
    return true;
}

void serviceRelay(ImpairmentRelay& relay, int waitMs) {
    if (relay.listener < 0) return;
    int timeout = std::max(0, waitMs);
    if (!relay.held.empty())
        timeout = std::min(timeout, std::max(0, static_cast<int>(std::ceil(relay.held.top().due - relayClockMs()))));
    std::vector<pollfd> fds{{relay.listener, POLLIN, 0}};
    for (const RelayRoute& route : relay.routes) fds.push_back({route.upstream, POLLIN, 0});
    poll(fds.data(), fds.size(), timeout);
    std::vector<char> buffer(MaxDatagram);
    if (fds[0].revents != 0) readChatters(relay, buffer.data());
    for (std::size_t i = 1; i < fds.size(); ++i)
        if (fds[i].revents != 0) readServer(relay, static_cast<int>(i) - 1, buffer.data());
    sendDue(relay);
}

void closeRelay(ImpairmentRelay& relay) {
    for (RelayRoute& route : relay.routes)
        if (route.upstream >= 0) close(route.upstream);
    if (relay.listener >= 0) close(relay.listener);
    relay.routes.clear();
    relay.listener = -1;
}
