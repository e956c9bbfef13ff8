#pragma once

#include <cstdint>
#include <string_view>

namespace json {

// A set of characters tested against single bytes. The scanners see every byte as the
// character of the same value (0-255), so members above 255 can never match and are not
// stored.
class CharacterSet final {
public:
    constexpr CharacterSet() = default;
    // The characters of an ASCII (or Latin-1 byte) string.
    constexpr explicit CharacterSet(std::string_view characters)
    {
        for (unsigned char c : characters)
            add(c);
    }
    explicit CharacterSet(std::u16string_view characters)
    {
        for (char16_t c : characters)
            add(c);
    }

    constexpr void add(char16_t c)
    {
        if (c < 256)
            bits_[c >> 6] |= std::uint64_t{1} << (c & 63);
    }
    constexpr bool contains(char16_t c) const { return c < 256 && ((bits_[c >> 6] >> (c & 63)) & 1u) != 0; }
    constexpr bool containsByte(std::uint8_t b) const { return ((bits_[b >> 6] >> (b & 63)) & 1u) != 0; }

    constexpr bool operator==(const CharacterSet&) const = default;

private:
    std::uint64_t bits_[4]{};
};

} // namespace json
