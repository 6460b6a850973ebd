// Zip member reading over libzip.
#include "workbook/ZipArchive.h"

#include "workbook/Workbook.h"

#include <zip.h>

namespace wb::detail {

ZipArchive::ZipArchive(std::string path) : path_(std::move(path))
{
    int code = 0;
    zip_ = zip_open(path_.c_str(), ZIP_RDONLY, &code);
    if (!zip_) {
        zip_error_t err;
        zip_error_init_with_code(&err, code);
        std::string why = zip_error_strerror(&err);
        zip_error_fini(&err);
        throw Error(path_ + ": damaged zip package (" + why + ")");
    }
}

ZipArchive::ZipArchive(std::string path, std::string bytes) : path_(std::move(path)), bytes_(std::move(bytes))
{
    // Reading from memory spares libzip's many seeks and stats on the file.
    zip_error_t err;
    zip_error_init(&err);
    zip_source_t* src = zip_source_buffer_create(bytes_.data(), bytes_.size(), 0, &err);
    if (src) {
        zip_ = zip_open_from_source(src, ZIP_RDONLY, &err);
        if (!zip_)
            zip_source_free(src);
    }
    if (!zip_) {
        std::string why = zip_error_strerror(&err);
        zip_error_fini(&err);
        throw Error(path_ + ": damaged zip package (" + why + ")");
    }
    zip_error_fini(&err);
}

ZipArchive::~ZipArchive()
{
    if (zip_)
        zip_discard(zip_);
}

long long ZipArchive::Locate(const std::string& name) const
{
    zip_int64_t i = zip_name_locate(zip_, name.c_str(), 0);
    if (i < 0)  // part names are case-insensitive in packages
        i = zip_name_locate(zip_, name.c_str(), ZIP_FL_NOCASE);
    return i;
}

bool ZipArchive::Has(const std::string& name) const { return Locate(name) >= 0; }

ZipMember::ZipMember(const ZipArchive& zip, std::string name, zip_file_t* f, long long stored, size_t limit)
    : zip_(zip), name_(std::move(name)), f_(f), stored_(stored), limit_(limit)
{
}

ZipMember::~ZipMember() { zip_fclose(f_); }

size_t ZipMember::Read(char* dst, size_t n)
{
    const std::string where = zip_.Path() + ": " + name_;
    const zip_int64_t got = zip_fread(f_, dst, n);
    if (got < 0)
        throw Error(where + ": damaged part (" + zip_file_strerror(f_) + ")");
    used_ += size_t(got);
    // More than the stored size is damage; stopping here also keeps a bomb
    // with a small stated size from inflating up to the bound.
    if (stored_ >= 0 && used_ > size_t(stored_))
        throw Error(where + ": part larger than its stored size (" + std::to_string(stored_) + " bytes)");
    if (used_ > limit_)
        throw Error(where + ": part inflates beyond " + std::to_string(limit_) + " bytes");
    return size_t(got);
}

std::unique_ptr<ZipMember> ZipArchive::Open(const std::string& name, size_t limit) const
{
    const zip_int64_t index = Locate(name);
    if (index < 0)
        return nullptr;
    const std::string where = path_ + ": " + name;
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(zip_, zip_uint64_t(index), 0, &st) != 0)
        throw Error(where + ": " + zip_strerror(zip_));
    if ((st.valid & ZIP_STAT_SIZE) && st.size > limit)
        throw Error(where + ": part too large (" + std::to_string(st.size) + " bytes, more than the limit of " +
                    std::to_string(limit) + ")");
    zip_file_t* f = zip_fopen_index(zip_, zip_uint64_t(index), 0);
    if (!f)
        throw Error(where + ": cannot open the part (" + zip_strerror(zip_) + ")");
    const long long stored = (st.valid & ZIP_STAT_SIZE) ? (long long)st.size : -1;
    return std::unique_ptr<ZipMember>(new ZipMember(*this, name, f, stored, limit));
}

std::optional<std::string> ZipArchive::Read(const std::string& name, size_t limit) const
{
    auto member = Open(name, limit);
    if (!member)
        return std::nullopt;
    std::string data;
    size_t used = 0;
    // The stored size may lie: grow as the bytes come.
    data.resize(std::min(limit, size_t(1) << 16) + 1);
    for (;;) {
        if (used == data.size())
            data.resize(std::min(limit + 1, data.size() * 2));
        const size_t got = member->Read(data.data() + used, data.size() - used);
        if (got == 0)
            break;
        used += got;
    }
    data.resize(used);
    return data;
}

std::string ZipArchive::ReadRequired(const std::string& name, size_t limit) const
{
    auto data = Read(name, limit);
    if (!data)
        throw Error(path_ + ": the part " + name + " is missing");
    return std::move(*data);
}

}  // namespace wb::detail
