#include "json/JSONScanner.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#include "json/Decimal.h"
#include "json/Node.h"
#include "json/Utf.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace json {

using detail::Node;

const char* const kJSONScannerErrorDomain = "JSONScannerErrorDomain";

namespace {

// Dictionaries with more entries than this are sorted by key once, so that lookups and the
// removal of duplicate keys stay cheap; smaller ones keep the order of the text.
constexpr std::uint32_t kSortedDictionaryThreshold = 64;

void setError(Error* error, long code)
{
    if (error == nullptr)
        return;
    error->domain = kJSONScannerErrorDomain;
    error->code = code;
    error->description = JSONScanner::descriptionForCode(code);
}

// The first byte at or after p that is '"' or '\'; end when there is none.
inline const std::uint8_t* findQuoteOrBackslash(const std::uint8_t* p, const std::uint8_t* end)
{
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    while (end - p >= 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, backslash)));
        if (mask != 0)
            return p + __builtin_ctz(unsigned(mask));
        p += 16;
    }
#endif
    while (p < end && *p != '"' && *p != '\\')
        ++p;
    return p;
}

// The first byte at or after p that is '"' or '\'; end when there is none. nonASCII is set
// when a byte at or above 0x80 comes before it.
inline const std::uint8_t* findStringEnd(const std::uint8_t* p, const std::uint8_t* end, bool& nonASCII)
{
    unsigned high = 0;
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    while (end - p >= 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const unsigned mask =
            unsigned(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, backslash))));
        const unsigned top = unsigned(_mm_movemask_epi8(v));
        if (mask != 0) {
            // Only the bytes before the hit count.
            high |= top & ((mask & (0u - mask)) - 1u);
            nonASCII = high != 0;
            return p + __builtin_ctz(mask);
        }
        high |= top;
        p += 16;
    }
#endif
    while (p < end && *p != '"' && *p != '\\') {
        high |= *p & 0x80u;
        ++p;
    }
    nonASCII = high != 0;
    return p;
}

// Past a run of whitespace that starts at p. Indentation is spaces after a line feed: the
// blocks look for the space alone and leave the rarer whitespace to a byte test.
[[gnu::always_inline]] inline const std::uint8_t* skipSpaceRun(const std::uint8_t* p, const std::uint8_t* end)
{
    ++p; // p is whitespace
#if defined(__SSE2__)
    const __m128i space = _mm_set1_epi8(' ');
    while (end - p >= 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const unsigned spaces = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(a, space)));
        if (spaces == 0xFFFFu) {
            p += 16;
            continue;
        }
        p += std::countr_one(spaces);
        if (!DataScanner::isWhitespace(*p))
            return p;
        ++p;
    }
#endif
    while (p < end && DataScanner::isWhitespace(*p))
        ++p;
    return p;
}

// Past the whitespace at p. Every byte above the space is no whitespace, so one compare
// settles the common case; a lone space (after ':' and ',') is taken without a block.
inline const std::uint8_t* skipSpace(const std::uint8_t* p, const std::uint8_t* end)
{
    if (p >= end || *p > ' ')
        return p;
    if (*p == ' ') {
        if (p + 1 >= end || p[1] > ' ')
            return p + 1;
    } else if (!DataScanner::isWhitespace(*p)) {
        return p; // a control byte that is no whitespace
    }
    return skipSpaceRun(p, end);
}

} // namespace

// Whether the text at p is the guessed key followed by its closing quote. The guess was
// copied with at least 32 bytes of room after it, and the data has 32 bytes here, so both
// are read a block at a time.
inline bool JSONScanner::sameKeyAt(const std::uint8_t* p, const std::uint8_t* end, const KeyGuess& guess)
{
#if defined(__SSE2__)
    const std::uint32_t n = guess.size;
    if (end - p < 33)
        return false;
    const __m128i* text = reinterpret_cast<const __m128i*>(guess.text);
    const __m128i* data = reinterpret_cast<const __m128i*>(p);
    std::uint32_t equal =
        std::uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(text), _mm_loadu_si128(data))));
    if (n > 16)
        equal |= std::uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(text + 1), _mm_loadu_si128(data + 1))))
                 << 16;
    else
        equal |= 0xFFFF0000u;
    const std::uint32_t wanted = n == 32 ? 0xFFFFFFFFu : (std::uint32_t{1} << n) - 1;
    return (equal & wanted) == wanted && p[n] == '"';
