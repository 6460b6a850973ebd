#pragma once
// One stream of an OLE2 compound file (the container of .xls workbooks),
// read through libgsf. libgsf reports damage on GLib's log before it returns
// its error; those lines are caught here and become part of our wb::Error
// instead of reaching the user's terminal.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace wb::detail {

// The eight bytes every compound file starts with.
bool HasCompoundSignature(const void* data, size_t size);

class CompoundStream {
public:
    // Opens the first of `names` (any letter case) that the file holds.
    // Throws wb::Error naming `path`: not a compound file, damaged, or none
    // of the streams present.
    CompoundStream(const std::string& path, std::initializer_list<std::string_view> names);
    ~CompoundStream();
    CompoundStream(const CompoundStream&) = delete;
    CompoundStream& operator=(const CompoundStream&) = delete;

    const std::string& Name() const { return name_; }
    uint64_t Size() const { return size_; }

    // Copies `n` bytes from `pos` into `dst`. False when the range passes the
    // end of the stream or libgsf cannot read it (a damaged sector chain);
    // LastProblem() then tells what libgsf said, if anything.
    bool Read(uint64_t pos, size_t n, uint8_t* dst);
    const std::string& LastProblem() const { return problem_; }

private:
    struct Handles;
    std::unique_ptr<Handles> h_;
    std::string name_;
    uint64_t size_ = 0;
    std::string problem_;
    std::vector<uint8_t> cache_;  // the whole stream, when it is small
    bool cached_ = false;
};

// Writes a compound file holding one stream: how tests and the fuzz target
// wrap a hand-made or damaged workbook stream. Throws wb::Error.
void WriteCompoundFile(const std::string& path, const std::string& streamName, const void* data, size_t size);

}  // namespace wb::detail
