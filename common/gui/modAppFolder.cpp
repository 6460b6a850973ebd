#include "common/gui/modAppFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

// The installed data folder relative to the installed programs; set by the
// build from the install directories.
#ifndef GLEANORA_DATA_FROM_BIN
#define GLEANORA_DATA_FROM_BIN "../share/gleanora"
#endif

namespace {

QString& AppOverride()
{
    static QString folder;
    return folder;
}

QString& ProgramOverride()
{
    static QString folder;
    return folder;
}

QString WithoutTrailingSlash(QString f)
{
    while (f.size() > 1 && f.endsWith(QLatin1Char('/')))
        f.chop(1);
    return f;
}

QString ProgramFolder()
{
    if (!ProgramOverride().isEmpty())
        return ProgramOverride();
    if (!AppOverride().isEmpty())
        return AppOverride();  // a whole application folder, as in the build tree
    return QCoreApplication::applicationDirPath();
}

// The installed data folder for the program folder, or an empty text when
// there is none (the build tree).
QString InstalledDataFolder(const QString& programFolder)
{
    const QString data = QDir::cleanPath(programFolder + QLatin1Char('/') + QStringLiteral(GLEANORA_DATA_FROM_BIN));
    return QFileInfo(data).isDir() ? data : QString();
}

bool IsUserPart(const QString& relative)
{
    const QString first = relative.section(QLatin1Char('/'), 0, 0, QString::SectionSkipEmpty);
    return first == u"Settings" || first == u"FormTypes";
}

// Creates UserFolder()/name when it is missing; a new FormTypes folder gets
// the shipped example form definitions, so the Form Type dialog is not empty.
void EnsureUserPart(const QString& name)
{
    const QString folder = UserFolder() + QLatin1Char('/') + name;
    if (QFileInfo(folder).isDir() || !QDir().mkpath(folder))
        return;
    if (name != u"FormTypes")
        return;
    const QDir examples(AppFolder() + QStringLiteral("/examples"));
    const QStringList forms = examples.entryList({QStringLiteral("*.dat")}, QDir::Files, QDir::Name);
    for (const QString& form : forms) {
        const QString target = folder + QLatin1Char('/') + form;
        if (QFile::copy(examples.filePath(form), target))
            QFile::setPermissions(target, QFile::permissions(target) | QFile::WriteOwner);
    }
}

}  // namespace

QString AppFolder()
{
    if (!AppOverride().isEmpty())
        return AppOverride();
    const QString program = ProgramFolder();
    const QString data = InstalledDataFolder(program);
    return data.isEmpty() ? program : data;
}

QString UserDataFolder()
{
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    // A relative XDG_DATA_HOME is invalid and is to be ignored.
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return WithoutTrailingSlash(base) + QStringLiteral("/gleanora");
}

QString UserFolder()
{
    if (!AppOverride().isEmpty())
        return AppOverride();
    const QString program = ProgramFolder();
    return InstalledDataFolder(program).isEmpty() ? program : UserDataFolder();
}

QString AppFile(const QString& relative)
{
    if (IsUserPart(relative)) {
        EnsureUserPart(relative.section(QLatin1Char('/'), 0, 0, QString::SectionSkipEmpty));
        return UserFolder() + QLatin1Char('/') + relative;
    }
    return AppFolder() + QLatin1Char('/') + relative;
}

QString ProgramFile(const QString& name)
{
    return ProgramFolder() + QLatin1Char('/') + name;
}

void setAppFolder(const QString& folder)
{
    AppOverride() = WithoutTrailingSlash(folder);
}

void setProgramFolder(const QString& folder)
{
    ProgramOverride() = WithoutTrailingSlash(folder);
}
