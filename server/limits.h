// Every limit on what one chatter may have the server hold, with its reason, and the pure checks
// against them. Each limit belongs to one chatter, is counted in messages as well as bytes, and ends in
// a clear result for that chatter alone: it is slowed down or cut off; none is shared by all chatters.
#pragma once

#include <enet/enet.h>

#include <cstddef>

#include "common/host_guard.h"

struct Chatter;
struct ChatServer;

constexpr int RosterSize = 26;
// Peers the host admits at once: one fewer than the roster holds, so a newcomer always finds a free record.
constexpr int ServerPeerLimit = 25;

// Packet bytes one peer may have the server hold while they are being reassembled or wait to be handled
// (ENet's maximumWaitingData). ENet checks it before each new packet, so one peer can hold at most this
// much plus one message.
constexpr std::size_t ServerWaitingLimit = 1u << 20;
// The longest name a chatter keeps: the list reply of 25 chatters with names this long, and figures
// of ten digits each, still fits in the longest message. A longer requested name gets the "Lamer" name,
// as one holding a blank does; the 72 characters a person can type stay far below it.
constexpr std::size_t ListHeadLength = 21;      // "WSP Lobby Chatters:" and CR LF
constexpr std::size_t ListLineExtra = 3 + 2 + 2 + 10 + 5 + 10 + 2 + 10 + 2 + 10 + 2 + 10 + 3;
constexpr std::size_t NameLimit = (MessageLimit - 1 - ListHeadLength) / ServerPeerLimit - ListLineExtra;
// The longest message a chatter may send: relayed with the longest name in front, it still fits in the
// longest message. A longer one is never acknowledged.
constexpr std::size_t ChatterMessageLimit = MessageLimit - NameLimit - 1;

// Messages one chatter may have waiting at the server for it, sent or not yet acknowledged. A chatter
// past either figure cannot keep up with the lobby and is cut off, as ENet cuts off a peer that stopped
// answering. Four of the longest messages in bytes; in messages, about five seconds of a lobby whose 25
// chatters all flood with short lines as fast as the server relays them, which no honest reader lags.
constexpr std::size_t BacklogLimitBytes = 8u << 20;
constexpr std::size_t BacklogLimitMessages = 4096;
// What a chatter has said that is still on its way to some listener: past either figure the server
// reads nothing more from that chatter (ENet slows it down) until it has arrived, so a fast speaker keeps
// to the pace of its slowest listener and the server does not grow.
constexpr std::size_t AheadLimitBytes = 2u << 20;
constexpr std::size_t AheadLimitMessages = 1024;
// A speaker held back that long without a break: the listener that lags most is cut off, so one slow
// or silent reader cannot hold a speaker up. The held speaker's ENet sends the message the server did
// not read again at doubling intervals, and gives up at the first resend that comes ENet's timeout
// minimum (5 s) after the first send; so the server must be able to read it again within half of that,
// or its next resend may come too late. Held 3 s, an honest speaker was lost that way in 1 of 8 runs
// of a slow test. A reader that takes a line of 1 MiB in less time (about 4 Mbit/s) is never cut for it.
constexpr double HeldBackLimitSeconds = 0.4 * ENET_PEER_TIMEOUT_MINIMUM / 1000.0;
// A chatter whose messages the server leaves unread (and so unacknowledged) is cut off before its own
// ENet gives the connection up, which it does by itself and without saying so; the lobby would then list
// it until the server's own ENet gave it up in turn, up to 30 s later. Cut off here, it learns at once
// and the lobby hears it has gone. Its ENet sends an unacknowledged message again at ever longer
// intervals and gives up once no acknowledgement at all came for ENet's timeout minimum (5 s), or once
// one message has waited through a resend interval of that length, no sooner than about 10 s after it
// was first sent. So a chatter is cut off when nothing of it was read for RefusedSilenceSeconds while a
// message waits, or when one message has waited RefusedLimitSeconds. Shorter, a chatter that floods for
// a few seconds, or a speaker held back for a while by a slow listener, would be cut off between two of
// its ENet's resends although its ENet would not have given up.
constexpr double RefusedSilenceSeconds = 0.8 * ENET_PEER_TIMEOUT_MINIMUM / 1000.0;
constexpr double RefusedLimitSeconds = 1.6 * ENET_PEER_TIMEOUT_MINIMUM / 1000.0;

// The messages of one chatter the server has left unread, in runs of reliable sequence numbers on one
// channel, each with the time its run was first left unread; the oldest run first. ENet reads a
// channel's messages in order, so a run is gone once the channel's count has passed it. Runs beyond the
// last are merged into it, which can only make the oldest look older.
constexpr int RefusedRunLimit = 8;
struct RefusedRun {
    enet_uint16 upTo = 0;
    double since = 0;
};
struct RefusedRecord {
    int channel = -1;  // -1 while nothing waits
    RefusedRun runs[RefusedRunLimit];
    int count = 0;
    double lastRead = 0;  // when the server last let a message of the chatter through
};

// Messages from one peer that ENet may hold for the loop at once: received, not yet handled. A burst of
// this many from a bot is taken whole; each costs the server about 200 bytes, so a flood of empty
// packets makes it hold under 1 MiB for that peer.
constexpr std::size_t IntakeLimitMessages = 4096;
// How many more messages ENet may read from a chatter now, given what it may hold for the loop at most
// (bound): none while the chatter is held back.
std::size_t intakeBudget(bool heldBack, std::size_t bound);
// Whether the upper bound is to be made exact by counting what ENet holds: only once it reaches half the
// limit and the loop has taken some since, so that a flooder's datagrams cost no count.
bool intakeRecountDue(std::size_t bound, bool handledSince);

// True while the chatter has been sent more than it may have unacknowledged.
bool pastBacklogLimit(const Chatter& chatter);
// True while what the chatter said is too far ahead of its slowest listener to read more from it.
bool isHeldBack(const Chatter& chatter);

// Notes that the server left the chatter's messages up to upTo on the channel unread at time now.
void noteRefused(RefusedRecord& record, enet_uint8 channel, enet_uint16 upTo, double now);
// Notes that the server let messages of the chatter through at time now.
void noteRead(RefusedRecord& record, double now);
// Forgets the runs ENet has read in order: the channel's count has reached taken.
void noteTaken(RefusedRecord& record, enet_uint16 taken);
// Counts what waits as left unread only from now: for a speaker whose slowest listener was just cut off,
// which held it back through no doing of its own.
void restartRefused(RefusedRecord& record, double now);
// True once nothing was read for longer than RefusedSilenceSeconds while a message waits unread, or the
// oldest message left unread has waited longer than RefusedLimitSeconds.
bool refusedTooLong(const RefusedRecord& record, double now);

// Notes when each active speaker began to be held back, 0 for one that is not.
void noteHeldBack(ChatServer& server, double now);
// Whom to cut off now, given the roster and the time. slot: a chatter past its backlog limit or whose
// oldest unread message has waited too long; else the listener that lags most behind a speaker held back
// longer than HeldBackLimitSeconds, which is then named in heldSpeaker. -1 for none.
struct CutChoice {
    int slot = -1;
    int heldSpeaker = -1;
};
CutChoice chooseCut(const ChatServer& server, double now);
