#include "bench/options.h"

#include <unistd.h>

#include <cstdlib>
#include <iterator>

#include "bench/abrupt_leaver.h"
#include "bench/first_line.h"
#include "bench/half_open.h"
#include "bench/held_lines.h"
#include "bench/idle_cost.h"
#include "bench/impaired_link.h"
#include "bench/last_line.h"
#include "bench/latency_scenarios.h"
#include "bench/report.h"
#include "bench/stress_lobby.h"
#include "bench/stress_scenarios.h"
#include "bench/targets.h"
#include "bench/tiny_packets.h"

namespace {

void applySmoke(BenchSettings* settings) {
    settings->chatters = 5;
    settings->latencyLines = 20;
    settings->burstLines = 20;
    settings->saturationSeconds = 0.5;
    settings->whoRequests = 3;
    settings->idleSeconds = 1;
}

bool parseConsole(const Text& value, BenchOptions* options) {
    if (value == "pipe") options->console = ConsoleMode::Pipe;
    else if (value == "tmux") options->console = ConsoleMode::Tmux;
    else options->console = ConsoleMode::Path, options->consolePath = value;
    return !value.empty();
}

// Options that take a value; false when the name is not one of them or the value is bad.
bool parseValued(const Text& name, const Text& value, BenchOptions* options, bool* clientGiven) {
    BenchSettings& s = options->settings;
    if (name == "--server") return options->serverPath = value, !value.empty();
    if (name == "--console") return parseConsole(value, options);
    if (name == "--client") return *clientGiven = true, s.clientPath = value == "none" ? "" : value, true;
    if (name == "--pid") return (options->serverPid = std::atoi(value.c_str())) > 0;
    if (name == "--chatters") return (s.chatters = std::atoi(value.c_str())) >= 1 && s.chatters <= 25;
    if (name == "--seconds") return (s.saturationSeconds = std::atof(value.c_str())) > 0;
    if (name == "--idle") return (s.idleSeconds = std::atof(value.c_str())) > 0;
    if (name == "--flood") return (options->floodSeconds = std::atof(value.c_str())) > 0;
    if (name == "--window") return (options->floodWindow = std::atoi(value.c_str())) >= 1;
    if (name == "--long-lines") return (options->longLineSeconds = std::atof(value.c_str())) >= 0;
    LinkSettings& link = options->link;
    if (name == "--loss") return link.losses = {std::atof(value.c_str())}, link.losses[0] >= 0 && link.losses[0] <= 100;
    if (name == "--runs") return (link.runs = std::atoi(value.c_str())) >= 1;
    if (name == "--lines-for") return (link.sendSeconds = std::atof(value.c_str())) >= link.lineInterval;
    if (name == "--last-line") return (options->lastLineRounds = std::atoi(value.c_str())) >= 1;
    if (name == "--silent-peer") return (options->silentPeerSeconds = std::atof(value.c_str())) > 0;
    if (name == "--slow-reader") return (options->slowReaderSeconds = std::atof(value.c_str())) > 0;
    if (name == "--tiny-packets") return (options->tinyPacketSeconds = std::atof(value.c_str())) > 0;
    if (name == "--half-open") return (options->halfOpenConnects = std::atoi(value.c_str())) >= 1 &&
                                      options->halfOpenConnects <= 4000;
    if (name == "--first-line") return (options->firstLineTries = std::atoi(value.c_str())) >= 1;
    if (name == "--abrupt-leaver") return (options->abruptLeaverRounds = std::atoi(value.c_str())) >= 1;
    return false;
}

}  // namespace

Text clientBeside(const Text& serverPath) {
    size_t slash = serverPath.rfind('/');
    Text client = (slash == Text::npos ? Text() : serverPath.substr(0, slash + 1)) + "chat-client";
    return access(client.c_str(), X_OK) == 0 ? client : Text();
}

