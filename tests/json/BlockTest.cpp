// Whitespace and strings are read in blocks of bytes: what stands in a run must give the
// same result at every offset from the run's start, across the block edges.
#include <gtest/gtest.h>

#include <string>

#include "Helpers.h"

namespace json {
namespace {

using test::any;

TEST(Blocks, WhitespaceRunsEndWhereTheWhitespaceEndsAtEveryOffset)
{
    for (std::size_t n = 0; n <= 40; ++n) {
        // Spaces with a line feed, a tab, a vertical tab and a form feed among them.
        std::string run(n, ' ');
        for (std::size_t i = 3; i < n; i += 7)
            run[i] = "\n\t\v\f"[i % 4];
        EXPECT_EQ(any("[" + run + "1" + run + "," + run + "2" + run + "]"), "ok [1,2]") << n;
        EXPECT_EQ(any("{" + run + "\"k\"" + run + ":" + run + "true" + run + "}"), "ok {\"k\":true}") << n;
        // Bytes below the space that are no whitespace, and 0xA0, end a run and start no value.
        for (const char* stop : {"\x01", "\x1f", "\x0e", "\x08", "\xA0"})
            EXPECT_EQ(test::codeOf("{\"k\":[" + run + stop + "]}"), -4) << n << " " << int(stop[0]);
    }
}

TEST(Blocks, StringsDecodeTheSameWhateverTheOffsetOfAnEscapeOrCharacter)
{
    struct Case {
        const char* text;
        std::u16string units; // empty: the string fails with -12
    };
    const Case cases[] = {
        {"\\n", u"\n"},
        {"\\\"", u"\""},
        {"\\u00e9", u"\u00e9"},
        {"\xC3\xA9", u"\u00e9"},
        {"\xE6\x97\xA5", u"\u65e5"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {"\x01\x7F", u"\x01\x7f"},
        {"\xE6\x97\xA5\xE6\x97\xA5x\\t\xE6\x97\xA5", u"\u65e5\u65e5x\t\u65e5"},
        {"\xFF", u""},
        {"\xED\xA0\x80", u""},
        {"\xE0\x80\xAF", u""},
        {"\xE6\x97", u""},
    };
    for (const Case& c : cases) {
        for (std::size_t n = 0; n <= 40; ++n) {
            const std::string head(n, 'a'), tail(40 - n, 'b');
            const std::string text = "\"" + head + c.text + tail + "\"";
            const std::string doc = "{" + text + ":[" + text + "]}";
            Error e;
            Value v = JSONDeserializer::deserializer().deserializeAsDictionary(doc, &e);
            if (c.units.empty()) {
                EXPECT_EQ(e.code, -2) << c.text << " at " << n;
                EXPECT_EQ(test::codeOf("[" + text + "]", false), -8) << c.text << " at " << n;
                continue;
            }
            const std::u16string expected = std::u16string(n, u'a') + c.units + std::u16string(40 - n, u'b');
            ASSERT_TRUE(v.isDictionary()) << c.text << " at " << n;
            EXPECT_EQ(v.keyAt(0).utf16(), expected) << c.text << " at " << n;
            EXPECT_EQ(v.valueAt(0)[0].utf16(), expected) << c.text << " at " << n;
        }
    }
}

} // namespace
} // namespace json
