// Start-up options, the usage text and command dispatch of the harvester window.
#include "GuiTestSupport.h"

#include "common/gui/modAppFolder.h"
#include "harvester/clsBatchRun.h"
#include "harvester/gui/frmMain.h"
#include "harvester/gui/modMain.h"
#include "harvester/gui/clsSetFile.h"

#include <QLineEdit>
#include <QAction>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

class tst_StartOptions : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString form_;  // a valid form definition

    QString path(const QString& name) const { return dir_.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        setAppFolder(dir_.path());
        form_ = path("form.dat");
        WriteBytes(form_, "1,3\r\n\"Name\",\"B2\",\"text\"\r\n");
        QDir(dir_.path()).mkdir("empty");
    }

    void readOptions_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("data");
        QTest::addColumn<QString>("open");
        QTest::addColumn<bool>("autorun");
        QTest::addColumn<int>("strays");

        QTest::newRow("nothing") << "" << "" << "" << "" << "" << "" << false << 0;
        QTest::newRow("capitals, quoted folder with a space")
            << R"(/IN "C:\My Forms")" << "" << R"(C:\My Forms)" << "" << "" << "" << false << 0;
        QTest::newRow("value keeps its case") << "/Type Forms/Week.DAT" << "Forms/Week.DAT" << "" << "" << ""
                                              << "" << false << 0;
        QTest::newRow("/in followed by /out") << "/in /out folder" << "" << "/out" << "" << "" << "" << false
                                              << 1;
        QTest::newRow("/data last") << "/type f.dat /data" << "f.dat" << "" << "" << "" << "" << false << 0;
        QTest::newRow("a workbook name alone") << "book.xls" << "" << "" << "" << "" << "" << false << 1;
        QTest::newRow("unknown slash word") << "/run" << "" << "" << "" << "" << "" << false << 1;
        QTest::newRow("hyphen instead of slash") << "-in x" << "" << "" << "" << "" << "" << false << 2;
        QTest::newRow("empty quoted word") << R"("")" << "" << "" << "" << "" << "" << false << 1;
        QTest::newRow("/type twice") << "/type a.dat /type b.dat" << "b.dat" << "" << "" << "" << "" << false
                                     << 0;
        QTest::newRow("/autorun alone") << "/AutoRun" << "" << "" << "" << "" << "" << true << 0;
        QTest::newRow("all six") << "/open s.set /type t /in i /out o /data d /autorun" << "t" << "i" << "o"
                                 << "d" << "s.set" << true << 0;
    }

    void readOptions()
    {
        QFETCH(QString, text);
        const StartOptions o = ReadStartOptions(text.toStdString());
        QTEST(o.formType, "type");
        QTEST(o.inDir, "in");
        QTEST(o.outDir, "out");
        QTEST(o.dataFile, "data");
        QTEST(o.settings, "open");
        QTEST(o.autorun, "autorun");
        QTEST(o.strays, "strays");
    }

    void dataLastIsGivenButEmpty()
    {
        const StartOptions o = ReadStartOptions("/data");
        QVERIFY(o.hasDataFile);
        QVERIFY(o.dataFile.isEmpty());
        QVERIFY(!o.hasFormType);
    }

    void usageText()
    {
        QCOMPARE(UsageText(), QStringLiteral("Usage: \r\nGleanora [/open settings] [/type formtype] [/in inPath] "
                                             "[/out outPath] [/data dataFile] [/autorun]"));
        QCOMPARE(FileDescription(), QStringLiteral("Quorra Form Gleaner"));
    }

    void noOptionsLeaveBoxesEmpty()
    {
        MsgBoxRecorder boxes;
        frmMain w;
        w.show();
        ApplyStartOptions(w, ReadStartOptions(""));
        for (QLineEdit* box : {w.txtFormType, w.txtInDir, w.txtOutDir, w.txtExportTo})
            QVERIFY(box->text().isEmpty());
        QVERIFY(!w.IsRunning());
        QVERIFY(boxes.shown.empty());
    }

    void optionsFillTheFourBoxes()
    {
        frmMain w;
        ApplyStartOptions(w, ReadStartOptions(R"(/type "a b.dat" /IN "C:\My Forms" /out o /data d.csv)"));
        QCOMPARE(w.txtFormType->text(), QStringLiteral("a b.dat"));
        QCOMPARE(w.txtInDir->text(), QStringLiteral(R"(C:\My Forms)"));
        QCOMPARE(w.txtOutDir->text(), QStringLiteral("o"));
        QCOMPARE(w.txtExportTo->text(), QStringLiteral("d.csv"));
    }

    void openWithInReplacesOnlyTheInputFolder()
    {
        const QString set = path("job.set");
        WriteBytes(set, "form.dat\r\nin1\r\nout1\r\ndata1.csv\r\n");
        frmMain w;
        ApplyStartOptions(w, ReadStartOptions(("/open " + set + " /in other").toStdString()));
        QCOMPARE(w.txtFormType->text(), QStringLiteral("form.dat"));
        QCOMPARE(w.txtInDir->text(), QStringLiteral("other"));
        QCOMPARE(w.txtOutDir->text(), QStringLiteral("out1"));
        QCOMPARE(w.txtExportTo->text(), QStringLiteral("data1.csv"));
        QCOMPARE(w.Settings()->fn(), set);
        // The menu's chooser is not moved by a file named on the command line.
        QVERIFY(w.SettingsChooser()->Path().isEmpty());
    }

    void autorunStartsTheRunAndKeepsTheWindow()
    {
        MsgBoxRecorder boxes;
        frmMain w;
        w.show();
        QSignalSpy finished(&w, &frmMain::runFinished);
        ApplyStartOptions(w, ReadStartOptions(("/type " + form_ + " /in " + path("empty") + " /data " +
                                               path("out.csv") + " /autorun")
                                                  .toStdString()));
        QVERIFY(finished.wait(10000));
        QVERIFY(w.isVisible());
        QCOMPARE(boxes.lastText(), QString::fromLatin1(clsBatchRun::kNothingToDo));
    }

    void appCmdGoInAnyCase_data()
    {
        QTest::addColumn<QString>("word");
        QTest::newRow("lower") << "go";
        QTest::newRow("upper") << "GO";
        QTest::newRow("mixed") << "Go";
    }

    void appCmdGoInAnyCase()
    {
        QFETCH(QString, word);
        MsgBoxRecorder boxes;
        frmMain w;
        w.txtFormType->setText(form_);
        w.txtInDir->setText(path("empty"));
        w.txtExportTo->setText(path("out.csv"));
        QSignalSpy finished(&w, &frmMain::runFinished);
        w.AppCmd(word, {});
        QVERIFY(finished.wait(10000));
        QCOMPARE(boxes.shown.size(), size_t(1));
        QCOMPARE(boxes.lastText(), QString::fromLatin1(clsBatchRun::kNothingToDo));
    }

    void unknownCommandDoesNothing()
    {
        MsgBoxRecorder boxes;
        frmMain w;
        w.show();
        w.txtFormType->setText("keep");
        for (const char* word : {"run", "", "gone", "opens", "quit"})
            w.AppCmd(QString::fromLatin1(word), {QStringLiteral("x.set")});
        QVERIFY(!w.IsRunning());
        QVERIFY(w.isVisible());
        QCOMPARE(w.txtFormType->text(), QStringLiteral("keep"));
        QVERIFY(w.Settings()->fn().isEmpty());
        QVERIFY(boxes.shown.empty());
    }

    void exitInAnyCaseClosesTheWindow()
    {
        for (const char* word : {"exit", "EXIT", "Exit"}) {
            frmMain w;
            w.show();
            QVERIFY(w.isVisible());
            w.AppCmd(QString::fromLatin1(word), {});
            QVERIFY(!w.isVisible());
        }
    }

    void exitControlsCloseTheWindow()
    {
        frmMain a;
        a.show();
        QTest::mouseClick(a.cmdExit, Qt::LeftButton);
        QVERIFY(!a.isVisible());
        frmMain b;
        b.show();
        b.mnuFileExit->trigger();
        QVERIFY(!b.isVisible());
    }

    void runButtonNeedsThreeBoxes_data()
    {
        QTest::addColumn<bool>("type");
        QTest::addColumn<bool>("in");
        QTest::addColumn<bool>("data");
        QTest::addColumn<bool>("runs");
        QTest::newRow("all three") << true << true << true << true;
        QTest::newRow("no form definition") << false << true << true << false;
        QTest::newRow("no input folder") << true << false << true << false;
        QTest::newRow("no data file") << true << true << false << false;
    }

    void runButtonNeedsThreeBoxes()
    {
        QFETCH(bool, type);
        QFETCH(bool, in);
        QFETCH(bool, data);
        QFETCH(bool, runs);
        MsgBoxRecorder boxes;
        frmMain w;
        w.show();
        if (type)
            w.txtFormType->setText(form_);
        if (in)
            w.txtInDir->setText(path("empty"));
        if (data)
            w.txtExportTo->setText(path("out.csv"));
        QSignalSpy finished(&w, &frmMain::runFinished);
        QTest::mouseClick(w.cmdGo, Qt::LeftButton);
        if (runs) {
            QVERIFY(finished.wait(10000));
            QCOMPARE(boxes.lastText(), QString::fromLatin1(clsBatchRun::kNothingToDo));
        } else {
            QVERIFY(!w.IsRunning());
            QVERIFY(!finished.wait(200));
            QVERIFY(boxes.shown.empty());
        }
    }
};

QTEST_MAIN(tst_StartOptions)
#include "tst_StartOptions.moc"
