#include "common/console/key_queue.h"

void keyQueuePush(KeyQueue& queue, int key) {
    int next = (queue.tail + 1) % KeyQueueSize;
    if (next == queue.head) queue.head = (queue.head + 1) % KeyQueueSize;  // drop the oldest
    queue.slots[queue.tail] = key;
    queue.tail = next;
    queue.keyPressed = true;
}

bool keyQueuePop(KeyQueue& queue, int* key) {
    if (queue.head == queue.tail) return false;
    *key = queue.slots[queue.head];
    queue.head = (queue.head + 1) % KeyQueueSize;
    queue.keyPressed = false;
    return true;
}

bool keyQueueTakePressed(KeyQueue& queue) {
    bool pressed = queue.keyPressed;
    queue.keyPressed = false;
    return pressed;
}

int keyQueueCount(const KeyQueue& queue) {
    return (queue.tail - queue.head + KeyQueueSize) % KeyQueueSize;
}

void keyQueueClear(KeyQueue& queue) {
    queue.head = queue.tail = 0;
    queue.keyPressed = false;
}

Text keyText(int key) {
    if (key < 256) return Text(1, static_cast<char>(key));
    return {static_cast<char>(ExtendedKeyPrefix), static_cast<char>((key >> 8) & 0xff)};
}

int keyFromText(const Text& text) {
    if (text.empty()) return 0;
    unsigned char first = static_cast<unsigned char>(text[0]);
    if (first == ExtendedKeyPrefix && text.size() >= 2) {
        return extendedKey(static_cast<unsigned char>(text[1]));
    }
    return first;
}
