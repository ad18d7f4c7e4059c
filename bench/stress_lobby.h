// The lobby the stress options put under strain: talkers that say short lines (one every interval, or a
// window of lines kept in flight), an optional sender of 1 MiB lines, and room for the chatters each
// option adds (a silent peer, a newcomer, a flooder, a leaver). It records when each short line was sent
// and reached each talker, and gives the three figures every stress option prints: the longest silence
// a talker saw, the delay of the short lines, and the server's peak memory.
#pragma once

#include <cstdio>

#include "bench/options.h"
#include "bench/scenarios.h"

struct ShortLineFigures {
    double longestSilence = 0;  // seconds: the longest gap in a talker's stream of the talkers' lines
    SampleSummary delay;        // ms from the send to each arrival at another talker
    long missing = 0;           // deliveries owed to talkers that had not arrived at the end
    long peakKiB = -1;          // the server's VmHWM at the end
};

struct StressLobby {
    BenchTarget* target = nullptr;
    std::vector<BenchChatter> chatters;  // the talkers first, then whoever the option adds
    int talkers = 0;
    double interval = 0.1;               // seconds between a talker's short lines, when window is 0
    int window = 0;                      // else lines each talker keeps in flight
    int longSender = -1;                 // the chatter that sends 1 MiB lines, or -1
    int longWindow = 2;                  // its lines in flight
    Text longBody;
    long longSent = 0, longBack = 0;
    bool talking = false;
    std::vector<int> lineSender;         // by short line number
    std::vector<double> lineSentAt;
    std::vector<double> nextLineAt;      // by talker
    std::vector<int> inFlight;           // by talker, window mode
    std::vector<double> lastHeard;       // by talker: the last arrival of a short line it listens for
    std::vector<std::vector<bool>> heard;  // [talker][line]
    double longestSilence = 0;
    std::vector<double> delays;
    std::vector<Arrival> arrivals;       // of the last pass
};

// Opens and joins the talkers (at most joinSeconds); false with a message when not all of them joined.
bool openStressLobby(StressLobby* lobby, BenchTarget* target, int talkers, double joinSeconds, Text* error);
// Opens one more chatter and returns its index; it joins as the lobby is serviced.
int addChatter(StressLobby* lobby);
// Opens chatters until count of them have joined or the time is up; returns their indices.
std::vector<int> addJoinedChatters(StressLobby* lobby, int count, double seconds);
// Starts the talkers' short lines and the long-line sender, from now.
void startTalking(StressLobby* lobby);
// One pass: services every chatter, notes the short lines, sends those due and refills the windows.
void serviceLobby(StressLobby* lobby, int waitMs = 1);
void serviceLobbyFor(StressLobby* lobby, double seconds);
// Stops sending, waits up to drainSeconds for the lines still owed, and gives the figures.
ShortLineFigures stopTalking(StressLobby* lobby, double drainSeconds);
bool hasJoined(const BenchChatter& chatter);
// Destroys a chatter's host without a word, as a vanished program does.
void vanish(BenchChatter* chatter);
void closeStressLobby(StressLobby* lobby);

// Starts the server of the options and prints its label; false with the reason printed on stderr.
bool startStressServer(const BenchOptions& options, BenchTarget* target, std::FILE* out);
// The lobby's talkers for a stress run: 10, or fewer when --chatters (or --smoke) asks for fewer.
int stressTalkers(const BenchOptions& options);
// Starts the server and joins the lobby's talkers (10 s at most); false, with everything stopped again
// and the reason printed on stderr, when either fails.
bool startStressLobby(const BenchOptions& options, BenchTarget* target, StressLobby* lobby, std::FILE* out);
// The end of every stress run: the lobby closed, the server stopped; returns the run's status.
int endStressRun(StressLobby* lobby, BenchTarget* target, int status);

// "longest silence 0.31 s, short lines: 1234 arrived, delay p50 / p99 / max 2.1 / 30.2 / 44.0 ms,
// 0 missing; server peak 4096 KiB"
void printShortLines(std::FILE* out, const ShortLineFigures& figures);
// Seconds as text with two decimals, or the word when the value is negative.
Text secondsText(double seconds, const char* none = "never");
// A text of the length, printable and without blanks, different for each seed.
Text fillerBody(size_t bytes, int seed);
