#include "common/gui/modAppFolder.h"

#include <QCoreApplication>
#include <QDir>

namespace {
QString& Override()
{
    static QString folder;
    return folder;
}
}  // namespace

QString AppFolder()
{
    if (!Override().isEmpty())
        return Override();
    return QCoreApplication::applicationDirPath();
}

void setAppFolder(const QString& folder)
{
    QString f = folder;
    while (f.size() > 1 && f.endsWith(QLatin1Char('/')))
        f.chop(1);
    Override() = f;
}

QString AppFile(const QString& relative)
{
    return AppFolder() + QLatin1Char('/') + relative;
}