#else
    (void)p;
    (void)end;
    (void)guess;
    return false;
#endif
}

namespace {

// Copies n bytes; keys and short strings are too small to be worth a call to memcpy.
inline void copyBytes(char* to, const std::uint8_t* from, std::size_t n)
{
    if (n >= 8 && n <= 16) {
        std::uint64_t head, tail;
        std::memcpy(&head, from, 8);
        std::memcpy(&tail, from + n - 8, 8);
        std::memcpy(to, &head, 8);
        std::memcpy(to + n - 8, &tail, 8);
    } else if (n >= 4 && n < 8) {
        std::uint32_t head, tail;
        std::memcpy(&head, from, 4);
        std::memcpy(&tail, from + n - 4, 4);
        std::memcpy(to, &head, 4);
        std::memcpy(to + n - 4, &tail, 4);
    } else if (n < 4) {
        for (std::size_t i = 0; i < n; ++i)
            to[i] = char(from[i]);
    } else {
        std::memcpy(to, from, n);
    }
}

// Writes a whole node with two stores; slots of stack_ are raw memory until written.
inline void setNode(Node& n, Kind kind, std::uint8_t flags, std::uint16_t hash, std::uint32_t size,
                    std::uint64_t payload)
{
    static_assert(std::endian::native == std::endian::little, "node words are laid out little-endian");
    const std::uint64_t words[2] = {std::uint64_t(kind) | (std::uint64_t(flags) << 8) | (std::uint64_t(hash) << 16) |
                                        (std::uint64_t(size) << 32),
                                    payload};
    std::memcpy(static_cast<void*>(&n), words, sizeof words);
}

inline std::uint64_t pointerBits(const void* p)
{
    return std::uint64_t(reinterpret_cast<std::uintptr_t>(p));
}

inline int hexValue(char16_t c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

JSONScanner::JSONScanner() = default;
JSONScanner::~JSONScanner()
{
    ::operator delete(stack_);
    delete[] units_;
}

std::unique_ptr<JSONScanner> JSONScanner::scannerWithData(Bytes data)
{
    auto scanner = std::make_unique<JSONScanner>();
    scanner->setData(data);
    return scanner;
}

const char* JSONScanner::descriptionForCode(long code)
{
    switch (code) {
    case -1:
        return "Could not scan dictionary. Dictionary that does not start with '{' character.";
    case -2:
        return "Could not scan dictionary. Failed to scan a key.";
    case -3:
        return "Could not scan dictionary. Key was not terminated with a ':' character.";
    case -4:
        return "Could not scan dictionary. Failed to scan a value.";
    case -5:
        return "Could not scan dictionary. Key value pairs not delimited with a ',' character.";
    case -7:
        return "Could not scan array. Array that does not start with '[' character.";
    case -8:
        return "Could not scan array. Could not scan a value.";
    case -9:
        return "Could not scan array. Array not terminated by a ']' character.";
    case -11:
        return "Could not scan string constant. String not started by a '\"' character.";
    case -12:
        return "Could not scan string constant. Unicode character could not be decoded.";
    case -13:
        return "Could not scan string constant. Unknown escape code.";
    case -14:
        return "Could not scan number constant.";
    case -15:
        return "Could not scan string constant. String not terminated by a '\"' character.";
    default:
        return "";
    }
}

void JSONScanner::setData(Bytes data)
{
    using detail::WideEncoding;
    if (data.data() != nullptr && data.size() >= 4 && data.size() <= kMaximumLength) {
        const bool z0 = data[0] == 0, z1 = data[1] == 0, z2 = data[2] == 0, z3 = data[3] == 0;
        std::optional<WideEncoding> encoding;
        if (z0 && z1 && z2 && !z3)
            encoding = WideEncoding::UTF32BE;
        else if (z0 && !z1 && z2 && !z3)
            encoding = WideEncoding::UTF16BE;
        else if (!z0 && z1 && z2 && z3)
            encoding = WideEncoding::UTF32LE;
        else if (!z0 && z1 && !z2 && z3)
            encoding = WideEncoding::UTF16LE;
        if (encoding) {
            std::vector<std::uint8_t> converted;
            if (detail::wideToUTF8(data.data(), data.size(), *encoding, converted) && !converted.empty())
                DataScanner::setData(Bytes{converted.data(), converted.size()});
            else
                DataScanner::setData(Bytes{});
            // The old converted buffer (if any) is released only after the cursor left it.
            converted_ = std::move(converted);
            return;
        }
    }
    DataScanner::setData(data);
    if (data.data() != converted_.data())
        converted_ = {};
}

inline detail::Arena& JSONScanner::arena()
{
    if (arena_) [[likely]]
        return *arena_;
    return makeArena();
}

detail::Arena& JSONScanner::makeArena()
{
    // Sized by the data: the values of most documents take less room than their text.
    // Made on the first value, so a text that fails at once costs nothing; capped, so
    // that a huge text that fails early does not reserve its whole size.
    constexpr std::size_t kCap = std::size_t{64} << 20;
    const std::size_t text = length() - scanLocation();
    arena_ = std::make_shared<detail::Arena>(std::min(text, kCap), std::min(text / 4, kCap));
    return *arena_;
}

Value JSONScanner::publish(const Node& node)
{
    Node* slot = arena().nodes(1);
    *slot = node;
    return Value{std::shared_ptr<const Node>(arena_, slot)};
}

template <bool (JSONScanner::*scan)(std::size_t, Error*)> bool JSONScanner::scanInto(Value* outValue, Error* outError)
{
    const std::size_t base = stackSize_;
    const std::size_t slot = push(1);
    const bool ok = (this->*scan)(slot, outError);
    if (ok && outValue != nullptr)
        *outValue = publish(stack_[slot]);
    stackSize_ = base;
    return ok;
}

bool JSONScanner::scanJSONObject(Value* outValue, Error* outError)
{
    return scanInto<&JSONScanner::value>(outValue, outError);
}

bool JSONScanner::scanJSONDictionary(Value* outValue, Error* outError)
{
    return scanInto<&JSONScanner::dictionary>(outValue, outError);
}

bool JSONScanner::scanJSONArray(Value* outValue, Error* outError)
{
    return scanInto<&JSONScanner::array>(outValue, outError);
}

bool JSONScanner::scanJSONStringConstant(Value* outValue, Error* outError)
{
    return scanInto<&JSONScanner::string>(outValue, outError);
}

bool JSONScanner::scanJSONNumberConstant(Value* outValue, Error* outError)
{
    return scanInto<&JSONScanner::number>(outValue, outError);
}

bool JSONScanner::scanNotQuoteCharactersIntoString(std::optional<std::u16string>* out)
{
    const std::uint8_t* p = findQuoteOrBackslash(current_, end_);
    if (p == current_)
        return false;
    if (out != nullptr)
        *out = detail::decodeUTF8(current_, std::size_t(p - current_));
    current_ = p;
    return true;
}

inline std::size_t JSONScanner::push(std::size_t k)
{
    if (stackCapacity_ - stackSize_ < k)
        growStack(k);
    const std::size_t first = stackSize_;
    stackSize_ += k;
    return first;
}

void JSONScanner::growStack(std::size_t k)
{
    std::size_t capacity = std::max<std::size_t>(64, 2 * stackCapacity_);
    while (capacity - stackSize_ < k)
        capacity *= 2;
    Node* grown = static_cast<Node*>(::operator new(capacity * sizeof(Node)));
    if (stackSize_ != 0)
        std::memcpy(static_cast<void*>(grown), stack_, stackSize_ * sizeof(Node));
    ::operator delete(stack_);
    stack_ = grown;
    stackCapacity_ = capacity;
}

// Inlined into the container loops: one call less per element.
[[gnu::always_inline]] inline bool JSONScanner::value(std::size_t slot, Error* error)
{
    const std::uint8_t* const p = skipSpace(current_, end_);
    current_ = p;
    if (p >= end_)
        return false;
    switch (*p) {
    case '"': {
        // Most strings are ASCII without escapes: taken here in one scan.
        bool nonASCII = false;
        const std::uint8_t* const body = p + 1;
        const std::uint8_t* const stop = findStringEnd(body, end_, nonASCII);
        if (stop < end_ && *stop == '"' && !nonASCII) {
            storeNarrow(body, std::size_t(stop - body), slot);
            current_ = stop + 1;
            return true;
        }
        current_ = body;
        return stringRest(p, stop, nonASCII, slot, error);
    }
    case '\'':
        return string(slot, error);
    case '-':
    case '0':
    case '1':
    case '2':
    case '3':
    case '4':
    case '5':
    case '6':
    case '7':
    case '8':
    case '9':
        return number(slot, error);
    case '{':
        return depth_ < kMaximumDepth && dictionary(slot, error);
    case '[':
        if (depth_ >= kMaximumDepth)
            return false;
        // Empty arrays are common enough to skip the loop and the storage.
        if (end_ - p >= 2 && p[1] == ']') {
            setNode(stack_[slot], Kind::Array, 0, 0, 0, 0);
            current_ = p + 2;
            return true;
        }
        return array(slot, error);
    case 't':
        if (end_ - p >= 4 && std::memcmp(p, "true", 4) == 0) {
            current_ = p + 4;
            setNode(stack_[slot], Kind::Boolean, 0, 0, 0, 1);
            return true;
        }
        return false;
    case 'f':
        if (end_ - p >= 5 && std::memcmp(p, "false", 5) == 0) {
            current_ = p + 5;
            setNode(stack_[slot], Kind::Boolean, 0, 0, 0, 0);
            return true;
        }
        return false;
    case 'n':
        if (end_ - p >= 4 && std::memcmp(p, "null", 4) == 0) {
            current_ = p + 4;
            setNode(stack_[slot], Kind::Null, 0, 0, 0, 0);
            return true;
        }
        return false;
    default:
        return false;
    }
}

[[gnu::always_inline]] inline bool JSONScanner::number(std::size_t slot, Error* error)
{
    const std::uint8_t* const p = current_;
    const std::uint8_t* const end = end_;
    double v = 0;
    if (hasDefaultDoubleCharacters()) {
        // The same as scanNumber, in one pass: the value's text is a prefix of the run.
        const std::uint8_t* lead;
        v = detail::leadingDecimal(p, end, &lead);
        while (lead < end && kDefaultDoubleCharacters.containsByte(*lead))
            ++lead;
        if (lead == p) {
            setError(error, ErrorCode::kNumber);
            return false;
        }
        current_ = lead;
    } else if (!scanNumber(&v)) {
        setError(error, ErrorCode::kNumber);
        return false;
    }
    setNode(stack_[slot], Kind::Number, 0, 0, 0, std::bit_cast<std::uint64_t>(v));
    return true;
}

[[gnu::always_inline]] inline std::uint16_t JSONScanner::storeNarrow(const std::uint8_t* from, std::size_t n,
                                                                     std::size_t slot)
{
    char* text;
#if defined(__SSE2__)
    if (n <= 32 && end_ - from >= 32) {
        // Sixteen bytes at a time, over the end of the text: the data and the storage both
        // have room for it.
        text = arena().bytesWithRoom(n, 32);
        const __m128i head = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(text), head);
        if (n > 16)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(text + 16),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 16)));
    } else
