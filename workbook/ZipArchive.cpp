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

std::optional<std::string> ZipArchive::Read(const std::string& name, size_t limit) const
{
    const zip_int64_t index = Locate(name);
    if (index < 0)
        return std::nullopt;
    const std::string where = path_ + ": " + name;
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(zip_, zip_uint64_t(index), 0, &st) != 0)
        throw Error(where + ": " + zip_strerror(zip_));
    if ((st.valid & ZIP_STAT_SIZE) && st.size > limit)
        throw Error(where + ": part too large (" + std::to_string(st.size) + " bytes)");
    zip_file_t* f = zip_fopen_index(zip_, zip_uint64_t(index), 0);
    if (!f)
        throw Error(where + ": cannot open the part (" + zip_strerror(zip_) + ")");
    std::string data;
    // The stored size may lie; read in chunks and stop at the bound.
    const size_t expected = (st.valid & ZIP_STAT_SIZE) ? size_t(st.size) : 0;
    data.resize(expected + 1);
    size_t used = 0;
    for (;;) {
        if (used == data.size()) {
            if (data.size() > limit) {
                zip_fclose(f);
                throw Error(where + ": part inflates beyond " + std::to_string(limit) + " bytes");
            }
            data.resize(std::min(limit + 1, data.size() * 2 + 4096));
        }
        const zip_int64_t got = zip_fread(f, data.data() + used, data.size() - used);
        if (got < 0) {
            std::string why = zip_file_strerror(f);
            zip_fclose(f);
            throw Error(where + ": damaged part (" + why + ")");
        }
        if (got == 0)
            break;
        used += size_t(got);
        // More than the stored size is damage; stopping here also keeps a
        // bomb with a small stated size from inflating up to the bound.
        if ((st.valid & ZIP_STAT_SIZE) && used > expected) {
            zip_fclose(f);
            throw Error(where + ": part larger than its stored size (" + std::to_string(expected) +
                        " bytes)");
        }
    }
    zip_fclose(f);
    if (used > limit)
        throw Error(where + ": part inflates beyond " + std::to_string(limit) + " bytes");
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
