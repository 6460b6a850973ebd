#include "common/gui/clsPath.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

QString QtFileDialog::QtFilter(const QString& filter)
{
    // "Desc|pattern|Desc|pattern" (blanks around the bars allowed) becomes
    // "Desc (pattern);;Desc (pattern)". "*.*" means every file here.
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString desc = parts[i].trimmed();
        QString pattern = parts[i + 1].trimmed();
        pattern.replace(QLatin1Char(';'), QLatin1Char(' '));
        if (pattern == u"*.*")
            pattern = QStringLiteral("*");
        // Qt reads the patterns from the last parentheses of the text.
        const int open = desc.lastIndexOf(QLatin1Char('('));
        if (open > 0 && desc.endsWith(QLatin1Char(')')))
            desc = desc.left(open).trimmed();
        out << desc + QStringLiteral(" (") + pattern + QLatin1Char(')');
    }
    return out.join(QStringLiteral(";;"));
}

bool QtFileDialog::ShowOpen(const QString& title, const QString& filter, const QString& initDir, bool mustExist,
                            QString& fileName)
{
    QFileDialog dlg(parent_, title);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setFileMode(mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dlg.setOption(QFileDialog::ReadOnly, false);
    if (!filter.isEmpty())
        dlg.setNameFilter(QtFilter(filter));
    // The dialog opens where the preset file lies, else in the starting folder.
    const QFileInfo preset(fileName);
    if (!fileName.isEmpty() && preset.isAbsolute() && preset.dir().exists()) {
        dlg.setDirectory(preset.absolutePath());
        dlg.selectFile(preset.fileName());
    } else {
        if (!initDir.isEmpty())
            dlg.setDirectory(initDir);
        if (!fileName.isEmpty())
            dlg.selectFile(fileName);
    }
    if (dlg.exec() != QDialog::Accepted)
        return false;
    const QStringList chosen = dlg.selectedFiles();
    if (chosen.isEmpty())
        return false;
    fileName = QFileInfo(chosen.first()).absoluteFilePath();
    return true;
}

bool QtFolderBrowser::Show(const QString& title, QString& path)
{
    const QString chosen = QFileDialog::getExistingDirectory(parent_, title, path);
    if (chosen.isEmpty())
        return false;
    path = chosen;
    return true;
}

QString clsPath::RelativePath() const
{
    const int n = initDir_.size();
    if (path_.left(n).compare(initDir_, Qt::CaseInsensitive) == 0)
        return path_.mid(n);
    return path_;
}

namespace {
// A relative path in a box means one below the current folder, as it does
// for the run; the dialog would otherwise take it below its starting folder.
QString FromCurrentFolder(const QString& path)
{
    if (path.trimmed().isEmpty() || QFileInfo(path).isAbsolute())
        return path;
    return QDir::cleanPath(QDir::current().absoluteFilePath(path));
}
}  // namespace

bool clsPath::chooseFile(bool mustExist)
{
    if (!dlg_)
        return false;
    QString name = FromCurrentFolder(path_);
    try {
        if (!dlg_->ShowOpen(title_, filter_, initDir_, mustExist, name))
            return false;
    } catch (...) {
        return false;  // any dialog failure counts as a cancel
    }
    path_ = name;
    return true;
}

bool clsPath::ChooseExistingFile()
{
    return chooseFile(true);
}

bool clsPath::ChooseFile()
{
    return chooseFile(false);
}

bool clsPath::ChooseDir()
{
    if (!bff_)
        return false;
    QString folder = FromCurrentFolder(path_);
    if (!bff_->Show(title_, folder))
        return false;
    path_ = folder;
    return true;
}