#endif
    {
        text = arena().bytes(n);
        copyBytes(text, from, n);
    }
    // The hash from the text read, not from the copy just written.
    const std::uint16_t hash = n == 0 ? detail::keyHash(0, 0, 0) : detail::keyHash(n, from[0], from[n - 1]);
    setNode(stack_[slot], Kind::String, detail::kNarrow, hash, std::uint32_t(n), pointerBits(text));
    return hash;
}

void JSONScanner::finishString(std::size_t n, bool ascii, std::size_t slot)
{
    const char16_t* const units = units_;
    const std::uint16_t hash = n == 0 ? detail::keyHash(0, 0, 0) : detail::keyHash(n, units[0], units[n - 1]);
    if (ascii) {
        char* text = arena().bytes(n);
        for (std::size_t i = 0; i < n; ++i)
            text[i] = char(units[i]);
        setNode(stack_[slot], Kind::String, detail::kNarrow, hash, std::uint32_t(n), pointerBits(text));
        return;
    }
    char16_t* p = arena().units(n);
    std::memcpy(p, units, n * sizeof(char16_t));
    setNode(stack_[slot], Kind::String, 0, hash, std::uint32_t(n), pointerBits(p));
}

inline char16_t* JSONScanner::reserveUnits(std::size_t used, std::size_t more)
{
    if (unitsCapacity_ - used >= more) [[likely]]
        return units_;
    return growUnits(used, more);
}

