// Where UTF-8 written in pieces may be cut for a console that takes whole characters only.

#include "tools/ledsign/ConsoleText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(CompleteUtf8Length, HoldsBackOnlyAnUnfinishedLastCharacter) {
    struct Case {
        std::string Bytes;
        std::size_t Complete;
    } cases[] = {
        {"", 0},
        {"abc", 3},
        {"\xC5\xBC", 2},         // ż, whole
        {"a\xC5", 1},            // ż's lead byte alone
        {"a\xE2\x82", 1},        // two of € 's three bytes
        {"a\xE2\x82\xAC", 4},    // €, whole
        {"a\xF0\x9F\x98", 1},    // three of an emoji's four bytes
        {"\xF0\x9F\x98\x80", 4}, // the emoji, whole
        {"\x80\x80\x80\x80", 4}, // stray continuation bytes: nothing to wait for
        {"a\xFF", 2},            // no UTF-8 at all
        {"z\xC5\xBC\xC3", 3},    // a whole character, then a lead byte
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.Bytes));
        EXPECT_EQ(ledsign_tool::CompleteUtf8Length(c.Bytes), c.Complete);
    }
}

} // namespace
