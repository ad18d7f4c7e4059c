// The queue of key presses that pollKey takes from: a ring of KeyQueueSize slots, at most
// KeyQueueSize - 1 keys waiting, the oldest dropped when a key arrives at a full ring.
#pragma once

#include "common/console/console.h"

struct KeyQueue {
    int slots[KeyQueueSize];
    int head = 0;             // the oldest waiting key
    int tail = 0;             // where the next key goes
    bool keyPressed = false;  // set by every queued key; cleared when a key is taken
};

void keyQueuePush(KeyQueue& queue, int key);
// Takes the oldest key and clears keyPressed; false when none waits (keyPressed unchanged).
bool keyQueuePop(KeyQueue& queue, int* key);
// True once for each time keys were queued since the last pop or the last call.
bool keyQueueTakePressed(KeyQueue& queue);
int keyQueueCount(const KeyQueue& queue);
void keyQueueClear(KeyQueue& queue);

// The key text of a key code: one byte below 256, else 255 and the extended code.
Text keyText(int key);
// The key code of a key text; 0 for the empty text.
int keyFromText(const Text& text);
