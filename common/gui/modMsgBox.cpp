#include "common/gui/modMsgBox.h"

#include <QApplication>

namespace {
MsgBoxHandler& Handler()
{
    static MsgBoxHandler handler;
    return handler;
}
QString& Title()
{
    static QString title;
    return title;
}
}  // namespace

void setAppTitle(const QString& title)
{
    Title() = title;
}

QString AppTitle()
{
    return Title().isEmpty() ? QApplication::applicationName() : Title();
}

void setMsgBoxHandler(MsgBoxHandler handler)
{
    Handler() = std::move(handler);
}

QMessageBox::StandardButton MsgBox(const MsgBoxRequest& request)
{
    MsgBoxRequest r = request;
    if (r.title.isEmpty())
        r.title = AppTitle();
    if (Handler())
        return Handler()(r);
    QMessageBox box(r.icon, r.title, r.text, r.buttons, r.parent);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void MsgBoxOk(QWidget* parent, const QString& text, QMessageBox::Icon icon, const QString& title)
{
    MsgBox({parent, title, text, QMessageBox::Ok, icon});
}

bool MsgBoxYes(QWidget* parent, const QString& text, const QString& title)
{
    return MsgBox({parent, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Question}) == QMessageBox::Yes;
}
