#include "harvester/WorkbookList.h"

#include "common/RtError.h"
#include "common/UniqueHandle.h"
#include "common/modUtil.h"
#include "harvester/RunErrors.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <sys/stat.h>

namespace {

constexpr char kSep = '/';

// "*" and "?" only, letters in any case, as names match on the desktop
// systems the forms come from; "[" is an ordinary character.
bool WildcardMatch(const char* p, const char* s)
{
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*s) {
        if (*p == '?' || (*p && *p != '*' && Lower(*p) == Lower(*s))) {
            ++p;
            ++s;
        } else if (*p == '*') {
            star = p++;
            resume = s;
        } else if (star) {
            p = star + 1;
            s = ++resume;
        } else {
            return false;
        }
    }
    while (*p == '*')
        ++p;
    return *p == 0;
}

bool IsWorkbookName(const std::string& name)
{
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || name.size() - dot - 1 < 3 || name.size() - dot - 1 > 4)
        return false;
    char lower[4];
    const size_t size = name.size() - dot - 1;
    for (size_t i = 0; i < size; ++i)
        lower[i] = Lower(name[dot + 1 + i]);
    const std::string_view ext(lower, size);
    return ext == "xls" || ext == "xlsx" || ext == "xlsm" || ext == "xlsb" || ext == "ods";
}

