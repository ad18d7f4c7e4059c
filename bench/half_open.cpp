#include "bench/half_open.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include "bench/forged_connect.h"
#include "bench/stress_lobby.h"
#include "bench/targets.h"

namespace {

constexpr double JoinSeconds = 10;
constexpr double DrainSeconds = 2.0;
constexpr double ResendInterval = 0.5;
constexpr double ResendSeconds = 10;
constexpr double NewcomerAfterResends = 2.0;
// ENet's server gives an unfinished handshake up after about 31.5 s; resent connects hold on 10 s more.
constexpr double WelcomeLimitSeconds = 50;
constexpr int Talkers = 2;

struct ForgingSocket {
    int fd = -1;
    sockaddr_in server{};
    enet_uint32 nextConnectID = 0x5EED0001;
    long sent = 0;
};

bool openForgingSocket(ForgingSocket* forger, enet_uint16 port) {
    forger->fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    forger->server.sin_family = AF_INET;
    forger->server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    forger->server.sin_port = htons(port);
    sockaddr_in any = forger->server;
    any.sin_port = 0;
    return forger->fd >= 0 && bind(forger->fd, reinterpret_cast<sockaddr*>(&any), sizeof any) == 0;
}

// N connects, each with its own connect ID and outgoing peer ID; what the server answers is read and
// dropped, so that the socket never completes a handshake.
void sendConnects(ForgingSocket* forger, int count) {
    char answer[2048];
    while (recv(forger->fd, answer, sizeof answer, 0) > 0) {}
    enet_uint16 sentTime = static_cast<enet_uint16>(static_cast<long>(benchSeconds() * 1000) & 0xFFFF);
    for (int i = 0; i < count; ++i) {
        Text datagram = forgedConnect(static_cast<enet_uint16>(i), forger->nextConnectID++, sentTime);
        ssize_t sent = sendto(forger->fd, datagram.data(), datagram.size(), 0,
                              reinterpret_cast<const sockaddr*>(&forger->server), sizeof forger->server);
        forger->sent += sent == static_cast<ssize_t>(datagram.size());
    }
}

struct Resender {
    bool on = false;
    double startedAt = 0;
    double nextAt = 0;
};

void resendDue(Resender* resender, ForgingSocket* forger, int count) {
    double now = benchSeconds();
    if (!resender->on || now < resender->nextAt || now >= resender->startedAt + ResendSeconds) return;
    sendConnects(forger, count);
    resender->nextAt += ResendInterval;
}

void halfOpenOnce(const BenchOptions& options, bool resend, std::FILE* out) {
    BenchTarget target;
    if (!startStressServer(options, &target, out)) return;
    StressLobby lobby;
    ForgingSocket forger;
    Text error;
    if (!openStressLobby(&lobby, &target, Talkers, JoinSeconds, &error) || !openForgingSocket(&forger, target.port)) {
        std::fprintf(stderr, "chat-bench: %s\n", error.empty() ? "no socket for the forged connects" : error.c_str());
    } else {
        startTalking(&lobby);
        Resender resender{resend, benchSeconds(), benchSeconds() + ResendInterval};
        sendConnects(&forger, options.halfOpenConnects);
        // When resending, the newcomer comes while the resent connects are at work.
        double newcomerAfter = benchSeconds() + (resend ? NewcomerAfterResends : 0.2);
        while (benchSeconds() < newcomerAfter) {
            serviceLobby(&lobby);
            resendDue(&resender, &forger, options.halfOpenConnects);
        }
        int newcomer = addChatter(&lobby), attempts = 1;
        double connectAt = benchSeconds(), welcomedAt = -1;
        while (welcomedAt < 0 && benchSeconds() < connectAt + WelcomeLimitSeconds) {
            serviceLobby(&lobby);
            resendDue(&resender, &forger, options.halfOpenConnects);
            BenchChatter& chatter = lobby.chatters[newcomer];
            if (hasJoined(chatter)) welcomedAt = benchSeconds();
            if (chatter.lost) {  // ENet gave the attempt up: the newcomer tries again, as a person would
                closeChatter(&chatter);
                openChatter(&chatter, target.port, &error);
                ++attempts;
            }
        }
        ShortLineFigures figures = stopTalking(&lobby, DrainSeconds);
        std::fprintf(out, "%d half-open connects from one socket, %s (%ld sent): newcomer welcomed %s after "
                          "connecting (%d attempt%s)\n",
                     options.halfOpenConnects, resend ? "resent every 500 ms for 10 s, newcomer after 2 s" : "sent once", forger.sent,
                     secondsText(welcomedAt < 0 ? -1 : welcomedAt - connectAt, "not within 50 s").c_str(), attempts,
                     attempts == 1 ? "" : "s");
        printShortLines(out, figures);
    }
    if (forger.fd >= 0) close(forger.fd);
    endStressRun(&lobby, &target, 0);
}

}  // namespace

int runHalfOpen(const BenchOptions& options, std::FILE* out) {
    halfOpenOnce(options, false, out);
    std::fflush(out);
    halfOpenOnce(options, true, out);
    return 0;
}
