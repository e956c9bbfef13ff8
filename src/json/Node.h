#pragma once

// Storage of parsed values: compact tagged nodes in an arena that the document's values
// share. Internal to the reader.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "json/Value.h"

namespace json::detail {

inline constexpr std::uint8_t kNarrow = 1; // string: every unit < 0x80, stored one byte each
inline constexpr std::uint8_t kSorted = 2; // dictionary: entries sorted by key units

struct Node {
    Kind kind{Kind::Null};
    std::uint8_t flags{0};
    std::uint16_t hash{0}; // strings: keyHash() of the units, to tell most keys apart fast
    std::uint32_t size{0}; // string units, array elements or dictionary entries
    union {
        double number;
        bool boolean;
        const char* narrow;
        const char16_t* wide;
        const Node* children; // arrays: size nodes; dictionaries: 2*size nodes, key then value
    };

    Node() : number{0} { }
};
static_assert(sizeof(Node) == 16);

// A bump allocator. Memory comes from operator new in chunks that grow geometrically and
// is given back all at once when the last value of the document goes away.
class Arena final {
public:
    // The first chunk is made for the whole document; later ones are smaller, so that the
    // unused end of the last chunk stays small next to the document.
    Arena(std::size_t firstChunk, std::size_t laterChunks)
        : nextChunk_{firstChunk < 256 ? 256 : firstChunk},
          laterChunks_{laterChunks < 4096 ? 4096 : laterChunks}
    {
    }
    ~Arena();
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;

    void* allocate(std::size_t bytes, std::size_t align)
    {
        auto at = (reinterpret_cast<std::uintptr_t>(cur_) + (align - 1)) & ~(std::uintptr_t(align) - 1);
        if (cur_ != nullptr && at + bytes <= reinterpret_cast<std::uintptr_t>(end_)) {
            cur_ = reinterpret_cast<char*>(at + bytes);
            return reinterpret_cast<void*>(at);
        }
        return grow(bytes, align);
    }

    // Shrinks the latest allocation, p of allocated bytes, to its first used bytes.
    void giveBack(void* p, std::size_t used, std::size_t allocated)
    {
        if (static_cast<char*>(p) + allocated == cur_)
            cur_ = static_cast<char*>(p) + used;
    }

    // n bytes, with at least pad writable bytes after them that stay free: block copies
    // may write past their end.
    char* bytesWithRoom(std::size_t n, std::size_t pad)
    {
        if (cur_ != nullptr && std::size_t(end_ - cur_) >= n + pad) {
            char* p = cur_;
            cur_ += n;
            return p;
        }
        char* p = static_cast<char*>(grow(n + pad, 1));
        cur_ = p + n;
        return p;
    }

    Node* nodes(std::size_t n) { return static_cast<Node*>(allocate(n * sizeof(Node), alignof(Node))); }
    char* bytes(std::size_t n) { return static_cast<char*>(allocate(n, 1)); }
    char16_t* units(std::size_t n) { return static_cast<char16_t*>(allocate(n * 2, alignof(char16_t))); }

private:
    void* grow(std::size_t bytes, std::size_t align);

    std::vector<char*> chunks_;
    char* cur_{};
    char* end_{};
    std::size_t nextChunk_;
    std::size_t laterChunks_;
};

// The units of a string node, widened one by one.
inline char16_t unitOf(const Node& s, std::size_t i)
{
    return (s.flags & kNarrow) ? char16_t(static_cast<unsigned char>(s.narrow[i])) : s.wide[i];
}

// A cheap 16-bit digest of a string's units (length, first and last unit): it rules out
// most unequal keys before their units are compared.
inline std::uint16_t keyHash(std::size_t size, char16_t first, char16_t last)
{
    return std::uint16_t(size * 0x9E37u ^ (unsigned(first) * 31u) ^ (unsigned(last) << 7));
}
inline std::uint16_t keyHash(const Node& s)
{
    return s.size == 0 ? keyHash(0, 0, 0) : keyHash(s.size, unitOf(s, 0), unitOf(s, s.size - 1));
}

// Kind, flags, hash and size of a node as one word: two string nodes with different headers
// differ, and most unequal keys already differ here.
inline std::uint64_t headerOf(const Node& s)
{
    std::uint64_t header;
    std::memcpy(&header, &s, sizeof header);
    return header;
}

// Equality of two string nodes, the header first.
inline bool sameString(const Node& a, const Node& b)
{
    // A string is narrow exactly when all its units are ASCII, so the forms must agree.
    if (headerOf(a) != headerOf(b))
        return false;
    if (a.size == 0)
        return true;
    if (a.flags & kNarrow)
        return std::memcmp(a.narrow, b.narrow, a.size) == 0;
    return std::memcmp(a.wide, b.wide, a.size * sizeof(char16_t)) == 0;
}

// Order and equality of string nodes by their UTF-16 code units.
int compareStrings(const Node& a, const Node& b);
bool equalStrings(const Node& a, const Node& b);
// Compares a string node with UTF-16 units.
int compareWithUnits(const Node& a, std::u16string_view b);

} // namespace json::detail
