#pragma once
// Saving a whole file so that a crash or a full disk never leaves a part of it:
// the text goes to a temporary file beside the target, is flushed, and is
// renamed over the target. Permissions of an existing file are kept and a
// symbolic link is written through.
#include <string>
#include <string_view>

// Throws rt::RtError (70 permission denied, else 75) with the system's reason
// and the file name.
void WriteAtomically(const std::string& name, std::string_view data);
