#include "AllocationCounter.h"

#include <execinfo.h>
#include <malloc.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>

// glibc's own entry points, which the definitions below pass every call on to.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void __libc_free(void* block);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void* __libc_valloc(std::size_t size);
void* __libc_pvalloc(std::size_t size);
}

namespace {

// Plain atomics with constant initialisation: they work before any constructor has run,
// which matters because the dynamic loader and libc allocate that early.
std::atomic<std::uint64_t> gAllocations{0};
std::atomic<std::int64_t> gLive{0};
std::atomic<std::int64_t> gPeak{0};
// initial-exec: reading it never calls into the loader, which could allocate.
__attribute__((tls_model("initial-exec"))) thread_local std::uint64_t tAllocations{0};

// The first allocation seen while a Span is armed: its call stack, taken by the thread
// that wins the claim.
constexpr int kMaxFrames = 48;
std::atomic<bool> gArmed{false};
std::atomic<bool> gClaimed{false};
void* gFrames[kMaxFrames];
int gFrameCount{0};
std::atomic<bool> gFramesReady{false};

void captureFirst()
{
    bool expected = false;
    if (!gArmed.load(std::memory_order_relaxed) || !gClaimed.compare_exchange_strong(expected, true))
        return;
    // backtrace() does not allocate once it has run once (the Span warms it up).
    gFrameCount = backtrace(gFrames, kMaxFrames);
    gFramesReady.store(true, std::memory_order_release);
}

void noteBlock(void* block)
{
    if (block == nullptr)
        return;
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    ++tAllocations;
    captureFirst();
    auto size = static_cast<std::int64_t>(malloc_usable_size(block));
    std::int64_t live = gLive.fetch_add(size, std::memory_order_relaxed) + size;
    std::int64_t peak = gPeak.load(std::memory_order_relaxed);
    while (live > peak && !gPeak.compare_exchange_weak(peak, live, std::memory_order_relaxed)) { }
}

void forgetBlock(void* block)
{
    if (block != nullptr)
        gLive.fetch_sub(static_cast<std::int64_t>(malloc_usable_size(block)), std::memory_order_relaxed);
}

bool isPowerOfTwo(std::size_t n)
{
    return n != 0 && (n & (n - 1)) == 0;
}

} // namespace

namespace alloccount {

std::uint64_t allocations()
{
    return gAllocations.load(std::memory_order_relaxed);
}
std::uint64_t threadAllocations()
{
    return tAllocations;
}
std::size_t liveBytes()
{
    std::int64_t live = gLive.load(std::memory_order_relaxed);
    return live > 0 ? static_cast<std::size_t>(live) : 0;
}
std::size_t peakBytes()
{
    std::int64_t peak = gPeak.load(std::memory_order_relaxed);
    return peak > 0 ? static_cast<std::size_t>(peak) : 0;
}
void resetPeak()
{
    gPeak.store(gLive.load(std::memory_order_relaxed), std::memory_order_relaxed);
}

Span::Span()
{
    void* warm[2];
    backtrace(warm, 2); // loads the unwinder now rather than inside an allocation
    gFramesReady.store(false);
    gFrameCount = 0;
    gClaimed.store(false);
    m_start = allocations();
    gArmed.store(true);
}

Span::~Span()
{
    gArmed.store(false);
}

std::string Span::firstAllocation() const
{
    if (!gFramesReady.load(std::memory_order_acquire))
        return {};
    std::string text;
    char** names = backtrace_symbols(gFrames, gFrameCount);
    for (int i = 0; i < gFrameCount; ++i) {
        text += names ? names[i] : "?";
        text += '\n';
    }
    std::free(names);
    return text;
}

} // namespace alloccount

extern "C" {

void* malloc(std::size_t size) noexcept
{
    void* block = __libc_malloc(size);
    noteBlock(block);
    return block;
}

void* calloc(std::size_t count, std::size_t size) noexcept
{
    void* block = __libc_calloc(count, size);
    noteBlock(block);
    return block;
}

void* realloc(void* block, std::size_t size) noexcept
{
    if (size == 0 && block != nullptr) {
        forgetBlock(block);
        return __libc_realloc(block, 0);
    }
    // Forgotten before the call: a block that moves is freed inside it.
    forgetBlock(block);
    void* moved = __libc_realloc(block, size);
    if (moved == nullptr && block != nullptr) {
        // Failed: the old block is still there.
        auto kept = static_cast<std::int64_t>(malloc_usable_size(block));
        gLive.fetch_add(kept, std::memory_order_relaxed);
        return nullptr;
    }
    noteBlock(moved);
    return moved;
}

// glibc's own reallocarray calls a private realloc that would bypass the count.
void* reallocarray(void* block, std::size_t count, std::size_t size) noexcept
{
    std::size_t bytes = 0;
    if (__builtin_mul_overflow(count, size, &bytes)) {
        errno = ENOMEM;
        return nullptr;
    }
    return realloc(block, bytes);
}

void free(void* block) noexcept
{
    forgetBlock(block);
    __libc_free(block);
}

void* memalign(std::size_t alignment, std::size_t size) noexcept
{
    void* block = __libc_memalign(alignment, size);
    noteBlock(block);
    return block;
}

void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept
{
    return memalign(alignment, size);
}

int posix_memalign(void** out, std::size_t alignment, std::size_t size) noexcept
{
    if (!isPowerOfTwo(alignment) || alignment % sizeof(void*) != 0)
        return EINVAL;
    void* block = memalign(alignment, size);
    if (block == nullptr)
        return ENOMEM;
    *out = block;
    return 0;
}

void* valloc(std::size_t size) noexcept
{
    void* block = __libc_valloc(size);
    noteBlock(block);
    return block;
}

void* pvalloc(std::size_t size) noexcept
{
    void* block = __libc_pvalloc(size);
    noteBlock(block);
    return block;
}

} // extern "C"
