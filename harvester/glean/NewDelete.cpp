// glean's operator new and delete: through the thread's kept blocks. All
// but the aligned forms, which keep to their own aligned_alloc and free.
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
void* operator new(std::size_t n, const std::nothrow_t&) noexcept
{
    try {
        return blockcache::Take(n);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept
{
    return operator new(n, t);
}
void operator delete(void* p, const std::nothrow_t&) noexcept
{
    blockcache::Give(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    blockcache::Give(p);
}
