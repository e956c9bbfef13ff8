// Input encodings: UTF-16 and UTF-32 detection and conversion, the byte-order mark, and
// strings whose bytes are not UTF-8 (they fail with -12 rather than losing text).
#include <gtest/gtest.h>

#include <vector>

#include "Helpers.h"
#include "json/JSONScanner.h"

namespace json {
namespace {

using test::outcome;

std::vector<std::uint8_t> encode(std::u32string_view text, int unitBytes, bool bigEndian)
{
    std::vector<std::uint8_t> out;
    auto put = [&](std::uint32_t unit) {
        for (int i = 0; i < unitBytes; ++i) {
            const int shift = bigEndian ? 8 * (unitBytes - 1 - i) : 8 * i;
            out.push_back(std::uint8_t(unit >> shift));
        }
    };
    for (char32_t c : text) {
        if (unitBytes == 2 && c >= 0x10000) {
            put(0xD800 + ((c - 0x10000) >> 10));
            put(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            put(c);
        }
    }
    return out;
}

std::string dictOf(const std::vector<std::uint8_t>& bytes)
{
    Error e;
    Value v = JSONDeserializer::deserializer().deserializeAsDictionary(Bytes{bytes.data(), bytes.size()}, &e);
    return outcome(v, e);
}

TEST(Encodings, WideTextIsConvertedInEachByteOrder)
{
    const std::u32string text = U"{\"k\u00e9\":[\"\U0001F600\",1]}";
    const std::string expected = "ok {\"k\\u00e9\":[\"\\ud83d\\ude00\",1]}";
    EXPECT_EQ(dictOf(encode(text, 2, false)), expected);
    EXPECT_EQ(dictOf(encode(text, 2, true)), expected);
    EXPECT_EQ(dictOf(encode(text, 4, false)), expected);
    EXPECT_EQ(dictOf(encode(text, 4, true)), expected);
}

TEST(Encodings, EmptyDictionaryInUTF16LittleEndian)
{
    EXPECT_EQ(dictOf({0x7B, 0x00, 0x7D, 0x00}), "ok {}");
    EXPECT_EQ(dictOf({0x00, 0x7B, 0x00, 0x7D}), "ok {}");
}

TEST(Encodings, ShortBuffersAndOtherPatternsAreReadAsUTF8)
{
    EXPECT_EQ(dictOf({'{', '}'}), "ok {}");
    EXPECT_EQ(dictOf({'{', '}', 0x00}), "ok {}");
    // Zero bytes in other places: UTF-8 as it stands.
    EXPECT_EQ(dictOf({'{', '}', 0x00, 0x00}), "ok {}");
    EXPECT_EQ(dictOf({0x00, 0x00, 0x00, 0x00}), "error JSONScannerErrorDomain -1");
}

TEST(Encodings, AByteOrderMarkIsNotRecognised)
{
    EXPECT_EQ(dictOf({0xEF, 0xBB, 0xBF, '{', '}'}), "error JSONScannerErrorDomain -1");
    EXPECT_EQ(test::any("\xEF\xBB\xBF{}"), "error none");
    // A UTF-16 mark makes the first four bytes look like no wide pattern.
    EXPECT_EQ(dictOf({0xFF, 0xFE, 0x7B, 0x00, 0x7D, 0x00}), "error JSONScannerErrorDomain -1");
}

TEST(Encodings, WideTextThatDoesNotDecodeGivesNoBuffer)
{
    // An odd number of bytes, a lone surrogate, a code point beyond U+10FFFF.
    EXPECT_EQ(dictOf({0x7B, 0x00, 0x7D, 0x00, 0x20}), "error JSONScannerErrorDomain -1");
    std::vector<std::uint8_t> lone = encode(U"{\"a\":\"", 2, false);
    lone.push_back(0x00);
    lone.push_back(0xD8);
    for (auto b : encode(U"\"}", 2, false))
        lone.push_back(b);
    EXPECT_EQ(dictOf(lone), "error JSONScannerErrorDomain -1");
    std::vector<std::uint8_t> big = encode(U"{\"a\":\"", 4, false);
    for (auto b : {0x00, 0x00, 0x11, 0x00})
        big.push_back(std::uint8_t(b));
    EXPECT_EQ(dictOf(big), "error JSONScannerErrorDomain -1");
    JSONScanner s;
    s.setData(Bytes{lone.data(), lone.size()});
    EXPECT_TRUE(s.isAtEnd());
    EXPECT_EQ(s.length(), 0u);
}

TEST(Encodings, ConvertedBufferBelongsToTheScanner)
{
    std::vector<std::uint8_t> wide = encode(U"{\"a\":\"b\"}", 2, false);
    JSONScanner s;
    s.setData(Bytes{wide.data(), wide.size()});
    EXPECT_EQ(s.length(), 9u);
    wide.assign(wide.size(), 0xFF); // the caller's bytes may change: the scanner has its own
    Value v;
    ASSERT_TRUE(s.scanJSONDictionary(&v, nullptr));
    EXPECT_EQ(v.stringForKey("a"), "b");
    // Setting the same wide buffer again converts again and starts over.
    std::vector<std::uint8_t> again = encode(U"[1]", 4, true);
    s.setData(Bytes{again.data(), again.size()});
    ASSERT_TRUE(s.scanJSONArray(&v, nullptr));
    s.setData(Bytes{again.data(), again.size()});
    EXPECT_EQ(s.scanLocation(), 0u);
}

TEST(InvalidUTF8, AStringWithBytesThatAreNotUTF8Fails)
{
    const char* bad[] = {
        "\"a\xFF\"",            // a byte that never occurs in UTF-8
        "\"a\xC3\"",            // cut short by the quote
        "\"\xC3\\n\"",          // cut short by an escape
        "\"\xC0\x80\"",         // overlong NUL
        "\"\xE0\x80\xAF\"",     // overlong '/'
        "\"\xED\xA0\x80\"",     // an encoded surrogate
        "\"\xF4\x90\x80\x80\"", // beyond U+10FFFF
        "\"\x80\"",             // a lone continuation byte
        "\"ok \xE2\x82\"",      // a three-byte sequence missing its last byte
    };
    for (const char* text : bad) {
        EXPECT_EQ(test::codeOf(text, false), -12) << text;
        const std::string inDict = std::string("{\"k\":") + text + "}";
        EXPECT_EQ(test::codeOf(inDict), -4) << text;
        const std::string asKey = std::string("{") + text + ":1}";
        EXPECT_EQ(test::codeOf(asKey), -2) << text;
    }
    // The string's cursor goes back to where it started.
    const std::string text = " \"a\xFF\"";
    auto s = JSONScanner::scannerWithData(bytesOf(text));
    EXPECT_FALSE(s->scanJSONStringConstant(nullptr, nullptr));
    EXPECT_EQ(s->scanLocation(), 0u);
}

TEST(InvalidUTF8, ValidSequencesOfEveryLength)
{
    EXPECT_EQ(test::any("\"\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF\""),
              "ok \"\\u007f\\u0080\\u07ff\\u0800\\uffff\\ud800\\udc00\\udbff\\udfff\"");
}

} // namespace
} // namespace json
