#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

namespace json {

namespace detail {
struct Node;
}

enum class Kind : std::uint8_t {
    None,    // no value at all (a failed read, a missing key, an index out of range)
    Null,    // the one null value
    Boolean, // true or false, never a number
    Number,  // a 64-bit float, also for integer text
    String,  // a sequence of UTF-16 code units
    Array,
    Dictionary, // string keys; a later duplicate key has replaced the earlier one
};

// An immutable JSON value. A Value is a small shared handle: copying it is cheap, and it
// keeps the storage of the whole document it came from alive, so values stay valid after
// the input bytes and the reader are gone. A default-made Value is "none".
//
// Every accessor is total: asking a value of the wrong kind for something gives none, 0,
// false or an empty result, never undefined behaviour.
class Value final {
public:
    Value() = default;

    // The null value (all null values compare equal and report isNull()).
    static Value null();

    Kind kind() const;
    explicit operator bool() const { return node_ != nullptr; }
    bool isNone() const { return node_ == nullptr; }
    bool isNull() const { return kind() == Kind::Null; }
    bool isBoolean() const { return kind() == Kind::Boolean; }
    bool isNumber() const { return kind() == Kind::Number; }
    bool isString() const { return kind() == Kind::String; }
    bool isArray() const { return kind() == Kind::Array; }
    bool isDictionary() const { return kind() == Kind::Dictionary; }

    // Booleans and numbers.
    bool boolean() const;                   // false unless this is the boolean true
    double number() const;                  // 0 unless this is a number
    std::optional<bool> asBoolean() const;  // only for booleans
    std::optional<double> asNumber() const; // only for numbers

    // Strings. length() and unitAt() count UTF-16 code units.
    std::size_t length() const;
    char16_t unitAt(std::size_t index) const; // 0 when out of range
    std::u16string utf16() const;
    // UTF-8 text; a lone surrogate unit becomes U+FFFD, the only change made.
    std::string utf8() const;
    std::optional<std::string> asString() const; // UTF-8, only for strings
    bool equals(std::u16string_view units) const;
    bool equalsUTF8(std::string_view text) const;

    // Arrays and dictionaries.
    std::size_t count() const;         // elements or entries; 0 for other kinds
    Value at(std::size_t index) const; // array element, none when out of range
    // Any integer type is an index (so v[0] is no null key pointer); negative ones give none.
    template <std::integral I> Value operator[](I index) const
    {
        if constexpr (std::is_signed_v<I>) {
            if (index < 0)
                return {};
        }
        return at(std::size_t(index));
    }
    // Dictionary lookup by a UTF-8 key; none when absent or when this is no dictionary.
    Value get(std::string_view key) const;
    Value operator[](std::string_view key) const { return get(key); }
    Value operator[](const char* key) const { return get(std::string_view{key}); }
    Value objectForKey(std::u16string_view key) const;
    // Convenience: the UTF-8 text of a string member, none when absent or not a string.
    std::optional<std::string> stringForKey(std::string_view key) const;

    // The key and value of entry i of a dictionary, in storage order (key order of the
    // text is not kept).
    Value keyAt(std::size_t index) const;
    Value valueAt(std::size_t index) const;

    struct Entry;

    class ElementIterator;
    class EntryIterator;
    template <class It> struct Range {
        It first;
        It last;
        It begin() const { return first; }
        It end() const { return last; }
    };
    Range<ElementIterator> elements() const; // empty unless an array
    Range<EntryIterator> entries() const;    // empty unless a dictionary

    // Deep equality: same kind and same contents (dictionaries regardless of order; numbers
    // by ==, so NaN never occurs and -0 equals 0).
    bool operator==(const Value& other) const;

    // For the reader itself.
    explicit Value(std::shared_ptr<const detail::Node> node) : node_{std::move(node)} { }
    const detail::Node* node() const { return node_.get(); }

private:
    Value child(const detail::Node* node) const;

    std::shared_ptr<const detail::Node> node_;
};

struct Value::Entry {
    Value key;
    Value value;
};

class Value::ElementIterator {
public:
    using difference_type = std::ptrdiff_t;
    using value_type = Value;
    ElementIterator() = default;
    ElementIterator(Value owner, std::size_t index) : owner_{std::move(owner)}, index_{index} { }
    Value operator*() const { return owner_.at(index_); }
    ElementIterator& operator++()
    {
        ++index_;
        return *this;
    }
    ElementIterator operator++(int)
    {
        auto old = *this;
        ++index_;
        return old;
    }
    bool operator==(const ElementIterator& o) const { return index_ == o.index_; }

private:
    Value owner_; // held, so that a range over a temporary stays valid
    std::size_t index_{};
};

class Value::EntryIterator {
public:
    using difference_type = std::ptrdiff_t;
    using value_type = Value::Entry;
    EntryIterator() = default;
    EntryIterator(Value owner, std::size_t index) : owner_{std::move(owner)}, index_{index} { }
    Value::Entry operator*() const { return {owner_.keyAt(index_), owner_.valueAt(index_)}; }
    EntryIterator& operator++()
    {
        ++index_;
        return *this;
    }
    EntryIterator operator++(int)
    {
        auto old = *this;
        ++index_;
        return old;
    }
    bool operator==(const EntryIterator& o) const { return index_ == o.index_; }

private:
    Value owner_; // held, so that a range over a temporary stays valid
    std::size_t index_{};
};

inline Value::Range<Value::ElementIterator> Value::elements() const
{
    return {ElementIterator{*this, 0}, ElementIterator{*this, isArray() ? count() : 0}};
}

inline Value::Range<Value::EntryIterator> Value::entries() const
{
    return {EntryIterator{*this, 0}, EntryIterator{*this, isDictionary() ? count() : 0}};
}

} // namespace json
