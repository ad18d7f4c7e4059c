#include "bench/tiny_packets.h"

#include <algorithm>

#include "bench/proc_stats.h"
#include "bench/stress_lobby.h"
#include "bench/targets.h"

namespace {

constexpr double JoinSeconds = 10;
constexpr double DrainSeconds = 2.0;
// A flooder sends as fast as ENet takes its packets: it tops its queue of unsent commands up to this
// many on every pass, so the flood is paced by ENet's own window and not by the benchmark's memory.
constexpr size_t QueuedPerFlooder = 256;
constexpr int CrowdFlooders = 24;

enum TinyKind { EmptyPacket, OneBytePacket, EmptyLine, TinyKinds };
const char* const TinyNames[TinyKinds] = {"empty packets", "1-byte packets", "empty lines (\"SAY \")"};

ENetPacket* tinyPacket(TinyKind kind) {
    if (kind == EmptyLine) return createTextPacket(SayTag);
    static const char oneByte = 'x';
    return enet_packet_create(kind == OneBytePacket ? &oneByte : nullptr, kind == OneBytePacket ? 1 : 0,
                              ENET_PACKET_FLAG_RELIABLE);
}

long topUp(BenchChatter* flooder, TinyKind kind) {
    if (!hasJoined(*flooder) || flooder->lost) return 0;
    long sent = 0;
    while (enet_list_size(&flooder->peer->outgoingCommands) < QueuedPerFlooder) {
        ENetPacket* packet = tinyPacket(kind);
        if (packet == nullptr || enet_peer_send(flooder->peer, ChatChannel, packet) != 0) {
            if (packet != nullptr) enet_packet_destroy(packet);
            break;
        }
        ++sent;
    }
    enet_host_flush(flooder->host);
    return sent;
}

struct TinyRun {
    TinyKind kind = EmptyPacket;
    int flooders = 0;
    int joined = 0;
    long sent = 0;
    int dropped = 0;         // flooders whose connection ended
    long beforeKiB = -1;     // resident size before the flood
    long peakKiB = -1;       // VmHWM at the end
    ShortLineFigures honest;
};

void floodOnce(const BenchOptions& options, TinyKind kind, int flooders, TinyRun* run, std::FILE* out) {
    run->kind = kind;
    run->flooders = flooders;
    BenchTarget target;
    if (!startStressServer(options, &target, out)) return;
    StressLobby lobby;
    Text error;
    if (openStressLobby(&lobby, &target, 1, JoinSeconds, &error)) {
        std::vector<int> crowd = addJoinedChatters(&lobby, flooders, JoinSeconds);
        for (int index : crowd) run->joined += hasJoined(lobby.chatters[index]);
        ProcessUsage before = readProcessUsage(target.process.pid);
        if (before.valid) run->beforeKiB = before.residentKiB;
        startTalking(&lobby);
        double end = benchSeconds() + options.tinyPacketSeconds;
        while (benchSeconds() < end) {
            for (int index : crowd) run->sent += topUp(&lobby.chatters[index], kind);
            serviceLobby(&lobby, 0);
        }
        for (int index : crowd) run->dropped += lobby.chatters[index].lost;
        run->honest = stopTalking(&lobby, DrainSeconds);
        run->peakKiB = run->honest.peakKiB;
    } else {
        std::fprintf(stderr, "chat-bench: %s\n", error.c_str());
    }
    endStressRun(&lobby, &target, 0);
}

void printTinyRun(std::FILE* out, const TinyRun& run, double seconds) {
    long growth = run.peakKiB >= 0 && run.beforeKiB >= 0 ? run.peakKiB - run.beforeKiB : -1;
    std::fprintf(out,
                 "%s from %d chatter%s (%d joined) for %.1f s: %ld sent, %d flooders dropped; server memory "
                 "before %ld KiB, peak %ld KiB, growth %ld KiB\n",
                 TinyNames[run.kind], run.flooders, run.flooders == 1 ? "" : "s", run.joined, seconds, run.sent,
                 run.dropped, run.beforeKiB, run.peakKiB, growth);
    printShortLines(out, run.honest);
}

}  // namespace

int runTinyPackets(const BenchOptions& options, std::FILE* out) {
    std::fprintf(out, "tiny packets: each flood on a fresh server, reliable on channel 0 and flushed, as fast as "
                      "ENet takes them; one honest chatter says a short line every 100 ms and hears it back\n");
    int ran = 0;
    for (int flooders : {1, CrowdFlooders}) {
        for (int kind = 0; kind < TinyKinds; ++kind) {
            TinyRun run;
            floodOnce(options, static_cast<TinyKind>(kind), flooders, &run, out);
            if (run.joined == 0) continue;
            printTinyRun(out, run, options.tinyPacketSeconds);
            std::fflush(out);
            ++ran;
        }
    }
    return ran > 0 ? 0 : 1;
}
