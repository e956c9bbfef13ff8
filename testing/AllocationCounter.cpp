#include "AllocationCounter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::uint64_t> gAllocations{0};
std::atomic<std::size_t> gLive{0};
std::atomic<std::size_t> gPeak{0};

// Each block remembers its size in a header so that delete can count it back; 16 bytes
// keep the block aligned for any fundamental type.
constexpr std::size_t kHeader = 16;

void* countedNew(std::size_t n)
{
    void* raw = std::malloc(n + kHeader);
    if (raw == nullptr)
        throw std::bad_alloc();
    *static_cast<std::size_t*>(raw) = n;
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    std::size_t live = gLive.fetch_add(n, std::memory_order_relaxed) + n;
    std::size_t peak = gPeak.load(std::memory_order_relaxed);
    while (live > peak && !gPeak.compare_exchange_weak(peak, live, std::memory_order_relaxed)) { }
    return static_cast<char*>(raw) + kHeader;
}

void countedDelete(void* p) noexcept
{
    if (p == nullptr)
        return;
    void* raw = static_cast<char*>(p) - kHeader;
    gLive.fetch_sub(*static_cast<std::size_t*>(raw), std::memory_order_relaxed);
    std::free(raw);
}

} // namespace

namespace alloccount {

std::uint64_t allocations()
{
    return gAllocations.load(std::memory_order_relaxed);
}
std::size_t liveBytes()
{
    return gLive.load(std::memory_order_relaxed);
}
std::size_t peakBytes()
{
    return gPeak.load(std::memory_order_relaxed);
}
void resetPeak()
{
    gPeak.store(gLive.load(std::memory_order_relaxed), std::memory_order_relaxed);
}

} // namespace alloccount

// The nothrow forms of the standard library call these, so replacing these four pairs
// covers every unaligned new and delete.
void* operator new(std::size_t n)
{
    return countedNew(n);
}
void* operator new[](std::size_t n)
{
    return countedNew(n);
}
void operator delete(void* p) noexcept
{
    countedDelete(p);
}
void operator delete[](void* p) noexcept
{
    countedDelete(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    countedDelete(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    countedDelete(p);
}
