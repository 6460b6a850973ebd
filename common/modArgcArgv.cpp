#include "common/modArgcArgv.h"

namespace {

std::string& ArgumentTextStore()
{
    static std::string text;
    return text;
}

// One pass over the text; calls onChar(word, c) for every character of a
// word's text and stops when onChar returns false. The quotes that open and
// close a word and quotes inside a plain word are no part of it; two quotes
// inside a quoted word stand for one, so that every argument rebuilt by
// ArgumentText comes back whole. Returns the number of words begun.
template <typename F>
int Scan(const std::string& text, F onChar)
{
    int words = 0;
    bool inWord = false;
    bool inQuotes = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (!inWord) {
            if (c == ' ')
                continue;
            inWord = true;
            inQuotes = c == '"';
            ++words;
            if (c != '"' && !onChar(words, c))
                break;
        } else if (inQuotes && c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
            ++i;
            if (!onChar(words, c))
                break;
        } else if (inQuotes ? c == '"' : c == ' ') {
            inWord = false;  // the closing quote or the space is not part of the word
        } else if (c != '"' && !onChar(words, c)) {
            break;
        }
    }
    return words;
}

}  // namespace

void SetProcessArgumentText(const std::string& text)
{
    ArgumentTextStore() = text;
}
const std::string& ProcessArgumentText()
{
    return ArgumentTextStore();
}

int ArgCount()
{
    return ArgCount(ProcessArgumentText());
}
std::string ArgByNumber(int n)
{
    return ArgByNumber(ProcessArgumentText(), n);
}

int ArgCount(const std::string& text)
{
    return Scan(text, [](int, char) { return true; });
}

std::string ArgByNumber(const std::string& text, int n)
{
    std::string word;
    if (n < 1)
        return word;
    Scan(text, [&](int w, char c) {
        if (w > n)
            return false;
        if (w == n)
            word += c;
        return true;
    });
    return word;
}
