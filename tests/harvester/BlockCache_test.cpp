// The blocks each thread keeps for glean's operator new. Under
// AddressSanitizer a block smaller than its class, written to its class's
// size, is a heap overflow; a block a thread leaves behind is a leak.
#include "harvester/BlockCache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <thread>
#include <vector>

using namespace blockcache;

namespace {

// Every block the test takes goes back before the test ends, so each starts
// with what the thread kept from the last.
struct Taken {
    std::vector<void*> blocks;
    ~Taken()
    {
        for (void* p : blocks)
            Give(p);
    }
    void* Add(std::size_t n)
    {
        blocks.push_back(Take(n));
        std::memset(blocks.back(), 0xA5, BlockSize(n));
        return blocks.back();
    }
};

// Each test starts with nothing kept on its thread, whatever ran before; a
// thread keeps blocks once it has taken one.
class BlockCache : public ::testing::Test {
protected:
    void SetUp() override
    {
        Give(Take(1));
        FreeKept();
    }
    void TearDown() override { FreeKept(); }
};

}  // namespace

TEST_F(BlockCache, RoundsUpToItsClass)
{
    const struct {
        std::size_t n, size;
    } cases[] = {
        {0, 16},        {1, 16},        {16, 16},       {17, 32},       {1000, 1008},       {1024, 1024},
        {1025, 1152},   {1152, 1152},   {1153, 1280},   {2047, 2048},   {2049, 2304},       {8704, 9216},
        {16385, 18432}, {32767, 32768}, {32768, 32768}, {32769, 32769}, {1 << 20, 1 << 20},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BlockSize(c.n), c.size) << c.n;
    // No class is more than an eighth (or 15 bytes) over what was asked for.
    for (std::size_t n = 1; n <= kLargestKept; ++n) {
        const std::size_t size = BlockSize(n);
        ASSERT_GE(size, n);
        ASSERT_LE(size - n, std::max<std::size_t>(15, n / 8)) << n;
    }
}

TEST_F(BlockCache, GivesBackTheBlockOfTheSameClass)
{
    const std::size_t sizes[] = {1, 48, 1000, 1025, 3000, 8704, 32767};
    for (const bool sized : {false, true})  // as delete gives it back, with or without its size
        for (const std::size_t n : sizes) {
            void* p = Take(n);
            std::memset(p, 1, BlockSize(n));
            sized ? Give(p, n) : Give(p);
            void* q = Take(BlockSize(n));  // the largest request of the class
            EXPECT_EQ(q, p) << n << " " << sized;
            std::memset(q, 2, BlockSize(n));
            void* other = Take(BlockSize(n) + 1);  // the next class up
            EXPECT_NE(other, p) << n;
            Give(other, BlockSize(n) + 1);
            Give(q, BlockSize(n));
        }
    // Too large to keep: straight back to malloc.
    const std::size_t before = KeptBytes();
    Give(Take(kLargestKept + 100));
    Give(Take(kLargestKept + 1), kLargestKept + 1);
    EXPECT_EQ(KeptBytes(), before);
}

TEST_F(BlockCache, KeepsAMallocBlockByWhatItHolds)
{
    // malloc may hand out more than was asked; a block is kept in the largest
    // class it holds, never in the one above what it holds.
    const std::size_t sizes[] = {20, 1100, 1151, 5000, 32800};
    for (const std::size_t n : sizes) {
        void* p = std::malloc(n);
        ASSERT_NE(p, nullptr);
        std::size_t held = std::min(malloc_usable_size(p), kLargestKept);
        while (BlockSize(held) != held)  // down to a class's size
            --held;
        Give(p);
        Taken t;
        void* q = t.Add(held);  // written to its class's size
        EXPECT_EQ(q, p) << n;
    }
}

TEST_F(BlockCache, KeepsNoMoreThanItsLimits)
{
    Taken t;
    // One class: 3 KiB blocks, twice the class's limit of them.
    for (std::size_t k = 0; k < 2 * kClassLimit / 3072; ++k)
        t.Add(3072);
    for (void* p : t.blocks)
        Give(p);
    t.blocks.clear();
    EXPECT_LE(KeptBytes(), kClassLimit);
    EXPECT_GE(KeptBytes(), kClassLimit - 3072);

    // All classes together: far more than the thread's limit.
    for (std::size_t n = 1100; n <= kLargestKept; n += 97)
        for (int k = 0; k < 16; ++k)
            t.Add(n);
    for (void* p : t.blocks)
        Give(p);
    t.blocks.clear();
    EXPECT_LE(KeptBytes(), kThreadLimit);
    EXPECT_GE(KeptBytes(), kThreadLimit - kLargestKept);
}

TEST_F(BlockCache, BlocksGoBetweenThreadsAndEndWithThem)
{
    // Taken on one thread and given back on others, which then end: what
    // they kept is freed (LeakSanitizer reports it otherwise).
    std::vector<void*> blocks;
    for (int k = 0; k < 200; ++k)
        blocks.push_back(Take(static_cast<std::size_t>(16 + k * 97)));
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t)
        threads.emplace_back([&blocks, t] {
            Give(Take(64));  // a thread that has taken a block keeps them
            for (std::size_t k = static_cast<std::size_t>(t); k < blocks.size(); k += 2)
                Give(blocks[k]);
            EXPECT_GT(KeptBytes(), 0u);
            // And serves them again on that thread.
            void* p = Take(16);
            std::memset(p, 3, 16);
            Give(p);
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(KeptBytes(), 0u);  // this thread's lists are its own
}
