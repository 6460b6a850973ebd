// glean's operator new and delete (harvester/glean/NewDelete.cpp), in a
// program of their own: they replace those of every part of the program
// that links them, the C++ runtime's too. What goes through the blocks the
// thread keeps shows in KeptBytes.
#include "harvester/BlockCache.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

using namespace blockcache;

namespace {

struct Hundred {
    char bytes[100];
};
struct alignas(64) Aligned {
    char bytes[64];
};

// The bytes a delete leaves kept on this thread.
template <class F>
std::size_t KeptBy(F f)
{
    FreeKept();
    f();
    return KeptBytes();
}

}  // namespace

TEST(NewDelete, EveryFormGoesThroughTheKeptBlocksButTheAligned)
{
    delete new int(1);  // the thread takes a block: from now on it keeps them
    const struct {
        const char* what;
        std::size_t kept;
        std::function<void()> run;
    } cases[] = {
        {"new, sized delete", BlockSize(sizeof(Hundred)), [] { delete new Hundred{}; }},
        {"new[], unsized delete[]", BlockSize(3000), [] { delete[] new char[3000]; }},
        {"nothrow new[]", BlockSize(1200), [] { delete[] new (std::nothrow) char[1200]; }},
        {"a string's text", BlockSize(5001), [] { std::string s(5000, 'x'); }},
        {"a vector grown", BlockSize(8) + BlockSize(16) + BlockSize(32),
         [] {
             std::vector<double> v;
             for (int i = 0; i < 4; ++i)
                 v.push_back(i);
         }},
        {"too large to keep", 0, [] { delete[] new char[kLargestKept + 100]; }},
        {"aligned: malloc's own", 0, [] { delete new Aligned{}; }},
    };
    for (const auto& c : cases)
        EXPECT_EQ(KeptBy(c.run), c.kept) << c.what;
}

TEST(NewDelete, ABlockKeptIsTakenAgainWholeAndZeroBytesAreDistinct)
{
    char* a = new char[1000];
    delete[] a;
    char* b = new char[1000];
    EXPECT_EQ(b, a);
    std::memset(b, 1, 1000);
    delete[] b;
    std::unique_ptr<char[]> z1(new char[0]), z2(new char[0]);
    EXPECT_NE(z1.get(), z2.get());
}

TEST(NewDelete, BlocksMadeOnOneThreadAndFreedOnAnother)
{
    // Helper threads make what the main thread frees, as glean's readers
    // do; each thread's blocks go when it ends (LeakSanitizer tells).
    std::vector<std::string*> made;
    std::thread helper([&made] {
        for (int i = 0; i < 500; ++i)
            made.push_back(new std::string(std::size_t(20 + i * 7), 'y'));
        std::vector<char> own(100000);
    });
    helper.join();
    std::size_t kept = KeptBy([&made] {
        for (std::string* s : made)
            delete s;
    });
    EXPECT_GT(kept, 0u);
    EXPECT_LE(kept, kThreadLimit);
}
