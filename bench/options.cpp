#include "bench/options.h"

#include <unistd.h>

#include <cstdlib>

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
