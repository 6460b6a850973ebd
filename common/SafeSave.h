#pragma once
// Saving a whole file so that a crash or a full disk never leaves a part of it:
// the text goes to a temporary file beside the target, is flushed, and is
// renamed over the target.
//
// The saved file keeps the identity of the one it replaces: its permissions,
// owner and group; a symbolic link is written through (the link stays, the
// file it names gets the text). A read-only target is refused and left
// alone. When the temporary file cannot be made (a folder the user may not
// write) or would not keep the owner, or the target has other hard links, a
// writable target is written in place instead: truncated, written, flushed.
#include <string>
#include <string_view>

// Throws rt::RtError (70 permission denied, else 75) with the system's reason
// and the file name; a read-only target gives 70 with kReadOnlyReason.
void WriteAtomically(const std::string& name, std::string_view data);

inline constexpr const char* kReadOnlyReason = "The file is read-only; nothing was written";
