#pragma once
// Settings files (".set"): plain text lines, no header, no quoting. Lines 1-4
// are the form definition, input folder, output folder and data file paths,
// exactly as typed; lines 5-50 are kept but unused. Shared by the window's
// clsSetFile and by glean.
#include <string>
#include <vector>

// Up to 50 lines; a line ends at CR, CR LF or LF, a last line without an end
// is read too. Throws rt::RtError (53 for a missing file): "Cannot read the
// settings file <path>: <reason>".
std::vector<std::string> ReadSettings(const std::string& path);

// Writes every line followed by CR LF with WriteAtomically (a failure leaves
// the old file whole). Throws rt::RtError: "Cannot write the settings file
// <path>: <reason>".
void WriteSettings(const std::string& path, const std::vector<std::string>& lines);
