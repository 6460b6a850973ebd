#include "common/modGetWords.h"

#include "common/RtError.h"

namespace {

constexpr std::size_t kMaxLine = 32766;  // one position is taken by the closing line feed
constexpr std::size_t kMaxWords = 80;

std::string_view TrimSpaces(std::string_view s)
{
    const auto first = s.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

}  // namespace

WordList GetWords(std::string_view line)
{
    if (line.size() > kMaxLine)
        throw rt::RtError(rt::Overflow);

    WordList words(1);
    auto append = [&words](std::string_view w) {
        if (words.size() > kMaxWords)
            throw rt::RtError(rt::SubscriptOutOfRange);
        words.emplace_back(w);
    };
    const auto rejected = [] { return WordList(1); };

    // Position n stands for the line feed that closes the last word.
    const std::size_t n = line.size();
    auto at = [&](std::size_t k) { return k < n ? line[k] : '\n'; };

    std::size_t i = 0;
    while (i <= n) {
        const char c = at(i);
        if (c == ' ') {
            ++i;
        } else if (c == ',' || c == '\n') {
            append({});
            ++i;
        } else if (c == '"') {
            std::string content;
            std::size_t from = i + 1;
            for (;;) {
                const auto close = line.find('"', from);
                if (close == std::string_view::npos)
                    return rejected();  // ended inside quotes
                content.append(line.substr(from, close - from));
                std::size_t k = close + 1;
                while (k < n && line[k] == ' ')
                    ++k;
                const char d = at(k);
                if (d == '"') {
                    // A quote after the closing one (spaces between) continues the word:
                    // the closing quote and the spaces are content, the second quote is not.
                    content += '"';
                    content.append(k - close - 1, ' ');
                    from = k + 1;
                } else if (d == ',' || d == '\n') {
                    if (content.empty() || (content.front() != ' ' && content.back() != ' ')) {
                        append({});
                        words.back() = std::move(content);
                    } else {
                        append(TrimSpaces(content));
                    }
                    i = k + 1;
                    break;
                } else {
                    return rejected();
                }
            }
        } else {
            const auto end = line.find_first_of(",\n", i);
            const auto stop = end == std::string_view::npos ? n : end;
            append(TrimSpaces(line.substr(i, stop - i)));
            i = stop + 1;
        }
    }
    return words;
}
