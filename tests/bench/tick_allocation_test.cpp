// No heap allocation on the polling path: thousands of CheckTime ticks of every kind, on
// the lean platform, with the global operator new and the C library's allocation functions
// replaced in this program by counting ones. Only the ticks are counted: the counters run
// inside a window that the test opens and closes around them.
//
// The recording fake of the unit tests allocates for every call it records, so this test
// links the lean platform instead.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "engine/time_check.h"
#include "tick_kinds.h"

// glibc's own allocator, under the names it keeps for programs that replace malloc.
extern "C" void *__libc_malloc(std::size_t size);
extern "C" void *__libc_calloc(std::size_t count, std::size_t size);
extern "C" void *__libc_realloc(void *memory, std::size_t size);
extern "C" void *__libc_memalign(std::size_t alignment, std::size_t size);
extern "C" void __libc_free(void *memory);

namespace {

std::atomic<bool> g_counting{false};
std::atomic<unsigned long> g_newCalls{0};
std::atomic<unsigned long> g_mallocCalls{0};

void Count(std::atomic<unsigned long> *calls)
{
    if (g_counting.load(std::memory_order_relaxed))
        calls->fetch_add(1, std::memory_order_relaxed);
}

void *NewOrThrow(std::size_t size)
{
    Count(&g_newCalls);
    void *memory = __libc_malloc(size ? size : 1);
    if (!memory)
        throw std::bad_alloc();
    return memory;
}

void *AlignedNewOrThrow(std::size_t size, std::align_val_t alignment)
{
    Count(&g_newCalls);
    void *memory = __libc_memalign(static_cast<std::size_t>(alignment), size ? size : 1);
    if (!memory)
        throw std::bad_alloc();
    return memory;
}

}  // namespace

// ---- the C library's allocation functions ----

extern "C" void *malloc(std::size_t size)
{
    Count(&g_mallocCalls);
    return __libc_malloc(size);
}

extern "C" void *calloc(std::size_t count, std::size_t size)
{
    Count(&g_mallocCalls);
    return __libc_calloc(count, size);
}

extern "C" void *realloc(void *memory, std::size_t size)
{
    Count(&g_mallocCalls);
    return __libc_realloc(memory, size);
}

extern "C" void *memalign(std::size_t alignment, std::size_t size)
{
    Count(&g_mallocCalls);
    return __libc_memalign(alignment, size);
}

extern "C" void *aligned_alloc(std::size_t alignment, std::size_t size)
{
    Count(&g_mallocCalls);
    return __libc_memalign(alignment, size);
}

extern "C" int posix_memalign(void **memory, std::size_t alignment, std::size_t size)
{
    Count(&g_mallocCalls);
    void *aligned = __libc_memalign(alignment, size);
    if (!aligned)
        return ENOMEM;
    *memory = aligned;
    return 0;
}

// ---- the global operator new and delete ----

void *operator new(std::size_t size) { return NewOrThrow(size); }
void *operator new[](std::size_t size) { return NewOrThrow(size); }
void *operator new(std::size_t size, std::align_val_t alignment) { return AlignedNewOrThrow(size, alignment); }
void *operator new[](std::size_t size, std::align_val_t alignment) { return AlignedNewOrThrow(size, alignment); }

void *operator new(std::size_t size, const std::nothrow_t &) noexcept
{
    Count(&g_newCalls);
    return __libc_malloc(size ? size : 1);
}

void *operator new[](std::size_t size, const std::nothrow_t &) noexcept
{
    Count(&g_newCalls);
    return __libc_malloc(size ? size : 1);
}

void operator delete(void *memory) noexcept { __libc_free(memory); }
void operator delete[](void *memory) noexcept { __libc_free(memory); }
void operator delete(void *memory, std::size_t) noexcept { __libc_free(memory); }
void operator delete[](void *memory, std::size_t) noexcept { __libc_free(memory); }
void operator delete(void *memory, std::align_val_t) noexcept { __libc_free(memory); }
void operator delete[](void *memory, std::align_val_t) noexcept { __libc_free(memory); }
void operator delete(void *memory, std::size_t, std::align_val_t) noexcept { __libc_free(memory); }
void operator delete[](void *memory, std::size_t, std::align_val_t) noexcept { __libc_free(memory); }

namespace {

const int kTicksPerKind = 3000;

// Opens the counting window on construction and closes it on destruction.
class CountingWindow {
public:
    CountingWindow()
    {
        g_newCalls = 0;
        g_mallocCalls = 0;
        g_counting = true;
    }
    ~CountingWindow() { g_counting = false; }
    CountingWindow(const CountingWindow &) = delete;
    CountingWindow &operator=(const CountingWindow &) = delete;
};

// Sends standard output to /dev/null while it lives, for the console kind's trace lines.
class QuietStdout {
public:
    QuietStdout()
    {
        std::fflush(stdout);
        saved_ = dup(STDOUT_FILENO);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        close(null);
    }
    ~QuietStdout()
    {
        std::fflush(stdout);
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
    }
    QuietStdout(const QuietStdout &) = delete;
    QuietStdout &operator=(const QuietStdout &) = delete;

private:
    int saved_;
};

TEST(TickAllocationCounter, CountsOperatorNewAndMallocInsideTheWindowOnly)
{
    // Through volatile pointers, so that the compiler cannot leave the calls out.
    void *(*volatile allocate)(std::size_t) = std::malloc;
    void *(*volatile allocateNew)(std::size_t) = ::operator new;
    void *outside = allocate(24);
    void *byNew;
    void *byMalloc;
    {
        CountingWindow window;
        byNew = allocateNew(16);
        byMalloc = allocate(16);
    }
    std::free(outside);
    ::operator delete(byNew);
    std::free(byMalloc);
    EXPECT_EQ(g_newCalls.load(), 1u);
    EXPECT_EQ(g_mallocCalls.load(), 1u);
}

class TickAllocations : public ::testing::TestWithParam<int> {};

TEST_P(TickAllocations, ThousandsOfTicksAllocateNothing)
{
    const TickKind kind = static_cast<TickKind>(GetParam());
    const bool console = kTickKinds[kind].beeps != 0;
    std::uint64_t resultSum = 0;
    unsigned long newCalls;
    unsigned long mallocCalls;
    {
        QuietStdout quiet;
        if (console) {
            // The C library sets up standard output's buffer at its first write; that is
            // its own start-up, not the product's polling path.
            std::printf("\n");
        }
        PrepareTicks(kind);
        {
            CountingWindow window;
            for (int tick = 0; tick < kTicksPerKind; ++tick) {
                RearmTick(kind);
                resultSum += static_cast<std::uint64_t>(CheckTime());
            }
        }
        newCalls = g_newCalls.load();
        mallocCalls = g_mallocCalls.load();
    }
    char why[256] = "";
    EXPECT_TRUE(TickCountsMatch(kind, kTicksPerKind, resultSum, why, sizeof why)) << why;
    EXPECT_EQ(newCalls, 0u) << "operator new calls in " << kTicksPerKind << " ticks";
    EXPECT_EQ(mallocCalls, 0u) << "malloc-family calls in " << kTicksPerKind << " ticks";
}

INSTANTIATE_TEST_SUITE_P(EveryKind, TickAllocations, ::testing::Range(0, static_cast<int>(TICK_KIND_COUNT)),
                         [](const ::testing::TestParamInfo<int> &info) { return kTickKinds[info.param].name; });

}  // namespace
