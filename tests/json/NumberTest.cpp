// The number conversion against the C library's strtod, which rounds correctly: the fast
// paths must give the same bits, including at their edges.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "json/DataScanner.h"

namespace json {
namespace {

// Empty when ours and strtod agree on the text, else a line saying how they differ.
std::string mismatch(const std::string& text)
{
    const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
    const double ours = DataScanner::doubleValue(p, text.size());
    const double theirs = std::strtod(text.c_str(), nullptr);
    if (std::bit_cast<std::uint64_t>(ours) == std::bit_cast<std::uint64_t>(theirs))
        return {};
    char line[160];
    std::snprintf(line, sizeof line, "%s: ours %a, strtod %a\n", text.c_str(), ours, theirs);
    return line;
}

TEST(NumberConversion, AgreesWithStrtodAtTheEdgesAndAtRandom)
{
    std::vector<std::string> texts = {
        "0", "-0", "0.0", "-0.0e5", "0e-400", "1", "-1",
        // 2^53 and its neighbours; 2^53+1 and 2^53+3 are halfway and round to even.
        "9007199254740991", "9007199254740992", "9007199254740993", "9007199254740994", "9007199254740995",
        "9007199254740993.0", "-9007199254740993e0",
        // The largest exact power of ten, the first inexact one, and the fast path's edges.
        "1e22", "1e23", "9e22", "1e-22", "1e-23", "123456789e22", "123456789e23", "123456789e-22", "123456789e-23",
        "4503599627370497e22", "4503599627370497e-22",
        // 19 and 20 significant digits, and leading zeros that are not significant.
        "9999999999999999999", "18446744073709551615", "18446744073709551616", "12345678901234567890e-30",
        "0.00000000000000000001234", "00000000000000000000012", "1.8446744073709551615e19",
        // Subnormals, the smallest normal, the largest finite and just beyond.
        "4.9406564584124654e-324", "2.4703282292062327e-324", "2.4703282292062328e-324", "5e-324", "1e-330",
        "2.2250738585072011e-308", "2.2250738585072014e-308", "2.2250738585072009e-308", "1.7976931348623157e308",
        "1.7976931348623158e308", "1.7976931348623159e308", "1e309", "-1e400",
        // Halfway between two doubles with more digits than the mantissa holds.
        "1.00000000000000011102230246251565404236316680908203125", "1.0000000000000001110223024625156540423631668",
        "0.1", "0.3", "2.5e-3", "7.2057594037927933e16", "-65.613616999999977", "3.4028234663852886e38"};

    std::mt19937_64 random(20261208);
    const char* const digits = "0123456789";
    for (int i = 0; i < 100000; ++i) {
        std::string text = (random() & 1) ? "-" : "";
        // Up to 21 digits, with a decimal point somewhere among them half of the time.
        const int count = 1 + int(random() % 21);
        const int point = (random() & 1) ? int(random() % (count + 1)) : -1;
        for (int d = 0; d < count; ++d) {
            if (d == point)
                text += '.';
            text += digits[random() % 10];
        }
        // Exponents mostly around the fast path's reach, some across the whole range.
        if (random() % 4 != 0) {
            const int range = (random() & 1) ? 60 : 700;
            text += 'e' + std::to_string(int(random() % (2 * range + 1)) - range);
        }
        texts.push_back(text);
    }
    // Doubles written back in full precision must come back bit for bit.
    for (int i = 0; i < 30000; ++i) {
        double d;
        do
            d = std::bit_cast<double>(random());
        while (!std::isfinite(d));
        char text[40];
        std::snprintf(text, sizeof text, "%.17g", d);
        std::string written = text;
        // This reader's exponents take no '+'.
        written.erase(std::remove(written.begin(), written.end(), '+'), written.end());
        texts.push_back(written);
    }

    std::string failures;
    int failed = 0;
    for (const std::string& text : texts) {
        std::string line = mismatch(text);
        if (!line.empty() && ++failed <= 20)
            failures += line;
    }
    EXPECT_EQ(failed, 0) << failures;
}

} // namespace
} // namespace json
