// The server's text forms: JSON escaping, percent decoding, query splitting, fault texts.
#include "Text.h"
#include "Support.h"
#include "adnetdemo/DemoServer.h"

#include <gtest/gtest.h>

using namespace adnetdemo;

TEST(DemoServerText, JsonStringsEscapeLikeTheOldServer)
{
    EXPECT_EQ(jsonString(""), "\"\"");
    EXPECT_EQ(jsonString("a\"b\\c/d"), "\"a\\\"b\\\\c\\/d\"");
    EXPECT_EQ(jsonString("\b\f\n\r\t\x01\x1f\x7f"), "\"\\b\\f\\n\\r\\t\\u0001\\u001f\\u007f\"");
    EXPECT_EQ(jsonString("Caf\xC3\xA9 29 \xE2\x82\xAC"), "\"Caf\\u00e9 29 \\u20ac\"");
    EXPECT_EQ(jsonString("\xF0\x9F\x8D\x95"), "\"\\ud83c\\udf55\"") << "outside the BMP: a surrogate pair";
    // Bytes that are not UTF-8 (a lone continuation, a cut sequence, an overlong form, an
    // encoded surrogate) become U+FFFD and never leak raw into the answer.
    EXPECT_EQ(jsonString("a\x80"
                         "b"),
              "\"a\\ufffdb\"");
    EXPECT_EQ(jsonString("\xE2\x82"), "\"\\ufffd\\ufffd\"");
    EXPECT_EQ(jsonString("\xC0\xAF"), "\"\\ufffd\\ufffd\"");
    EXPECT_EQ(jsonString("\xED\xA0\x80"), "\"\\ufffd\\ufffd\\ufffd\"");
    // Every escape the server writes reads back to the text it came from.
    std::string text = "\"Mel's\" <b>&</b> \\ / \xC3\xA9\xE2\x82\xAC\xF0\x9F\x8D\x95\n";
    auto object = adservertest::parseFlatObject("{\"k\":" + jsonString(text) + "}");
    ASSERT_TRUE(object);
    EXPECT_EQ(object->at("k"), text);
}

TEST(DemoServerText, Utf8Validation)
{
    EXPECT_TRUE(isValidUtf8(""));
    EXPECT_TRUE(isValidUtf8("plain \xC3\xA9 \xF4\x8F\xBF\xBF"));
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80")) << "past U+10FFFF";
    EXPECT_FALSE(isValidUtf8("\xE0\x80\x80")) << "overlong";
    EXPECT_FALSE(isValidUtf8("\xC3"));
    EXPECT_FALSE(isValidUtf8("\xFF"));
}

TEST(DemoServerText, PercentDecodingAndQueries)
{
    EXPECT_EQ(percentDecode("d%5Bcoord%5d"), "d[coord]");
    EXPECT_EQ(percentDecode("a+b%20c"), "a+b c");
    EXPECT_EQ(percentDecode("100%"), "100%");
    EXPECT_EQ(percentDecode("%4"), "%4");
    EXPECT_EQ(percentDecode("%g1%41"), "%g1A");
    EXPECT_EQ(percentDecode("%00"), std::string(1, '\0'));

    auto pairs = splitQuery("a=1&&b=&c&=d&a=x%3Dy=z&");
    ASSERT_EQ(pairs.size(), 5u);
    EXPECT_EQ(pairs[0], (std::pair<std::string, std::string>{"a", "1"}));
    EXPECT_EQ(pairs[1], (std::pair<std::string, std::string>{"b", ""}));
    EXPECT_EQ(pairs[2], (std::pair<std::string, std::string>{"c", ""}));
    EXPECT_EQ(pairs[3], (std::pair<std::string, std::string>{"", "d"}));
    EXPECT_EQ(pairs[4], (std::pair<std::string, std::string>{"a", "x=y=z"}));
    EXPECT_TRUE(splitQuery("").empty());

    EXPECT_EQ(percentEncode("a b/\xC3\xA9~"), "a%20b%2F%C3%A9~");
}

TEST(DemoServerFaultText, ParsesEveryPartAndPrintsItBack)
{
    auto spec = parseFault("status500@adRequest,clickDocument*2");
    ASSERT_TRUE(spec);
    EXPECT_EQ(spec->fault, Fault::status500);
    EXPECT_EQ(spec->fetches, fetch::adRequest | fetch::clickDocument);
    EXPECT_EQ(spec->times, 2);

    spec = parseFault(" slow=2.5 ");
    ASSERT_TRUE(spec);
    EXPECT_EQ(spec->delay, std::chrono::milliseconds(2500));
    EXPECT_EQ(spec->fetches, fetch::all);
    EXPECT_EQ(spec->times, -1);

    spec = parseFault("oversized=chunked,2000000@images");
    ASSERT_TRUE(spec);
    EXPECT_TRUE(spec->chunked);
    EXPECT_EQ(spec->bodyBytes, 2000000u);
    EXPECT_EQ(spec->fetches, fetch::images);

    spec = parseFault("missingKey=6*1");
    ASSERT_TRUE(spec);
    EXPECT_EQ(spec->key, "6");

    for (const char* text : {"status500@adRequest,clickDocument*2", "slow=2.5", "slow=0.25@pixel",
                             "oversized=chunked,2000000@images", "oversized@bannerImage,canvasPage", "missingKey=6*1",
                             "notAnImage@images,landingPage", "truncated", "badJson@clickDocument"}) {
        auto parsed = parseFault(text);
        ASSERT_TRUE(parsed) << text;
        EXPECT_EQ(describeFault(*parsed), text);
    }
}

TEST(DemoServerFaultText, RefusesWhatItCannotRead)
{
    struct Case {
        const char* text;
        const char* message;
    } cases[] = {
        {"", "unknown kind"},
        {"none", "unknown kind"},
        {"status404", "unknown kind"},
        {"status500@", "unknown fetch"},
        {"status500@adRequest,", "unknown fetch"},
        {"status500@icons", "unknown fetch \"icons\""},
        {"status500*0", "at least 1"},
        {"status500*-1", "at least 1"},
        {"status500*x", "at least 1"},
        {"status500*99999999999999999999", "at least 1"},
        {"status500=3", "takes no value"},
        {"slow=fast", "delay in seconds"},
        {"slow=-1", "delay in seconds"},
        {"slow=nan", "delay in seconds"},
        {"slow=1e9", "delay in seconds"},
        {"oversized=huge", "oversized takes"},
        {"oversized=999999999999", "oversized takes"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(parseFault(c.text, &error)) << c.text;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.text << " -> " << error;
    }
}