bool IsRegular(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::string AbsolutePath(const std::string& path)
{
    std::error_code ec;
    auto p = std::filesystem::absolute(path, ec);
    return ec ? path : p.lexically_normal().string();
}

std::string AbsoluteFolder(const std::string& folder)
{
    std::string abs = AbsolutePath(folder);
    if (abs.empty() || abs.back() != kSep)
        abs += kSep;
    return abs;
}

std::string RealFolder(const std::string& folder)
{
    std::string real;
    if (char* r = ::realpath(folder.c_str(), nullptr)) {
        real = r;
        std::free(r);
        if (real.back() != kSep)
            real += kSep;
    }
    return real;
}

WorkbookSource ReadWorkbookSource(const std::string& inText)
{
    std::string text = TrimSpaces(inText);
    if (text.empty())
        throw ConfigError("No input folder given.");
    if (text.size() > 1 && text.back() == kSep)
        text.pop_back();
    if (text.find(kSep) == std::string::npos) {
        std::error_code ec;
        text = std::filesystem::current_path(ec).string() + kSep + text;
    }

    WorkbookSource src;
    struct stat st {};
    if (text.find_first_of("*?") == std::string::npos) {
        if (::stat(text.c_str(), &st) != 0) {
            if (errno == ENOENT || errno == ENOTDIR)
                throw ConfigError("The input folder does not exist: " + text);
            throw ConfigError("Cannot read the input folder " + text + ": " + std::strerror(errno));
        }
        if (S_ISDIR(st.st_mode)) {
            src.folder = text;
            return src;
        }
        if (!S_ISREG(st.st_mode))
            throw ConfigError("The input is neither a folder nor a file: " + text);
        src.oneFile = true;
    }
    src.folder = FolderOf(text);  // text has a "/" by now
    src.pattern = NameOf(text);
    if (!src.oneFile && (::stat(src.folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)))
        throw ConfigError("The input folder does not exist: " + src.folder);
    return src;
}

bool Selects(const WorkbookSource& src, const std::string& name)
{
    if (src.oneFile)
        return name == src.pattern;
    // Hidden files and the lock files office programs leave beside open workbooks.
    if (name.empty() || name[0] == '.' || name.rfind("~$", 0) == 0)
        return false;
    return src.pattern.empty() ? IsWorkbookName(name) : WildcardMatch(src.pattern.c_str(), name.c_str());
}

std::vector<std::string> ListWorkbooks(const WorkbookSource& src, const std::vector<std::string>& skip)
{
    const std::string prefix = src.folder == "/" ? "/" : src.folder + kSep;
    // The names `skip` holds in this folder, as made absolute once and, for
    // a folder named through a link to where the run's own files are, with
    // its links resolved: a listed name has no "/" and is not "." or "..".
    std::vector<std::string> skipNames;
    if (!skip.empty()) {
        const std::string absPrefix = AbsoluteFolder(src.folder), realPrefix = RealFolder(src.folder);
        for (const std::string* folder : {&absPrefix, &realPrefix}) {
            if (folder->empty() || (folder == &realPrefix && realPrefix == absPrefix))
                continue;  // no link: the absolute folder will do
            for (const std::string& path : skip)
                if (path.size() > folder->size() && path.starts_with(*folder) &&
                    path.find(kSep, folder->size()) == std::string::npos)
                    skipNames.push_back(path.substr(folder->size()));
        }
    }
    auto skipped = [&](std::string_view name) {
        return std::find(skipNames.begin(), skipNames.end(), name) != skipNames.end();
    };
    if (src.oneFile)
        return skipped(src.pattern) ? std::vector<std::string>{} : std::vector<std::string>{prefix + src.pattern};

    UniqueDir dir(::opendir(src.folder.c_str()));
    if (!dir)
        return {};
    // The names one after the other in one buffer; sorted as std::string
    // sorts them (bytes unsigned), by their first eight bytes first: sorting
    // a thousand strings themselves cost more than listing them.
    struct Name {
        uint64_t head;  // the first eight bytes, big-endian, zeros after a short name
        size_t at;
        uint32_t size;  // of one name: at most a few hundred bytes
    };
    std::string buffer;
    std::vector<Name> names;
    std::string name;
    while (dirent* e = ::readdir(dir.Get())) {
        name.assign(e->d_name);
        if (!Selects(src, name))
            continue;
        if (e->d_type != DT_REG && (e->d_type != DT_UNKNOWN && e->d_type != DT_LNK))
            continue;
        if (e->d_type != DT_REG && !IsRegular(prefix + name))
            continue;
        if (skipped(name))
            continue;
        uint64_t head = 0;
        for (size_t i = 0; i < 8; ++i)
            head = head << 8 | (i < name.size() ? static_cast<unsigned char>(name[i]) : 0u);
        names.push_back({head, buffer.size(), static_cast<uint32_t>(name.size())});
        buffer += name;
    }
    std::sort(names.begin(), names.end(), [&buffer](const Name& a, const Name& b) {
        if (a.head != b.head)
            return a.head < b.head;
        return std::string_view(buffer).substr(a.at, a.size) < std::string_view(buffer).substr(b.at, b.size);
    });
    std::vector<std::string> paths(names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        paths[i].reserve(prefix.size() + names[i].size);
        paths[i].assign(prefix).append(buffer, names[i].at, names[i].size);
    }
    return paths;
}

std::vector<std::string> ListWorkbooks(const std::string& inText)
{
    try {
        return ListWorkbooks(ReadWorkbookSource(inText));
    } catch (const ConfigError&) {
        return {};
    }
}

void MoveWorkbook(const std::string& path, const std::string& dest)
{
    auto fail = [&](int err) {
        throw rt::RtError(rt::PathFileAccessError, "Cannot move the workbook to " + dest + ": " + std::strerror(err),
                          {});
    };
    // rename replaces a file of the same name there in one step.
    if (::rename(path.c_str(), dest.c_str()) == 0)
        return;
    if (errno != EXDEV)
        fail(errno);

    // Another file system: copy beside the destination, rename it into place,
    // then remove the original.
    const std::string name = NameOf(dest);
    const std::string tmp = dest.substr(0, dest.size() - name.size()) + ".~moving." + name;
    std::error_code ec;
    std::filesystem::copy_file(path, tmp, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) {
        std::filesystem::remove(tmp, ec);
        fail(ec.value());
    }
    if (::rename(tmp.c_str(), dest.c_str()) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        fail(err);
    }
    if (::unlink(path.c_str()) != 0)
        throw rt::RtError(rt::PathFileAccessError,
                          "Cannot remove the moved workbook " + path + ": " + std::strerror(errno), {});
}
