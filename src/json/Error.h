#pragma once

#include <optional>
#include <string>

namespace json {

// The domain of every error the grammar reports.
extern const char* const kJSONScannerErrorDomain;
// The domain of the deserializer's own error (no data to read). It holds a real string so
// that callers can compare domains without a null check.
extern const char* const kJSONDeserializerErrorDomain;

// What a failed read hands back through an error slot: a domain, a negative code and, for
// the grammar's errors, an English description. The deserializer's own error carries no
// description.
struct Error {
    std::string domain;
    long code{0};
    std::optional<std::string> description;

    bool operator==(const Error&) const = default;
};

// Error codes of the grammar, by the rule that reports them.
namespace ErrorCode {
inline constexpr long kNoData = -1;              // deserializer: no bytes at all
inline constexpr long kDictionaryStart = -1;     // dictionary not started by '{'
inline constexpr long kDictionaryKey = -2;       // key is not a string
inline constexpr long kDictionaryColon = -3;     // no ':' after the key
inline constexpr long kDictionaryValue = -4;     // the value failed
inline constexpr long kDictionaryDelimiter = -5; // neither ',' nor '}' after a value
inline constexpr long kArrayStart = -7;          // array not started by '['
inline constexpr long kArrayValue = -8;          // an element failed
inline constexpr long kArrayDelimiter = -9;      // neither ',' nor ']' after an element
inline constexpr long kStringStart = -11;        // no '"' where a string must start
inline constexpr long kStringUndecodable = -12;  // bad \u digit, or bytes not UTF-8
inline constexpr long kStringEscape = -13;       // unknown escape, or data ends after '\'
inline constexpr long kNumber = -14;             // no number character at the cursor
inline constexpr long kStringUnterminated = -15; // data ends before the closing '"'
} // namespace ErrorCode

} // namespace json
