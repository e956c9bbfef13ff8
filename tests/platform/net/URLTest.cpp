#include "platform/core/URL.h"

#include <gtest/gtest.h>

using platform::URL;

TEST(URL, SplitsAbsoluteHttpURLsIntoTheirParts)
{
    auto url = URL::parse("HTTP://Ads.Example.COM:8080/ad_source.php?s=a&d%5Bcoord%5D=1#frag");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->scheme(), "http");
    EXPECT_EQ(url->host(), "ads.example.com");
    EXPECT_EQ(url->port(), 8080);
    EXPECT_EQ(url->path(), "/ad_source.php");
    EXPECT_EQ(url->query(), "s=a&d%5Bcoord%5D=1");
    EXPECT_EQ(url->fragment(), "frag");
    EXPECT_TRUE(url->isHTTP());
}

TEST(URL, DefaultPortsAndMissingPartsStayApartFromEmptyOnes)
{
    auto plain = URL::parse("http://127.0.0.1/");
    ASSERT_TRUE(plain);
    EXPECT_FALSE(plain->port());
    EXPECT_EQ(plain->effectivePort(), 80);
    EXPECT_FALSE(plain->query());
    auto emptyQuery = URL::parse("https://h/p?");
    ASSERT_TRUE(emptyQuery);
    EXPECT_EQ(emptyQuery->effectivePort(), 443);
}

TEST(URL, RefusesTextThatIsNoAbsoluteURL)
{
    for (const char* text : {"", "/ad_source.php?s=1", "no scheme here", "http://exa mple.com/",
                             "http://host/\r\nX-Injected: 1", "http://[::1/"})
        EXPECT_FALSE(URL::parse(text)) << text;
    EXPECT_FALSE(URL::parse(std::string_view("http://a/\0b", 11)));
    // Texts curl takes but prints as something else ("file://(nil)", "file://x/").
    for (const char* text : {"file:///", "file:.//..", "file:./x/"})
        EXPECT_FALSE(URL::parse(text)) << text;
    // A query the printed URL drops is no query.
    auto dotted = URL::parse("file:///../x/?");
    ASSERT_TRUE(dotted);
    EXPECT_EQ(dotted->string(), "file:///x/");
    EXPECT_FALSE(dotted->query());
}

TEST(URL, KeepsSchemesOfOtherApplications)
{
    auto launch = URL::parse("adnet://launch?url=http%3A%2F%2Fexample.com%2F");
    ASSERT_TRUE(launch);
    EXPECT_EQ(launch->scheme(), "adnet");
    EXPECT_EQ(launch->host(), "launch");
    EXPECT_FALSE(launch->isHTTP());
}

TEST(URL, ResolvesReferencesAgainstABase)
{
    auto base = URL::parse("http://media.example/static/sdk/canvas.html?x=1");
    ASSERT_TRUE(base);
    EXPECT_EQ(URL::resolve(*base, "img/a.png")->string(), "http://media.example/static/sdk/img/a.png");
    EXPECT_EQ(URL::resolve(*base, "/land?id=3")->string(), "http://media.example/land?id=3");
    EXPECT_EQ(URL::resolve(*base, "https://other/")->string(), "https://other/");
    EXPECT_EQ(URL::resolve(*base, "../../up")->string(), "http://media.example/up");
}
