#pragma once
// Opening a document or web address with the desktop's default handler.
#include <QString>
#include <functional>

// Opens `target` (a web address, or a local file path) with its associated
// program. Reports nothing: an empty or unopenable target opens nothing.
void BrowseTo(const QString& target);

// Tests replace the desktop call to see what would have been opened.
// Passing an empty function restores the desktop call.
using BrowseToHandler = std::function<void(const QString& target)>;
void setBrowseToHandler(BrowseToHandler handler);
