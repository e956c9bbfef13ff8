// The byte-level scans: each either moves past what it took and succeeds, or fails and
// leaves the cursor and its out-argument alone; none reads outside the buffer.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "json/DataScanner.h"

namespace json {
namespace {

std::optional<std::u16string> untouched()
{
    return u"untouched";
}

TEST(DataScannerPrimitives, WhitespaceIsTheSixCLocaleBytesOnly)
{
    const std::string text = "  \t\v\f\r\n x";
    auto s = DataScanner::scannerWithData(bytesOf(text));
    s->skipWhitespace();
    EXPECT_EQ(s->scanLocation(), 8u);
    EXPECT_EQ(s->currentCharacter(), u'x');

    const std::string nbsp = "\xA0x";
    auto t = DataScanner::scannerWithData(bytesOf(nbsp));
    t->skipWhitespace();
    EXPECT_EQ(t->scanLocation(), 0u);
    const std::string nul = std::string("\0 ", 2);
    auto u = DataScanner::scannerWithData(bytesOf(nul));
    u->skipWhitespace();
    EXPECT_EQ(u->scanLocation(), 0u);

    const std::string onlySpace = " \n\t";
    auto w = DataScanner::scannerWithData(bytesOf(onlySpace));
    w->skipWhitespace();
    EXPECT_TRUE(w->isAtEnd());
}

TEST(DataScannerPrimitives, SingleCharacters)
{
    const std::string text = "y\xE9";
    auto s = DataScanner::scannerWithData(bytesOf(text));
    EXPECT_FALSE(s->scanCharacter(u'x'));
    EXPECT_EQ(s->scanLocation(), 0u);
    EXPECT_FALSE(s->scanCharacter(char16_t(u'y' + 256))); // above 255 never matches
    EXPECT_TRUE(s->scanCharacter(u'y'));
    EXPECT_EQ(s->scanLocation(), 1u);
    EXPECT_EQ(s->currentCharacter(), char16_t(0xE9)); // a byte, not a decoded character
    EXPECT_EQ(s->scanCharacter(), char16_t(0xE9));
    EXPECT_TRUE(s->isAtEnd());
    // At the end: a value that is no byte, and the cursor stays put.
    EXPECT_EQ(s->currentCharacter(), DataScanner::kEndOfData);
    EXPECT_EQ(s->scanCharacter(), DataScanner::kEndOfData);
    EXPECT_EQ(s->scanLocation(), 2u);
    EXPECT_FALSE(s->scanCharacter(DataScanner::kEndOfData));
    EXPECT_FALSE(s->scanCharacter(u'\0'));
}

TEST(DataScannerPrimitives, Literals)
{
    const std::string text = "tru";
    auto s = DataScanner::scannerWithData(bytesOf(text));
    auto out = untouched();
    EXPECT_FALSE(s->scanUTF8String("true", &out));
    EXPECT_EQ(s->scanLocation(), 0u);
    EXPECT_EQ(out, untouched());
    EXPECT_FALSE(s->scanUTF8String("trX", &out));
    EXPECT_TRUE(s->scanUTF8String("tr", &out));
    EXPECT_EQ(out, u"tr");
    EXPECT_EQ(s->scanLocation(), 2u);
    EXPECT_TRUE(s->scanUTF8String("", &out)); // nothing to match always matches
    EXPECT_EQ(s->scanLocation(), 2u);

    const std::string accented = "h\xC3\xA9!";
    auto t = DataScanner::scannerWithData(bytesOf(accented));
    EXPECT_TRUE(t->scanString(u"h\u00e9", &out));
    EXPECT_EQ(out, u"h\u00e9");
    EXPECT_EQ(t->scanLocation(), 3u);
    EXPECT_FALSE(t->scanString(u"!!", &out));
    EXPECT_FALSE(t->scanString(std::u16string(1, char16_t(0xD800)))); // no UTF-8 form
    EXPECT_EQ(t->scanLocation(), 3u);
}

TEST(DataScannerPrimitives, RunsFromAndUpToSets)
{
    const CharacterSet ab{"ab"};
    const std::string text = "abbaxyz";
    auto s = DataScanner::scannerWithData(bytesOf(text));
    auto out = untouched();
    EXPECT_FALSE(s->scanUpToCharactersFromSet(ab, &out)); // empty run fails
    EXPECT_EQ(out, untouched());
    EXPECT_TRUE(s->scanCharactersFromSet(ab, &out));
    EXPECT_EQ(out, u"abba");
    EXPECT_FALSE(s->scanCharactersFromSet(ab, &out));
    EXPECT_EQ(out, u"abba");
    EXPECT_TRUE(s->scanUpToCharactersFromSet(ab, &out)); // runs to the end
    EXPECT_EQ(out, u"xyz");
    EXPECT_TRUE(s->isAtEnd());
    EXPECT_FALSE(s->scanUpToCharactersFromSet(ab, &out));
    EXPECT_FALSE(s->scanCharactersFromSet(ab, &out));

    // Membership is tested byte by byte, so a set with U+00E9 does not take its UTF-8 form,
    // while a set of the two bytes does, and the run decodes to the one character.
    const std::string e = "\xC3\xA9z";
    auto t = DataScanner::scannerWithData(bytesOf(e));
    EXPECT_FALSE(t->scanCharactersFromSet(CharacterSet{u"\u00e9"}));
    EXPECT_TRUE(t->scanCharactersFromSet(CharacterSet{std::string_view("\xC3\xA9")}, &out));
    EXPECT_EQ(out, u"\u00e9");
}

TEST(DataScannerPrimitives, ARunThatIsNotUTF8StillMovesButGivesNoString)
{
    const std::string text = "\xC3(";
    auto s = DataScanner::scannerWithData(bytesOf(text));
    auto out = untouched();
    EXPECT_TRUE(s->scanUpToCharactersFromSet(CharacterSet{"("}, &out));
    EXPECT_EQ(out, std::nullopt);
    EXPECT_EQ(s->scanLocation(), 1u);
    s->setScanLocation(0);
    EXPECT_EQ(s->remainingString(), std::nullopt);
    s->setScanLocation(1);
    EXPECT_EQ(s->remainingString(), u"(");
    EXPECT_EQ(s->scanLocation(), 1u);
}

TEST(DataScannerPrimitives, UpToStringStopsOnTheOccurrence)
{
    const std::string text = "abc";
    auto s = DataScanner::scannerWithData(bytesOf(text));
    auto out = untouched();
    EXPECT_TRUE(s->scanUpToString(u"ab", &out)); // found at the cursor: empty run, success
    EXPECT_EQ(out, u"");
    EXPECT_EQ(s->scanLocation(), 0u);
    EXPECT_FALSE(s->scanUpToCharactersFromSet(CharacterSet{"a"}));
    EXPECT_TRUE(s->scanUpToString(u"c", &out));
    EXPECT_EQ(out, u"ab");
    EXPECT_EQ(s->scanLocation(), 2u);
    EXPECT_TRUE(s->scanUpToString(u"", &out));
    EXPECT_EQ(s->scanLocation(), 2u);
    EXPECT_FALSE(s->scanUpToString(u"cd", &out)); // would run past the end
    EXPECT_EQ(out, u"");

    // The search ends at a NUL byte of the data, like strnstr.
    const std::string withNul("ab\0cd", 5);
    auto t = DataScanner::scannerWithData(bytesOf(withNul));
    EXPECT_FALSE(t->scanUpToString(u"cd"));
    EXPECT_TRUE(t->scanUpToString(u"b", &out));
    EXPECT_EQ(out, u"a");
}

TEST(DataScannerPrimitives, NumberRuns)
{
    struct Case {
        const char* text;
        double value;
        std::size_t taken;
    };
    const Case cases[] = {
        {"12", 12.0, 2},
        {"-0.5e-3", -0.0005, 7},
        {"1.2.3", 1.2, 5},
        {"1-2", 1.0, 3},
        {"-", 0.0, 1},
        {"1e", 1.0, 2},
        {"1e+5", 1.0, 2},
        {"1E2x", 100.0, 3},
        {"-.5", -0.5, 3},
        {".", 0.0, 1},
        {"e5", 0.0, 2},
        {"1.e2", 100.0, 4},
        {"00012", 12.0, 5},
        {"1e-", 1.0, 3},
        {"1e400", HUGE_VAL, 5},
        {"-1e400", -HUGE_VAL, 6},
        {"1e-400", 0.0, 6},
        {"0.000e99999", 0.0, 11},
        {"123456789012345678901234567890", 1.2345678901234568e29, 30},
    };
    for (const Case& c : cases) {
        const std::string text = c.text;
        auto s = DataScanner::scannerWithData(bytesOf(text));
        double v = -7;
        EXPECT_TRUE(s->scanNumber(&v)) << c.text;
        EXPECT_EQ(v, c.value) << c.text;
        EXPECT_EQ(s->scanLocation(), c.taken) << c.text;
    }
    const std::string negZero = "-0";
    double v = 1;
    EXPECT_TRUE(DataScanner::scannerWithData(bytesOf(negZero))->scanNumber(&v));
    EXPECT_TRUE(std::signbit(v));

    const std::string abc = "abc";
    auto s = DataScanner::scannerWithData(bytesOf(abc));
    v = -7;
    EXPECT_FALSE(s->scanNumber(&v));
    EXPECT_EQ(v, -7);
    EXPECT_EQ(s->scanLocation(), 0u);
}

TEST(DataScannerPrimitives, NumberCharactersCanBeChanged)
{
    const std::string text = "12+3";
    auto s = DataScanner::scannerWithData(bytesOf(text));
    CharacterSet withPlus{"0123456789eE-.+"};
    s->setDoubleCharacters(withPlus);
    double v = 0;
    EXPECT_TRUE(s->scanNumber(&v));
    EXPECT_EQ(s->scanLocation(), 4u); // the whole run is taken...
    EXPECT_EQ(v, 12.0);               // ...but '+' is no part of a value
    EXPECT_EQ(s->doubleCharacters(), withPlus);
}

TEST(DataScannerBuffer, SettingTheSameBufferKeepsTheCursor)
{
    const std::string text = "abc";
    const std::string other = "abc";
    DataScanner s;
    EXPECT_TRUE(s.isAtEnd()); // a fresh scanner has no buffer
    EXPECT_FALSE(s.scanCharacter(u'a'));
    s.setData(bytesOf(text));
    s.scanCharacter();
    s.setData(bytesOf(text));
    EXPECT_EQ(s.scanLocation(), 1u);
    s.setData(bytesOf(other)); // equal bytes elsewhere are another buffer
    EXPECT_EQ(s.scanLocation(), 0u);
    EXPECT_EQ(s.data().data(), reinterpret_cast<const std::uint8_t*>(other.data()));
}

TEST(DataScannerBuffer, NoBufferOrAnEmptyOneIsAtTheEnd)
{
    const std::string text = "x";
    DataScanner s;
    s.setData(bytesOf(text));
    s.setData(Bytes{});
    EXPECT_TRUE(s.isAtEnd());
    EXPECT_EQ(s.length(), 0u);
    EXPECT_EQ(s.currentCharacter(), DataScanner::kEndOfData);
    EXPECT_EQ(s.scanCharacter(), DataScanner::kEndOfData);
    EXPECT_FALSE(s.scanNumber());
    EXPECT_FALSE(s.scanUpToString(u"x"));
    EXPECT_TRUE(s.scanUpToString(u""));
    EXPECT_EQ(s.remainingString(), u"");
    s.skipWhitespace();
    EXPECT_EQ(s.scanLocation(), 0u);

    const std::string empty;
    s.setData(bytesOf(empty));
    EXPECT_TRUE(s.isAtEnd());
}

TEST(DataScannerBuffer, ScanLocationBeyondTheLengthIsClamped)
{
    const std::string text = "abc";
    auto s = DataScanner::scannerWithData(bytesOf(text));
    s->setScanLocation(2);
    EXPECT_EQ(s->currentCharacter(), u'c');
    s->setScanLocation(3);
    EXPECT_TRUE(s->isAtEnd());
    s->setScanLocation(1000);
    EXPECT_EQ(s->scanLocation(), 3u);
    EXPECT_EQ(s->scanCharacter(), DataScanner::kEndOfData);
    s->setScanLocation(0);
    EXPECT_EQ(s->scanCharacter(), u'a');
}

TEST(DataScannerBuffer, ReadsTheBufferInPlace)
{
    // The scans look only inside the span: a buffer cut from a larger one never sees the
    // bytes after its end.
    const std::string text = "12345";
    DataScanner s;
    s.setData(Bytes{reinterpret_cast<const std::uint8_t*>(text.data()), 2});
    double v = 0;
    EXPECT_TRUE(s.scanNumber(&v));
    EXPECT_EQ(v, 12.0);
    EXPECT_TRUE(s.isAtEnd());
    s.setScanLocation(0);
    EXPECT_FALSE(s.scanUTF8String("123"));
    EXPECT_EQ(s.remainingString(), u"12");
}

} // namespace
} // namespace json
