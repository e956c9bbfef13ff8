#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "json/DataScanner.h"
#include "json/Error.h"
#include "json/Value.h"

namespace json {

namespace detail {
struct Node;
class Arena;
} // namespace detail

// The JSON grammar on top of DataScanner, with this reader's leniencies: a comma may stand
// before a closing '}' or ']', a number is any run of number characters, vertical tab and
// form feed are whitespace, and a single-quoted string is refused.
//
// Every scanJSON... operation has the shape (out-value slot, out-error slot) -> bool; both
// slots may be null. On success the value goes to the value slot; on failure the cursor is
// put back, the value slot is left alone and the error slot receives an error in
// kJSONScannerErrorDomain. When a container fails because of something inside it, its own
// error replaces the inner one, so the caller sees the error of the outermost dictionary or
// array that failed. A value whose first byte starts no value (or whose literal does not
// follow) fails without an error of its own.
//
// The values handed out share one storage per scanner and stay valid on their own.
class JSONScanner : public DataScanner {
public:
    // While this many dictionaries and arrays are open, a '{' or '[' starts no value.
    static constexpr std::size_t kMaximumDepth = 512;

    JSONScanner();
    ~JSONScanner() override;

    static std::unique_ptr<JSONScanner> scannerWithData(Bytes data);

    // Buffers that start like UTF-16 or UTF-32 text (by the zero bytes among the first four,
    // as in RFC 4627) are converted to UTF-8 first; a buffer that does not decode becomes no
    // buffer. Anything else is read in place.
    void setData(Bytes data) override;

    bool scanJSONObject(Value* outValue, Error* outError);
    bool scanJSONDictionary(Value* outValue, Error* outError);
    bool scanJSONArray(Value* outValue, Error* outError);
    bool scanJSONStringConstant(Value* outValue, Error* outError);
    bool scanJSONNumberConstant(Value* outValue, Error* outError);
    // A run of bytes that are neither '"' nor '\'; out receives it decoded as UTF-8.
    bool scanNotQuoteCharactersIntoString(std::optional<std::u16string>* out);

    // The English description of a grammar error code; empty for unknown codes.
    static const char* descriptionForCode(long code);

private:
    // Values are written into slots of stack_, the children of the open containers, by
    // index: inner containers may move stack_ meanwhile.
    // Adds k slots to stack_ (left unwritten) and returns the index of the first.
    std::size_t push(std::size_t k);
    void growStack(std::size_t k);
    template <bool (JSONScanner::*scan)(std::size_t, Error*)> bool scanInto(Value* outValue, Error* outError);
    bool value(std::size_t slot, Error* error);
    bool dictionary(std::size_t slot, Error* error);
    bool array(std::size_t slot, Error* error);
    bool string(std::size_t slot, Error* error);
    // The rest of a string whose quick scan (up to stop, the first '"' or '\' or the end)
    // did not finish it: current_ stands after the opening quote.
    bool stringRest(const std::uint8_t* restore, const std::uint8_t* stop, bool nonASCII, std::size_t slot,
                    Error* error);
    bool number(std::size_t slot, Error* error);
    // Stores an ASCII string; returns its hash.
    std::uint16_t storeNarrow(const std::uint8_t* from, std::size_t n, std::size_t slot);
    // repeated: whether a key may occur twice (false only when it surely does not).
    void finishDictionary(std::size_t base, std::size_t slot, bool repeated);
    void finishString(std::size_t n, bool ascii, std::size_t slot);
    // units_ with room for used + more units, the first used kept.
    char16_t* reserveUnits(std::size_t used, std::size_t more);
    char16_t* growUnits(std::size_t used, std::size_t more);
    // The keys last read after a given key (or first under it): a key that matches one of
    // them is taken without a scan and shares the stored text.
    struct KeyGuess {
        const char* text{};
        std::uint32_t size{0};
        std::uint16_t hash{0};
    };
    static bool sameKeyAt(const std::uint8_t* p, const std::uint8_t* end, const KeyGuess& guess);
    detail::Arena& arena();
    detail::Arena& makeArena();
    Value publish(const detail::Node& node);

    std::shared_ptr<detail::Arena> arena_;
    detail::Node* stack_{}; // children of the open containers
    std::size_t stackSize_{0};
    std::size_t stackCapacity_{0};
    char16_t* units_{}; // a string with escapes, while it is built
    std::size_t unitsCapacity_{0};
    std::vector<std::uint32_t> order_;    // sorting large dictionaries
    std::vector<std::uint32_t> slots_;    // finding repeated keys in mid-sized ones
    std::vector<std::uint8_t> converted_; // UTF-8 made from UTF-16 or UTF-32 input
    std::size_t depth_{0};
    KeyGuess keyGuesses_[256][2]{};
    std::uint32_t keyContext_{0}; // the hash of the key the value being read stands under
};

} // namespace json
