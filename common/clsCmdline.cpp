#include "common/clsCmdline.h"

#include "common/RtError.h"

void clsCmdline::setCmdline(const std::string& s)
{
    cmdline_ = s;
    argc = 0;
    words_.fill({});
    set_ = true;

    const std::string text = s + ' ';
    const std::size_t n = text.size();
    std::size_t i = 0;
    for (;;) {
        while (i < n && text[i] == ' ')
            ++i;
        if (i >= n)
            return;
        std::string word;
        if (text[i] == '"') {
            word = '"';
            ++i;
            bool found = false;
            while (i < n) {
                if (text[i] == '"' && i + 1 < n && text[i + 1] == '"') {
                    word += '"';
                    i += 2;
                } else if (text[i] == '"') {
                    word += '"';
                    ++i;
                    found = true;
                    break;
                } else {
                    word += text[i++];
                }
            }
            if (!found)
                return;  // an unterminated quoted word runs to the end and is dropped
        } else {
            const auto end = text.find(' ', i);
            word = text.substr(i, end - i);
            i = end;
        }
        if (argc < static_cast<int16_t>(words_.size()))
            words_[static_cast<std::size_t>(argc++)] = std::move(word);
    }
}

std::string clsCmdline::argv(int x) const
{
    if (!set_ || x < 0 || x >= static_cast<int>(words_.size()))
        throw rt::RtError(rt::SubscriptOutOfRange);
    return words_[static_cast<std::size_t>(x)];
}

std::string clsCmdline::RmQuotes(const std::string& s)
{
    if (s.empty() || s.front() != '"')
        return s;
    if (s.size() < 2)
        return {};  // a lone quote: nothing between the quotes
    return s.substr(1, s.size() - 2);
}