char16_t* JSONScanner::growUnits(std::size_t used, std::size_t more)
{
    std::size_t capacity = std::max<std::size_t>(256, 2 * unitsCapacity_);
    while (capacity - used < more)
        capacity *= 2;
    char16_t* grown = new char16_t[capacity];
    if (used != 0)
        std::memcpy(grown, units_, used * sizeof(char16_t));
    delete[] units_;
    units_ = grown;
    unitsCapacity_ = capacity;
    return grown;
}

bool JSONScanner::string(std::size_t slot, Error* error)
{
    const std::uint8_t* const restore = current_;
    current_ = skipSpace(current_, end_);
    if (current_ >= end_ || *current_ != '"') {
        current_ = restore;
        setError(error, ErrorCode::kStringStart);
        return false;
    }
    ++current_;
    bool nonASCII = false;
    const std::uint8_t* const stop = findStringEnd(current_, end_, nonASCII);
    return stringRest(restore, stop, nonASCII, slot, error);
}

bool JSONScanner::stringRest(const std::uint8_t* restore, const std::uint8_t* p, bool nonASCII, std::size_t slot,
                             Error* error)
{
    // Most strings have no escapes: copy them in one piece, or decode them straight into
    // their storage when they are not ASCII.
    if (p < end_ && *p == '"') {
        const std::size_t n = std::size_t(p - current_);
        if (!nonASCII) {
            storeNarrow(current_, n, slot);
            current_ = p + 1;
            return true;
        }
        // A UTF-8 text never has more UTF-16 units than bytes.
        char16_t* units = arena().units(n);
        const std::size_t count = detail::decodeUTF8Into(current_, n, units);
        if (count == detail::kBadUTF8) {
            arena().giveBack(units, 0, n * sizeof(char16_t));
            current_ = restore;
            setError(error, ErrorCode::kStringUndecodable);
            return false;
        }
        arena().giveBack(units, count * sizeof(char16_t), n * sizeof(char16_t));
        // Not ASCII, so at least one unit.
        setNode(stack_[slot], Kind::String, 0, detail::keyHash(count, units[0], units[count - 1]), std::uint32_t(count),
                pointerBits(units));
        current_ = p + 1;
        return true;
    }

    auto fail = [&](long code) {
        current_ = restore;
        setError(error, code);
        return false;
    };
    // Strings with escapes are collected as UTF-16 units in units_ first; ascii tells
    // whether they can be stored one byte each.
    std::size_t used = 0;
    bool ascii = true;
    // Appends the bytes [current_, to) without escapes.
    auto appendRun = [&](const std::uint8_t* to, bool runNonASCII) {
        const std::size_t n = std::size_t(to - current_);
        char16_t* units = reserveUnits(used, n);
        if (runNonASCII) {
            const std::size_t k = detail::decodeUTF8Into(current_, n, units + used);
            if (k == detail::kBadUTF8)
                return false;
            used += k;
            ascii = false;
        } else {
            for (std::size_t i = 0; i < n; ++i)
                units[used + i] = current_[i];
            used += n;
        }
        current_ = to;
        return true;
    };
    auto appendUnit = [&](char16_t unit) {
        char16_t* units = reserveUnits(used, 1);
        units[used] = unit;
        ++used;
        if (unit >= 0x80)
            ascii = false;
    };

    // Text before the first escape (or the end of the data).
    if (!appendRun(p, nonASCII))
        return fail(ErrorCode::kStringUndecodable);
    for (;;) {
        if (current_ >= end_)
            return fail(ErrorCode::kStringUnterminated);
        const std::uint8_t b = *current_;
        if (b == '"') {
            ++current_;
            finishString(used, ascii, slot);
            return true;
        }
        if (b == '\\') {
            ++current_;
            const char16_t c = scanCharacter();
            switch (c) {
            case '"':
                appendUnit(0x22);
                break;
            case '/':
                appendUnit(0x2F);
                break;
            case '\\':
                appendUnit(0x5C);
                break;
            case 'b':
                appendUnit(0x08);
                break;
            case 'f':
                appendUnit(0x0C);
                break;
            case 'n':
                appendUnit(0x0A);
                break;
            case 'r':
                appendUnit(0x0D);
                break;
            case 't':
                appendUnit(0x09);
                break;
            case 'u': {
                unsigned unit = 0;
                for (int shift = 12; shift >= 0; shift -= 4) {
                    const int digit = hexValue(scanCharacter());
                    if (digit < 0)
                        return fail(ErrorCode::kStringUndecodable);
                    unit |= unsigned(digit) << shift;
                }
                appendUnit(char16_t(unit));
                break;
            }
            default:
                return fail(ErrorCode::kStringEscape);
            }
            continue;
        }
        // A run up to the next quote or backslash.
        const std::uint8_t* runEnd = findStringEnd(current_, end_, nonASCII);
        if (!appendRun(runEnd, nonASCII))
            return fail(ErrorCode::kStringUndecodable);
    }
}

