// The grammar with its leniencies, and the values it builds.
#include <gtest/gtest.h>

#include "Helpers.h"
#include "json/JSONScanner.h"

namespace json {
namespace {

using test::any;
using test::dict;

TEST(Grammar, DictionaryOfEachScalarKind)
{
    Value v =
        JSONDeserializer::deserializer().deserializeAsDictionary(R"({"s":"text","n":3,"t":true,"f":false,"z":null})");
    ASSERT_TRUE(v.isDictionary());
    EXPECT_EQ(v.count(), 5u);
    EXPECT_EQ(v.stringForKey("s"), "text");
    EXPECT_TRUE(v["n"].isNumber());
    EXPECT_EQ(v["n"].number(), 3.0);
    EXPECT_TRUE(v["t"].isBoolean());
    EXPECT_FALSE(v["t"].isNumber());
    EXPECT_EQ(v["t"].asBoolean(), true);
    EXPECT_EQ(v["f"].asBoolean(), false);
    EXPECT_EQ(v["t"].asNumber(), std::nullopt); // booleans are no numbers
    EXPECT_EQ(v["n"].asBoolean(), std::nullopt);
    EXPECT_TRUE(v["z"].isNull());
    EXPECT_EQ(v["z"], Value::null());
    EXPECT_TRUE(v["missing"].isNone());
}

TEST(Grammar, DocumentMustStartWithTheBrace)
{
    EXPECT_EQ(dict(" {}"), "error JSONScannerErrorDomain -1");
    EXPECT_EQ(any(" {}"), "ok {}");
    EXPECT_EQ(dict("[1]"), "error JSONScannerErrorDomain -1");
    EXPECT_EQ(any("\n\t[1]"), "ok [1]");
    EXPECT_EQ(dict("{\"a\":1} trailing garbage ]]]"), "ok {\"a\":1}");
    EXPECT_EQ(any("1 2"), "ok 1");
    EXPECT_EQ(any("[1]x"), "ok [1]");
}

TEST(Grammar, TrailingCommasAndEmptyContainers)
{
    EXPECT_EQ(dict("{\"a\":1,}"), "ok {\"a\":1}");
    EXPECT_EQ(dict("{\"a\":1 , }"), "ok {\"a\":1}");
    EXPECT_EQ(any("[1,]"), "ok [1]");
    EXPECT_EQ(any("[1 , ]"), "ok [1]");
    EXPECT_EQ(any("[]"), "ok []");
    EXPECT_EQ(any("[ \n ]"), "ok []");
    EXPECT_EQ(dict("{}"), "ok {}");
    EXPECT_EQ(dict("{ \r\n }"), "ok {}");
    EXPECT_EQ(any("[[],{},[{}]]"), "ok [[],{},[{}]]");
}

TEST(Grammar, WhitespaceEverywhereItIsAllowed)
{
    EXPECT_EQ(dict("{ \"a\" \v: \f[ 1 , \"x\" ] , \"b\":{ } }"), "ok {\"a\":[1,\"x\"],\"b\":{}}");
    // A byte 0xA0 is not whitespace.
    EXPECT_EQ(any("\xA0[1]"), "error none");
}

TEST(Grammar, DuplicateKeysKeepTheLaterValue)
{
    EXPECT_EQ(dict("{\"a\":1,\"a\":2}"), "ok {\"a\":2}");
    EXPECT_EQ(dict("{\"a\":1,\"b\":2,\"a\":3}"), "ok {\"a\":3,\"b\":2}");
    // Equal keys written differently are the same key.
    EXPECT_EQ(dict("{\"\\u00e9\":1,\"\xC3\xA9\":2}"), "ok {\"\\u00e9\":2}");
    EXPECT_EQ(dict("{\"a\":1,\"\\u0061\":2}"), "ok {\"a\":2}");
    // Keys alike in length, first and last unit stay apart.
    EXPECT_EQ(dict("{\"a1b\":1,\"a2b\":2,\"a1b\":3}"), "ok {\"a1b\":3,\"a2b\":2}");
    Value v = JSONDeserializer::deserializer().deserializeAsDictionary("{\"a1b\":1,\"a2b\":2}");
    EXPECT_EQ(v["a1b"].number(), 1);
    EXPECT_EQ(v["a2b"].number(), 2);
    EXPECT_TRUE(v["a3b"].isNone());
    // Keys that differ only after a common prefix or in length stay apart.
    EXPECT_EQ(dict("{\"ab\":1,\"a\":2,\"abc\":3}"), "ok {\"a\":2,\"ab\":1,\"abc\":3}");
}

TEST(Grammar, Literals)
{
    EXPECT_EQ(any("true"), "ok true");
    EXPECT_EQ(any("false"), "ok false");
    EXPECT_EQ(any("null"), "ok null");
    EXPECT_EQ(any("trueX"), "ok true"); // the byte after a literal is not looked at
    EXPECT_EQ(any("[nullnull]"), "error JSONScannerErrorDomain -9");
    EXPECT_EQ(any("True"), "error none");
    EXPECT_EQ(any("tru"), "error none");
    EXPECT_EQ(any("nul"), "error none");
    EXPECT_EQ(any("fals"), "error none");
    EXPECT_EQ(any("[tru]"), "error JSONScannerErrorDomain -8");
}

TEST(Grammar, NumbersAreRunsOfNumberCharacters)
{
    EXPECT_EQ(any("[1.5.5]"), "ok [1.5]");
    EXPECT_EQ(any("[-]"), "ok [0]");
    EXPECT_EQ(any("[1e+5]"), "error JSONScannerErrorDomain -9"); // '+5' is left over
    EXPECT_EQ(dict("{\"a\":1e+5}"), "error JSONScannerErrorDomain -5");
    EXPECT_EQ(any("[1-2,3]"), "ok [1,3]");
    EXPECT_EQ(any("[0012]"), "ok [12]");
    EXPECT_EQ(any("[1E3,2e-2,-0]"), "ok [1000,0.02,-0]");
    EXPECT_EQ(any("[1e999,-1e999]"), "ok [inf,-inf]");
    EXPECT_EQ(any("12"), "ok 12");
    EXPECT_EQ(any("-"), "ok 0");
    // Integers keep their exact value up to 2^53 and are doubles beyond.
    EXPECT_EQ(any("[9007199254740993]"), "ok [9007199254740992]");
    EXPECT_EQ(any("[0.1]"), "ok [0.10000000000000001]");
}

TEST(Grammar, StringEscapes)
{
    EXPECT_EQ(any(R"("\"\/\\\b\f\n\r\t")"), "ok \"\\\"/\\\\\\u0008\\u000c\\u000a\\u000d\\u0009\"");
    EXPECT_EQ(any(R"("\u00e9")"), "ok \"\\u00e9\"");
    EXPECT_EQ(any(R"("\u00E9\u0041")"), "ok \"\\u00e9A\"");
    EXPECT_EQ(any(R"("a\/b")"), "ok \"a/b\"");
    // Surrogates are not paired: two escapes give two units, a lone one stays.
    EXPECT_EQ(any(R"("\ud83d\ude00")"), "ok \"\\ud83d\\ude00\"");
    EXPECT_EQ(any(R"("\ud83d")"), "ok \"\\ud83d\"");
    EXPECT_EQ(any(R"("\u0000")"), "ok \"\\u0000\"");
}

TEST(Grammar, StringsTakeRawBytes)
{
    // Raw control bytes and line breaks stand in a string unchanged.
    EXPECT_EQ(any("\"a\tb\nc\x01\""), "ok \"a\\u0009b\\u000ac\\u0001\"");
    Value v = JSONDeserializer::deserializer().deserialize(std::string_view("\"a\0b\"", 5));
    EXPECT_EQ(v.utf16(), std::u16string(u"a\0b", 3));
    // UTF-8 text, including a character beyond the basic plane (a surrogate pair).
    EXPECT_EQ(any("\"h\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\""), "ok \"h\\u00e9 \\u20ac \\ud83d\\ude00\"");
    // ASCII, then an escape, then UTF-8, then ASCII again.
    EXPECT_EQ(any("\"ab\\ncd\xC3\xA9"
                  "ef\\u0041\""),
              "ok \"ab\\u000acd\\u00e9efA\"");
    // A long ASCII run crosses the vector width of the fast path.
    const std::string longText(100, 'x');
    EXPECT_EQ(any("\"" + longText + "\""), "ok \"" + longText + "\"");
    EXPECT_EQ(any("\"" + longText + "\\\"" + longText + "\""), "ok \"" + longText + "\\\"" + longText + "\"");
}

TEST(Grammar, KeysMustBeDoubleQuotedStrings)
{
    EXPECT_EQ(dict("{a:1}"), "error JSONScannerErrorDomain -2");
    EXPECT_EQ(dict("{'a':1}"), "error JSONScannerErrorDomain -2");
    EXPECT_EQ(dict("{1:1}"), "error JSONScannerErrorDomain -2");
    EXPECT_EQ(dict("{ \"a\":1}"), "ok {\"a\":1}");
    EXPECT_EQ(dict("{\"\":1}"), "ok {\"\":1}");
}

TEST(Grammar, ScannerEntryPointsScanOneValueEach)
{
    const std::string text = "{\"k\":[1,2]} [3] \"s\" 4.5 x";
    auto s = JSONScanner::scannerWithData(bytesOf(text));
    Value d, a, str, n;
    ASSERT_TRUE(s->scanJSONDictionary(&d, nullptr));
    EXPECT_EQ(canonicalForm(d), "{\"k\":[1,2]}");
    s->skipWhitespace();
    ASSERT_TRUE(s->scanJSONArray(&a, nullptr));
    EXPECT_EQ(canonicalForm(a), "[3]");
    ASSERT_TRUE(s->scanJSONStringConstant(&str, nullptr)); // skips its own whitespace
    EXPECT_EQ(str.utf8(), "s");
    s->skipWhitespace();
    ASSERT_TRUE(s->scanJSONNumberConstant(&n, nullptr));
    EXPECT_EQ(n.number(), 4.5);
    Value unchanged = Value::null();
    EXPECT_FALSE(s->scanJSONObject(&unchanged, nullptr));
    EXPECT_TRUE(unchanged.isNull()); // the value slot is left alone on failure
    // Values from one scanner outlive it.
    s.reset();
    EXPECT_EQ(canonicalForm(d), "{\"k\":[1,2]}");
    EXPECT_EQ(d["k"][1].number(), 2.0);
}

TEST(Grammar, NotQuoteRunsStopAtQuoteAndBackslash)
{
    const std::string text = "ab\xC3\xA9\\c\"d";
    auto s = JSONScanner::scannerWithData(bytesOf(text));
    std::optional<std::u16string> out;
    EXPECT_TRUE(s->scanNotQuoteCharactersIntoString(&out));
    EXPECT_EQ(out, u"ab\u00e9");
    EXPECT_EQ(s->currentCharacter(), u'\\');
    EXPECT_FALSE(s->scanNotQuoteCharactersIntoString(&out));
    s->scanCharacter();
    EXPECT_TRUE(s->scanNotQuoteCharactersIntoString(&out));
    EXPECT_EQ(out, u"c");
    EXPECT_FALSE(s->scanNotQuoteCharactersIntoString(&out));
    EXPECT_EQ(s->currentCharacter(), u'"');
}

} // namespace
} // namespace json
