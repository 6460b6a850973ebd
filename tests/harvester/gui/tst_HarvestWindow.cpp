// A whole run through the window on the example workbooks, the controls
// while it runs, closing during a run, and the View and edit buttons.
#include "GuiTestSupport.h"

#include "common/gui/clsListViewRpt.h"

#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

namespace {
const QString kForms = QStringLiteral(SOURCE_DIR "/examples/forms");
const QString kFormDef = QStringLiteral(SOURCE_DIR "/examples/timesheet.dat");
const QString kExpected = QStringLiteral(SOURCE_DIR "/examples/timesheets.expected.csv");

QStringList Column(frmMain& w, int col)
{
    QStringList out;
    for (int r = 0; r < w.ListView1->topLevelItemCount(); ++r)
        out << w.ListView1->topLevelItem(r)->text(col);
    return out;
}

// A starter that records the program and arguments instead of starting them.
struct StartRecorder {
    int calls = 0;
    QString program;
    QStringList args;
    explicit StartRecorder(frmMain& w)
    {
        w.setProcessStarter([this](const QString& p, const QStringList& a, QString*) {
            ++calls, program = p, args = a;
            return true;
        });
    }
};
}  // namespace

class tst_HarvestWindow : public QObject {
    Q_OBJECT

    ScratchAppFolder app_;

private slots:
    void wholeRun()
    {
        const QStringList names = {"ann-2009-03-02.xlsx", "ben-2009-03-02.xlsx", "broken.xlsx", "cleo-2009-03-09.xlsx",
                                   "finn-2009-03-02.ods"};
        const QString in = app_.path("in");
        QDir().mkpath(in);
        QDir().mkpath(app_.path("done"));
        QStringList files;
        for (const QString& n : names) {
            files << in + "/" + n;
            QFile::copy(kForms + "/" + n, files.last());
        }
        WriteBytes(files[2], "this is not a workbook");
        WriteBytes(in + "/notes.txt", "not listed");
        const QString data = app_.path("hours.csv");

        MsgBoxRecorder boxes;
        frmMain w;
        w.show();
        Fill(w, kFormDef, in + "/", app_.path("done"), data);  // a trailing separator changes nothing

        // Every status the list shows, each time it is brought up to date, and the Run button meanwhile.
        QMap<int, QStringList> seen;
        bool runEnabledWhileRunning = false;
        connect(&w, &frmMain::runShown, this, [&] {
            for (int row = 0; row < w.ListView1->topLevelItemCount(); ++row) {
                const QString text = w.ListView1->topLevelItem(row)->text(1);
                if (!text.isEmpty() && (seen[row].isEmpty() || seen[row].last() != text))
                    seen[row] << text;
            }
            runEnabledWhileRunning |= w.cmdGo->isEnabled();
        });
        // Shown a few times a second, a row may pass over a status, never go back to one.
        auto inOrder = [](const QStringList& shown, const QStringList& order) {
            qsizetype at = 0;
            for (const QString& s : shown) {
                while (at < order.size() && !s.startsWith(order[at]))
                    ++at;
                if (at == order.size())
                    return false;
            }
            return !shown.isEmpty();
        };
        QSignalSpy finished(&w, &frmMain::runFinished);
        QTest::mouseClick(w.cmdGo, Qt::LeftButton);
        QVERIFY(w.IsRunning() && !w.cmdGo->isEnabled());
        QVERIFY(finished.wait(60000));
        QVERIFY(w.cmdGo->isEnabled());
        QVERIFY(!runEnabledWhileRunning);

        QCOMPARE(Column(w, 0), files);
        const QStringList status = Column(w, 1);
        for (int r : {0, 1, 3, 4}) {
            QCOMPARE(status[r], QStringLiteral("Done"));
            QVERIFY2(inOrder(seen[r], {"Pending", "Processing", "Done"}) && seen[r].last() == u"Done",
                     qPrintable(seen[r].join(", ")));
            QVERIFY(QFile::exists(app_.path("done/" + names[r])) && !QFile::exists(files[r]));
        }
        QVERIFY2(status[2].startsWith("Failed: "), qPrintable(status[2]));
        QVERIFY2(inOrder(seen[2], {"Pending", "Processing", "Failed: "}) && seen[2].last().startsWith("Failed: "),
                 qPrintable(seen[2].join(", ")));
        QVERIFY(QFile::exists(files[2]));  // a failed workbook stays for the next run
        QCOMPARE(w.prgRun->maximum(), 5);
        QCOMPARE(w.prgRun->value(), 5);
        QCOMPARE(boxes.shown.size(), size_t(1));
        QVERIFY2(boxes.lastText().contains("1 of the 5") && boxes.lastText().contains("broken.xlsx"),
                 qPrintable(boxes.lastText()));
        QCOMPARE(boxes.shown.back().icon, QMessageBox::Warning);

        // The data file: header, then the harvested workbooks' blocks of seven lines in list order.
        const QList<QByteArray> expected = ReadBytes(kExpected).split('\n');
        QByteArray want = expected[0] + "\n";
        for (int block : {0, 1, 2, 5})
            for (int i = 1 + 7 * block; i < 8 + 7 * block; ++i)
                want += expected[i] + "\n";
        QCOMPARE(ReadBytes(data), want);

        // The next run finds nothing; the list shows this run alone.
        QFile::remove(files[2]);
        w.AppCmd("go", {});
        QVERIFY(finished.wait(60000));
        QCOMPARE(w.ListView1->topLevelItemCount(), 0);
        QCOMPARE(boxes.lastText(), QStringLiteral("All of the forms in the input directory have been processed."));
        QCOMPARE(boxes.shown.back().title, w.windowTitle());

        // A configuration error is shown and writes nothing.
        Fill(w, app_.path("no-such-form.dat"), in, "", app_.path("x.csv"));
        w.AppCmd("go", {});
        QVERIFY(finished.wait(10000));
        QCOMPARE(boxes.shown.size(), size_t(3));
        QVERIFY2(boxes.lastText().contains(app_.path("no-such-form.dat")), qPrintable(boxes.lastText()));
        QVERIFY(!QFile::exists(app_.path("x.csv")));
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
        const QString in = app_.path(stop ? "many-stop" : "many-go"), data = in + ".csv";
        QDir().mkpath(in);
        for (int i = 0; i < 12; ++i)
            QFile::copy(kForms + "/ann-2009-03-02.xlsx", in + QStringLiteral("/ann%1.xlsx").arg(i, 2, 10, QChar('0')));

        MsgBoxRecorder boxes;
        boxes.answers = {stop ? QMessageBox::Yes : QMessageBox::No};
        frmMain w;
        w.show();
        Fill(w, kFormDef, in, "", data);
        QSignalSpy finished(&w, &frmMain::runFinished);
        w.AppCmd("go", {});
        w.close();  // the run is still going: the window asks
        QCOMPARE(boxes.shown.size(), size_t(1));
        QVERIFY(boxes.shown[0].text.contains("Stop after the current workbook"));
        QCOMPARE(boxes.shown[0].buttons, QMessageBox::Yes | QMessageBox::No);
        QVERIFY(w.isVisible());
        QVERIFY(finished.wait(60000));
        QTest::qWait(50);

        const QStringList status = Column(w, 1);
        const int done = int(status.count("Done"));
        QCOMPARE(status.size(), 12);
        QCOMPARE(done + int(status.count("Pending")), 12);
        // Every workbook marked Done gave its seven lines, and no other did.
        QCOMPARE(int(ReadBytes(data).count('\n')), done == 0 ? 0 : 1 + 7 * done);
        QCOMPARE(w.isVisible(), !stop);
        if (stop)
            QCOMPARE(boxes.shown.size(), size_t(1));  // no final message when closing
        else
            QCOMPARE(done, 12);
    }

