#include "server/limits.h"

#include "server/chat_server.h"

namespace {

// Sequence numbers wrap at 16 bits: a is at or before b when b is less than half the range ahead.
bool atOrBefore(enet_uint16 a, enet_uint16 b) { return static_cast<enet_uint16>(b - a) < 0x8000; }

// The active chatter with the most waiting to reach it, or -1.
int mostBehind(const ChatServer& server) {
    int most = -1;
    for (int slot = 0; slot < RosterSize; ++slot) {
        const Chatter& chatter = server.chatters[slot];
        if (chatter.active && (most < 0 || chatter.backlogBytes > server.chatters[most].backlogBytes)) most = slot;
    }
    return most;
}

}  // namespace

std::size_t intakeBudget(bool heldBack, std::size_t bound) {
    return heldBack || bound >= IntakeLimitMessages ? 0 : IntakeLimitMessages - bound;
}

bool intakeRecountDue(std::size_t bound, bool handledSince) {
    return bound >= IntakeLimitMessages / 2 && handledSince;
}

bool pastBacklogLimit(const Chatter& chatter) {
    return chatter.backlogBytes > BacklogLimitBytes || chatter.backlogMessages > BacklogLimitMessages;
}

bool isHeldBack(const Chatter& chatter) {
    return chatter.aheadBytes >= AheadLimitBytes || chatter.aheadMessages >= AheadLimitMessages;
}

void noteRefused(RefusedRecord& record, enet_uint8 channel, enet_uint16 upTo, double now) {
    if (record.count == 0) record.channel = channel;
    if (record.channel != channel) return;
    if (record.count > 0 && atOrBefore(upTo, record.runs[record.count - 1].upTo)) return;
    if (record.count == RefusedRunLimit) {
        record.runs[record.count - 1].upTo = upTo;
        return;
    }
    record.runs[record.count++] = RefusedRun{upTo, now};
}

void noteRead(RefusedRecord& record, double now) { record.lastRead = now; }

void noteTaken(RefusedRecord& record, enet_uint16 taken) {
    int gone = 0;
    while (gone < record.count && atOrBefore(record.runs[gone].upTo, taken)) ++gone;
    for (int i = gone; i < record.count; ++i) record.runs[i - gone] = record.runs[i];
    record.count -= gone;
    if (record.count == 0) record.channel = -1;
}

void restartRefused(RefusedRecord& record, double now) {
    for (int i = 0; i < record.count; ++i) record.runs[i].since = now;
}

bool refusedTooLong(const RefusedRecord& record, double now) {
    if (record.count == 0) return false;
    double silentSince = record.lastRead > record.runs[0].since ? record.lastRead : record.runs[0].since;
    return now - silentSince > RefusedSilenceSeconds || now - record.runs[0].since > RefusedLimitSeconds;
}

void noteHeldBack(ChatServer& server, double now) {
    for (Chatter& speaker : server.chatters) {
        if (!speaker.active || !isHeldBack(speaker)) speaker.heldBackSince = 0;
        else if (speaker.heldBackSince == 0) speaker.heldBackSince = now;
    }
}

CutChoice chooseCut(const ChatServer& server, double now) {
    CutChoice choice;
    for (int slot = 0; slot < RosterSize && choice.slot < 0; ++slot) {
        const Chatter& chatter = server.chatters[slot];
        if (chatter.active && (pastBacklogLimit(chatter) || refusedTooLong(chatter.refused, now))) choice.slot = slot;
    }
    for (int slot = 0; slot < RosterSize && choice.slot < 0 && choice.heldSpeaker < 0; ++slot) {
        const Chatter& speaker = server.chatters[slot];
        if (speaker.heldBackSince != 0 && now - speaker.heldBackSince > HeldBackLimitSeconds) {
            choice.heldSpeaker = slot;
            choice.slot = mostBehind(server);
        }
    }
    return choice;
}
