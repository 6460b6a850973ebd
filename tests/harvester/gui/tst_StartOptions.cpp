// Start-up options, the usage text, command dispatch, and settings files
// through the window: the File menu, the replace question, the kept lines
// and the errors.
#include "GuiTestSupport.h"

#include "common/RtError.h"
#include "harvester/gui/clsSetFile.h"
#include "harvester/gui/modMain.h"

#include <QAction>

class tst_StartOptions : public QObject {
    Q_OBJECT

    ScratchAppFolder app_;
    QString form_ = app_.path("form.dat");  // a valid form definition

    QString path(const QString& name) const { return app_.path(name); }

private slots:
    void initTestCase()
    {
        WriteBytes(form_, "1,3\r\n\"Name\",\"B2\",\"text\"\r\n");
        QDir(app_.dir.path()).mkdir("empty");
    }

    void readOptions_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("given");  // the options given, with their values
        QTest::addColumn<int>("strays");
        auto row = [](const char* name, const char* text, const char* given, int strays) {
            QTest::newRow(name) << QString(text) << QString(given) << strays;
        };
        row("nothing", "", "", 0);
        row("capitals, quoted folder with a space", R"(/IN "C:\My Forms")", R"(in=C:\My Forms)", 0);
        row("later wins, value keeps its case", "/type a.dat /Type F/W.DAT", "type=F/W.DAT", 0);
        row("/in followed by /out", "/in /out folder", "in=/out", 1);
        row("last option given but empty", "/type f.dat /data", "type=f.dat data=", 0);
        row("/data alone", "/data", "data=", 0);
        row("a workbook name alone", "book.xls", "", 1);
        row("unknown slash word", "/run", "", 1);
        row("hyphen instead of slash", "-in x", "", 2);
        row("double hyphen is glean's spelling only", "--in=x --out y", "", 3);
        row("empty quoted word", R"("")", "", 1);
        row("all six", "/open s.set /type t /in i /out o /data d /AutoRun",
            "open=s.set type=t in=i out=o data=d autorun", 0);
    }

    void readOptions()
    {
        QFETCH(QString, text);
        const StartOptions o = ReadStartOptions(text.toStdString());
        QStringList given;
        const std::pair<const char*, std::optional<std::string>> values[] = {
            {"open", o.settings}, {"type", o.formType}, {"in", o.inDir}, {"out", o.outDir}, {"data", o.dataFile}};
        for (const auto& [name, value] : values)
            if (value)
                given << QString(name) + "=" + QString::fromStdString(*value);
        if (o.autorun)
            given << "autorun";
        QTEST(given.join(' '), "given");
        QTEST(o.strays, "strays");
    }

    void usageText()
    {
        QCOMPARE(UsageText(), QStringLiteral("Usage: \r\nGleanora [/open settings] [/type formtype] [/in inPath] "
                                             "[/out outPath] [/data dataFile] [/autorun]"));
    }

    void optionsFillTheBoxes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("boxes");
        QTest::newRow("none") << "" << QStringList{"", "", "", ""};
        QTest::newRow("four") << R"(/type "a b.dat" /IN "C:\My Forms" /out o /data d.csv)"
                              << QStringList{"a b.dat", R"(C:\My Forms)", "o", "d.csv"};
        QTest::newRow("/open with /in replaces only the input folder")
            << "/open " + path("job.set") + " /in other" << QStringList{"form.dat", "other", "out1", "d1.csv"};
    }

    void optionsFillTheBoxes()
    {
        QFETCH(QString, text);
        WriteBytes(path("job.set"), "form.dat\r\nin1\r\nout1\r\nd1.csv\r\n");
        MsgBoxRecorder boxes;
        frmMain w;
        ApplyStartOptions(w, ReadStartOptions(text.toStdString()));
        QTEST(Boxes(w), "boxes");
        QCOMPARE(w.Settings()->fn(), text.startsWith("/open") ? path("job.set") : QString());
        // The menu's chooser is not moved by a file named on the command line.
        QVERIFY(w.SettingsChooser()->Path().isEmpty() && !w.IsRunning() && boxes.shown.empty());
    }

    void autorunStartsTheRunAndKeepsTheWindow()
    {
        MsgBoxRecorder boxes;
        frmMain w;
        w.show();
        QSignalSpy finished(&w, &frmMain::runFinished);
        const QString text = "/type " + form_ + " /in " + path("empty") + " /data " + path("out.csv") + " /autorun";
        ApplyStartOptions(w, ReadStartOptions(text.toStdString()));
        QVERIFY(finished.wait(10000));
        QVERIFY(w.isVisible());
        QCOMPARE(boxes.lastText(), QString::fromLatin1(clsBatchRun::kNothingToDo));
    }

    void runNeedsThreeBoxes_data()
    {
        QTest::addColumn<QStringList>("boxes");  // type, in, data
        QTest::addColumn<QString>("command");    // empty: the Run button
        const QString t = form_, i = path("empty"), d = path("out.csv");
        QTest::newRow("all three") << QStringList{t, i, d} << "";
        QTest::newRow("command in any case") << QStringList{t, i, d} << "GO";
        QTest::newRow("no form definition") << QStringList{"", i, d} << "";
        QTest::newRow("no input folder") << QStringList{t, "", d} << "";
        QTest::newRow("no data file") << QStringList{t, i, ""} << "";
    }

    void runNeedsThreeBoxes()
    {
        QFETCH(QStringList, boxes);
        QFETCH(QString, command);
        const bool runs = !boxes.contains("");
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
        QCOMPARE(shown.lastText(), runs ? QString::fromLatin1(clsBatchRun::kNothingToDo) : QString());
    }

    void otherCommandsDoNothingAndExitCloses()
    {
        MsgBoxRecorder boxes;
        frmMain w;
        w.show();
        w.txtFormType->setText("keep");
        for (const char* word : {"run", "", "gone", "opens", "quit"})
            w.AppCmd(QString::fromLatin1(word), {QStringLiteral("x.set")});
        QVERIFY(!w.IsRunning() && w.isVisible() && w.txtFormType->text() == u"keep");
        QVERIFY(w.Settings()->fn().isEmpty() && boxes.shown.empty());

        QTest::mouseClick(w.cmdExit, Qt::LeftButton);
        QVERIFY(!w.isVisible());
        for (int how = 0; how < 2; ++how) {
            frmMain v;
            v.show();
            how == 0 ? v.mnuFileExit->trigger() : v.AppCmd("EXIT", {});
            QVERIFY2(!v.isVisible(), how == 0 ? "menu" : "command");
        }
    }

    void setFileIndexOutsideTheLinesIsAnError()
    {
        clsSetFile s;
        QCOMPARE(s.Rows(), int16_t(1));
        s.setRows(3);
        QVERIFY_THROWS_EXCEPTION(rt::RtError, s.Data(3));
        QVERIFY_THROWS_EXCEPTION(rt::RtError, s.setData(-1, "x"));
    }

    void saveWithoutOpenWritesFourLinesKeepingSpaces()
    {
        MsgBoxRecorder boxes;
        frmMain w;
        Fill(w, "  form.dat ", "", "out  ", "\tdata.csv");
        const QString set = path("four.set");
        w.AppCmd("SaveAs", {set});
        QCOMPARE(ReadBytes(set), QByteArray("  form.dat \r\n\r\nout  \r\n\tdata.csv\r\n"));
        QCOMPARE(w.Settings()->fn(), set);
        frmMain v;
        v.AppCmd("open", {set});
        QCOMPARE(Boxes(v), Boxes(w));
        QVERIFY(boxes.shown.empty());
    }

    // Lines 5 to 50 are kept as read; Save after an open asks nothing.
    void keptLines_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QByteArray>("saved");  // after the boxes were set to A, B, C, D
        QByteArray sixty, kept = "A\r\nB\r\nC\r\nD\r\n";
        for (int i = 1; i <= 60; ++i) {
            sixty += "line " + QByteArray::number(i) + "\r\n";
            if (i > 4 && i <= 50)
                kept += "line " + QByteArray::number(i) + "\r\n";
        }
        QTest::newRow("six lines, any line ends")
            << QByteArray("a\r\n\r\nc\rd\nfifth line\r\n  sixth  ") << QStringList{"a", "", "c", "d"}
            << QByteArray("A\r\nB\r\nC\r\nD\r\nfifth line\r\n  sixth  \r\n");
        QTest::newRow("sixty lines") << sixty << QStringList{"line 1", "line 2", "line 3", "line 4"} << kept;
    }

    void keptLines()
    {
        QFETCH(QByteArray, file);
        const QString set = path("kept.set");
        WriteBytes(set, file);
        MsgBoxRecorder boxes;
        frmMain w;
        Fill(w, "was here", "was here", "was here", "was here");
        w.AppCmd("Open", {set});
        QTEST(Boxes(w), "boxes");
        Fill(w, "A", "B", "C", "D");
        w.mnuFileSave->trigger();
        QVERIFY(boxes.shown.empty());
        QTEST(ReadBytes(set), "saved");
    }

    void replaceQuestion_data()
    {
        QTest::addColumn<bool>("replace");
        QTest::newRow("no") << false;
        QTest::newRow("yes") << true;
    }

    void replaceQuestion()
    {
        QFETCH(bool, replace);
        const QString current = path(replace ? "current-y.set" : "current-n.set"), other = path("other.set");
        WriteBytes(other, "old\r\n");
        MsgBoxRecorder boxes;
        boxes.answers = {replace ? QMessageBox::Yes : QMessageBox::No};
        frmMain w;
        Fill(w, "1", "2", "3", "4");
        w.AppCmd("saveas", {current});
        w.AppCmd("saveas", {other});
        QCOMPARE(boxes.shown.size(), size_t(1));
        QCOMPARE(boxes.shown[0].text, other + " already exists.\nDo you want to replace it?");
        QCOMPARE(boxes.shown[0].buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(boxes.shown[0].title, w.windowTitle());
        QCOMPARE(ReadBytes(other), replace ? QByteArray("1\r\n2\r\n3\r\n4\r\n") : QByteArray("old\r\n"));
        QCOMPARE(w.Settings()->fn(), replace ? other : current);
    }

    void menuDialogs()
    {
        const QString set = path("menu.set");
        WriteBytes(set, "mf\r\nmi\r\nmo\r\nmd\r\n");
        MsgBoxRecorder boxes;
        TestWindow t;
        t.w.mnuFileOpen->trigger();  // cancelled: nothing changes
        QVERIFY(t.files.title == u"Open" && t.files.mustExist);
        QVERIFY(t.w.txtFormType->text().isEmpty() && t.w.Settings()->fn().isEmpty());

        // Save without a current file is Save As.
        t.files.choice = path("chosen.set");
        t.w.mnuFileSave->trigger();
        QVERIFY(t.files.title == u"Save As" && !t.files.mustExist);
        QCOMPARE(t.files.initDir, path("Settings"));
        QCOMPARE(t.files.filter, QStringLiteral("Settings Files (*.set) | *.set"));
        QCOMPARE(ReadBytes(t.files.choice), QByteArray("\r\n\r\n\r\n\r\n"));

        t.files.choice = set;
        t.w.mnuFileOpen->trigger();
        QVERIFY(t.w.txtFormType->text() == u"mf" && t.w.Settings()->fn() == set);
        t.files.choice.clear();
        t.w.mnuFileSaveAs->trigger();
        QCOMPARE(t.files.shownName, set);  // the next dialog opens on the file chosen last
        QVERIFY(t.files.calls == 4 && boxes.shown.empty());
    }

    void failedOpenNamesFileAndKeepsCurrent_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("missing") << "missing.set" << QByteArray("-");
        QTest::newRow("empty file") << "empty.set" << QByteArray();
        QTest::newRow("three lines") << "three.set" << QByteArray("a\r\nb\r\nc\r\n");
        QTest::newRow("a folder") << "folder.set" << QByteArray("dir");
        QTest::newRow("save in a missing folder") << "no such folder/x.set" << QByteArray("save");
    }

    void failedOpenNamesFileAndKeepsCurrent()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        const QString bad = path(name), good = path("good.set");
        if (content == "dir")
            QDir(app_.dir.path()).mkdir(name);
        else if (content != "-" && content != "save")
            WriteBytes(bad, content);
        WriteBytes(good, "g1\r\ng2\r\ng3\r\ng4\r\n");
        MsgBoxRecorder boxes;
        frmMain w;
        w.AppCmd("open", {good});
        w.AppCmd(content == "save" ? "saveas" : "open", {bad});
        QCOMPARE(boxes.shown.size(), size_t(1));
        QVERIFY2(boxes.lastText().contains(bad), qPrintable(boxes.lastText()));
        QVERIFY(w.Settings()->fn() == good && w.txtFormType->text() == u"g1");
        w.AppCmd("save", {});  // a later Save still writes to the good file
        QCOMPARE(ReadBytes(good), QByteArray("g1\r\ng2\r\ng3\r\ng4\r\n"));
        QVERIFY(content != "save" || !QFile::exists(bad));
    }
};

QTEST_MAIN(tst_StartOptions)
#include "tst_StartOptions.moc"
