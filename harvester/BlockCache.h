#pragma once
// Freed memory blocks kept by each thread for the next request of their size,
// in front of malloc: glean's operator new and delete (glean/NewDelete.cpp).
// Reading a workbook allocates and frees the same few dozen blocks each time;
// glibc serves blocks over 1 KiB (the file's bytes, the lines, the cells)
// from its bins, at several hundred instructions a block, and the small ones
// at some hundred. Here a block is taken from, or put on, a list of its size.
//
// Sizes are rounded up to one of 104 classes: 16 bytes apart up to 1 KiB,
// then eight to each power of two up to 32 KiB. Larger blocks, and blocks
// over a thread's limits, go straight back to malloc. The lists are the
// thread's own; a block may be given back on another thread than the one
// that took it. A thread's blocks are freed when it ends.
#include <cstddef>

namespace blockcache {

// A block of at least n bytes, aligned as malloc's. Throws std::bad_alloc
// (after the new-handler, as operator new does).
void* Take(std::size_t n);
// A block from Take, or null; with n, a block that Take(n) gave, known
// without asking malloc its size.
void Give(void* p) noexcept;
void Give(void* p, std::size_t n) noexcept;

// What Take(n) allocates when no block is kept: n rounded up to its class,
// or n itself when it is too large for one.
std::size_t BlockSize(std::size_t n);
// The bytes the calling thread keeps.
std::size_t KeptBytes();
// Frees what the calling thread keeps.
void FreeKept();

// The calling thread keeps at most this much of a class, and of all.
constexpr std::size_t kClassLimit = std::size_t(256) << 10;
constexpr std::size_t kThreadLimit = std::size_t(1) << 20;
constexpr std::size_t kLargestKept = std::size_t(32) << 10;

}  // namespace blockcache
