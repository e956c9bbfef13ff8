#pragma once

// What every fuzz target checks besides "no crash": errors are well-formed, and a value
// read back from its own JSON text is the same value.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "json/JSONDeserializer.h"
#include "json/JSONScanner.h"

namespace json::fuzz {

[[noreturn]] inline void fail(const char* what)
{
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

inline void checkError(const Error& e)
{
    if (e.domain.empty())
        return; // the reader left the slot alone
    if (e.domain == kJSONDeserializerErrorDomain) {
        if (e.code != -1 || e.description)
            fail("deserializer error");
        return;
    }
    if (e.domain != kJSONScannerErrorDomain)
        fail("unknown domain");
    const long known[] = {-1, -2, -3, -4, -5, -7, -8, -9, -11, -12, -13, -14, -15};
    bool ok = false;
    for (long k : known)
        ok = ok || k == e.code;
    if (!ok || !e.description || e.description->empty())
        fail("scanner error code or description");
}

// JSON text of a value in this reader's own dialect (no '+' in exponents). Returns false for
// values with infinities, which have no such text.
inline bool write(const Value& v, std::string& out)
{
    switch (v.kind()) {
    case Kind::None:
        return false;
    case Kind::Null:
        out += "null";
        return true;
    case Kind::Boolean:
        out += v.boolean() ? "true" : "false";
        return true;
    case Kind::Number: {
        if (!std::isfinite(v.number()))
            return false;
        char buffer[40];
        std::snprintf(buffer, sizeof buffer, "%.17g", v.number());
        for (char* c = buffer; *c != '\0'; ++c)
            if (*c != '+')
                out.push_back(*c);
        return true;
    }
    case Kind::String: {
        out.push_back('"');
        for (std::size_t i = 0; i < v.length(); ++i) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", unsigned(v.unitAt(i)));
            out += buffer;
        }
        out.push_back('"');
        return true;
    }
    case Kind::Array:
        out.push_back('[');
        for (Value e : v.elements()) {
            if (!write(e, out))
                return false;
            out.push_back(',');
        }
        out.push_back(']');
        return true;
    case Kind::Dictionary:
        out.push_back('{');
        for (const auto& entry : v.entries()) {
            if (!write(entry.key, out))
                return false;
            out.push_back(':');
            if (!write(entry.value, out))
                return false;
            out.push_back(',');
        }
        out.push_back('}');
        return true;
    }
    return false;
}

inline void checkRoundTrip(const Value& v)
{
    std::string text;
    if (!write(v, text))
        return;
    Error e;
    Value again = JSONDeserializer::deserializer().deserialize(text, &e);
    if (!(again == v))
        fail("value read back from its own text differs");
}

} // namespace json::fuzz
