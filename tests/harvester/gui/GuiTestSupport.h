#pragma once
// Stand-ins for the user in window tests: message boxes answered from a
// queue, file and folder dialogs that return a prepared choice, a record of
// the programs the window would have started, and the example workbooks to
// harvest.
#include "common/gui/clsPath.h"
#include "common/gui/modAppFolder.h"
#include "common/gui/modBrowseTo.h"
#include "common/gui/modMsgBox.h"
#include "harvester/gui/frmMain.h"
#include "tests/common/gui/TestFiles.h"

#include <QtTest>
#include <QtWidgets>
#include <vector>

struct MsgBoxRecorder {
    std::vector<MsgBoxRequest> shown;
    QList<QMessageBox::StandardButton> answers;  // empty: Yes for questions, Ok otherwise
    std::function<void()> reading;               // runs while a question waits for its answer

    MsgBoxRecorder()
    {
        setMsgBoxHandler([this](const MsgBoxRequest& r) {
            shown.push_back(r);
            if (reading && (r.buttons & QMessageBox::Yes))
                reading();
            if (!answers.empty())
                return answers.takeFirst();
            return (r.buttons & QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok;
        });
    }
    ~MsgBoxRecorder() { setMsgBoxHandler({}); }
    QString lastText() const { return shown.empty() ? QString() : shown.back().text; }
};

// Answers file dialogs and folder browsers: `choice` empty means the user cancels.
struct FakeDialogs : FileDialog, FolderBrowser {
    QString choice, title, filter, initDir, shown;
    int calls = 0;
    bool mustExist = false;

    bool ShowOpen(const QString& t, const QString& f, const QString& i, bool must, QString& fileName) override
    {
        filter = f, initDir = i, mustExist = must;
        return Show(t, fileName);
    }
    bool Show(const QString& t, QString& path) override
    {
        ++calls, title = t, shown = path;
        if (!choice.isEmpty())
            path = choice;
        return !choice.isEmpty();
    }
};

inline const QString kForms = QStringLiteral(SOURCE_DIR "/examples/forms");
inline const QString kFormDef = QStringLiteral(SOURCE_DIR "/examples/timesheet.dat");

// `dir`, made with `n` copies of one example workbook in it: ann00.xlsx, ann01.xlsx, ...
inline QString CopyForms(const QString& dir, int n)
{
    QDir().mkpath(dir);
    for (int i = 0; i < n; ++i)
        QFile::copy(kForms + "/ann-2009-03-02.xlsx", dir + QStringLiteral("/ann%1.xlsx").arg(i, 2, 10, QChar('0')));
    return dir;
}

// A window whose dialogs and started programs are stand-ins.
struct TestWindow {
    frmMain w;
    FakeDialogs dialogs;
    QStringList started;  // one entry a start: the program, then "|" before each argument
    TestWindow()
    {
        w.setDialogs(&dialogs, &dialogs);
        w.setProcessStarter([this](const QString& program, const QStringList& args, QString*) {
            started << (QStringList(program) + args).join(QLatin1Char('|'));
            return true;
        });
    }
};

inline void Fill(frmMain& w, const QString& type, const QString& in, const QString& out, const QString& data)
{
    w.txtFormType->setText(type);
    w.txtInDir->setText(in);
    w.txtOutDir->setText(out);
    w.txtExportTo->setText(data);
}

// The form definition, input folder, output folder and data file boxes.
inline QStringList Boxes(const frmMain& w)
{
    return {w.txtFormType->text(), w.txtInDir->text(), w.txtOutDir->text(), w.txtExportTo->text()};
}

// One column of the status list, top to bottom.
inline QStringList Column(const frmMain& w, int col)
{
    QStringList out;
    for (int r = 0; r < w.ListView1->topLevelItemCount(); ++r)
        out << w.ListView1->topLevelItem(r)->text(col);
    return out;
}
