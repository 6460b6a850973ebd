#include "common/modUtil.h"

#include <cerrno>
#include <filesystem>
#include <unistd.h>

std::string TrimSpaces(std::string_view s)
{
    const size_t b = s.find_first_not_of(' ');
    if (b == std::string_view::npos)
        return {};
    return std::string(s.substr(b, s.find_last_not_of(' ') - b + 1));
}

std::string Lower(std::string s)
{
    for (char& c : s)
        c = Lower(c);
    return s;
}

bool IsFile(const std::string& name)
{
    std::error_code ec;
    return !name.empty() && std::filesystem::is_regular_file(name, ec);
}

int WriteAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t put = ::write(fd, data.data(), data.size());
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return put < 0 ? errno : EIO;  // 0 for a non-empty write would loop forever
        data.remove_prefix(static_cast<size_t>(put));
    }
    return 0;
}

void AppendOneLine(std::string& out, std::string_view s)
{
    size_t from = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        const auto u = static_cast<unsigned char>(s[i]);
        if (u >= 0x20 && u != 0x7f)
            continue;
        out.append(s, from, i - from);  // the run before, as it is
        from = i + 1;
        if (u == '\n') {
            out += "\\n";
        } else if (u == '\r') {
            out += "\\r";
        } else if (u == '\t') {
            out += "\\t";
        } else {
            static const char hex[] = "0123456789ABCDEF";
            const char escaped[] = {'\\', 'x', hex[u >> 4], hex[u & 15]};
            out.append(escaped, sizeof escaped);
        }
    }
    out.append(s, from);
}

std::string OneLine(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    AppendOneLine(out, s);
    return out;
}

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path)
{
    return path.substr(path.rfind('/') + 1);
}

std::string WithoutPath(std::string message, const std::string& path)
{
    if (message.rfind(path + ": ", 0) == 0)
        message.erase(0, path.size() + 2);
    const std::string tail = ": " + path;
    if (message.size() > tail.size() && message.compare(message.size() - tail.size(), tail.size(), tail) == 0)
        message.erase(message.size() - tail.size());
    return message;
}
