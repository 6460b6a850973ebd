#pragma once
// Stand-ins for the user in window tests: message boxes answered from a
// queue, file and folder dialogs that return prepared choices, a record of
// the pages the window would have opened, and a scratch application folder.
#include "common/gui/clsPath.h"
#include "common/gui/modAppFolder.h"
#include "common/gui/modBrowseTo.h"
#include "common/gui/modMsgBox.h"
#include "harvester/gui/frmMain.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <vector>

struct MsgBoxRecorder {
    std::vector<MsgBoxRequest> shown;
    std::deque<QMessageBox::StandardButton> answers;  // empty: Yes for questions, Ok otherwise

    MsgBoxRecorder()
    {
        setMsgBoxHandler([this](const MsgBoxRequest& r) {
            shown.push_back(r);
            if (!answers.empty()) {
                auto a = answers.front();
                answers.pop_front();
                return a;
            }
            return (r.buttons & QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok;
        });
    }
    ~MsgBoxRecorder() { setMsgBoxHandler({}); }
    QString lastText() const { return shown.empty() ? QString() : shown.back().text; }
};

struct BrowseRecorder {
    QStringList opened;
    BrowseRecorder()
    {
        setBrowseToHandler([this](const QString& t) { opened << t; });
    }
    ~BrowseRecorder() { setBrowseToHandler({}); }
};

// Answers file dialogs: `choice` empty means the user cancels.
struct FakeFileDialog : FileDialog {
    QString choice, title, filter, initDir, shownName;
    int calls = 0;
    bool mustExist = false;

    bool ShowOpen(const QString& t, const QString& f, const QString& i, bool must, QString& fileName) override
    {
        ++calls;
        title = t, filter = f, initDir = i, mustExist = must, shownName = fileName;
        if (choice.isEmpty())
            return false;
        fileName = choice;
        return true;
    }
};

struct FakeFolderBrowser : FolderBrowser {
    QString choice, title, shownPath;

    bool Show(const QString& t, QString& path) override
    {
        title = t, shownPath = path;
        if (choice.isEmpty())
            return false;
        path = choice;
        return true;
    }
};

// A fresh folder that is the application folder for the whole test program.
struct ScratchAppFolder {
    QTemporaryDir dir;
    ScratchAppFolder() { setAppFolder(dir.path()); }
    QString path(const QString& name) const { return dir.filePath(name); }
};

inline void Fill(frmMain& w, const QString& type, const QString& in, const QString& out, const QString& data)
{
    w.txtFormType->setText(type);
    w.txtInDir->setText(in);
    w.txtOutDir->setText(out);
    w.txtExportTo->setText(data);
}

inline void WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

inline QByteArray ReadBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
