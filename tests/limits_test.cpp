// The record of what the server left unread from a chatter, as a table: runs noted and read in order,
// across the 16-bit wrap of ENet's sequence numbers, and when the chatter is to be cut off: nothing read
// for too long while a message waits, or one message waiting too long.
#include <gtest/gtest.h>

#include <vector>

#include "server/chat_server.h"
#include "server/limits.h"

namespace {

struct Step {
    char what;  // 'r' refused up to `sequence` at `time`, 'd' some read at `time`, 't' ENet read up to
                // `sequence` in order, 's' restarted at `time`
    int channel;
    enet_uint16 sequence;
    double time;
};

struct Row {
    const char* name;
    std::vector<Step> steps;
    double askedAt;
    bool tooLong;
    int runs;
};

TEST(RefusedRecordTest, SilenceOrTheOldestUnreadDecidesTheCut) {
    const double silence = RefusedSilenceSeconds, limit = RefusedLimitSeconds;
    const std::vector<Row> rows = {
        {"nothing refused", {}, 100, false, 0},
        {"nothing read since the refusal, not yet", {{'r', 0, 10, 1}}, 0.9 + silence, false, 1},
        {"nothing read since the refusal", {{'r', 0, 10, 1}}, 1.1 + silence, true, 1},
        {"a read before the refusal does not count", {{'d', 0, 0, 0.5}, {'r', 0, 10, 1}}, 1.1 + silence, true, 1},
        {"reads go on, the oldest not yet too old", {{'r', 0, 10, 1}, {'d', 0, 0, limit - 1}}, 0.9 + limit, false, 1},
        {"reads go on, the oldest too old", {{'r', 0, 10, 1}, {'d', 0, 0, limit}}, 1.1 + limit, true, 1},
        {"a later run keeps the first one's time", {{'r', 0, 10, 1}, {'r', 0, 20, 3}, {'d', 0, 0, limit}}, 1.1 + limit,
         true, 2},
        {"an older resend adds no run", {{'r', 0, 10, 1}, {'r', 0, 5, 3}}, 2, false, 1},
        {"the first run read, the second decides",
         {{'r', 0, 10, 1}, {'r', 0, 20, 3}, {'t', 0, 10, 0}, {'d', 0, 0, limit}}, 1.1 + limit, false, 1},
        {"all read", {{'r', 0, 10, 1}, {'t', 0, 12, 0}}, 100, false, 0},
        {"across the wrap", {{'r', 0, 65530, 1}, {'r', 0, 4, 2}, {'t', 0, 65535, 0}, {'d', 0, 0, limit}}, 1.1 + limit,
         false, 1},
        {"read across the wrap", {{'r', 0, 65530, 1}, {'t', 0, 3, 0}}, 100, false, 0},
        {"another channel is not followed", {{'r', 0, 10, 1}, {'r', 3, 50, 0.5}, {'t', 0, 10, 0}}, 100, false, 0},
        {"restarted after a listener was cut", {{'r', 0, 10, 1}, {'s', 0, 0, 3}}, 2.9 + silence, false, 1},
    };
    for (const Row& row : rows) {
        RefusedRecord record;
        for (const Step& step : row.steps) {
            if (step.what == 'r') noteRefused(record, static_cast<enet_uint8>(step.channel), step.sequence, step.time);
            if (step.what == 'd') noteRead(record, step.time);
            if (step.what == 't') noteTaken(record, step.sequence);
            if (step.what == 's') restartRefused(record, step.time);
        }
        EXPECT_EQ(refusedTooLong(record, row.askedAt), row.tooLong) << row.name;
        EXPECT_EQ(record.count, row.runs) << row.name;
    }
}

// More runs than the record holds merge into the last: the oldest keeps its time, the last reaches
// the newest, so nothing refused is ever forgotten before ENet has read it.
TEST(RefusedRecordTest, RunsBeyondTheLimitMergeIntoTheLast) {
    RefusedRecord record;
    for (int i = 0; i < RefusedRunLimit + 5; ++i) noteRefused(record, 0, static_cast<enet_uint16>(10 * (i + 1)), i);
    EXPECT_EQ(record.count, RefusedRunLimit);
    noteTaken(record, static_cast<enet_uint16>(10 * (RefusedRunLimit + 4)));
    EXPECT_EQ(record.count, 1);
    noteTaken(record, static_cast<enet_uint16>(10 * (RefusedRunLimit + 5)));
    EXPECT_EQ(record.count, 0);
}

// Whom the limits cut off, given a roster and the time; slot 0 is always an active, idle chatter.
constexpr double Now = 1000;

TEST(ChooseCutTest, EachLimitCutsItsOwnChatterOnly) {
    struct Row {
        const char* name;
        void (*set)(Chatter& one, Chatter& two);
        int slot;
        int heldSpeaker;
    };
    const Row rows[] = {
        {"nobody past a limit", [](Chatter&, Chatter&) {}, -1, -1},
        {"backlog past its bytes", [](Chatter& one, Chatter&) { one.backlogBytes = BacklogLimitBytes + 1; }, 1, -1},
        {"backlog past its messages", [](Chatter&, Chatter& two) { two.backlogMessages = BacklogLimitMessages + 1; }, 2, -1},
        {"backlog at its limit", [](Chatter& one, Chatter&) { one.backlogMessages = BacklogLimitMessages; }, -1, -1},
        {"an inactive record past a limit", [](Chatter& one, Chatter&) {
             one.active = false;
             one.backlogBytes = BacklogLimitBytes + 1;
         }, -1, -1},
        {"left unread too long", [](Chatter&, Chatter& two) {
             noteRefused(two.refused, 0, 7, Now - RefusedLimitSeconds - 0.1);
         }, 2, -1},
        {"left unread, not yet too long", [](Chatter&, Chatter& two) { noteRefused(two.refused, 0, 7, Now - 1); }, -1, -1},
        {"held back too long: the listener most behind", [](Chatter& one, Chatter& two) {
             one.heldBackSince = Now - HeldBackLimitSeconds - 0.1;
             two.backlogBytes = 5000;
         }, 2, 1},
        {"held back, not yet too long", [](Chatter& one, Chatter& two) {
             one.heldBackSince = Now - 1;
             two.backlogBytes = 5000;
         }, -1, -1},
    };
    for (const Row& row : rows) {
        ChatServer server;
        for (int slot = 0; slot < 3; ++slot) server.chatters[slot].active = true;
        row.set(server.chatters[1], server.chatters[2]);
        CutChoice cut = chooseCut(server, Now);
        EXPECT_EQ(cut.slot, row.slot) << row.name;
        EXPECT_EQ(cut.heldSpeaker, row.heldSpeaker) << row.name;
    }
}

// What ENet may read from a chatter: the rest of the limit, none while it is held back or full.
TEST(IntakeBudgetTest, TheRestOfTheLimitAndNoneWhileHeldBack) {
    EXPECT_EQ(intakeBudget(false, 0), IntakeLimitMessages);
    EXPECT_EQ(intakeBudget(false, IntakeLimitMessages - 3), 3u);
    EXPECT_EQ(intakeBudget(false, IntakeLimitMessages + 3), 0u);
    EXPECT_EQ(intakeBudget(true, 0), 0u);
    EXPECT_FALSE(intakeRecountDue(IntakeLimitMessages / 2 - 1, true));
    EXPECT_FALSE(intakeRecountDue(IntakeLimitMessages, false));
    EXPECT_TRUE(intakeRecountDue(IntakeLimitMessages / 2, true));
}

}  // namespace
