#pragma once
// One owner for a raw C handle (file descriptor, FILE*, DIR*, a library's
// handle): closed when the owner goes, however the scope is left.
//
//   UniqueFd fd(::open(path, O_RDONLY));
//   if (!fd) ...errno...;
//   ::read(fd.Get(), ...);
#include <cstdio>
#include <dirent.h>
#include <unistd.h>
#include <utility>

// Traits: Handle (the raw type), Invalid() and Close(Handle).
template <class Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() = default;
    explicit UniqueHandle(Handle h) : h_(h) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& o) noexcept : h_(o.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept
    {
        if (this != &o)
            Reset(o.Release());
        return *this;
    }

    Handle Get() const { return h_; }
    explicit operator bool() const { return h_ != Traits::Invalid(); }

    // Gives the handle up without closing it.
    Handle Release() { return std::exchange(h_, Traits::Invalid()); }
    // Closes the handle held (if any) and takes h.
    void Reset(Handle h = Traits::Invalid())
    {
        Handle old = std::exchange(h_, h);
        if (old != Traits::Invalid())
            Traits::Close(old);
    }

private:
    Handle h_ = Traits::Invalid();
};

struct FdTraits {
    using Handle = int;
    static constexpr int Invalid() { return -1; }
    static void Close(int fd) { ::close(fd); }
};
struct FileTraits {
    using Handle = std::FILE*;
    static constexpr std::FILE* Invalid() { return nullptr; }
    static void Close(std::FILE* f) { std::fclose(f); }
};
struct DirTraits {
    using Handle = DIR*;
    static constexpr DIR* Invalid() { return nullptr; }
    static void Close(DIR* d) { ::closedir(d); }
};

using UniqueFd = UniqueHandle<FdTraits>;
using UniqueFile = UniqueHandle<FileTraits>;
using UniqueDir = UniqueHandle<DirTraits>;
