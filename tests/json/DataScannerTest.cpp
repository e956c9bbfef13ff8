// The byte-level scans.
#include <gtest/gtest.h>

#include "json/DataScanner.h"

namespace json {
namespace {

TEST(DataScanner, WhitespaceSkipsTheSixCLocaleBytes)
{
    const std::string text = "  \t\v\f\r\n x";
    auto s = DataScanner::scannerWithData(bytesOf(text));
    s->skipWhitespace();
    EXPECT_EQ(s->scanLocation(), 8u);
    EXPECT_EQ(s->currentCharacter(), u'x');
}

}  // namespace
}  // namespace json
