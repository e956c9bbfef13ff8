#include "platform/core/PercentEscape.h"

#include <gtest/gtest.h>

using platform::addPercentEscapes;
using platform::removePercentEscapes;

TEST(PercentEscape, LeavesEveryRFC2396URLCharacterAsItIs)
{
    const std::string marks = "-_.!~*'();/?:@&=+$,";
    const std::string alnum = "abcxyzABCXYZ0189";
    EXPECT_EQ(addPercentEscapes(marks), marks);
    EXPECT_EQ(addPercentEscapes(alnum), alnum);
}

TEST(PercentEscape, EscapesEverythingElseAsUpperCaseHexOfEachByte)
{
    EXPECT_EQ(addPercentEscapes("d[coord]"), "d%5Bcoord%5D");
    EXPECT_EQ(addPercentEscapes("a b"), "a%20b");
    EXPECT_EQ(addPercentEscapes("\"#%<>\\^`{|}"), "%22%23%25%3C%3E%5C%5E%60%7B%7C%7D");
    EXPECT_EQ(addPercentEscapes(std::string("\x00\x1f\x7f", 3)), "%00%1F%7F");
    EXPECT_EQ(addPercentEscapes(""), "");
}

TEST(PercentEscape, TextBeyondASCIIGoesOutAsItsEscapedUTF8Bytes)
{
    EXPECT_EQ(addPercentEscapes("Z\xC3\xBCrich"), "Z%C3%BCrich");     // Zürich
    EXPECT_EQ(addPercentEscapes("\xE2\x82\xAC"), "%E2%82%AC");        // €
    EXPECT_EQ(addPercentEscapes("\xF0\x9F\x98\x80"), "%F0%9F%98%80"); // an emoji
    std::string escaped = addPercentEscapes("caf\xC3\xA9 & cr\xC3\xA8me");
    for (char c : escaped)
        EXPECT_LT(static_cast<unsigned char>(c), 0x80);
}

TEST(PercentEscape, UnescapingRoundTripsAndRefusesBrokenEscapes)
{
    std::string all;
    for (int c = 0; c < 256; ++c)
        all.push_back(static_cast<char>(c));
    EXPECT_EQ(removePercentEscapes(addPercentEscapes(all)), all);
    EXPECT_EQ(removePercentEscapes("%5b%5D"), "[]");
    EXPECT_FALSE(removePercentEscapes("%"));
    EXPECT_FALSE(removePercentEscapes("ab%4"));
    EXPECT_FALSE(removePercentEscapes("%zz"));
}
