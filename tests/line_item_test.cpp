// The first item of a typed line: blanks, quotes, commas and the 4096-byte limit.
#include "common/console/line_item.h"

#include <gtest/gtest.h>

namespace {

TEST(LineItemTest, FirstItemRules) {
    struct Row {
        Text line;
        Text item;
    };
    const Row rows[] = {
        {" 10.0.0.1,x", "10.0.0.1"},
        {"10.0.0.1 ", "10.0.0.1 "},
        {"", ""},
        {"   \t ", ""},
        {"\"a, b\",c", "a, b"},
        {"  \"open, to the end", "open, to the end"},
        {"\"\"rest", ""},
        {"ab\"c\",d", "ab\"c\""},
        {"a b\tc", "a b\tc"},
        {"first\rsecond", "first"},
        {"first\nsecond", "first"},
        {",x", ""},
        {"\t\tx y ,z", "x y "},
        {Text("a\0b,c", 5), Text("a\0b", 3)},
    };
    for (const Row& row : rows) EXPECT_EQ(firstLineItem(row.line), row.item) << row.line;
}

TEST(LineItemTest, AtMost4096BytesAreTaken) {
    EXPECT_EQ(firstLineItem(Text(5000, 'x')), Text(LineItemLimit, 'x'));
    EXPECT_EQ(firstLineItem("  \"" + Text(5000, 'q') + "\""), Text(LineItemLimit, 'q'));
    EXPECT_EQ(firstLineItem(Text(LineItemLimit, 'y') + ",z"), Text(LineItemLimit, 'y'));
}

}  // namespace
