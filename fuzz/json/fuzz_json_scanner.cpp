// The scanner's own entry points in an order the input chooses: the first bytes pick the
// operations and locations, the rest is the data.
#include <string>

#include "FuzzChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace json;
    if (size < 4)
        return 0;
    const std::uint8_t* script = data;
    const Bytes text{data + 4, size - 4};
    JSONScanner s;
    s.setData(text);
    const std::size_t length = s.length();
    for (int step = 0; step < 4; ++step) {
        const std::uint8_t op = script[step];
        const std::size_t before = s.scanLocation();
        Value v;
        Error e;
        bool ok = true;
        switch (op % 16) {
        case 0:
            ok = s.scanJSONObject(&v, &e);
            break;
        case 1:
            ok = s.scanJSONDictionary(&v, &e);
            break;
        case 2:
            ok = s.scanJSONArray(&v, &e);
            break;
        case 3:
            ok = s.scanJSONStringConstant(&v, &e);
            break;
        case 4:
            ok = s.scanJSONNumberConstant(&v, &e);
            break;
        case 5: {
            std::optional<std::u16string> out;
            ok = s.scanNotQuoteCharactersIntoString(&out);
            break;
        }
        case 6:
            s.skipWhitespace();
            break;
        case 7:
            s.scanCharacter();
            break;
        case 8:
            ok = s.scanCharacter(char16_t(op));
            break;
        case 9:
            ok = s.scanUTF8String("true");
            break;
        case 10:
            ok = s.scanUpToString(u"\":");
            break;
        case 11:
            ok = s.scanCharactersFromSet(CharacterSet{"\"{}[],: "});
            break;
        case 12:
            ok = s.scanUpToCharactersFromSet(CharacterSet{"\"\\"});
            break;
        case 13:
            ok = s.scanNumber();
            break;
        case 14:
            s.setScanLocation(std::size_t(op) * 3);
            break;
        case 15:
            (void)s.remainingString();
            break;
        }
        if (s.scanLocation() > length)
            fuzz::fail("cursor past the end");
        if (!ok && op % 16 != 0 && s.scanLocation() != before)
            fuzz::fail("a failed scan moved the cursor");
        if (ok && v)
            fuzz::checkRoundTrip(v);
        fuzz::checkError(e);
    }
    return 0;
}
