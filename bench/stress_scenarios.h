// Stress runs that the standard table leaves out, each started by an option of its own: a long flood by
// every chatter (nobody dropped, no line lost), and long lines (relayed whole to every chatter, then one
// chatter flooding with them while another chats on). Each prints its own figures.
#pragma once

#include <cstdio>

#include "bench/scenarios.h"

struct FloodFigures {
    double seconds = 0;
    int window = 0;
    long sent = 0;
    long delivered = 0;      // copies received, all chatters together
    long expected = 0;       // every line to every chatter
    int dropped = 0;         // chatters whose connection ended
    double rate = NoFigure;  // lines relayed per second while flooding
    double drainSeconds = NoFigure;
    long peakKiB = -1;
};

struct LongLineResult {
    size_t bodyBytes = 0;
    int whole = 0;                // chatters that received it byte for byte
    int nextFollowed = 0;         // chatters that then received the sender's next short line
    double everyoneMs = NoFigure;
    double nextMs = NoFigure;     // until every chatter had that short line
};

struct LongLineFigures {
    std::vector<LongLineResult> lines;
    long peakBeforeKiB = -1;
    long peakAfterLinesKiB = -1;
    // One chatter keeps 16 lines of 1 MiB on their way; another says a short line every 100 ms.
    double flooderSeconds = 0;
    long flooderSent = 0;
    long flooderRelayed = 0;      // its lines back at it within the run
    long residentMaxKiB = -1;     // the server's resident size, sampled during the run
    long residentEndKiB = -1;
    long peakEndKiB = -1;
    SampleSummary lobbyEcho;      // ms until the short line is back at its sender
    int lobbyLost = 0;            // short lines not back by the end of the flood
    int dropped = 0;
    Text notes;
};

// 25 chatters, each keeping the window of lines in flight for the time, sending the next as soon as one
// of its own comes back; then waits until every line has reached every chatter (at most 30 s).
void runFlood(BenchTarget* target, const BenchSettings& settings, std::vector<BenchChatter>* chatters,
              double seconds, int window, FloodFigures* figures);
void printFlood(std::FILE* out, const FloodFigures& figures);

// Lines of 1,500 B, 4 KiB, 64 KiB and 1 MiB from chatter 0, each followed at once by a short line; then
// the large-line flooder for the time.
void runLongLines(BenchTarget* target, const BenchSettings& settings, std::vector<BenchChatter>* chatters,
                  double flooderSeconds, LongLineFigures* figures);
void printLongLines(std::FILE* out, const LongLineFigures& figures);
