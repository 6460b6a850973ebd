// Start-up options, the usage text and command dispatch of the harvester window.
#include "GuiTestSupport.h"

#include "harvester/clsBatchRun.h"
#include "harvester/gui/clsSetFile.h"
#include "harvester/gui/modMain.h"

#include <QAction>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

class tst_StartOptions : public QObject {
    Q_OBJECT

    ScratchAppFolder app_;
    QString form_ = app_.path("form.dat");  // a valid form definition

private slots:
    void initTestCase()
    {
        WriteBytes(form_, "1,3\r\n\"Name\",\"B2\",\"text\"\r\n");
        QDir(app_.dir.path()).mkdir("empty");
    }

    void readOptions_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("values");  // open, type, in, out, data
        QTest::addColumn<bool>("autorun");
        QTest::addColumn<int>("strays");
        auto row = [](const char* name, const char* text, const QStringList& values, bool autorun, int strays) {
            QTest::newRow(name) << QString(text) << values << autorun << strays;
        };
        const QStringList none = {"", "", "", "", ""};
        row("nothing", "", none, false, 0);
        row("capitals, quoted folder with a space", R"(/IN "C:\My Forms")", {"", "", R"(C:\My Forms)", "", ""}, false,
            0);
        row("later wins, value keeps its case", "/type a.dat /Type F/W.DAT", {"", "F/W.DAT", "", "", ""}, false, 0);
        row("/in followed by /out", "/in /out folder", {"", "", "/out", "", ""}, false, 1);
        row("a workbook name alone", "book.xls", none, false, 1);
        row("unknown slash word", "/run", none, false, 1);
        row("hyphen instead of slash", "-in x", none, false, 2);
        row("double hyphen is glean's spelling only", "--in=x --out y", none, false, 3);
        row("empty quoted word", R"("")", none, false, 1);
        row("all six", "/open s.set /type t /in i /out o /data d /AutoRun", {"s.set", "t", "i", "o", "d"}, true, 0);
    }

    void readOptions()
    {
        QFETCH(QString, text);
        const StartOptions o = ReadStartOptions(text.toStdString());
        QStringList values;
        for (const auto& value : {o.settings, o.formType, o.inDir, o.outDir, o.dataFile})
            values << QString::fromStdString(value.value_or(""));
        QTEST(values, "values");
        QTEST(o.autorun, "autorun");
        QTEST(o.strays, "strays");
    }

    void dataLastIsGivenButEmpty()
    {
        const StartOptions o = ReadStartOptions("/type f.dat /data");
        QVERIFY(o.dataFile && o.dataFile->empty() && o.formType);
        QVERIFY(!ReadStartOptions("/data").formType);
    }

    void usageText()
    {
        QCOMPARE(UsageText(), QStringLiteral("Usage: \r\nGleanora [/open settings] [/type formtype] [/in inPath] "
                                             "[/out outPath] [/data dataFile] [/autorun]"));
        QCOMPARE(FileDescription(), QStringLiteral("Quorra Form Gleaner"));
    }

    void optionsFillTheBoxes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("boxes");
        QTest::newRow("none") << "" << QStringList{"", "", "", ""};
        QTest::newRow("four") << R"(/type "a b.dat" /IN "C:\My Forms" /out o /data d.csv)"
                              << QStringList{"a b.dat", R"(C:\My Forms)", "o", "d.csv"};
        QTest::newRow("/open with /in replaces only the input folder")
            << "/open " + app_.path("job.set") + " /in other" << QStringList{"form.dat", "other", "out1", "d1.csv"};
    }

    void optionsFillTheBoxes()
    {
        QFETCH(QString, text);
        WriteBytes(app_.path("job.set"), "form.dat\r\nin1\r\nout1\r\nd1.csv\r\n");
        MsgBoxRecorder boxes;
        frmMain w;
        ApplyStartOptions(w, ReadStartOptions(text.toStdString()));
        QTEST((QStringList{w.txtFormType->text(), w.txtInDir->text(), w.txtOutDir->text(), w.txtExportTo->text()}),
              "boxes");
        QCOMPARE(w.Settings()->fn(), text.startsWith("/open") ? app_.path("job.set") : QString());
        // The menu's chooser is not moved by a file named on the command line.
        QVERIFY(w.SettingsChooser()->Path().isEmpty());
        QVERIFY(!w.IsRunning());
        QVERIFY(boxes.shown.empty());
    }

    void autorunStartsTheRunAndKeepsTheWindow()
    {
        MsgBoxRecorder boxes;
        frmMain w;
        w.show();
        QSignalSpy finished(&w, &frmMain::runFinished);
        ApplyStartOptions(w, ReadStartOptions(("/type " + form_ + " /in " + app_.path("empty") + " /data " +
                                               app_.path("out.csv") + " /autorun")
                                                  .toStdString()));
        QVERIFY(finished.wait(10000));
        QVERIFY(w.isVisible());
        QCOMPARE(boxes.lastText(), QString::fromLatin1(clsBatchRun::kNothingToDo));
    }

    void runNeedsThreeBoxes_data()
    {
        QTest::addColumn<QStringList>("boxes");  // type, in, data
        QTest::addColumn<QString>("command");    // empty: the Run button
        QTest::addColumn<bool>("runs");
        const QString t = form_, i = app_.path("empty"), d = app_.path("out.csv");
        QTest::newRow("all three") << QStringList{t, i, d} << "" << true;
        QTest::newRow("command in any case") << QStringList{t, i, d} << "GO" << true;
        QTest::newRow("no form definition") << QStringList{"", i, d} << "" << false;
        QTest::newRow("no input folder") << QStringList{t, "", d} << "" << false;
        QTest::newRow("no data file") << QStringList{t, i, ""} << "" << false;
    }

    void runNeedsThreeBoxes()
    {
        QFETCH(QStringList, boxes);
        QFETCH(QString, command);
        QFETCH(bool, runs);
        MsgBoxRecorder shown;
        frmMain w;
        w.show();
        Fill(w, boxes[0], boxes[1], "", boxes[2]);
        QSignalSpy finished(&w, &frmMain::runFinished);
        if (command.isEmpty())
            QTest::mouseClick(w.cmdGo, Qt::LeftButton);
        else
            w.AppCmd(command, {});
        QCOMPARE(finished.wait(runs ? 10000 : 200), runs);
        QCOMPARE(shown.shown.size(), size_t(runs ? 1 : 0));
        if (runs)
            QCOMPARE(shown.lastText(), QString::fromLatin1(clsBatchRun::kNothingToDo));
    }

    void unknownCommandDoesNothing()
    {
        MsgBoxRecorder boxes;
        frmMain w;
        w.show();
        w.txtFormType->setText("keep");
        for (const char* word : {"run", "", "gone", "opens", "quit"})
            w.AppCmd(QString::fromLatin1(word), {QStringLiteral("x.set")});
        QVERIFY(!w.IsRunning() && w.isVisible());
        QCOMPARE(w.txtFormType->text(), QStringLiteral("keep"));
        QVERIFY(w.Settings()->fn().isEmpty());
        QVERIFY(boxes.shown.empty());
    }

    void exitClosesTheWindow()
    {
        for (int how = 0; how < 4; ++how) {
            frmMain w;
            w.show();
            if (how == 0)
                QTest::mouseClick(w.cmdExit, Qt::LeftButton);
            else if (how == 1)
                w.mnuFileExit->trigger();
            else
                w.AppCmd(how == 2 ? "exit" : "EXIT", {});
            QVERIFY2(!w.isVisible(), qPrintable(QString::number(how)));
        }
    }
};

QTEST_MAIN(tst_StartOptions)
#include "tst_StartOptions.moc"
