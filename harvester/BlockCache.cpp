#include "harvester/BlockCache.h"

#include <cstdint>
#include <cstdlib>
#include <malloc.h>
#include <new>

namespace blockcache {
namespace {

constexpr int kFine = 64;                     // classes 16 bytes apart, up to 1 KiB
constexpr int kSteps = 8;                     // then eight to each power of two
constexpr int kClasses = kFine + 5 * kSteps;  // up to 32 KiB

constexpr std::size_t SizeOf(int c)
{
    if (c < kFine)
        return std::size_t(c + 1) << 4;
    const int k = 11 + (c - kFine) / kSteps, step = (c - kFine) % kSteps;
    return (std::size_t(1) << (k - 1)) + (std::size_t(step + 1) << (k - 4));
}
static_assert(SizeOf(kClasses - 1) == kLargestKept);

// The smallest class that holds n bytes; kClasses when none does.
inline int ClassOf(std::size_t n)
{
    if (n <= 1024)
        return n == 0 ? 0 : static_cast<int>((n + 15) >> 4) - 1;
    if (n > kLargestKept)
        return kClasses;
    const int k = 64 - __builtin_clzll(n - 1);  // 2^(k-1) < n <= 2^k
    return kFine + (k - 11) * kSteps + static_cast<int>((n - (std::size_t(1) << (k - 1)) - 1) >> (k - 4));
}

// The largest class that a block of u usable bytes holds: malloc may hand
// out more than was asked for. -1 when it is larger than any block Take
// makes from malloc (the largest class, plus what malloc may add to it).
inline int ClassIn(std::size_t u)
{
    if (u > kLargestKept + 64)
        return -1;
    const int c = ClassOf(u);
    return c == kClasses || SizeOf(c) > u ? c - 1 : c;
}

struct Block {
    Block* next;
};

// Constant-initialised and trivially destroyed: reached with one load,
// without the guard that a thread_local with a destructor needs.
struct Lists {
    Block* head[kClasses];
    std::size_t bytes[kClasses];
    std::size_t total;
    bool reaped;  // the thread is ending: give everything back to malloc
};
thread_local Lists lists{};

void FreeAll()
{
    const bool reaped = lists.reaped;
    for (int c = 0; c < kClasses; ++c)
        while (Block* b = lists.head[c]) {
            lists.head[c] = b->next;
            std::free(b);
        }
    lists = Lists{};
    lists.reaped = reaped;
}

// Frees the thread's blocks when it ends. Made on the thread's first malloc
// here, which comes before any block is kept.
struct Reaper {
    Reaper() = default;
    ~Reaper()
    {
        lists.reaped = true;
        FreeAll();
    }
};
thread_local bool reaperMade = false;

void MakeReaper()
{
    reaperMade = true;  // first: should making it allocate, that finds it made
    thread_local Reaper reaper;
    (void)reaper;
}

void* Allocate(std::size_t n)
{
    for (bool freed = false;;) {
        if (void* p = std::malloc(n))
            return p;
        if (!freed && lists.total > 0) {  // what the thread keeps first
            FreeAll();
            freed = true;
            continue;
        }
        std::new_handler handler = std::get_new_handler();
        if (!handler)
            throw std::bad_alloc();
        handler();
    }
}

}  // namespace

void* Take(std::size_t n)
{
    const int c = ClassOf(n);
    if (c < kClasses) {
        if (Block* b = lists.head[c]) {
            lists.head[c] = b->next;
            lists.bytes[c] -= SizeOf(c);
            lists.total -= SizeOf(c);
            return b;
        }
        n = SizeOf(c);
        if (!reaperMade && !lists.reaped)
            MakeReaper();
    }
    return Allocate(n);
}

namespace {
inline void Keep(void* p, int c)
{
    if (c < 0 || c == kClasses || lists.reaped || !reaperMade || lists.bytes[c] + SizeOf(c) > kClassLimit ||
        lists.total + SizeOf(c) > kThreadLimit) {
        std::free(p);
        return;
    }
    lists.head[c] = ::new (p) Block{lists.head[c]};
    lists.bytes[c] += SizeOf(c);
    lists.total += SizeOf(c);
}
}  // namespace

void Give(void* p) noexcept
{
    if (p)
        Keep(p, ClassIn(malloc_usable_size(p)));
}

void Give(void* p, std::size_t n) noexcept
{
    // Taken for n bytes: of n's class, or larger.
    if (p)
        Keep(p, ClassOf(n));
}

std::size_t BlockSize(std::size_t n)
{
    const int c = ClassOf(n);
    return c < kClasses ? SizeOf(c) : n;
}

std::size_t KeptBytes()
{
    return lists.total;
}

void FreeKept()
{
    FreeAll();
}

}  // namespace blockcache
