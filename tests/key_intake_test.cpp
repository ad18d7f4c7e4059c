// The key intake when a pass asks twice (isKeyDown, then pollKey): the second intake may skip its read
// after the first found the input drained, but no key may be lost or held back for good, and a lone
// Esc still becomes Esc after its time-out. Keys come through a pipe on standard input.
#include "common/console/console.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

namespace {

class KeyIntake : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(pipe(keys), 0);
        dup2(keys[0], 0);
    }
    static void type(const std::string& bytes) {
        ASSERT_EQ(write(keys[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    static int keys[2];
};

int KeyIntake::keys[2] = {-1, -1};

// A program that polls without pausing still gets a key typed just after an intake found nothing.
TEST_F(KeyIntake, KeysTypedAfterADrainedIntakeAreTakenWithoutAPause) {
    EXPECT_FALSE(isKeyDown(EscScanCode));
    EXPECT_EQ(pollKey(), "");
    type("ab");
    Text first;
    for (long tries = 0; tries < 50000000 && first.empty(); tries++) first = pollKey();
    EXPECT_EQ(first, "a");
    EXPECT_EQ(pollKey(), "b");
    EXPECT_EQ(pollKey(), "");
}

// The client's pass: the Esc-held test, one key, a 10 ms pause. A lone Esc is seen by both.
TEST_F(KeyIntake, ALoneEscReachesBothQuestionsOfAPass) {
    type("x\x1b");
    std::string taken;
    bool held = false;
    for (int pass = 0; pass < 200 && !held; pass++) {
        held = isKeyDown(EscScanCode);
        taken += pollKey();
        pause(10);
    }
    EXPECT_TRUE(held);
    EXPECT_EQ(taken + pollKey(), "x\x1b");
}

// A press that pollKey took counts for the isKeyDown that follows, and not after a second pollKey
// (as in the line editor, or a loop that discards keys).
TEST_F(KeyIntake, ATakenPressCountsOnlyForTheNextQuestion) {
    for (bool askedBetween : {true, false}) {
        type("q");
        Text key;
        for (int tries = 0; tries < 1000 && key.empty(); tries++, pause(1)) key = pollKey();
        EXPECT_EQ(key, "q");
        if (!askedBetween) pollKey();  // the line editor's next turn, say
        EXPECT_EQ(isKeyDown(16), askedBetween);
    }
}

}  // namespace
