#pragma once
// Splits one comma-separated line into words.
#include <string>
#include <string_view>
#include <vector>

// The word list: element 0 is always empty, words stand at 1..n, so
// size() - 1 is the word count (the upper bound). Upper bound 0: rejected.
using WordList = std::vector<std::string>;

// Throws rt::RtError 9 on an 81st word, 6 on a line over 32,766 characters.
WordList GetWords(std::string_view line);

// Upper bound of a word list (the number of words).
inline int UBound(const WordList& w)
{
    return static_cast<int>(w.size()) - 1;
}
