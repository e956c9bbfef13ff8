// Limits: the nesting bound, the end of the data for every rule, every cut of a document,
// and exact number values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#include "Helpers.h"
#include "json/JSONScanner.h"

namespace json {
namespace {

using test::codeOf;

std::string nestedArrays(std::size_t depth)
{
    return std::string(depth, '[') + std::string(depth, ']');
}

std::string nestedDictionaries(std::size_t depth)
{
    std::string text;
    for (std::size_t i = 0; i < depth; ++i)
        text += "{\"a\":";
    text += "1";
    text += std::string(depth, '}');
    return text;
}

TEST(Nesting, FiveHundredTwelveOpenContainersAreTheLimit)
{
    EXPECT_EQ(codeOf(nestedArrays(512), false), 0);
    EXPECT_EQ(codeOf(nestedArrays(513), false), -8);
    EXPECT_EQ(codeOf(nestedDictionaries(512)), 0);
    EXPECT_EQ(codeOf(nestedDictionaries(513)), -4);
    // Mixed: the outermost container decides the code.
    std::string mixed = "{\"a\":" + nestedArrays(512) + "}";
    EXPECT_EQ(codeOf(mixed), -4);
    EXPECT_EQ(codeOf("{\"a\":" + nestedArrays(511) + "}"), 0);

    Value deepest = JSONDeserializer::deserializer().deserialize(nestedArrays(512));
    std::size_t depth = 0;
    for (Value v = deepest; v.isArray(); v = v[0])
        ++depth;
    EXPECT_EQ(depth, 512u);
}

TEST(Nesting, TheLimitFailsWithoutAnErrorOfItsOwn)
{
    // Through the array that holds it, the 513th '[' is "a value that starts no value".
    const std::string text = nestedArrays(513);
    auto s = JSONScanner::scannerWithData(bytesOf(text));
    Error e;
    EXPECT_FALSE(s->scanJSONObject(nullptr, &e));
    EXPECT_EQ(e.code, -8);
    EXPECT_EQ(s->scanLocation(), 0u);
}

TEST(Nesting, VeryDeepInputIsACleanError)
{
    const std::string arrays(100000, '[');
    EXPECT_EQ(codeOf(arrays, false), -8);
    std::string dictionaries;
    for (int i = 0; i < 100000; ++i)
        dictionaries += "{\"a\":";
    EXPECT_EQ(codeOf(dictionaries), -4);
    EXPECT_EQ(codeOf(nestedArrays(100000), false), -8);
}

TEST(Nesting, DepthIsCountedAgainAfterFailures)
{
    JSONScanner s;
    const std::string tooDeep = nestedArrays(600);
    const std::string deepest = nestedArrays(512);
    const std::string broken = "[[[[1 x]]]]";
    for (int round = 0; round < 3; ++round) {
        s.setData(bytesOf(tooDeep));
        EXPECT_FALSE(s.scanJSONObject(nullptr, nullptr));
        s.setData(bytesOf(broken));
        EXPECT_FALSE(s.scanJSONObject(nullptr, nullptr));
        s.setData(bytesOf(deepest));
        EXPECT_TRUE(s.scanJSONObject(nullptr, nullptr)) << round;
    }
}

TEST(EndOfData, EachRuleFailsWhereTheDataRunsOut)
{
    EXPECT_EQ(codeOf("{"), -2);
    EXPECT_EQ(codeOf("{ "), -2);
    EXPECT_EQ(codeOf("{\"a\""), -3);
    EXPECT_EQ(codeOf("{\"a\":"), -4);
    EXPECT_EQ(codeOf("{\"a\":1"), -5);
    EXPECT_EQ(codeOf("{\"a\":1,"), -2);
    EXPECT_EQ(codeOf("[", false), -8);
    EXPECT_EQ(codeOf("[1", false), -9);
    EXPECT_EQ(codeOf("[1,", false), -8);
    EXPECT_EQ(codeOf("\"", false), -15);
    EXPECT_EQ(codeOf("\"abc", false), -15);
    EXPECT_EQ(codeOf("\"abc\\", false), -13);
    EXPECT_EQ(codeOf("\"\\u", false), -12);
    EXPECT_EQ(codeOf("\"\\u004", false), -12);
    EXPECT_EQ(codeOf("\"\\u0041", false), -15);
    EXPECT_EQ(test::any("   "), "error none");
    EXPECT_EQ(test::any("t"), "error none");
}

// Copies text into a heap block of exactly its size, so that the sanitizer catches any read
// past the end.
std::unique_ptr<std::uint8_t[]> exact(std::string_view text)
{
    auto block = std::make_unique<std::uint8_t[]>(text.size());
    std::copy(text.begin(), text.end(), block.get());
    return block;
}

TEST(EndOfData, EveryCutOfADocumentFailsCleanly)
{
    const std::string doc =
        "{\"a\": [1, -2.5e-3, true, false, null, \"x\\u00e9\\n\xC3\xA9\"], \"b\" : {\"c\":{}}, \"d\":[[]],}";
    ASSERT_EQ(codeOf(doc), 0);
    for (std::size_t n = 1; n < doc.size(); ++n) {
        auto block = exact(std::string_view(doc).substr(0, n));
        Error e;
        Value v = JSONDeserializer::deserializer().deserializeAsDictionary(Bytes{block.get(), n}, &e);
        EXPECT_TRUE(v.isNone()) << n;
        EXPECT_EQ(e.domain, kJSONScannerErrorDomain) << n;
        EXPECT_TRUE(e.code == -2 || e.code == -3 || e.code == -4 || e.code == -5) << n << " " << e.code;
    }
}

TEST(Numbers, ValuesAreCorrectlyRounded)
{
    // Against the C library on many shapes: short and long mantissas, both exponent signs,
    // and the halfway cases that trip a doubled rounding.
    std::mt19937_64 random(20240607);
    std::vector<std::string> texts = {"9007199254740993",
                                      "9007199254740992.5",
                                      "2.2250738585072011e-308",
                                      "4.9406564584124654e-324",
                                      "1.7976931348623157e308",
                                      "0.30000000000000004",
                                      "123456789012345678",
                                      "7.2057594037927933e16",
                                      "1.00000000000000011102230246251565404236316680908203125",
                                      "5e-324",
                                      "2.4703282292062327e-324",
                                      "1e23",
                                      "8.589973e9"};
    for (int i = 0; i < 20000; ++i) {
        const int digits = 1 + int(random() % 19);
        std::string mantissa;
        for (int d = 0; d < digits; ++d)
            mantissa.push_back(char('0' + random() % 10));
        const int point = int(random() % (digits + 1));
        std::string text = (random() & 1) ? "-" : "";
        text += mantissa.substr(0, point);
        text += ".";
        text += mantissa.substr(point);
        if (point == 0 && digits == 0)
            continue;
        const int exponent = int(random() % 80) - 40;
        if (random() & 1)
            text += "e" + std::to_string(exponent);
        texts.push_back(text);
    }
    for (const std::string& text : texts) {
        const double expected = std::strtod(text.c_str(), nullptr);
        const double got = DataScanner::doubleValue(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
        ASSERT_EQ(got, expected) << text;
        ASSERT_EQ(std::signbit(got), std::signbit(expected)) << text;
    }
}

} // namespace
} // namespace json