namespace {

// Copies n nodes; most containers are small, and a call to memcpy costs more than they do.
inline void copyNodes(Node* to, const Node* from, std::size_t n)
{
    if (n <= 32) {
        for (std::size_t i = 0; i < n; ++i) {
#if defined(__SSE2__)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i)));
#else
            std::uint64_t words[2];
            std::memcpy(words, from + i, sizeof words);
            std::memcpy(static_cast<void*>(to + i), words, sizeof words);
#endif
        }
        return;
    }
    std::memcpy(static_cast<void*>(to), from, n * sizeof(Node));
}

} // namespace

// The container loops keep the cursor in a local and hand it over to current_ only around
// the calls that read it: a member written and read back on every byte of punctuation
// lengthens the chain that each next byte waits for.

bool JSONScanner::array(std::size_t slot, Error* error)
{
    const std::uint8_t* const restore = current_;
    const std::uint8_t* const end = end_;
    const std::uint8_t* p = current_;
    if (p >= end || *p != '[') {
        setError(error, ErrorCode::kArrayStart);
        return false;
    }
    ++depth_;
    const std::size_t base = stackSize_;
    // Each element's dictionaries guess their first key from the key the array stands under.
    const std::uint32_t context = keyContext_;
    auto fail = [&](long code) {
        current_ = restore;
        stackSize_ = base;
        --depth_;
        setError(error, code);
        return false;
    };
    p = skipSpace(p + 1, end);
    for (;;) {
        if (p < end && *p == ']')
            break;
        const std::size_t element = push(1);
        current_ = p;
        keyContext_ = context;
        if (!value(element, error))
            return fail(ErrorCode::kArrayValue);
        p = skipSpace(current_, end);
        if (p < end && *p == ',') {
            p = skipSpace(p + 1, end);
            continue;
        }
        if (p < end && *p == ']')
            break;
        return fail(ErrorCode::kArrayDelimiter);
    }
    current_ = p + 1;
    --depth_;
    const std::size_t n = stackSize_ - base;
    Node* elements = arena().nodes(n);
    copyNodes(elements, stack_ + base, n);
    stackSize_ = base;
    setNode(stack_[slot], Kind::Array, 0, 0, std::uint32_t(n), pointerBits(elements));
    return true;
}

