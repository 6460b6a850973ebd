#pragma once
// Cells hold the data file's own bytes; the window shows and takes text.
// Only an edited cell is converted back, so every other cell is written as
// it was read, byte for byte.
#include "common/modCodePage.h"

#include <QString>

#include <string>

namespace tabwright {

QString CellText(const std::string& bytes, TextEncoding encoding);

// False when the encoding has no bytes for a character of text; *bad then
// holds that character.
bool CellBytes(const QString& text, TextEncoding encoding, std::string& out, QString* bad = nullptr);

// "The character X cannot be written to file F, which holds Windows-1252 text."
QString UnwritableMessage(const QString& character, const std::string& file, TextEncoding encoding);

}  // namespace tabwright
