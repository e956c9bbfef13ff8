// The counter behind every zero-allocation test: if it missed a kind of allocation, or
// another thread's, those tests would pass for the wrong reason.
#include <gtest/gtest.h>

#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>

#include "AllocationCounter.h"

namespace {

// Keeps the compiler from pairing a malloc with its free and removing both.
void* escape(void* p)
{
    asm volatile("" : : "g"(p) : "memory");
    return p;
}

} // namespace

TEST(AllocationCounter, SeesEveryKindOfAllocationOnEveryThread)
{
    const std::size_t liveBefore = alloccount::liveBytes();
    alloccount::Span span;
    const auto mine = alloccount::threadAllocations();

    void* a = escape(std::malloc(100));
    void* b = escape(std::calloc(10, 10));
    a = escape(std::realloc(a, 5000));
    void* c = nullptr;
    ASSERT_EQ(posix_memalign(&c, 64, 100), 0);
    void* d = escape(aligned_alloc(256, 512));
    void* e = escape(memalign(32, 64));
    char* f = strdup("made inside the C library"); // libc's own call to malloc
    auto* g = static_cast<int*>(escape(new int[7]));
    auto* h = static_cast<char*>(escape(new (std::align_val_t{128}) char[300]));
    const auto all = span.count();
    const auto ours = alloccount::threadAllocations() - mine;
    const auto live = alloccount::liveBytes() - liveBefore;
    EXPECT_EQ(all, 9u);
    EXPECT_EQ(ours, 9u);
    EXPECT_GE(live, 5000u + 100 + 100 + 512 + 64 + 28 + 300);

    // Another thread's allocations are seen, and are not this thread's.
    const auto beforeThread = alloccount::threadAllocations();
    std::thread other([] { std::free(escape(std::malloc(10))); });
    const auto started = alloccount::threadAllocations() - beforeThread; // the thread's state
    other.join();
    const auto withThread = span.count();
    const auto oursWithThread = alloccount::threadAllocations() - beforeThread;
    EXPECT_GE(withThread, all + started + 1) << "another thread's allocation was missed";
    EXPECT_EQ(oursWithThread, started) << "another thread's allocation was counted as this one's";

    // realloc(nullptr) allocates; realloc to nothing frees.
    const auto beforeRealloc = alloccount::threadAllocations();
    void* grown = escape(std::realloc(nullptr, 16));
    EXPECT_EQ(alloccount::threadAllocations() - beforeRealloc, 1u);
    EXPECT_EQ(std::realloc(grown, 0), nullptr);
    volatile std::size_t huge = SIZE_MAX / 2;
    EXPECT_EQ(reallocarray(nullptr, huge, 3), nullptr) << "an overflowing size must fail";

    std::free(a);
    std::free(b);
    std::free(c);
    std::free(d);
    std::free(e);
    std::free(f);
    delete[] g;
    operator delete[](h, std::align_val_t{128});
    // Everything given back: the live count is where it was (the thread's own start-up
    // blocks may linger, so allow for them).
    EXPECT_LT(alloccount::liveBytes(), liveBefore + 4096);

    alloccount::resetPeak();
    const std::size_t base = alloccount::peakBytes();
    std::free(escape(std::malloc(1 << 20)));
    EXPECT_GE(alloccount::peakBytes() - base, std::size_t{1} << 20);
}
