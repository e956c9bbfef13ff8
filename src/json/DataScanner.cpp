#include "json/DataScanner.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

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

namespace {

constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                              1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

inline bool isDigit(std::uint8_t c)
{
    return std::uint8_t(c - '0') < 10;
}

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

} // namespace

double DataScanner::parseLeadingDecimal(const std::uint8_t* p, const std::uint8_t* end, const std::uint8_t** leadEnd)
{
    const std::uint8_t* const first = p;
    const bool negative = p < end && *p == '-';
    if (negative)
        ++p;
    // Up to 19 digits fit a 64-bit mantissa exactly; longer numbers go the slow way.
    std::uint64_t mantissa = 0;
    const std::uint8_t* const intStart = p;
    while (p < end && isDigit(*p))
        mantissa = mantissa * 10 + std::uint64_t(*p++ - '0');
    const std::size_t intDigits = std::size_t(p - intStart);
    std::size_t fracDigits = 0;
    const std::uint8_t* fracStart = p;
    if (p < end && *p == '.') {
        const std::uint8_t* q = p + 1;
        fracStart = q;
        while (q < end && isDigit(*q))
            mantissa = mantissa * 10 + std::uint64_t(*q++ - '0');
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
            value = scale >= 0 ? value * kPowers[scale] : value / kPowers[-scale];
            return negative ? -value : value;
        }
#if (defined(__x86_64__) || defined(__i386__)) && __LDBL_MANT_DIG__ == 64
        // With 64-bit mantissas the operation is exact up to 10^27 and rounds once; rounding
        // that again to 53 bits is right unless it landed next to a halfway point.
        if (mantissa != 0 && scale >= -27 && scale <= 27) {
            static constexpr long double kLongPowers[] = {
                1e0L,  1e1L,  1e2L,  1e3L,  1e4L,  1e5L,  1e6L,  1e7L,  1e8L,  1e9L,  1e10L, 1e11L, 1e12L, 1e13L,
                1e14L, 1e15L, 1e16L, 1e17L, 1e18L, 1e19L, 1e20L, 1e21L, 1e22L, 1e23L, 1e24L, 1e25L, 1e26L, 1e27L};
            long double wide = (long double)mantissa;
            wide = scale >= 0 ? wide * kLongPowers[scale] : wide / kLongPowers[-scale];
            std::uint64_t bits;
            std::memcpy(&bits, &wide, sizeof bits);
            const unsigned low = unsigned(bits & 0x7FF);
            if (low < 0x3FF || low > 0x401) {
                const double value = double(wide);
                return negative ? -value : value;
            }
        }
#endif
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
