// Error codes, their descriptions, the restore points and the rule that the outermost
// failing container's error reaches the caller.
#include <gtest/gtest.h>

#include <cstring>

#include "Helpers.h"
#include "json/JSONScanner.h"

namespace json {
namespace {

using test::any;
using test::codeOf;
using test::dict;

TEST(ErrorCodes, EachDictionaryFailure)
{
    EXPECT_EQ(codeOf("x"), -1);
    EXPECT_EQ(codeOf("{,}"), -2);
    EXPECT_EQ(codeOf("{\"a\" 1}"), -3);
    EXPECT_EQ(codeOf("{\"a\"}"), -3);
    EXPECT_EQ(codeOf("{\"a\":}"), -4);
    EXPECT_EQ(codeOf("{\"a\":'b'}"), -4); // single quotes fail, reported by the dictionary
    EXPECT_EQ(codeOf("{\"a\":1 \"b\":2}"), -5);
    EXPECT_EQ(codeOf("{\"a\":1;}"), -5);
    EXPECT_EQ(codeOf("{\"a\":1,,}"), -2);
}

TEST(ErrorCodes, EachArrayFailure)
{
    EXPECT_EQ(codeOf("[,1]", false), -8);
    EXPECT_EQ(codeOf("[1,,2]", false), -8);
    EXPECT_EQ(codeOf("[1 2]", false), -9);
    EXPECT_EQ(codeOf("[1:2]", false), -9);
    EXPECT_EQ(codeOf("[x]", false), -8);
    auto s = JSONScanner::scannerWithData(bytesOf("{}"));
    Error e;
    EXPECT_FALSE(s->scanJSONArray(nullptr, &e));
    EXPECT_EQ(e.code, -7);
    EXPECT_EQ(e.description, "Could not scan array. Array that does not start with '[' character.");
}

TEST(ErrorCodes, EachStringFailure)
{
    EXPECT_EQ(codeOf("'a'", false), -11);
    EXPECT_EQ(codeOf("\"\\u00G0\"", false), -12);
    EXPECT_EQ(codeOf("\"\\x\"", false), -13);
    EXPECT_EQ(codeOf("\"\\U0041\"", false), -13); // escape letters are case-sensitive
    EXPECT_EQ(codeOf("\"abc", false), -15);
    auto s = JSONScanner::scannerWithData(bytesOf("x"));
    Error e;
    EXPECT_FALSE(s->scanJSONNumberConstant(nullptr, &e));
    EXPECT_EQ(e.code, -14);
    EXPECT_EQ(e.description, "Could not scan number constant.");
}

TEST(ErrorCodes, DescriptionsAndDomain)
{
    struct Case {
        const char* text;
        long code;
        const char* description;
    };
    const Case cases[] = {
        {"x", -1, "Could not scan dictionary. Dictionary that does not start with '{' character."},
        {"{1}", -2, "Could not scan dictionary. Failed to scan a key."},
        {"{\"a\"1}", -3, "Could not scan dictionary. Key was not terminated with a ':' character."},
        {"{\"a\":x}", -4, "Could not scan dictionary. Failed to scan a value."},
        {"{\"a\":1 2}", -5, "Could not scan dictionary. Key value pairs not delimited with a ',' character."},
    };
    for (const Case& c : cases) {
        Error e;
        EXPECT_FALSE(JSONDeserializer::deserializer().deserializeAsDictionary(c.text, &e)) << c.text;
        EXPECT_EQ(e.domain, "JSONScannerErrorDomain");
        EXPECT_EQ(e.code, c.code) << c.text;
        EXPECT_EQ(e.description, c.description) << c.text;
    }
    const std::pair<const char*, const char*> arrays[] = {
        {"[x]", "Could not scan array. Could not scan a value."},
        {"[1 2]", "Could not scan array. Array not terminated by a ']' character."},
        {"'", "Could not scan string constant. String not started by a '\"' character."},
        {"\"\\u12", "Could not scan string constant. Unicode character could not be decoded."},
        {"\"\\q\"", "Could not scan string constant. Unknown escape code."},
        {"\"open", "Could not scan string constant. String not terminated by a '\"' character."},
    };
    for (const auto& [text, description] : arrays) {
        Error e;
        EXPECT_FALSE(JSONDeserializer::deserializer().deserialize(text, &e)) << text;
        EXPECT_EQ(e.description, description) << text;
    }
}

TEST(ErrorCodes, NoDataIsTheDeserializersOwnError)
{
    for (Bytes data : {Bytes{}, bytesOf("")}) {
        Error e;
        EXPECT_TRUE(JSONDeserializer::deserializer().deserializeAsDictionary(data, &e).isNone());
        EXPECT_EQ(e.domain, "JSONDeserializerErrorDomain");
        EXPECT_EQ(e.domain, kJSONDeserializerErrorDomain);
        EXPECT_EQ(e.code, -1);
        EXPECT_EQ(e.description, std::nullopt);
        Error f;
        EXPECT_TRUE(JSONDeserializer::deserializer().deserialize(data, &f).isNone());
        EXPECT_EQ(f, e);
    }
    // Without an error slot the failure is the missing value alone.
    EXPECT_TRUE(JSONDeserializer::deserializer().deserializeAsDictionary("").isNone());
    EXPECT_TRUE(JSONDeserializer::deserializer().deserializeAsDictionary("{").isNone());
}

TEST(ErrorCodes, AValueThatStartsNoValueLeavesTheErrorSlotAlone)
{
    Error e{"marker", 42, "kept"};
    EXPECT_TRUE(JSONDeserializer::deserializer().deserialize("  @", &e).isNone());
    EXPECT_EQ(e, (Error{"marker", 42, "kept"}));
    EXPECT_TRUE(JSONDeserializer::deserializer().deserialize("nul", &e).isNone());
    EXPECT_EQ(e.code, 42);
}

TEST(ErrorOverwrite, OutermostFailingContainerWins)
{
    // A dictionary whose value is an array with a bad element: the dictionary's -4.
    EXPECT_EQ(codeOf("{\"a\":[@]}"), -4);
    // An array inside an array: -8 from the outer one (the inner one said -8 or -9 first).
    EXPECT_EQ(codeOf("[[1 2]]", false), -8);
    // A bad escape inside a key: the dictionary's -2, not the string's -13.
    EXPECT_EQ(codeOf("{\"\\x\":1}"), -2);
    // A bad escape in a value several levels down: the top dictionary's -4.
    EXPECT_EQ(codeOf("{\"a\":{\"b\":[{\"c\":\"\\x\"}]}}"), -4);
    // An array whose dictionary element fails: the array's -8.
    EXPECT_EQ(codeOf("[{\"a\" 1}]", false), -8);
    // A string alone reports its own code.
    EXPECT_EQ(codeOf("\"\\x\"", false), -13);
    // A failure after inner containers succeeded is the outer container's own.
    EXPECT_EQ(codeOf("{\"a\":[1],\"b\":{} \"c\":1}"), -5);
}

TEST(RestorePoints, FailedScansPutTheCursorBack)
{
    struct Case {
        const char* text;
        bool (JSONScanner::*scan)(Value*, Error*);
        std::size_t start;    // where the scan begins
        std::size_t expected; // where the cursor is after the failure
    };
    const Case cases[] = {
        {"  {\"a\":1 x}", &JSONScanner::scanJSONDictionary, 2, 2},
        {"  [1,2 x]", &JSONScanner::scanJSONArray, 2, 2},
        {"  \"abc\\q\"", &JSONScanner::scanJSONStringConstant, 0, 0}, // before its whitespace
        {"  \"abc", &JSONScanner::scanJSONStringConstant, 0, 0},
        {"  x", &JSONScanner::scanJSONStringConstant, 0, 0},
        {"  x", &JSONScanner::scanJSONObject, 0, 2}, // after the whitespace it skipped
        {"  [1 x]", &JSONScanner::scanJSONObject, 0, 2},
        {"  {\"a\":[1 x]}", &JSONScanner::scanJSONObject, 0, 2},
        {"x", &JSONScanner::scanJSONNumberConstant, 0, 0},
    };
    for (const Case& c : cases) {
        const std::string text = c.text;
        auto s = JSONScanner::scannerWithData(bytesOf(text));
        s->setScanLocation(c.start);
        Value v;
        EXPECT_FALSE((s.get()->*c.scan)(&v, nullptr)) << c.text;
        EXPECT_EQ(s->scanLocation(), c.expected) << c.text;
        EXPECT_TRUE(v.isNone());
    }
}

TEST(RestorePoints, AScannerCanGoOnAfterAFailure)
{
    const std::string text = "[1 x] [2]";
    auto s = JSONScanner::scannerWithData(bytesOf(text));
    Error e;
    EXPECT_FALSE(s->scanJSONArray(nullptr, &e));
    s->setScanLocation(6);
    Value v;
    EXPECT_TRUE(s->scanJSONArray(&v, &e));
    EXPECT_EQ(canonicalForm(v), "[2]");
}

} // namespace
} // namespace json
