// The message each typed line becomes, command rules included.
#include <gtest/gtest.h>

#include "client/input_line.h"

namespace {

struct Case {
    const char* line;
    const char* message;
};

const Case Cases[] = {
    {"", "SAY "},                         // Enter on an empty line
    {"hello", "SAY hello"},
    {"hello world", "SAY hello world"},
    {" /who", "SAY  /who"},               // a command only at the very start
    {"/who", "WHO "},
    {"/who is here", "WHO "},             // anything after the word is dropped
    {"/who ", "WHO "},
    {"/whoami", "/whoami"},               // another word, sent as typed
    {"/Who", "/Who"},                     // case matters
    {"/NAME Bob", "/NAME Bob"},
    {"/ x", "/ x"},                       // empty word
    {"/", "/"},
    {"/quit", "/quit"},
    {"/help me", "/help me"},
    {"/who\tall", "/who\tall"},           // a tab is no separator
    {"/name Bob", "REN Bob"},
    {"/name Bob Smith", "REN Bob Smith"},
    {"/name  Bob", "REN  Bob"},           // further blanks belong to the name
    {"/name ", "REN "},
    {"/name", "REN /name"},               // no blank: the whole line is the name
    {"/name\tBob", "/name\tBob"},
};

TEST(MakeMessage, EveryCommandRule) {
    for (const Case& c : Cases) {
        EXPECT_EQ(makeMessage(c.line), c.message) << "line \"" << c.line << "\"";
    }
}

TEST(MakeMessage, KeepsEveryByteOfTheLine) {
    // Extended keys put byte 255 and a code into the line; they travel unchanged.
    Text line("a\xff\x48\x1b" "b", 5);
    EXPECT_EQ(makeMessage(line), "SAY " + line);
    Text name("/name \xff\x4b", 8);
    EXPECT_EQ(makeMessage(name), Text("REN \xff\x4b", 6));
}

TEST(MakeMessage, LongLineSentWhole) {
    Text line(72, 'x');
    EXPECT_EQ(makeMessage(line), "SAY " + line);
    EXPECT_EQ(makeMessage("/name " + Text(66, 'n')), "REN " + Text(66, 'n'));
}

}  // namespace
