// The console's front, driven once for both back ends through a fake back end of this test's own: keys
// come from a script, the screen is the model alone, and what the front hands on is kept. What a real
// back end does with its device is tested with that back end.
#include "common/console/console.h"
#include "common/console/console_backend.h"
#include "common/console/console_internal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct FakeBackend {
    std::vector<int> keys;     // handed over at the next collection
    bool inputOpen = true;     // false: input ends once the keys are handed over
    bool cursorVisible = false;
    int bells = 0;
};

FakeBackend fake;

}  // namespace

bool backendStart(ScreenModel* model) {
    initScreenModel(model, 80, 25, 1, 1);
    return true;
}
void backendRestore() {}
bool backendEndsWithProgram() { return false; }
int backendFollow(ScreenModel*, KeyQueue*) { return 0; }
void backendOutput(ScreenModel* model, const Text&) {
    for (const DrawOp& op : model->changes) fake.bells += op.kind == DrawKind::Bell;
    model->changes.clear();
}
void backendSleep(int) {}
bool backendCollect(KeyQueue* keys) {
    for (int key : fake.keys) keyQueuePush(*keys, key);
    fake.keys.clear();
    return fake.inputOpen;
}
bool backendWait(int) { return false; }
bool backendKeyDown(int) { return false; }
void backendKeyTaken(int) {}
bool backendShowCursor(bool visible) {
    bool was = fake.cursorVisible;
    fake.cursorVisible = visible;
    return was;
}

namespace {

// The line is edited and drawn after the prompt, Del at its end rings the bell, the cursor is shown
// while it is edited and then as it was, and output goes on at the start of the next row.
TEST(ConsoleFrontTest, InputTextEditsTheLineAndPutsTheCursorBack) {
    for (bool visibleBefore : {false, true}) {
        fake.cursorVisible = visibleBefore;
        fake.bells = 0;
        fake.keys = {'a', 'b', 8, 'c', extendedKey(83), 13, 'q'};  // Backspace, Del at the end, Enter
        moveCursor(3, 1);
        print(std::string(80, ' '));  // the row is blank again
        moveCursor(3, 1);
        EXPECT_EQ(inputText("Say"), "ac");
        EXPECT_EQ(fake.bells, 1);
        EXPECT_EQ(fake.cursorVisible, visibleBefore);
        std::string dump = screenDump();
        EXPECT_EQ(dump.substr(dump.find("Say?"), 8), "Say? ac ");
        EXPECT_EQ(cursorRow(), 4);
        EXPECT_EQ(cursorColumn(), 1);
        EXPECT_EQ(pollKey(), "q");  // keys after the line stay queued
    }
}

// Once input has ended the close request follows the last key, once; waitForKey returns, as no key
// can come any more.
TEST(ConsoleFrontTest, EndOfInputQueuesOneCloseRequestAfterTheLastKey) {
    fake.keys = {'x'};
    fake.inputOpen = false;
    EXPECT_EQ(pollKey(), "x");
    EXPECT_EQ(pollKey(), "\xff\x6b");
    waitForKey();
    EXPECT_EQ(pollKey(), "");
}

}  // namespace
