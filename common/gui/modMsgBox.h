#pragma once
// Message boxes of both programs, behind one replaceable function so that
// tests can read the text and answer in place of the user.
#include <QMessageBox>
#include <QString>
#include <functional>

struct MsgBoxRequest {
    QWidget* parent = nullptr;
    QString title;  // empty: AppTitle()
    QString text;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Shows the box and returns the button pressed.
QMessageBox::StandardButton MsgBox(const MsgBoxRequest& request);

// Shorthands: an OK box, and a Yes/No question answered Yes.
void MsgBoxOk(QWidget* parent, const QString& text, QMessageBox::Icon icon = QMessageBox::NoIcon,
              const QString& title = QString());
bool MsgBoxYes(QWidget* parent, const QString& text, const QString& title = QString());

// The default title of every box (the main window sets its product title).
void setAppTitle(const QString& title);
QString AppTitle();

// Tests answer here; an empty function restores the real box.
using MsgBoxHandler = std::function<QMessageBox::StandardButton(const MsgBoxRequest&)>;
void setMsgBoxHandler(MsgBoxHandler handler);
