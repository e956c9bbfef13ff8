// The grammar with its leniencies, and the values it builds.
#include <gtest/gtest.h>

#include "json/Canonical.h"
#include "json/JSONDeserializer.h"

namespace json {
namespace {

std::string any(std::string_view text)
{
    Error error;
    Value v = JSONDeserializer::deserializer().deserialize(text, &error);
    if (!v)
        return "error " + std::to_string(error.code);
    return canonicalForm(v);
}

std::string dict(std::string_view text)
{
    Error error;
    Value v = JSONDeserializer::deserializer().deserializeAsDictionary(text, &error);
    if (!v)
        return "error " + std::to_string(error.code);
    return canonicalForm(v);
}

TEST(Grammar, DictionaryOfEachScalarKind)
{
    Value v = JSONDeserializer::deserializer().deserializeAsDictionary(
        R"({"s":"text","n":3,"t":true,"z":null})");
    ASSERT_TRUE(v.isDictionary());
    EXPECT_EQ(v.count(), 4u);
    EXPECT_EQ(v.stringForKey("s"), "text");
    EXPECT_TRUE(v["n"].isNumber());
    EXPECT_EQ(v["n"].number(), 3.0);
    EXPECT_TRUE(v["t"].isBoolean());
    EXPECT_FALSE(v["t"].isNumber());
    EXPECT_TRUE(v["t"].boolean());
    EXPECT_TRUE(v["z"].isNull());
    EXPECT_TRUE(v["missing"].isNone());
}

TEST(Grammar, Leniencies)
{
    EXPECT_EQ(dict("{\"a\":1,}"), "{\"a\":1}");
    EXPECT_EQ(any("[1,]"), "[1]");
    EXPECT_EQ(any("[ ]"), "[]");
    EXPECT_EQ(dict("{ }"), "{}");
    EXPECT_EQ(dict("{\"a\":1,\"a\":2}"), "{\"a\":2}");
    EXPECT_EQ(any("\v\f [true]"), "[true]");
}

}  // namespace
}  // namespace json
