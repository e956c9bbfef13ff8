#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "json/CharacterSet.h"

namespace json {

// The bytes a scanner reads. The scanner reads them in place and never copies them, so the
// caller keeps them alive while the scanner uses them. A span without data is "no buffer".
using Bytes = std::span<const std::uint8_t>;

inline Bytes bytesOf(std::string_view text)
{
    return Bytes{reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// A cursor over a byte buffer with the primitive scans the JSON grammar is built from.
// Every byte is one character of the same value (0-255); text is produced only when a run
// is handed out, decoded as UTF-8 (a run that is not valid UTF-8 gives no string).
//
// Every scan either succeeds, moves the cursor past what it took and returns true, or fails,
// returns false and leaves both the cursor and its out-argument alone. No scan reads outside
// the buffer.
class DataScanner {
public:
    // What the single-character operations return at the end of the data: no byte (0-255)
    // and no character any rule tests for.
    static constexpr char16_t kEndOfData = 0xFFFF;
    // Buffers are addressed with 32-bit offsets; a longer one is treated as no buffer.
    static constexpr std::size_t kMaximumLength = 0xFFFFFFFFu;

    DataScanner();
    virtual ~DataScanner();
    DataScanner(const DataScanner&) = delete;
    DataScanner& operator=(const DataScanner&) = delete;

    static std::unique_ptr<DataScanner> scannerWithData(Bytes data);

    // Sets the buffer and puts the cursor at 0, unless it is the buffer already held (same
    // bytes at the same address), in which case nothing happens.
    virtual void setData(Bytes data);
    Bytes data() const { return Bytes{start_, length()}; }

    std::size_t scanLocation() const { return std::size_t(current_ - start_); }
    // A location beyond the length is clamped to the length.
    void setScanLocation(std::size_t location);
    std::size_t length() const { return std::size_t(end_ - start_); }
    bool isAtEnd() const { return current_ >= end_; }

    const CharacterSet& doubleCharacters() const { return doubleCharacters_; }
    void setDoubleCharacters(const CharacterSet& set)
    {
        doubleCharacters_ = set;
        defaultDoubleCharacters_ = set == kDefaultDoubleCharacters;
    }
    // The characters a number is made of: digits, 'e', 'E', '-' and '.'; no '+'.
    static constexpr CharacterSet kDefaultDoubleCharacters{"0123456789eE-."};

    // The byte at the cursor, or kEndOfData.
    char16_t currentCharacter() const { return current_ < end_ ? char16_t(*current_) : kEndOfData; }
    // The byte at the cursor, moving past it; at the end returns kEndOfData and stays.
    char16_t scanCharacter()
    {
        if (current_ >= end_)
            return kEndOfData;
        return *current_++;
    }
    // Moves past the byte at the cursor when it equals c.
    bool scanCharacter(char16_t c)
    {
        if (current_ < end_ && c < 256 && *current_ == c) {
            ++current_;
            return true;
        }
        return false;
    }

    // The bytes of a NUL-terminated string; out receives that string decoded as UTF-8.
    bool scanUTF8String(const char* s, std::optional<std::u16string>* out = nullptr);
    // The UTF-8 bytes of s; out receives s itself. A string with a lone surrogate has no
    // UTF-8 form and never matches.
    bool scanString(std::u16string_view s, std::optional<std::u16string>* out = nullptr);

    bool scanCharactersFromSet(const CharacterSet& set, std::optional<std::u16string>* out = nullptr);
    bool scanUpToCharactersFromSet(const CharacterSet& set, std::optional<std::u16string>* out = nullptr);
    // Moves onto (not past) the first occurrence of s, which may be at the cursor. Like
    // strnstr the search stops at the first NUL byte of the data, and an empty s is found at
    // the cursor.
    bool scanUpToString(std::u16string_view s, std::optional<std::u16string>* out = nullptr);

    // A run of doubleCharacters; out receives the value of its longest leading part that
    // reads as a decimal number ('-'? digits ('.' digits)? (('e'|'E') '-'? digits)?), or 0.
    bool scanNumber(double* out = nullptr);
    // Tab, line feed, vertical tab, form feed, carriage return and space.
    void skipWhitespace()
    {
        while (current_ < end_ && isWhitespace(*current_))
            ++current_;
    }
    // The bytes from the cursor to the end decoded as UTF-8; none when they are not UTF-8.
    std::optional<std::u16string> remainingString() const;

    static constexpr bool isWhitespace(std::uint8_t b) { return b == ' ' || (b >= 0x09 && b <= 0x0D); }
    // The value of a number run, by the rule of scanNumber.
    static double doubleValue(const std::uint8_t* run, std::size_t length);
    // The value of the longest leading decimal part of [p, end); *leadEnd receives its end
    // (p itself when there is none, and the value is then 0).
    static double parseLeadingDecimal(const std::uint8_t* p, const std::uint8_t* end, const std::uint8_t** leadEnd);

protected:
    bool hasDefaultDoubleCharacters() const { return defaultDoubleCharacters_; }

    const std::uint8_t* start_{};
    const std::uint8_t* end_{};
    const std::uint8_t* current_{};

private:
    static void store(const std::uint8_t* from, const std::uint8_t* to, std::optional<std::u16string>* out);

    CharacterSet doubleCharacters_{kDefaultDoubleCharacters};
    bool defaultDoubleCharacters_{true};
};

} // namespace json
