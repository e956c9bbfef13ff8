// The values from C++: lookups in small and large dictionaries, kinds, text conversion,
// lifetime and equality.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "Helpers.h"

namespace json {
namespace {

Value parse(std::string_view text)
{
    Value v = JSONDeserializer::deserializer().deserialize(text);
    EXPECT_FALSE(v.isNone()) << text;
    return v;
}

// A dictionary of n keys "k0".."k(n-1)" with the value of each being its index; the keys
// are written in descending order so that storage order and text order differ.
std::string manyKeys(int n, const std::string& extra = "")
{
    std::string text = "{";
    for (int i = n - 1; i >= 0; --i)
        text += "\"k" + std::to_string(i) + "\":" + std::to_string(i) + ",";
    text += extra + "}";
    return text;
}

TEST(ValueLookup, SmallAndLargeDictionariesFindEveryKey)
{
    for (int n : {0, 1, 15, 16, 17, 40, 63, 64, 65, 300}) {
        Value d = parse(manyKeys(n));
        ASSERT_EQ(d.count(), std::size_t(n));
        for (int i = 0; i < n; ++i) {
            const std::string key = "k" + std::to_string(i);
            EXPECT_EQ(d[key].number(), i) << n << " " << key;
            EXPECT_EQ(d.objectForKey(std::u16string(key.begin(), key.end())).number(), i);
        }
        EXPECT_TRUE(d["k"].isNone());
        EXPECT_TRUE(d["k" + std::to_string(n)].isNone());
        EXPECT_TRUE(d[""].isNone());
    }
}

TEST(ValueLookup, LaterDuplicatesWinInLargeDictionariesToo)
{
    // Duplicates first, last and in the middle of the text, more than once.
    for (int n : {40, 100}) {
        const std::string last = "\"k" + std::to_string(n - 1) + "\"";
        Value d = parse(manyKeys(n, "\"k0\":1000," + last + ":1001,\"k20\":1002,\"k20\":1003"));
        EXPECT_EQ(d.count(), std::size_t(n));
        EXPECT_EQ(d["k0"].number(), 1000);
        EXPECT_EQ(d["k" + std::to_string(n - 1)].number(), 1001);
        EXPECT_EQ(d["k20"].number(), 1003);
        EXPECT_EQ(d["k21"].number(), 21);
        std::map<std::string, double> seen;
        for (const auto& [key, value] : d.entries())
            seen[key.utf8()] = value.number();
        EXPECT_EQ(seen.size(), std::size_t(n));
        EXPECT_EQ(seen["k20"], 1003);
    }
}

TEST(ValueLookup, NonASCIIKeys)
{
    for (const std::string& filler : {std::string(""), manyKeys(30).substr(1, manyKeys(30).size() - 2),
                                      manyKeys(80).substr(1, manyKeys(80).size() - 2)}) {
        Value d = parse("{" + filler + "\"caf\xC3\xA9\":1,\"\\u00e9t\\u00e9\":2,\"\xF0\x9F\x98\x80\":3}");
        EXPECT_EQ(d["caf\xC3\xA9"].number(), 1);
        EXPECT_EQ(d["\xC3\xA9t\xC3\xA9"].number(), 2);
        EXPECT_EQ(d["\xF0\x9F\x98\x80"].number(), 3);
        EXPECT_EQ(d.objectForKey(u"caf\u00e9").number(), 1);
        EXPECT_TRUE(d["caf"].isNone());
        EXPECT_TRUE(d["cafe"].isNone());
        EXPECT_TRUE(d["caf\xC3"].isNone()); // not UTF-8: matches nothing
    }
}

TEST(ValueKinds, AccessorsOfTheWrongKindAreHarmless)
{
    Value n = parse("[1]")[0];
    EXPECT_EQ(n.kind(), Kind::Number);
    EXPECT_EQ(n.count(), 0u);
    EXPECT_TRUE(n["x"].isNone());
    EXPECT_TRUE(n[0].isNone());
    EXPECT_EQ(n.asString(), std::nullopt);
    EXPECT_EQ(n.utf8(), "");
    EXPECT_EQ(n.length(), 0u);
    EXPECT_FALSE(n.boolean());

    Value none;
    EXPECT_EQ(none.kind(), Kind::None);
    EXPECT_FALSE(bool(none));
    EXPECT_TRUE(none["a"]["b"][3].isNone());
    EXPECT_EQ(none.number(), 0);
    EXPECT_EQ(none.elements().begin(), none.elements().end());

    Value a = parse("[\"x\",2]");
    EXPECT_TRUE(a[2].isNone());
    EXPECT_TRUE(a[-1].isNone());
    EXPECT_EQ(a[1u].number(), 2);
    EXPECT_EQ(a[std::size_t{1}].number(), 2);
    EXPECT_EQ(a[1L].number(), 2);
    EXPECT_TRUE(a[std::size_t(-1)].isNone());
    EXPECT_EQ(a.keyAt(0).kind(), Kind::None);
    EXPECT_EQ(a[0].unitAt(1), 0);
}

TEST(ValueText, UTF8AndUTF16Forms)
{
    Value s = parse("\"A\\u00e9\\ud83d\\ude00\"");
    EXPECT_EQ(s.length(), 4u);
    EXPECT_EQ(s.unitAt(0), u'A');
    EXPECT_EQ(s.unitAt(1), 0xE9);
    EXPECT_EQ(s.utf16(), u"A\u00e9\U0001F600");
    EXPECT_EQ(s.utf8(), "A\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_TRUE(s.equals(u"A\u00e9\U0001F600"));
    EXPECT_TRUE(s.equalsUTF8("A\xC3\xA9\xF0\x9F\x98\x80"));
    EXPECT_FALSE(s.equalsUTF8("A"));
    // A lone surrogate has no UTF-8 form: it becomes U+FFFD there, and only there.
    Value lone = parse("\"a\\ud800b\\udc00\"");
    EXPECT_EQ(lone.length(), 4u);
    EXPECT_EQ(lone.utf8(), "a\xEF\xBF\xBD"
                           "b\xEF\xBF\xBD");
    EXPECT_EQ(lone.unitAt(1), 0xD800);
    Value ascii = parse("\"plain\"");
    EXPECT_EQ(ascii.utf16(), u"plain");
    EXPECT_TRUE(ascii.equals(u"plain"));
    EXPECT_FALSE(ascii.equals(u"plai"));
}

TEST(ValueLifetime, ValuesOutliveTheInputAndEachOther)
{
    Value inner;
    {
        auto text = std::make_unique<std::string>("{\"list\":[\"kept\",{\"n\":7}]}");
        Value doc = JSONDeserializer::deserializer().deserializeAsDictionary(*text);
        text.reset();
        inner = doc["list"];
    }
    EXPECT_EQ(inner[0].utf8(), "kept");
    EXPECT_EQ(inner[1]["n"].number(), 7);
    // Ranges over temporaries hold what they walk over.
    std::string joined;
    for (Value e : parse("[\"a\",\"b\",\"c\"]").elements())
        joined += e.utf8();
    EXPECT_EQ(joined, "abc");
    int entries = 0;
    for (const auto& entry : parse("{\"x\":1,\"y\":2}").entries())
        entries += int(entry.value.number());
    EXPECT_EQ(entries, 3);
}

TEST(ValueEquality, DeepAndOrderFree)
{
    EXPECT_EQ(parse("{\"a\":[1,{\"b\":null}],\"c\":\"x\"}"), parse("{\"c\":\"x\",\"a\":[1,{\"b\":null}]}"));
    EXPECT_NE(parse("[1,2]"), parse("[2,1]"));
    EXPECT_NE(parse("[1]"), parse("[true]"));
    EXPECT_NE(parse("{\"a\":1}"), parse("{\"b\":1}"));
    EXPECT_NE(parse("\"\\u00e9\""), parse("\"e\""));
    EXPECT_EQ(parse("\"\\u00e9\""), parse("\"\xC3\xA9\""));
    EXPECT_EQ(parse("null"), Value::null());
    EXPECT_EQ(parse(manyKeys(30)), parse(manyKeys(30)));
    EXPECT_NE(parse(manyKeys(30)), parse(manyKeys(31)));
    EXPECT_EQ(parse(manyKeys(80)), parse(manyKeys(80)));
    EXPECT_NE(parse(manyKeys(80)), parse(manyKeys(80, "\"k5\":6")));
}

TEST(ValueCanonical, SortsKeysByUTF16Units)
{
    // 0xFF01 > 0xD83D: by UTF-16 units the key beyond the basic plane comes first,
    // although its code point is the larger one.
    Value d = parse("{\"\\uff01\":1,\"\\ud83d\\ude00\":2,\"b\":3,\"B\":4,\"\":5}");
    EXPECT_EQ(canonicalForm(d), "{\"\":5,\"B\":4,\"b\":3,\"\\ud83d\\ude00\":2,\"\\uff01\":1}");
    EXPECT_EQ(canonicalForm(parse("[1e300,-0.1,3,1e-7]")),
              "[1.0000000000000001e+300,-0.10000000000000001,3,9.9999999999999995e-08]");
    EXPECT_EQ(canonicalForm(Value{}), "");
}

} // namespace
} // namespace json
