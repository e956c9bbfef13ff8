#pragma once

#include <string_view>

#include "json/DataScanner.h"
#include "json/Error.h"
#include "json/Value.h"

namespace json {

// The entry point of the reader: JSON text in, values out. Stateless.
//
// Text starting like UTF-16 or UTF-32 is converted to UTF-8 first; anything else is read in
// place. The values handed back own their storage and outlive the input bytes.
class JSONDeserializer final {
public:
    static JSONDeserializer deserializer() { return {}; }

    // A dictionary whose '{' is the very first byte; whatever follows its '}' is ignored.
    // Returns none on failure. With no bytes at all the error is code -1 in
    // kJSONDeserializerErrorDomain without a description; otherwise it is the grammar's.
    Value deserializeAsDictionary(Bytes data, Error* error = nullptr) const;
    Value deserializeAsDictionary(std::string_view text, Error* error = nullptr) const
    {
        return deserializeAsDictionary(bytesOf(text), error);
    }

    // The same for a value of any kind, which may be preceded by whitespace. A text whose
    // first value byte starts no value fails without an error.
    Value deserialize(Bytes data, Error* error = nullptr) const;
    Value deserialize(std::string_view text, Error* error = nullptr) const { return deserialize(bytesOf(text), error); }
};

} // namespace json
