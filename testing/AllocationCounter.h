#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Counts every heap allocation of the program that links this library, at the C library
// level: malloc, calloc, realloc, reallocarray and the aligned forms (memalign,
// aligned_alloc, posix_memalign, valloc, pvalloc), on every thread. C++ new and delete
// reach these through the standard library, so what cairo, GLib, OpenAL Soft, libcurl
// and our own code allocate is seen alike.
//
// It works by defining those functions in the program itself and passing each call on to
// glibc; a sanitizer that replaces malloc cannot share the program with it, so sanitized
// builds leave the library and the programs that link it out.
namespace alloccount {

// Calls that asked for memory (every realloc to a non-zero size counts, moved or not)
// since the program started, on every thread.
std::uint64_t allocations();
// The same, made by the calling thread only.
std::uint64_t threadAllocations();
// Usable bytes of the blocks not yet freed.
std::size_t liveBytes();
// The highest liveBytes() since the start or the last resetPeak().
std::size_t peakBytes();
void resetPeak();

// Allocations on every thread between construction and count(). While the newest Span
// lives, the call stack of the first allocation it sees is kept, so that a test that
// expected none can say where it came from.
class Span final {
public:
    Span();
    ~Span();
    Span(const Span&) = delete;
    Span& operator=(const Span&) = delete;

    std::uint64_t count() const { return allocations() - m_start; }
    // The first allocation's call stack, one frame a line; empty when there was none.
    std::string firstAllocation() const;

private:
    std::uint64_t m_start{0};
};

} // namespace alloccount
