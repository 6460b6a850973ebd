#pragma once
// Data files are 8-bit text: UTF-8 when written here or on a current
// system, Windows-1252 when written by older programs. These helpers tell the
// two apart and convert between them, so that a cell nobody edited can be
// written back byte for byte and an edited one in the file's own encoding.
#include <string>
#include <string_view>

enum class TextEncoding { Utf8, Windows1252 };

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view bytes);

// Windows-1252 to UTF-8. The five bytes the code page leaves unassigned
// (81, 8D, 8F, 90, 9D) become the control characters of the same number, so
// every byte string converts and converts back unchanged.
std::string Windows1252ToUtf8(std::string_view bytes);

// UTF-8 to Windows-1252. False when a character has no byte in the code page
// (or the text is not UTF-8); *bad then holds that character's UTF-8 bytes.
bool Utf8ToWindows1252(std::string_view utf8, std::string& out, std::string* bad = nullptr);

// "UTF-8" or "Windows-1252".
const char* EncodingName(TextEncoding encoding);
