#include "editor/EditorDialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace tabwright {

void QtEditorDialogs::Message(QWidget* owner, const QString& title, const QString& text, Icon icon)
{
    QMessageBox box(icon == Icon::Stop ? QMessageBox::Critical : QMessageBox::NoIcon, title, text, QMessageBox::Ok,
                    owner);
    box.exec();
}

bool QtEditorDialogs::OkCancel(QWidget* owner, const QString& title, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok | QMessageBox::Cancel, owner);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}

bool QtEditorDialogs::RetryCancel(QWidget* owner, const QString& title, const QString& text)
{
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Retry | QMessageBox::Cancel, owner);
    box.setDefaultButton(QMessageBox::Retry);
    box.setEscapeButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Retry;
}

QString QtEditorDialogs::QtFilter(const QString& filter)
{
    const qsizetype bar = filter.indexOf(QLatin1Char('|'));
    return (bar < 0 ? filter : filter.left(bar)).trimmed();
}

QString QtEditorDialogs::OpenFileName(QWidget* owner, const QString& filter, const QString& folder)
{
    return QFileDialog::getOpenFileName(owner, QObject::tr("Open"), folder, QtFilter(filter));
}

QString QtEditorDialogs::SaveFileName(QWidget* owner, const QString& filter, const QString& fileName,
                                      const QString& folder)
{
    return QFileDialog::getSaveFileName(owner, QObject::tr("Save As"), fileName.isEmpty() ? folder : fileName,
                                        QtFilter(filter));
}

}  // namespace tabwright
