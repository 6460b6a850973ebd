// A whole run through the window on the example workbooks, the controls
// while it runs, closing during a run, and the View and edit buttons.
#include "GuiTestSupport.h"

#include "common/gui/clsListViewRpt.h"
#include "common/gui/modAppFolder.h"
#include "harvester/gui/frmMain.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

namespace {
const QString kForms = QStringLiteral(SOURCE_DIR "/examples/forms");
const QString kFormDef = QStringLiteral(SOURCE_DIR "/examples/timesheet.dat");
const QString kExpected = QStringLiteral(SOURCE_DIR "/examples/timesheets.expected.csv");

// The expected data file's header and its blocks of seven lines, one block
// per example workbook in name order.
QList<QByteArray> ExpectedLines()
{
    QList<QByteArray> lines = ReadBytes(kExpected).split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}
}  // namespace

class tst_HarvestWindow : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }

    // A fresh input folder holding the named example workbooks (and extra files).
    QString inputFolder(const QString& name, const QStringList& examples)
    {
        QDir(dir_.path()).mkpath(name);
        for (const QString& e : examples)
            QFile::copy(kForms + "/" + e, path(name + "/" + e));
        return path(name);
    }

    QStringList column(frmMain& w, int col)
    {
        QStringList out;
        for (int r = 0; r < w.ListView1->topLevelItemCount(); ++r)
            out << w.ListView1->topLevelItem(r)->text(col);
        return out;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        setAppFolder(dir_.path());
        QVERIFY2(QFile::exists(kFormDef), qPrintable(kFormDef));
    }

    void wholeRun()
    {
        const QStringList books = {"ann-2009-03-02.xlsx", "ben-2009-03-02.xlsx", "cleo-2009-03-09.xlsx",
                                   "finn-2009-03-02.ods"};
        const QString in = inputFolder("in", books);
        WriteBytes(in + "/broken.xlsx", "this is not a workbook");
        WriteBytes(in + "/notes.txt", "not listed");
        QDir(dir_.path()).mkdir("done");
        const QString data = path("hours.csv");

        MsgBoxRecorder boxes;
        frmMain w;
        w.show();
        w.txtFormType->setText(kFormDef);
        w.txtInDir->setText(in + "/");  // a trailing separator changes nothing
        w.txtOutDir->setText(path("done"));
        w.txtExportTo->setText(data);

        // Every status the list shows, as it changes, and the Run button meanwhile.
        QMap<int, QStringList> seen;
        bool runEnabledWhileRunning = false;
        connect(w.ListView1, &QTreeWidget::itemChanged, this, [&](QTreeWidgetItem* item, int col) {
            if (col != 1 || item->text(1).isEmpty())
                return;
            const int row = w.ListView1->indexOfTopLevelItem(item);
            if (seen[row].isEmpty() || seen[row].last() != item->text(1))
                seen[row] << item->text(1);
            if (item->text(1) == u"Processing")
                runEnabledWhileRunning |= w.cmdGo->isEnabled();
        });
        QSignalSpy finished(&w, &frmMain::runFinished);
        QTest::mouseClick(w.cmdGo, Qt::LeftButton);
        QVERIFY(w.IsRunning());
        QVERIFY(!w.cmdGo->isEnabled());
        QVERIFY(finished.wait(60000));
        QVERIFY(w.cmdGo->isEnabled());
        QVERIFY(!runEnabledWhileRunning);

        const QStringList names = {"ann-2009-03-02.xlsx", "ben-2009-03-02.xlsx", "broken.xlsx",
                                   "cleo-2009-03-09.xlsx", "finn-2009-03-02.ods"};
        QStringList files;
        for (const QString& n : names)
            files << in + "/" + n;
        QCOMPARE(column(w, 0), files);
        const QStringList status = column(w, 1);
        QCOMPARE(status.size(), 5);
        for (int r : {0, 1, 3, 4}) {
            QCOMPARE(status[r], QStringLiteral("Done"));
            QCOMPARE(seen[r], QStringList({"Pending", "Processing", "Done"}));
            QVERIFY(QFile::exists(path("done/" + names[r])));
            QVERIFY(!QFile::exists(files[r]));
        }
        QVERIFY2(status[2].startsWith("Failed: "), qPrintable(status[2]));
        QCOMPARE(seen[2].mid(0, 2), QStringList({"Pending", "Processing"}));
        QVERIFY(QFile::exists(files[2]));  // a failed workbook stays for the next run

        QCOMPARE(w.prgRun->maximum(), 5);
        QCOMPARE(w.prgRun->value(), 5);

        // The final message tells of the failure.
        QCOMPARE(boxes.shown.size(), size_t(1));
        QVERIFY2(boxes.lastText().contains("1 of the 5"), qPrintable(boxes.lastText()));
        QVERIFY2(boxes.lastText().contains("broken.xlsx"), qPrintable(boxes.lastText()));
        QCOMPARE(boxes.shown.back().icon, QMessageBox::Warning);

        // The data file: header, then the lines of the harvested workbooks in list order.
        const QList<QByteArray> expected = ExpectedLines();
        QByteArray want = expected[0] + "\n";
        for (int block : {0, 1, 2, 5})
            for (int i = 1 + 7 * block; i < 8 + 7 * block; ++i)
                want += expected[i] + "\n";
        QCOMPARE(ReadBytes(data), want);

        // The next run finds only the failed workbook; the list shows this run alone.
        QFile::remove(files[2]);
        w.AppCmd("go", {});
        QVERIFY(finished.wait(60000));
        QCOMPARE(w.ListView1->topLevelItemCount(), 0);
        QCOMPARE(boxes.lastText(), QStringLiteral("All of the forms in the input directory have been processed."));
        QCOMPARE(boxes.shown.back().title, w.windowTitle());
    }

    void configurationErrorIsShown()
    {
        MsgBoxRecorder boxes;
        frmMain w;
        w.txtFormType->setText(path("no-such-form.dat"));
        w.txtInDir->setText(dir_.path());
        w.txtExportTo->setText(path("x.csv"));
        QSignalSpy finished(&w, &frmMain::runFinished);
        w.AppCmd("go", {});
        QVERIFY(finished.wait(10000));
        QCOMPARE(boxes.shown.size(), size_t(1));
        QVERIFY2(boxes.lastText().contains(path("no-such-form.dat")), qPrintable(boxes.lastText()));
        QVERIFY(!QFile::exists(path("x.csv")));
    }

    void closingDuringRun_data()
    {
        QTest::addColumn<bool>("stop");
        QTest::newRow("stop after the current workbook") << true;
        QTest::newRow("go on") << false;
    }

    void closingDuringRun()
    {
        QFETCH(bool, stop);
        const QString in = path(stop ? "many-stop" : "many-go");
        QDir(dir_.path()).mkpath(in);
        for (int i = 0; i < 12; ++i)
            QFile::copy(kForms + "/ann-2009-03-02.xlsx", in + QStringLiteral("/ann%1.xlsx").arg(i, 2, 10, QChar('0')));
        const QString data = in + ".csv";

        MsgBoxRecorder boxes;
        boxes.answers = {stop ? QMessageBox::Yes : QMessageBox::No};
        frmMain w;
        w.show();
        w.txtFormType->setText(kFormDef);
        w.txtInDir->setText(in);
        w.txtExportTo->setText(data);
        QSignalSpy finished(&w, &frmMain::runFinished);
        w.AppCmd("go", {});
        w.close();  // the run is still going: the window asks
        QCOMPARE(boxes.shown.size(), size_t(1));
        QVERIFY(boxes.shown[0].text.contains("Stop after the current workbook"));
        QCOMPARE(boxes.shown[0].buttons, QMessageBox::Yes | QMessageBox::No);
        QVERIFY(w.isVisible());
        QVERIFY(finished.wait(60000));
        QTest::qWait(50);

        const QStringList status = column(w, 1);
        const int done = int(status.count("Done"));
        const int pending = int(status.count("Pending"));
        QCOMPARE(status.size(), 12);
        QCOMPARE(done + pending, 12);
        // Every workbook marked Done gave its seven lines, and no other did.
        const int lines = ReadBytes(data).count('\n');
        QCOMPARE(lines, done == 0 ? 0 : 1 + 7 * done);
        if (stop) {
            QVERIFY(!w.isVisible());
            QCOMPARE(boxes.shown.size(), size_t(1));  // no final message when closing
        } else {
            QVERIFY(w.isVisible());
            QCOMPARE(done, 12);
        }
    }

    void editButtonStartsEditorWithOneArgument()
    {
        MsgBoxRecorder boxes;
        frmMain w;
        QString program;
        QStringList args;
        w.setProcessStarter([&](const QString& p, const QStringList& a, QString*) {
            program = p, args = a;
            return true;
        });
        w.txtFormType->setText("/forms/my week.dat");
        QTest::mouseClick(w.cmdEditFormType, Qt::LeftButton);
        QCOMPARE(program, dir_.path() + "/Tabwright");
        QCOMPARE(args, QStringList({"/forms/my week.dat"}));
        // An empty box is passed too.
        w.txtFormType->clear();
        QTest::mouseClick(w.cmdEditFormType, Qt::LeftButton);
        QCOMPARE(args, QStringList({""}));
        QVERIFY(boxes.shown.empty());
    }

    void editorThatCannotStartIsReported()
    {
        MsgBoxRecorder boxes;
        frmMain w;  // the real starter: there is no Tabwright in the test's folder
        w.txtFormType->setText("x.dat");
        QTest::mouseClick(w.cmdEditFormType, Qt::LeftButton);
        QCOMPARE(boxes.shown.size(), size_t(1));
        QVERIFY2(boxes.lastText().contains(dir_.path() + "/Tabwright"), qPrintable(boxes.lastText()));
    }

    void viewStartsTextEditor()
    {
        MsgBoxRecorder boxes;
        frmMain w;
        int calls = 0;
        QString program;
        QStringList args;
        w.setProcessStarter([&](const QString& p, const QStringList& a, QString*) {
            ++calls, program = p, args = a;
            return true;
        });
        qputenv("VISUAL", "my-editor --wait");
        QTest::mouseClick(w.cmdView, Qt::LeftButton);  // empty box: nothing
        QCOMPARE(calls, 0);
        w.txtExportTo->setText("/data/hours of week.csv");
        QTest::mouseClick(w.cmdView, Qt::LeftButton);
        QCOMPARE(calls, 1);
        QCOMPARE(program, QStringLiteral("my-editor"));
        QCOMPARE(args, QStringList({"--wait", "/data/hours of week.csv"}));
        qunsetenv("VISUAL");
        QVERIFY(boxes.shown.empty());
    }
};

QTEST_MAIN(tst_HarvestWindow)
#include "tst_HarvestWindow.moc"
