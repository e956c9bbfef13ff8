// Any value: deserialize with and without an error slot.
#include "FuzzChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace json;
    const auto reader = JSONDeserializer::deserializer();
    Error e;
    Value v = reader.deserialize(Bytes{data, size}, &e);
    fuzz::checkError(e);
    Value quiet = reader.deserialize(Bytes{data, size});
    if (bool(v) != bool(quiet))
        fuzz::fail("error slot changed the outcome");
    if (v) {
        if (!(v == quiet))
            fuzz::fail("two reads differ");
        fuzz::checkRoundTrip(v);
    } else if (!e.domain.empty() && size == 0 && e.domain != kJSONDeserializerErrorDomain) {
        fuzz::fail("empty data without the deserializer's error");
    }
    return 0;
}
