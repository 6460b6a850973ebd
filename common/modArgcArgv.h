#pragma once
// The editor's command-line splitter: words from 1, quotes dropped (two
// quotes inside a quoted word stand for one), the text scanned afresh on
// every call.
#include <string>

// The process's argument text; set once at start-up from ArgumentText().
void SetProcessArgumentText(const std::string& text);
const std::string& ProcessArgumentText();

int ArgCount();
std::string ArgByNumber(int n);

// The same over a given text, for tests.
int ArgCount(const std::string& text);
std::string ArgByNumber(const std::string& text, int n);