bool JSONScanner::dictionary(std::size_t slot, Error* error)
{
    const std::uint8_t* const restore = current_;
    const std::uint8_t* const end = end_;
    const std::uint8_t* p = current_;
    if (p >= end || *p != '{') {
        setError(error, ErrorCode::kDictionaryStart);
        return false;
    }
    ++p;
    ++depth_;
    const std::size_t base = stackSize_;
    // Keys seen, one bit of 256 each by their hash. Only a key whose bit is set already is
    // compared with the earlier keys, so most dictionaries are known free of repeated keys
    // when they close.
    std::uint64_t seen[4] = {};
    bool repeated = false;
    // Where the guess for the next key is kept: by the key before it (for the first key, by
    // the key this dictionary stands under). Objects of one shape repeat their keys in the
    // same order.
    std::uint32_t context = 0x10000u + keyContext_;
    auto fail = [&](long code) {
        current_ = restore;
        stackSize_ = base;
        --depth_;
        setError(error, code);
        return false;
    };
    for (;;) {
        if (p < end && *p == '}')
            break;
        p = skipSpace(p, end);
        if (p < end && *p == '}')
            break;
        const std::size_t key = push(2);
        // The hash is kept from the quick path: read back from the node just written, it
        // would wait for that store.
        std::uint16_t hash;
        // The two keys that last followed the same key: one of them, when it matches, is
        // taken without a scan and shares its stored text.
        KeyGuess* const guesses = keyGuesses_[(context * 0x9E3779B1u) >> 24];
        const KeyGuess* hit = nullptr;
        if (p < end && *p == '"') {
            if (guesses[0].text != nullptr && sameKeyAt(p + 1, end, guesses[0]))
                hit = &guesses[0];
            else if (guesses[1].text != nullptr && sameKeyAt(p + 1, end, guesses[1]))
                hit = &guesses[1];
        }
        if (hit != nullptr) {
            setNode(stack_[key], Kind::String, detail::kNarrow, hit->hash, hit->size, pointerBits(hit->text));
            hash = hit->hash;
            p += hit->size + 2;
        } else if (p < end && *p == '"') {
            bool nonASCII = false;
            const std::uint8_t* const body = p + 1;
            const std::uint8_t* const stop = findStringEnd(body, end, nonASCII);
            if (stop < end && *stop == '"' && !nonASCII) {
                const std::size_t n = std::size_t(stop - body);
                hash = storeNarrow(body, n, key);
                // Only keys copied with room after them can be compared a block at a time.
                guesses[1] = guesses[0];
                guesses[0] =
                    n <= 32 && end - body >= 32 ? KeyGuess{stack_[key].narrow, std::uint32_t(n), hash} : KeyGuess{};
                p = stop + 1;
            } else {
                current_ = body;
                if (!stringRest(p, stop, nonASCII, key, error))
                    return fail(ErrorCode::kDictionaryKey);
                p = current_;
                hash = stack_[key].hash;
            }
        } else {
            current_ = p;
            if (!string(key, error))
                return fail(ErrorCode::kDictionaryKey);
            p = current_;
            hash = stack_[key].hash;
        }
        context = hash;
        const std::uint32_t bitIndex = (std::uint32_t(hash) * 0x9E3779B1u) >> 24;
        const std::uint64_t bit = std::uint64_t{1} << (bitIndex & 63);
        if ((seen[bitIndex >> 6] & bit) != 0 && !repeated) {
            // Large dictionaries are sorted when they close, which finds repeats anyway.
            if (key - base > 2 * kSortedDictionaryThreshold) {
                repeated = true;
            } else {
                for (std::size_t j = base; j < key; j += 2) {
                    if (detail::sameString(stack_[j], stack_[key])) {
                        repeated = true;
                        break;
                    }
                }
            }
        }
        seen[bitIndex >> 6] |= bit;
        p = skipSpace(p, end);
        if (p >= end || *p != ':')
            return fail(ErrorCode::kDictionaryColon);
        current_ = p + 1;
        keyContext_ = hash;
        if (!value(key + 1, error))
            return fail(ErrorCode::kDictionaryValue);
        p = skipSpace(current_, end);
        if (p < end && *p == ',') {
            p = skipSpace(p + 1, end);
            if (p < end && *p == '}')
                break;
            continue;
        }
        if (p < end && *p == '}')
            break;
        return fail(ErrorCode::kDictionaryDelimiter);
    }
    current_ = p + 1;
    --depth_;
    finishDictionary(base, slot, repeated);
    return true;
}

