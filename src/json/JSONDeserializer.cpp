#include "json/JSONDeserializer.h"

#include "json/JSONScanner.h"

namespace json {

const char* const kJSONDeserializerErrorDomain = "JSONDeserializerErrorDomain";

namespace {

bool noData(Bytes data, Error* error)
{
    if (data.data() != nullptr && !data.empty())
        return false;
    if (error != nullptr)
        *error = Error{kJSONDeserializerErrorDomain, ErrorCode::kNoData, std::nullopt};
    return true;
}

} // namespace

Value JSONDeserializer::deserializeAsDictionary(Bytes data, Error* error) const
{
    if (noData(data, error))
        return {};
    JSONScanner scanner;
    scanner.setData(data);
    Value result;
    if (!scanner.scanJSONDictionary(&result, error))
        return {};
    return result;
}

Value JSONDeserializer::deserialize(Bytes data, Error* error) const
{
    if (noData(data, error))
        return {};
    JSONScanner scanner;
    scanner.setData(data);
    Value result;
    if (!scanner.scanJSONObject(&result, error))
        return {};
    return result;
}

} // namespace json
