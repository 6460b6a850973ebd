#include "harvester/SettingsFile.h"

#include "common/RtError.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace {
constexpr size_t kMaxLines = 50;
}

std::vector<std::string> ReadSettings(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (path.empty() || !in)
        throw rt::RtError(rt::FileNotFound, path);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw rt::RtError(rt::PathFileAccessError, path);

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
    if (path.empty())
        throw rt::RtError(rt::FileNotFound, path);
    std::string text;
    for (const auto& l : lines)
        text += l + "\r\n";
    std::string tmp = path + ".tmp" + std::to_string(getpid());
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out)
            throw rt::RtError(rt::PathFileAccessError, path);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.flush();
        if (!out) {
            out.close();
            std::remove(tmp.c_str());
            throw rt::RtError(rt::PathFileAccessError, path);
        }
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        std::remove(tmp.c_str());
        throw rt::RtError(rt::PathFileAccessError, path);
    }
}
