// The key queue: order, the 511-key limit with the oldest dropped, keyPressed, and key texts.
#include "common/console/key_queue.h"

#include <gtest/gtest.h>

namespace {

TEST(KeyQueueTest, KeysComeOutInOrderOfThePresses) {
    KeyQueue queue;
    int key = 0;
    EXPECT_FALSE(keyQueuePop(queue, &key));
    for (int k : {int('a'), 13, extendedKey(72)}) keyQueuePush(queue, k);
    for (int expected : {int('a'), 13, extendedKey(72)}) {
        ASSERT_TRUE(keyQueuePop(queue, &key));
        EXPECT_EQ(key, expected);
    }
    EXPECT_FALSE(keyQueuePop(queue, &key));
}

TEST(KeyQueueTest, AtMost511WaitAndTheOldestIsDropped) {
    KeyQueue queue;
    for (int i = 0; i < KeyQueueSize - 1; ++i) keyQueuePush(queue, i);
    EXPECT_EQ(keyQueueCount(queue), KeyQueueSize - 1);
    keyQueuePush(queue, 1000);
    keyQueuePush(queue, 1001);
    EXPECT_EQ(keyQueueCount(queue), KeyQueueSize - 1);
    int key = 0;
    ASSERT_TRUE(keyQueuePop(queue, &key));
    EXPECT_EQ(key, 2);  // 0 and 1 were dropped
    int last = 0;
    while (keyQueuePop(queue, &key)) last = key;
    EXPECT_EQ(last, 1001);
}

TEST(KeyQueueTest, WrapsAroundTheRingManyTimes) {
    KeyQueue queue;
    int key = 0;
    for (int i = 0; i < 5 * KeyQueueSize; ++i) {
        keyQueuePush(queue, i);
        keyQueuePush(queue, i + 1);
        ASSERT_TRUE(keyQueuePop(queue, &key));
        ASSERT_TRUE(keyQueuePop(queue, &key));
        EXPECT_EQ(key, i + 1);
    }
    EXPECT_EQ(keyQueueCount(queue), 0);
}

TEST(KeyQueueTest, KeyPressedIsSetByAPushAndClearedByAPop) {
    KeyQueue queue;
    EXPECT_FALSE(keyQueueTakePressed(queue));
    keyQueuePush(queue, 'a');
    keyQueuePush(queue, 'b');
    int key = 0;
    ASSERT_TRUE(keyQueuePop(queue, &key));
    // Taken by the pop although 'b' still waits: a wait now needs a new press.
    EXPECT_FALSE(keyQueueTakePressed(queue));
    keyQueuePush(queue, 'c');
    EXPECT_TRUE(keyQueueTakePressed(queue));
    EXPECT_FALSE(keyQueueTakePressed(queue));
    EXPECT_EQ(keyQueueCount(queue), 2);  // the wait left both keys queued
    keyQueuePush(queue, 'd');
    keyQueueClear(queue);
    EXPECT_FALSE(keyQueuePop(queue, &key));
    EXPECT_FALSE(keyQueueTakePressed(queue));
}

TEST(KeyQueueTest, PopOfAnEmptyQueueLeavesKeyPressed) {
    KeyQueue queue;
    keyQueuePush(queue, 'a');
    int key = 0;
    keyQueuePop(queue, &key);
    keyQueuePush(queue, 'b');
    keyQueuePop(queue, &key);
    keyQueuePush(queue, 'c');
    queue.head = queue.tail;  // emptied without a pop
    EXPECT_FALSE(keyQueuePop(queue, &key));
    EXPECT_TRUE(keyQueueTakePressed(queue));
}

TEST(KeyQueueTest, KeyTextsAndBack) {
    struct Row {
        int key;
        std::string text;
    };
    const Row rows[] = {
        {13, "\r"}, {8, "\b"}, {27, "\x1b"}, {0xB0, "\xb0"}, {extendedKey(72), "\xffH"},
        {CloseRequestKey, "\xffk"}, {extendedKey(133), "\xff\x85"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(keyText(row.key), row.text) << row.key;
        EXPECT_EQ(keyFromText(row.text), row.key) << row.key;
    }
    EXPECT_EQ(keyFromText(""), 0);
}

}  // namespace
