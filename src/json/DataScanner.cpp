#include "json/DataScanner.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "json/Decimal.h"
#include "json/PowersOfFive.h"
#include "json/Utf.h"

namespace json {

DataScanner::DataScanner() = default;
DataScanner::~DataScanner() = default;

std::unique_ptr<DataScanner> DataScanner::scannerWithData(Bytes data)
{
    auto scanner = std::make_unique<DataScanner>();
    scanner->setData(data);
    return scanner;
}

void DataScanner::setData(Bytes data)
{
    if (data.data() == start_ && data.size() == length())
        return;
    if (data.data() == nullptr || data.size() > kMaximumLength) {
        start_ = end_ = current_ = nullptr;
        return;
    }
    start_ = current_ = data.data();
    end_ = start_ + data.size();
}

void DataScanner::setScanLocation(std::size_t location)
{
    current_ = start_ + (location < length() ? location : length());
}

void DataScanner::store(const std::uint8_t* from, const std::uint8_t* to, std::optional<std::u16string>* out)
{
    if (out != nullptr)
        *out = detail::decodeUTF8(from, std::size_t(to - from));
}

bool DataScanner::scanUTF8String(const char* s, std::optional<std::u16string>* out)
{
    const std::size_t n = std::strlen(s);
    if (std::size_t(end_ - current_) < n || (n != 0 && std::memcmp(current_, s, n) != 0))
        return false;
    current_ += n;
    if (out != nullptr)
        *out = detail::decodeUTF8(reinterpret_cast<const std::uint8_t*>(s), n);
    return true;
}

bool DataScanner::scanString(std::u16string_view s, std::optional<std::u16string>* out)
{
    std::string bytes;
    if (!detail::encodeUTF8Strict(s, bytes))
        return false;
    if (std::size_t(end_ - current_) < bytes.size() ||
        (!bytes.empty() && std::memcmp(current_, bytes.data(), bytes.size()) != 0))
        return false;
    current_ += bytes.size();
    if (out != nullptr)
        *out = std::u16string(s);
    return true;
}

bool DataScanner::scanCharactersFromSet(const CharacterSet& set, std::optional<std::u16string>* out)
{
    const std::uint8_t* p = current_;
    while (p < end_ && set.containsByte(*p))
        ++p;
    if (p == current_)
        return false;
    store(current_, p, out);
    current_ = p;
    return true;
}

bool DataScanner::scanUpToCharactersFromSet(const CharacterSet& set, std::optional<std::u16string>* out)
{
    const std::uint8_t* p = current_;
    while (p < end_ && !set.containsByte(*p))
        ++p;
    if (p == current_)
        return false;
    store(current_, p, out);
    current_ = p;
    return true;
}

bool DataScanner::scanUpToString(std::u16string_view s, std::optional<std::u16string>* out)
{
    std::string needle;
    if (!detail::encodeUTF8Strict(s, needle))
        return false;
    // strnstr takes the needle as a C string.
    needle.resize(std::strlen(needle.c_str()));
    const std::uint8_t* limit = current_;
    while (limit < end_ && *limit != 0)
        ++limit;
    const std::size_t n = needle.size();
    // With no buffer the cursor itself is null, so "found" cannot be told by the pointer.
    const std::uint8_t* found = current_;
    bool isFound = n == 0;
    for (const std::uint8_t* p = current_; !isFound && std::size_t(limit - p) >= n; ++p) {
        if (*p == std::uint8_t(needle[0]) && std::memcmp(p, needle.data(), n) == 0) {
            found = p;
            isFound = true;
        }
    }
    if (!isFound)
        return false;
    store(current_, found, out);
    current_ = found;
    return true;
}

namespace detail {

// The value of a longest leading decimal part [first, last) with the given facts, the slow
// and exact way: std::from_chars, then infinity or zero when out of range.
double slowDecimal(const char* first, const char* last, bool negative, long long decimalMagnitude)
{
    double value = 0;
    auto result = std::from_chars(first, last, value, std::chars_format::general);
    if (result.ec == std::errc{} && result.ptr == last)
        return value;
    const double big = decimalMagnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return negative ? -big : big;
}

// mantissa * 10^scale (mantissa != 0) correctly rounded to a normal double, by one 64x128-bit
// multiplication with the power of five and the exponent of two worked out on the side
// (Lemire's method). False when the product is too close to a halfway point to decide, or
// the result would be subnormal, zero or infinite: the exact slow way then decides.
bool scaledDecimal(std::uint64_t mantissa, long long scale, double& out)
{

    if (scale < detail::kSmallestPowerOfFive || scale > detail::kLargestPowerOfFive)
        return false;
    const int q = int(scale);
    const int leadingZeros = std::countl_zero(mantissa);
    const std::uint64_t w = mantissa << leadingZeros;
    const auto& power = kPowersOfFive[q - detail::kSmallestPowerOfFive];
    unsigned __int128 product = (unsigned __int128)w * power.high;
    std::uint64_t high = std::uint64_t(product >> 64);
    std::uint64_t low = std::uint64_t(product);
    // The 55 bits that matter may still take a carry from the power's lower half.
    constexpr std::uint64_t kPrecisionMask = ~std::uint64_t{0} >> 55;
    if ((high & kPrecisionMask) == kPrecisionMask) {
        const std::uint64_t second = std::uint64_t(((unsigned __int128)w * power.low) >> 64);
        low += second;
        if (second > low)
            ++high;
        if (low == ~std::uint64_t{0} && (q < -27 || q > 55))
            return false;
    }
    const int upperBit = int(high >> 63);
    const int shift = upperBit + 64 - 52 - 3;
    std::uint64_t bits = high >> shift;
    // floor(log2(10^q)) + 63, then the biased exponent of the result.
    int power2 = (((152170 + 65536) * q) >> 16) + 63 + upperBit - leadingZeros + 1023;
    if (power2 <= 0 || power2 >= 0x7FF - 1)
        return false;
    // Exactly halfway between two doubles can only happen for small q; round to even then.
    if (low <= 1 && q >= -4 && q <= 23 && (bits & 3) == 1 && (bits << shift) == high)
        bits &= ~std::uint64_t{1};
    bits += bits & 1;
    bits >>= 1;
    if (bits >= (std::uint64_t{2} << 52)) {
        bits = std::uint64_t{1} << 52;
        ++power2;
    }
    bits &= ~(std::uint64_t{1} << 52);
    bits |= std::uint64_t(power2) << 52;
    out = std::bit_cast<double>(bits);
    return true;
}

} // namespace detail

double DataScanner::parseLeadingDecimal(const std::uint8_t* p, const std::uint8_t* end, const std::uint8_t** leadEnd)
{
    return detail::leadingDecimal(p, end, leadEnd);
}

double DataScanner::doubleValue(const std::uint8_t* run, std::size_t length)
{
    const std::uint8_t* leadEnd;
    return parseLeadingDecimal(run, run + length, &leadEnd);
}

bool DataScanner::scanNumber(double* out)
{
    const std::uint8_t* p = current_;
    while (p < end_ && doubleCharacters_.containsByte(*p))
        ++p;
    if (p == current_)
        return false;
    if (out != nullptr)
        *out = doubleValue(current_, std::size_t(p - current_));
    current_ = p;
    return true;
}

std::optional<std::u16string> DataScanner::remainingString() const
{
    return detail::decodeUTF8(current_, std::size_t(end_ - current_));
}

} // namespace json
