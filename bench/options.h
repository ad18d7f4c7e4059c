// The benchmark's command line: what to run, against what, with how many chatters, and for how long.
#pragma once

#include <cstdio>

#include "bench/impaired_link.h"
#include "bench/scenarios.h"

enum class ConsoleMode { Pipe, Tmux, Path };

struct BenchOptions {
    BenchSettings settings;
    Text serverPath;             // start this chat-server; empty to use one already running
    ConsoleMode console = ConsoleMode::Pipe;
    Text consolePath;            // the file or terminal for ConsoleMode::Path
    int serverPid = -1;          // a server already running, for its cost figures
    bool baseline = false;
    bool server = true;          // false with --baseline-only
    bool help = false;
    double floodSeconds = 0;     // --flood: only the long flood, for this long
    int floodWindow = 8;
    double longLineSeconds = -1; // --long-lines: only the long lines, then the large-line flooder this long
    bool lossSweep = false;      // measure bad links instead of the usual table
    LinkSettings link;
    int lastLineRounds = 0;      // measure the last line before quitting instead, this many rounds
    // The stress runs of one chatter against the lobby; each, when set, replaces the table.
    double silentPeerSeconds = 0;  // --silent-peer: how long the peer stays silent
    double slowReaderSeconds = 0;  // --slow-reader: how long the run lasts
    double tinyPacketSeconds = 0;  // --tiny-packets: how long each flood lasts
    int halfOpenConnects = 0;      // --half-open: connects from the one socket (default 30)
    int firstLineTries = 0;        // --first-line: tries in each lobby
    int abruptLeaverRounds = 0;    // --abrupt-leaver: rounds
};

// What chat-bench can run: one table of {option, run, what it prints}, from which --help is made and by
// which the chosen run is started. Every run prints its own figures and asserts nothing.
struct BenchRun {
    const char* option;  // the option that chooses the run, with its argument; "" for the standard table
    int (*run)(const BenchOptions& options, std::FILE* out);  // 0 when it ran, 1 when it could not run
    const char* prints;  // for --help: what it does and prints, lines separated by '\n'
};

// The run the arguments choose: the last run option among them, the standard table when none.
const BenchRun& chosenBenchRun(int argc, char** argv);
// The --help text.
Text usageText();

// Fills options from the arguments; false with a message in error when one is wrong.
bool parseOptions(int argc, char** argv, BenchOptions* options, Text* error);
// A chat-client beside the server program, when one is there and none was named.
Text clientBeside(const Text& serverPath);
