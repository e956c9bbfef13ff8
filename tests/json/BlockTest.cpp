// Whitespace and strings are read in blocks of bytes: what stands in a run must give the
// same result at every offset from the run's start, across the block edges.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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

TEST(Blocks, StringsAndKeysReadTheSameWhateverTheOffsetOfAnEscapeOrCharacter)
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
    // Keys that are prefixes of the key before them, or longer, or end in an escape.
    const std::string letters = "abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJ";
    std::string prefixes = "[";
    std::vector<std::string> expected;
    for (int round = 0; round < 2; ++round) {
        for (std::size_t i = 0; i <= 41; ++i) {
            const std::size_t n = round == 0 ? i : 41 - i;
            for (const char* end : {"", "", "\\n"}) {
                prefixes += "{\"" + letters.substr(0, n) + end + "\":0},";
                expected.push_back(letters.substr(0, n) + (*end ? "\n" : ""));
            }
        }
    }
    Value all = JSONDeserializer::deserializer().deserialize(prefixes + "{}]");
    ASSERT_EQ(all.count(), expected.size() + 1);
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(all[i].keyAt(0).utf8(), expected[i]) << i;

    for (const Case& c : cases) {
        // All offsets in one document too: each key is then read right after a key of the
        // same shape that differs from it where the character moved, and after itself.
        std::string all = "[";
        std::vector<std::u16string> keys;
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
            all += doc + "," + doc + ",";
            keys.push_back(expected);
            keys.push_back(expected);
        }
        Value v = JSONDeserializer::deserializer().deserialize(all + "{}]");
        ASSERT_EQ(v.count(), keys.size() + 1) << c.text;
        for (std::size_t i = 0; i < keys.size(); ++i)
            EXPECT_EQ(v[i].keyAt(0).utf16(), keys[i]) << c.text << " in dictionary " << i;
    }
}

} // namespace
} // namespace json
