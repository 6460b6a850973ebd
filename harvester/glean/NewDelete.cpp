// glean's operator new and delete: through the thread's kept blocks. The
// nothrow and array forms of the C++ runtime call these; the aligned forms
// keep to their own aligned_alloc and free.
#include "harvester/BlockCache.h"

#include <new>

void* operator new(std::size_t n)
{
    return blockcache::Take(n);
}
void* operator new[](std::size_t n)
{
    return blockcache::Take(n);
}
void operator delete(void* p) noexcept
{
    blockcache::Give(p);
}
void operator delete[](void* p) noexcept
{
    blockcache::Give(p);
}
void operator delete(void* p, std::size_t n) noexcept
{
    blockcache::Give(p, n);
}
void operator delete[](void* p, std::size_t n) noexcept
{
    blockcache::Give(p, n);
}
