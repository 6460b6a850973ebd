#pragma once
// The editor's questions, messages and file dialogs, behind one small
// interface so that tests can answer in place of the user.
#include <QString>

class QWidget;

namespace tabwright {

class EditorDialogs {
public:
    enum class Icon { None, Stop };
    virtual ~EditorDialogs() = default;
    // A message with an OK button.
    virtual void Message(QWidget* owner, const QString& title, const QString& text, Icon icon) = 0;
    // OK and Cancel; true for OK.
    virtual bool OkCancel(QWidget* owner, const QString& title, const QString& text) = 0;
    // Retry and Cancel; true for Retry.
    virtual bool RetryCancel(QWidget* owner, const QString& title, const QString& text) = 0;
    // The chosen path, or empty when the dialog was cancelled. Filters are
    // written "Data (*.dat) | *.dat".
    virtual QString OpenFileName(QWidget* owner, const QString& filter, const QString& folder) = 0;
    virtual QString SaveFileName(QWidget* owner, const QString& filter, const QString& fileName,
                                 const QString& folder) = 0;
};

// Qt's message boxes and file dialogs.
class QtEditorDialogs : public EditorDialogs {
public:
    void Message(QWidget* owner, const QString& title, const QString& text, Icon icon) override;
    bool OkCancel(QWidget* owner, const QString& title, const QString& text) override;
    bool RetryCancel(QWidget* owner, const QString& title, const QString& text) override;
    QString OpenFileName(QWidget* owner, const QString& filter, const QString& folder) override;
    QString SaveFileName(QWidget* owner, const QString& filter, const QString& fileName,
                         const QString& folder) override;
    // "Data (*.dat) | *.dat" -> "Data (*.dat)".
    static QString QtFilter(const QString& filter);
};

}  // namespace tabwright
