#pragma once

// Reading decimal numbers: digits eight at a time, and the value of a number's text by the
// fast exact ways, falling back to the slow exact one. Internal to the reader.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace json::detail {

inline bool isDigit(std::uint8_t c)
{
    return std::uint8_t(c - '0') < 10;
}

// Whether the eight bytes of a little-endian word are all ASCII digits.
inline bool eightDigits(std::uint64_t word)
{
    return ((word & 0xF0F0F0F0F0F0F0F0u) | (((word + 0x0606060606060606u) & 0xF0F0F0F0F0F0F0F0u) >> 4)) ==
           0x3333333333333333u;
}

// The value of eight ASCII digits in a little-endian word, first digit most significant.
inline std::uint32_t eightDigitsValue(std::uint64_t word)
{
    word -= 0x3030303030303030u;
    word = word * 10 + (word >> 8);
    word = (((word & 0x000000FF000000FFu) * 0x000F424000000064u) +
            (((word >> 16) & 0x000000FF000000FFu) * 0x0000271000000001u)) >>
           32;
    return std::uint32_t(word);
}

inline constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                          1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Adds the digits at p to the mantissa, eight at a time where the bytes allow; returns the
// end of the digits. Past 19 digits the mantissa wraps, and the caller then takes the slow
// way, which reads the text again.
inline const std::uint8_t* scanDigits(const std::uint8_t* p, const std::uint8_t* end, std::uint64_t& mantissa)
{
    if constexpr (std::endian::native == std::endian::little) {
        static constexpr std::uint64_t kTens[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};
        while (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            // A byte is a digit when, less '0', it is below 10: adding 0x76 then sets its top
            // bit, as the value itself does from 0x80. A carry only leaves a byte that is no
            // digit, into the bytes after it, so the first flagged byte is the first non-digit.
            const std::uint64_t x = word ^ 0x3030303030303030u;
            const std::uint64_t other = ((x + 0x7676767676767676u) | x) & 0x8080808080808080u;
            if (other == 0) {
                mantissa = mantissa * 100000000u + eightDigitsValue(word);
                p += 8;
                continue;
            }
            const int k = std::countr_zero(other) >> 3; // leading digits, 0-7
            if (k != 0) {
                // The k digits moved to the top, with '0' bytes in front of them.
                const std::uint64_t padded = (word << (64 - 8 * k)) | (0x3030303030303030u >> (8 * k));
                mantissa = mantissa * kTens[k] + eightDigitsValue(padded);
                p += k;
            }
            return p;
        }
    }
    while (p < end && isDigit(*p))
        mantissa = mantissa * 10 + std::uint64_t(*p++ - '0');
    return p;
}

// The value of a longest leading decimal part [first, last) with the given facts, the slow
// and exact way.
double slowDecimal(const char* first, const char* last, bool negative, long long decimalMagnitude);
// mantissa * 10^scale by one wide multiplication; false when that cannot decide.
bool scaledDecimal(std::uint64_t mantissa, long long scale, double& out);

// The value of the longest leading decimal part of [p, end); *leadEnd receives its end.
[[gnu::always_inline]] inline double leadingDecimal(const std::uint8_t* p, const std::uint8_t* end,
                                                    const std::uint8_t** leadEnd)
{
    const std::uint8_t* const first = p;
    const bool negative = p < end && *p == '-';
    if (negative)
        ++p;
    // Up to 19 digits fit a 64-bit mantissa exactly; longer numbers go the slow way.
    std::uint64_t mantissa = 0;
    const std::uint8_t* const intStart = p;
    p = scanDigits(p, end, mantissa);
    const std::size_t intDigits = std::size_t(p - intStart);
    std::size_t fracDigits = 0;
    const std::uint8_t* fracStart = p;
    if (p < end && *p == '.') {
        fracStart = p + 1;
        const std::uint8_t* q = scanDigits(fracStart, end, mantissa);
        fracDigits = std::size_t(q - fracStart);
        if (intDigits + fracDigits > 0)
            p = q;
    }
    const std::size_t digits = intDigits + fracDigits;
    if (digits == 0) {
        *leadEnd = first;
        return 0.0;
    }
    long long exponent = 0;
    if (p < end && (*p == 'e' || *p == 'E')) {
        const std::uint8_t* q = p + 1;
        bool expNegative = false;
        if (q < end && *q == '-') {
            expNegative = true;
            ++q;
        }
        if (q < end && isDigit(*q)) {
            while (q < end && isDigit(*q)) {
                if (exponent < 1000000000)
                    exponent = exponent * 10 + (*q - '0');
                ++q;
            }
            if (expNegative)
                exponent = -exponent;
            p = q;
        }
    }
    *leadEnd = p;
    const long long scale = exponent - (long long)fracDigits;
    if (digits <= 19) {
        // Exact when the mantissa and the power of ten are both exact doubles: one
        // correctly rounded operation then gives the correctly rounded value.
        if (mantissa <= (std::uint64_t{1} << 53) && scale >= -22 && scale <= 22) {
            double value = double(mantissa);
            value = scale >= 0 ? value * kPowersOfTen[scale] : value / kPowersOfTen[-scale];
            return negative ? -value : value;
        }
        double value;
        if (mantissa != 0 && scaledDecimal(mantissa, scale, value))
            return negative ? -value : value;
    }
    long long magnitude = exponent;
    const std::uint8_t* k = intStart;
    while (k < intStart + intDigits && *k == '0')
        ++k;
    if (k < intStart + intDigits) {
        magnitude += (long long)(intStart + intDigits - k);
    } else {
        const std::uint8_t* z = fracStart;
        while (z < fracStart + fracDigits && *z == '0')
            ++z;
        magnitude -= (long long)(z - fracStart);
    }
    return slowDecimal(reinterpret_cast<const char*>(first), reinterpret_cast<const char*>(p), negative, magnitude);
}

} // namespace json::detail
