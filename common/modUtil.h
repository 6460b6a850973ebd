#pragma once
// Small text and file helpers that both programs use.
#include <string>
#include <string_view>

// s without leading and trailing spaces (the path boxes are trimmed of spaces only).
std::string TrimSpaces(std::string_view s);

// ASCII letters in lower case; other bytes, UTF-8 included, stay as they are.
inline char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
std::string Lower(std::string s);

// True when name is an existing regular file (a folder or nothing: false).
bool IsFile(const std::string& name);

// The folder part of a path ("." when it has none, "/" for the root) and its
// last part (the whole path when it has no "/").
std::string FolderOf(const std::string& path);
std::string NameOf(const std::string& path);

// Writes all of data to fd, going on after signals and short writes.
// Returns 0, or the errno of the failure.
int WriteAll(int fd, std::string_view data);

// s with control characters shown as \n, \r, \t or \xHH, so that a message
// that quotes a cell text or a file name stays on one line.
std::string OneLine(std::string_view s);
// The same, appended to `out`.
void AppendOneLine(std::string& out, std::string_view s);

// An error message without `path` where it names it first ("path: why") or
// last ("why: path"), for a place that shows the path already.
std::string WithoutPath(std::string message, const std::string& path);
