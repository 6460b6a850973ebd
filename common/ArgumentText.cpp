#include "common/ArgumentText.h"

std::string ArgumentText(const std::vector<std::string>& args)
{
    std::string text;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i > 0)
            text += ' ';
        const auto& a = args[i];
        if (!a.empty() && a.find_first_of(" \"") == std::string::npos) {
            text += a;
            continue;
        }
        // Quoted, with inner quotes doubled: both splitters read them back as one.
        text += '"';
        for (const char c : a)
            text += c == '"' ? std::string("\"\"") : std::string(1, c);
        text += '"';
    }
    return text;
}

std::string ArgumentText(int argc, const char* const* argv)
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    return ArgumentText(args);
}