void JSONScanner::finishDictionary(std::size_t base, std::size_t slot, bool repeated)
{
    Node* entries = stack_ + base;
    std::uint32_t n = std::uint32_t((stackSize_ - base) / 2);
    Node* stored;
    std::uint8_t flags = 0;
    if (n <= kSortedDictionaryThreshold && !repeated) {
        stored = arena().nodes(2 * std::size_t(n));
        copyNodes(stored, entries, 2 * std::size_t(n));
    } else if (n <= kSortedDictionaryThreshold) {
        // A later equal key replaces the value in place; keys stay in the order of the text.
        std::uint32_t kept = 0;
        auto keep = [&](std::uint32_t i, std::uint32_t j) {
            if (j < kept) {
                entries[2 * j + 1] = entries[2 * i + 1];
                return;
            }
            if (kept != i) {
                entries[2 * kept] = entries[2 * i];
                entries[2 * kept + 1] = entries[2 * i + 1];
            }
            ++kept;
        };
        if (n <= 8) {
            for (std::uint32_t i = 0; i < n; ++i) {
                std::uint32_t j = 0;
                while (j < kept && !detail::sameString(entries[2 * j], entries[2 * i]))
                    ++j;
                keep(i, j);
            }
        } else {
            // Kept positions by key, in an open-addressed table of twice the entries or more.
            std::uint32_t size = 32;
            while (size < 2 * n)
                size *= 2;
            slots_.assign(size, 0);
            const int shift = 64 - std::countr_zero(size);
            for (std::uint32_t i = 0; i < n; ++i) {
                std::uint64_t h = (detail::headerOf(entries[2 * i]) * 0x9E3779B97F4A7C15u) >> shift;
                std::uint32_t j = kept;
                for (;; h = (h + 1) & (size - 1)) {
                    const std::uint32_t s = slots_[h];
                    if (s == 0) {
                        slots_[h] = kept + 1;
                        break;
                    }
                    if (detail::sameString(entries[2 * (s - 1)], entries[2 * i])) {
                        j = s - 1;
                        break;
                    }
                }
                keep(i, j);
            }
        }
        n = kept;
        stored = arena().nodes(2 * std::size_t(n));
        copyNodes(stored, entries, 2 * std::size_t(n));
    } else {
        order_.resize(n);
        for (std::uint32_t i = 0; i < n; ++i)
            order_[i] = i;
        std::sort(order_.begin(), order_.end(), [entries](std::uint32_t a, std::uint32_t b) {
            int c = detail::compareStrings(entries[2 * a], entries[2 * b]);
            return c != 0 ? c < 0 : a < b;
        });
        // Of equal keys, the one written last (the last of its run here) wins.
        std::uint32_t kept = 0;
        for (std::uint32_t i = 0; i < n; ++i)
            if (i + 1 == n || !detail::sameString(entries[2 * order_[i]], entries[2 * order_[i + 1]]))
                order_[kept++] = order_[i];
        stored = arena().nodes(2 * std::size_t(kept));
        for (std::uint32_t i = 0; i < kept; ++i) {
            stored[2 * i] = entries[2 * order_[i]];
            stored[2 * i + 1] = entries[2 * order_[i] + 1];
        }
        n = kept;
        flags = detail::kSorted;
    }
    stackSize_ = base;
    setNode(stack_[slot], Kind::Dictionary, flags, 0, n, pointerBits(stored));
}

} // namespace json
