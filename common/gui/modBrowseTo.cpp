#include "common/gui/modBrowseTo.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace {
BrowseToHandler& Handler()
{
    static BrowseToHandler handler;
    return handler;
}

// A web or mail address keeps its scheme; anything else is a local file.
QUrl TargetUrl(const QString& target)
{
    const QUrl url(target, QUrl::StrictMode);
    if (url.isValid() && url.scheme().size() > 1)  // "c:" style drive letters are not schemes
        return url;
    return QUrl::fromLocalFile(QFileInfo(target).absoluteFilePath());
}
}  // namespace

void setBrowseToHandler(BrowseToHandler handler)
{
    Handler() = std::move(handler);
}

void BrowseTo(const QString& target)
{
    if (Handler()) {
        Handler()(target);
        return;
    }
    if (target.trimmed().isEmpty())
        return;
    QDesktopServices::openUrl(TargetUrl(target));
}
