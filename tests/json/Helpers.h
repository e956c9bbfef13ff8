#pragma once

#include <string>
#include <string_view>

#include "json/Canonical.h"
#include "json/JSONDeserializer.h"

namespace json::test {

// "ok <canonical form>" or "error <domain> <code>", or "error none" when the reader failed
// without an error. The same shape as jsonread's lines, short enough to compare in one go.
inline std::string outcome(const Value& v, const Error& e)
{
    if (v)
        return "ok " + canonicalForm(v);
    if (e.domain.empty())
        return "error none";
    return "error " + e.domain + " " + std::to_string(e.code);
}

inline std::string any(std::string_view text)
{
    Error e;
    Value v = JSONDeserializer::deserializer().deserialize(text, &e);
    return outcome(v, e);
}

inline std::string dict(std::string_view text)
{
    Error e;
    Value v = JSONDeserializer::deserializer().deserializeAsDictionary(text, &e);
    return outcome(v, e);
}

// The code of a failure in the grammar's domain (0 for success or another domain).
inline long codeOf(std::string_view text, bool asDictionary = true)
{
    Error e;
    const auto reader = JSONDeserializer::deserializer();
    Value v = asDictionary ? reader.deserializeAsDictionary(text, &e) : reader.deserialize(text, &e);
    return v || e.domain != kJSONScannerErrorDomain ? 0 : e.code;
}

} // namespace json::test
