// A bad link on loopback: a UDP relay between chatters and a server that drops, delays, jitters and
// duplicates datagrams in both directions; jitter lets a later datagram overtake an earlier one. Every
// choice comes from a seeded generator, and the relay holds a bounded number of datagrams and routes.
// Each chatter address gets an upstream socket of its own, so the server sees one address per chatter.
// Nothing runs in the background: the caller's loop calls serviceRelay.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <queue>
#include <string>
#include <vector>

struct LinkImpairment {
    double lossPercent = 0;       // chance that a datagram is dropped, each way
    double delayMs = 0;           // one-way delay
    double jitterMs = 0;          // the delay varies evenly within delay - jitter .. delay + jitter
    double duplicatePercent = 0;  // chance that a datagram is sent twice (each copy delayed on its own)
    std::uint64_t seed = 1;
    double downBytesPerSecond = 0;  // a rate cap toward each chatter (0: none), as a slow access link has
    double downQueueBytes = 64 * 1024;  // what waits for the capped link before datagrams are dropped
};

// A link of limited rate: datagrams leave one after another at the rate, behind a queue of bounded size.
struct RateLimit {
    double bytesPerMs = 0;
    double queueBytes = 0;
    double freeAtMs = 0;  // when the link has sent everything queued so far
};

// When a datagram of the size, arriving at nowMs, has passed the link; -1 when the bytes queued ahead of
// it and its own would pass the queue's size, and it is dropped. A datagram meeting an empty queue is
// always taken.
double rateLimitedDue(RateLimit& limit, std::size_t bytes, double nowMs);

// What the relay did, counted over both directions.
struct RelayFigures {
    long received = 0;
    long dropped = 0;
    long duplicated = 0;
    long sent = 0;
    long overtaken = 0;   // datagrams sent after one of the same direction that arrived later
    long overflowed = 0;  // dropped because the relay held its limit of datagrams or routes, or the
                          // capped link's queue was full
};

// One chatter's way to the server.
struct RelayRoute {
    sockaddr_in chatter{};
    int upstream = -1;            // bound to 127.0.0.1 at a port of its own
    long lastArrivalUp = -1;      // arrival number of the last datagram sent on, each way
    long lastArrivalDown = -1;
    RateLimit down;               // the cap toward the chatter, when the impairment has one
};

struct HeldDatagram {
    double due = 0;      // milliseconds on the relay's clock
    long arrival = 0;    // order of arrival; also breaks ties between equal due times
    int route = 0;
    bool towardServer = true;
    std::string bytes;
};

struct LaterDue {
    bool operator()(const HeldDatagram& a, const HeldDatagram& b) const {
        return a.due != b.due ? a.due > b.due : a.arrival > b.arrival;
    }
};

struct ImpairmentRelay {
    LinkImpairment impairment;
    int listener = -1;            // where chatters send; bound to 127.0.0.1 at port
    std::uint16_t port = 0;
    sockaddr_in server{};
    std::vector<RelayRoute> routes;
    std::priority_queue<HeldDatagram, std::vector<HeldDatagram>, LaterDue> held;
    std::uint64_t randomState = 0;
    long arrivals = 0;
    RelayFigures figures;
};

constexpr std::size_t RelayMaxHeld = 8192;
constexpr std::size_t RelayMaxRoutes = 64;

// Listens on 127.0.0.1 at a port the system picks and relays to 127.0.0.1:serverPort.
bool openRelay(ImpairmentRelay& relay, std::uint16_t serverPort, const LinkImpairment& impairment);
// Waits at most waitMs for traffic (less when a held datagram falls due), takes every waiting
// datagram, and sends every held one that is due.
void serviceRelay(ImpairmentRelay& relay, int waitMs);
void closeRelay(ImpairmentRelay& relay);
