#include "json/Value.h"

#include <algorithm>
#include <new>

#include "json/Node.h"
#include "json/Utf.h"

namespace json {
namespace detail {

Arena::~Arena()
{
    for (char* chunk : chunks_)
        ::operator delete(chunk);
}

void* Arena::grow(std::size_t bytes, std::size_t align)
{
    std::size_t size = std::max(nextChunk_, bytes + align);
    char* chunk = static_cast<char*>(::operator new(size));
    chunks_.push_back(chunk);
    cur_ = chunk;
    end_ = chunk + size;
    nextChunk_ = laterChunks_;
    return allocate(bytes, align);
}

int compareStrings(const Node& a, const Node& b)
{
    const std::size_t n = std::min(a.size, b.size);
    if ((a.flags & kNarrow) && (b.flags & kNarrow)) {
        int c = n == 0 ? 0 : std::memcmp(a.narrow, b.narrow, n);
        if (c != 0)
            return c < 0 ? -1 : 1;
    } else {
        for (std::size_t i = 0; i < n; ++i) {
            char16_t x = unitOf(a, i), y = unitOf(b, i);
            if (x != y)
                return x < y ? -1 : 1;
        }
    }
    return a.size == b.size ? 0 : (a.size < b.size ? -1 : 1);
}

bool equalStrings(const Node& a, const Node& b)
{
    // A string is narrow exactly when all its units are ASCII, so the forms must agree.
    if (a.size != b.size || a.hash != b.hash || (a.flags & kNarrow) != (b.flags & kNarrow))
        return false;
    if (a.size == 0)
        return true;
    if (a.flags & kNarrow)
        return std::memcmp(a.narrow, b.narrow, a.size) == 0;
    return std::memcmp(a.wide, b.wide, a.size * sizeof(char16_t)) == 0;
}

int compareWithUnits(const Node& a, std::u16string_view b)
{
    const std::size_t n = std::min<std::size_t>(a.size, b.size());
    for (std::size_t i = 0; i < n; ++i) {
        char16_t x = unitOf(a, i);
        if (x != b[i])
            return x < b[i] ? -1 : 1;
    }
    return a.size == b.size() ? 0 : (a.size < b.size() ? -1 : 1);
}

} // namespace detail

using detail::Node;

namespace {

const Node kNullNode{};

bool isASCII(std::string_view s)
{
    for (unsigned char c : s)
        if (c >= 0x80)
            return false;
    return true;
}

} // namespace

Value Value::null()
{
    // Aliases no owner: the one null node lives for the whole program.
    return Value{std::shared_ptr<const Node>(std::shared_ptr<const Node>(), &kNullNode)};
}

Value Value::child(const Node* node) const
{
    return Value{std::shared_ptr<const Node>(node_, node)};
}

Kind Value::kind() const
{
    return node_ ? node_->kind : Kind::None;
}

bool Value::boolean() const
{
    return isBoolean() && node_->boolean;
}
double Value::number() const
{
    return isNumber() ? node_->number : 0.0;
}

std::optional<bool> Value::asBoolean() const
{
    if (!isBoolean())
        return std::nullopt;
    return node_->boolean;
}

std::optional<double> Value::asNumber() const
{
    if (!isNumber())
        return std::nullopt;
    return node_->number;
}

std::size_t Value::length() const
{
    return isString() ? node_->size : 0;
}

char16_t Value::unitAt(std::size_t index) const
{
    if (!isString() || index >= node_->size)
        return 0;
    return detail::unitOf(*node_, index);
}

std::u16string Value::utf16() const
{
    if (!isString())
        return {};
    if (node_->flags & detail::kNarrow)
        return std::u16string(node_->narrow, node_->narrow + node_->size);
    return std::u16string(node_->wide, node_->size);
}

std::string Value::utf8() const
{
    if (!isString())
        return {};
    if (node_->flags & detail::kNarrow)
        return std::string(node_->narrow, node_->size);
    std::string out;
    out.reserve(node_->size * 3);
    detail::appendUTF16AsUTF8(std::u16string_view(node_->wide, node_->size), out);
    return out;
}

std::optional<std::string> Value::asString() const
{
    if (!isString())
        return std::nullopt;
    return utf8();
}

bool Value::equals(std::u16string_view units) const
{
    return isString() && detail::compareWithUnits(*node_, units) == 0;
}

bool Value::equalsUTF8(std::string_view text) const
{
    if (!isString())
        return false;
    if (node_->flags & detail::kNarrow)
        return text.size() == node_->size &&
               (text.empty() || std::memcmp(text.data(), node_->narrow, text.size()) == 0);
    auto units = detail::decodeUTF8(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    return units && equals(*units);
}

std::size_t Value::count() const
{
    return (isArray() || isDictionary()) ? node_->size : 0;
}

Value Value::at(std::size_t index) const
{
    if (!isArray() || index >= node_->size)
        return {};
    return child(&node_->children[index]);
}

Value Value::keyAt(std::size_t index) const
{
    if (!isDictionary() || index >= node_->size)
        return {};
    return child(&node_->children[2 * index]);
}

Value Value::valueAt(std::size_t index) const
{
    if (!isDictionary() || index >= node_->size)
        return {};
    return child(&node_->children[2 * index + 1]);
}

Value Value::objectForKey(std::u16string_view key) const
{
    if (!isDictionary())
        return {};
    const Node* entries = node_->children;
    const std::size_t n = node_->size;
    if (node_->flags & detail::kSorted) {
        std::size_t lo = 0, hi = n;
        while (lo < hi) {
            std::size_t mid = lo + (hi - lo) / 2;
            int c = detail::compareWithUnits(entries[2 * mid], key);
            if (c == 0)
                return child(&entries[2 * mid + 1]);
            if (c < 0)
                lo = mid + 1;
            else
                hi = mid;
        }
        return {};
    }
    for (std::size_t i = 0; i < n; ++i)
        if (detail::compareWithUnits(entries[2 * i], key) == 0)
            return child(&entries[2 * i + 1]);
    return {};
}

Value Value::get(std::string_view key) const
{
    if (!isDictionary())
        return {};
    if (isASCII(key) && !(node_->flags & detail::kSorted)) {
        // The common case: ASCII keys, compared byte for byte with narrow keys.
        const Node* entries = node_->children;
        const std::uint16_t hash = key.empty()
                                       ? detail::keyHash(0, 0, 0)
                                       : detail::keyHash(key.size(), char16_t(key.front()), char16_t(key.back()));
        for (std::size_t i = 0; i < node_->size; ++i) {
            const Node& k = entries[2 * i];
            if (k.hash == hash && (k.flags & detail::kNarrow) && k.size == key.size() &&
                (key.empty() || std::memcmp(k.narrow, key.data(), key.size()) == 0))
                return child(&entries[2 * i + 1]);
        }
        return {};
    }
    auto units = detail::decodeUTF8(reinterpret_cast<const std::uint8_t*>(key.data()), key.size());
    if (!units)
        return {};
    return objectForKey(*units);
}

std::optional<std::string> Value::stringForKey(std::string_view key) const
{
    return get(key).asString();
}

bool Value::operator==(const Value& other) const
{
    const Kind k = kind();
    if (k != other.kind())
        return false;
    const Node* a = node_.get();
    const Node* b = other.node_.get();
    switch (k) {
    case Kind::None:
    case Kind::Null:
        return true;
    case Kind::Boolean:
        return a->boolean == b->boolean;
    case Kind::Number:
        return a->number == b->number;
    case Kind::String:
        return detail::equalStrings(*a, *b);
    case Kind::Array:
        if (a->size != b->size)
            return false;
        for (std::size_t i = 0; i < a->size; ++i)
            if (!(at(i) == other.at(i)))
                return false;
        return true;
    case Kind::Dictionary:
        if (a->size != b->size)
            return false;
        for (std::size_t i = 0; i < a->size; ++i) {
            Value key = keyAt(i);
            if (!(valueAt(i) == other.objectForKey(key.utf16())))
                return false;
        }
        return true;
    }
    return false;
}

} // namespace json