    void editButtonStartsEditorWithOneArgument()
    {
        MsgBoxRecorder boxes;
        {
            frmMain w;  // the real starter: there is no Tabwright in the test's folder
            QTest::mouseClick(w.cmdEditFormType, Qt::LeftButton);
            QCOMPARE(boxes.shown.size(), size_t(1));
            QVERIFY2(boxes.lastText().contains(app_.path("Tabwright")), qPrintable(boxes.lastText()));
        }
        frmMain w;
        StartRecorder started(w);
        w.txtFormType->setText("/forms/my week.dat");
        QTest::mouseClick(w.cmdEditFormType, Qt::LeftButton);
        QCOMPARE(started.program, app_.path("Tabwright"));
        QCOMPARE(started.args, QStringList({"/forms/my week.dat"}));
        w.txtFormType->clear();  // an empty box is passed too
        QTest::mouseClick(w.cmdEditFormType, Qt::LeftButton);
        QCOMPARE(started.args, QStringList({""}));
        QCOMPARE(boxes.shown.size(), size_t(1));
    }

    void viewStartsTextEditor()
    {
        MsgBoxRecorder boxes;
        frmMain w;
        StartRecorder started(w);
        qputenv("VISUAL", "my-editor --wait");
        QTest::mouseClick(w.cmdView, Qt::LeftButton);  // empty box: nothing
        QCOMPARE(started.calls, 0);
        w.txtExportTo->setText("/data/hours of week.csv");
        QTest::mouseClick(w.cmdView, Qt::LeftButton);
        qunsetenv("VISUAL");
        QCOMPARE(started.calls, 1);
        QCOMPARE(started.program, QStringLiteral("my-editor"));
        QCOMPARE(started.args, QStringList({"--wait", "/data/hours of week.csv"}));
        QVERIFY(boxes.shown.empty());
    }
};

QTEST_MAIN(tst_HarvestWindow)
#include "tst_HarvestWindow.moc"
