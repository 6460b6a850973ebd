#pragma once
// The argument text a Windows program would receive, rebuilt from argv (the
// program's own name excluded): an argument that is empty or holds a space
// or a double quote is wrapped in double quotes, with each quote inside
// doubled; arguments are joined by single spaces. Both command-line splitters
// read this text, so a shell-quoted folder name arrives as one word, quotes
// and all.
#include <string>
#include <vector>

std::string ArgumentText(int argc, const char* const* argv);
std::string ArgumentText(const std::vector<std::string>& args);
