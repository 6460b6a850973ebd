#include "harvester/SettingsFile.h"

#include "common/RtError.h"
#include "common/SafeSave.h"
#include "common/UniqueHandle.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace {
constexpr size_t kMaxLines = 50;

[[noreturn]] void ReadFailed(const std::string& path, int err)
{
    throw rt::RtError(err == ENOENT ? rt::FileNotFound : rt::PathFileAccessError,
                      "Cannot read the settings file " + path + ": " + std::strerror(err), {});
}
}  // namespace

std::vector<std::string> ReadSettings(const std::string& path)
{
    if (path.empty())
        ReadFailed(path, ENOENT);
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd)
        ReadFailed(path, errno);
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0)
        ReadFailed(path, errno);
    if (S_ISDIR(st.st_mode))
        ReadFailed(path, EISDIR);
    std::string text;
    char buf[4096];
    for (;;) {
        ssize_t n = ::read(fd.Get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            ReadFailed(path, errno);
        if (n == 0)
            break;
        text.append(buf, static_cast<size_t>(n));
    }

    std::vector<std::string> lines;
    size_t i = 0;
    while (i < text.size() && lines.size() < kMaxLines) {
        size_t end = text.find_first_of("\r\n", i);
        if (end == std::string::npos) {
            lines.push_back(text.substr(i));
            break;
        }
        lines.push_back(text.substr(i, end - i));
        // CR LF is one line end; a lone CR or a lone LF (files edited here) too.
        i = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
    return lines;
}

void WriteSettings(const std::string& path, const std::vector<std::string>& lines)
{
    std::string text;
    for (const auto& l : lines)
        text += l + "\r\n";
    try {
        if (path.empty())
            throw rt::RtError(rt::FileNotFound, std::strerror(ENOENT), path);
        WriteAtomically(path, text);
    } catch (const rt::RtError& e) {
        // WriteAtomically says "<reason>: <file>"; keep the reason alone.
        std::string reason = e.what();
        if (!e.Subject().empty() && reason.size() > e.Subject().size() + 2)
            reason.erase(reason.size() - e.Subject().size() - 2);
        throw rt::RtError(e.Number(), "Cannot write the settings file " + path + ": " + reason, {});
    }
}