bool parseOptions(int argc, char** argv, BenchOptions* options, Text* error) {
    bool clientGiven = false;
    // --smoke first, so that explicit values given with it still win.
    for (int i = 1; i < argc; ++i)
        if (Text(argv[i]) == "--smoke") applySmoke(&options->settings);
    for (int i = 1; i < argc; ++i) {
        Text name = argv[i];
        if (name == "--smoke") continue;
        if (name == "--baseline") options->baseline = true;
        else if (name == "--loss-sweep") options->lossSweep = true;
        else if (name == "--half-open" && (i + 1 >= argc || argv[i + 1][0] == '-')) options->halfOpenConnects = 30;
        else if (name == "--baseline-only") options->baseline = true, options->server = false;
        else if (name == "--help" || name == "-h") options->help = true;
        else if (i + 1 >= argc || !parseValued(name, argv[i + 1], options, &clientGiven))
            return *error = "bad option or value: " + name, false;
        else ++i;
    }
    if (!clientGiven && !options->serverPath.empty()) options->settings.clientPath = clientBeside(options->serverPath);
    return true;
}

namespace {

bool measure(BenchTarget* target, const BenchSettings& settings, TargetFigures* figures) {
    std::fprintf(stderr, "chat-bench: measuring the %s\n", target->label.c_str());
    *figures = measureTarget(target, settings);
    stopTarget(target);
    return true;
}

// The standard table: the server's figures, and the benchmark's own relay's with --baseline.
int runTable(const BenchOptions& options, std::FILE* out) {
    Text loadBefore = loadAverage();
    TargetFigures baseline, server;
    BenchTarget baselineTarget, serverTarget;
    Text error;
    bool baselineRan = options.baseline && startBaselineTarget(&baselineTarget, &error) &&
                       measure(&baselineTarget, options.settings, &baseline);
    if (options.baseline && !baselineRan) std::fprintf(stderr, "chat-bench: baseline: %s\n", error.c_str());
    error.clear();
    bool serverRan = options.server && startServerTarget(options, &serverTarget, &error) &&
                     measure(&serverTarget, options.settings, &server);
    if (options.server && !serverRan) std::fprintf(stderr, "chat-bench: server: %s\n", error.c_str());
    if (serverRan) std::fprintf(out, "%s\n", serverTarget.label.c_str());
    printTable(out, options, serverRan ? &server : nullptr, baselineRan ? &baseline : nullptr, loadBefore);
    bool complete = (!options.server || serverRan) && (!options.baseline || baselineRan);
    return complete ? 0 : 1;
}

// The flood or the long lines: the server, the chatters joined, then the one run and its figures.
int runStress(const BenchOptions& options, std::FILE* out) {
    BenchTarget target;
    Text error;
    if (!startServerTarget(options, &target, &error)) return std::fprintf(stderr, "chat-bench: %s\n", error.c_str()), 1;
    TargetFigures joined;
    std::vector<BenchChatter> chatters;
    runJoin(&target, options.settings, &chatters, &joined);
    bool ran = joined.joined == options.settings.chatters;
    if (!ran) std::fprintf(stderr, "chat-bench: %s\n", joined.notes.c_str());
    if (ran && options.floodSeconds > 0) {
        FloodFigures flood;
        runFlood(&target, options.settings, &chatters, options.floodSeconds, options.floodWindow, &flood);
        printFlood(out, flood);
    } else if (ran) {
        LongLineFigures lines;
        runLongLines(&target, options.settings, &chatters, options.longLineSeconds, &lines);
        printLongLines(out, lines);
    }
    closeChatters(&chatters);
    stopTarget(&target);
    return ran ? 0 : 1;
}

// The bad-link sweep or the last-line rounds, against the chat server alone.
int runOnServer(const BenchOptions& options, std::FILE* out) {
    BenchTarget target;
    if (!startStressServer(options, &target, out)) return 1;
    if (options.lossSweep) runLossSweep(&target, options.settings, options.link, out, stderr);
    else runLastLine(&target, options.settings, options.lastLineRounds, out);
    stopTarget(&target);
    return 0;
}

const BenchRun Runs[] = {
    {"", runTable, ""},
    {"--flood S", runStress,
     "every chatter keeps --window N lines (default 8) in flight for S seconds;\n"
     "prints lines sent, delivered and lost, and chatters dropped"},
    {"--long-lines S", runStress,
     "lines of 1,500 B to 1 MiB relayed whole, then a chatter flooding with 1 MiB\n"
     "lines for S seconds (0: none) while another chats on"},
    {"--loss-sweep", runOnServer,
     "chatters through a bad link (25 +/- 15 ms, 1 % duplication) at 1, 5, 10, 20\n"
     "and 30 % loss each way; --loss P for one loss only, --runs N runs per loss\n"
     "(default 5), --lines-for S seconds of lines per run (default 15)"},
    {"--last-line N", runOnServer,
     "N quitters (half as chat-client leaves, half abruptly) each say a line just\n"
     "before leaving a busy lobby"},
    {"--silent-peer S", runSilentPeer,
     "10 chatters chat, one sends 1 MiB lines, one peer stops acknowledging for S s\n"
     "and a newcomer joins: when the peer's OLD came, how long the newcomer waited"},
    {"--slow-reader S", runSlowReader,
     "the same lobby with an honest chatter behind a 1 Mbit/s link, for S s:\n"
     "whether and when it was cut off"},
    {"--tiny-packets S", runTinyPackets,
     "floods of empty packets, 1-byte packets and empty lines from 1 and from 24\n"
     "chatters, S s each on a fresh server: server memory before, peak and growth"},
    {"--half-open [N]", runHalfOpen,
     "one socket sends N (default 30) connects it never completes, once, then again\n"
     "every 500 ms for 10 s: how long a newcomer waits to be welcomed"},
    {"--first-line N", runFirstLine,
     "N newcomers in an idle lobby and N in a busy one say a line the moment they\n"
     "are connected: how long until it is back, and their second line"},
    {"--abrupt-leaver N", runAbruptLeaver,
     "N leavers say 30 lines and vanish at once: lines arrived, before the OLD, and\n"
     "the time from the goodbye to the OLD"},
};

const char* const GeneralUsage =
    "usage: chat-bench [--server PATH] [--console pipe|tmux|PATH] [--client PATH|none] [--pid PID]\n"
    "                  [--chatters N] [--baseline] [--baseline-only] [--seconds S] [--idle S] [--smoke]\n"
    "                  [one of the runs below]\n"
    "Simulates N chatters (default 25) against a chat-server on 127.0.0.1:42069 and prints one table.\n"
    "  --server PATH    start that chat-server (else use one already running)\n"
    "  --console MODE   where the started server's console goes: a pipe drained here (default),\n"
    "                   a tmux pane of 80x25, or a file or terminal path\n"
    "  --client PATH    the chat-client for the client cost (default: beside the server; none: skip)\n"
    "  --pid PID        the pid of a server already running, for its cost figures\n"
    "  --baseline       also measure the benchmark's own minimal relay, the transport limit\n"
    "  --baseline-only  measure only that relay (no server needed)\n"
    "  --seconds S      saturation time (default 5)      --idle S   idle time for the cost (default 10)\n"
    "  --smoke          5 chatters and short runs, to check that the tool works\n"
    "Each run below replaces the table; the stress runs from --silent-peer on also print the others'\n"
    "longest silence, the delay of their short lines and the server's peak memory:\n";

}  // namespace

const BenchRun& chosenBenchRun(int argc, char** argv) {
    const BenchRun* chosen = &Runs[0];
    for (int i = 1; i < argc; ++i) {
        for (const BenchRun& run : Runs) {
            Text option = run.option;
            if (option.substr(0, option.find(' ')) == argv[i]) chosen = &run;
        }
    }
    return *chosen;
}

Text usageText() {
    Text usage = GeneralUsage;
    for (const BenchRun* run = Runs + 1; run != std::end(Runs); ++run) {
        Text line = "  " + Text(run->option);
        line += Text(line.size() < 21 ? 21 - line.size() : 1, ' ');
        for (const char* c = run->prints; *c != '\0'; ++c) line += *c == '\n' ? "\n" + Text(21, ' ') : Text(1, *c);
        usage += line + "\n";
    }
    return usage;
}
