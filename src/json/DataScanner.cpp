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
    const std::uint8_t* found = nullptr;
    if (n == 0) {
        found = current_;
    } else {
        for (const std::uint8_t* p = current_; std::size_t(limit - p) >= n; ++p) {
            if (*p == std::uint8_t(needle[0]) && std::memcmp(p, needle.data(), n) == 0) {
                found = p;
                break;
            }
        }
    }
    if (found == nullptr)
        return false;
    store(current_, found, out);
    current_ = found;
    return true;
}

double DataScanner::doubleValue(const std::uint8_t* run, std::size_t length)
{
    const char* s = reinterpret_cast<const char*>(run);
    std::size_t i = 0;
    const bool negative = length > 0 && s[0] == '-';
    if (negative)
        ++i;
    auto isDigit = [&](std::size_t at) { return at < length && s[at] >= '0' && s[at] <= '9'; };
    const std::size_t intStart = i;
    while (isDigit(i))
        ++i;
    const std::size_t intDigits = i - intStart;
    std::size_t fracDigits = 0;
    std::size_t fracStart = i;
    if (i < length && s[i] == '.') {
        std::size_t j = i + 1;
        fracStart = j;
        while (isDigit(j))
            ++j;
        fracDigits = j - fracStart;
        if (intDigits + fracDigits > 0)
            i = j;
    }
    if (intDigits + fracDigits == 0)
        return 0.0;
    std::size_t mantissaEnd = i;
    long long exponent = 0;
    if (i < length && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        bool expNegative = false;
        if (j < length && s[j] == '-') {
            expNegative = true;
            ++j;
        }
        if (isDigit(j)) {
            while (isDigit(j)) {
                if (exponent < 1000000000)
                    exponent = exponent * 10 + (s[j] - '0');
                ++j;
            }
            if (expNegative)
                exponent = -exponent;
            i = j;
        }
    }
    double value = 0;
    auto result = std::from_chars(s, s + i, value, std::chars_format::general);
    if (result.ec == std::errc{} && result.ptr == s + i)
        return value;
    // Out of range: overflow gives an infinity, underflow a zero, both with the sign.
    long long magnitude = exponent;
    std::size_t k = intStart;
    while (k < intStart + intDigits && s[k] == '0')
        ++k;
    if (k < intStart + intDigits) {
        magnitude += (long long)(intStart + intDigits - k);
    } else {
        std::size_t z = fracStart;
        while (z < fracStart + fracDigits && s[z] == '0')
            ++z;
        magnitude -= (long long)(z - fracStart);
    }
    (void)mantissaEnd;
    const double big = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return negative ? -big : big;
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

}  // namespace json
