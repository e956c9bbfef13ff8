// The ad client's entry point: a dictionary at the first byte.
#include "FuzzChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace json;
    Error e;
    Value v = JSONDeserializer::deserializer().deserializeAsDictionary(Bytes{data, size}, &e);
    fuzz::checkError(e);
    if (v) {
        if (!v.isDictionary())
            fuzz::fail("not a dictionary");
        // Every key finds its own value.
        for (const auto& entry : v.entries())
            if (!(v.objectForKey(entry.key.utf16()) == entry.value))
                fuzz::fail("key lookup");
        fuzz::checkRoundTrip(v);
    } else if (e.domain.empty()) {
        fuzz::fail("a failed dictionary without an error");
    }
    return 0;
}
