// Settings files through the window: the File menu, the replace question,
// the kept lines and the errors.
#include "GuiTestSupport.h"

#include "common/RtError.h"
#include "harvester/gui/clsSetFile.h"

#include <QAction>
#include <QTest>

class tst_SettingsFile : public QObject {
    Q_OBJECT

    ScratchAppFolder app_;
    QString path(const QString& name) const { return app_.path(name); }

private slots:
    void indexOutsideTheLinesIsAnError()
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
        QCOMPARE(v.txtFormType->text(), QStringLiteral("  form.dat "));
        QCOMPARE(v.txtExportTo->text(), QStringLiteral("\tdata.csv"));
        QVERIFY(boxes.shown.empty());
    }

    void sixLinesKeepLinesFiveAndSix()
    {
        const QString set = path("six.set");
        WriteBytes(set, "a\r\n\r\nc\rd\nfifth line\r\n  sixth  ");
        MsgBoxRecorder boxes;
        frmMain w;
        w.txtInDir->setText("was here");
        w.AppCmd("open", {set});
        QCOMPARE(w.txtFormType->text(), QStringLiteral("a"));
        QCOMPARE(w.txtInDir->text(), QString());
        QCOMPARE(w.txtOutDir->text(), QStringLiteral("c"));
        QCOMPARE(w.txtExportTo->text(), QStringLiteral("d"));
        Fill(w, "A", "B", "C", "D");
        w.mnuFileSave->trigger();  // after an open: no question
        QVERIFY(boxes.shown.empty());
        QCOMPARE(ReadBytes(set), QByteArray("A\r\nB\r\nC\r\nD\r\nfifth line\r\n  sixth  \r\n"));
    }

    void sixtyLinesKeepFifty()
    {
        const QString set = path("sixty.set");
        QByteArray bytes;
        for (int i = 1; i <= 60; ++i)
            bytes += "line " + QByteArray::number(i) + "\r\n";
        WriteBytes(set, bytes);
        frmMain w;
        w.AppCmd("Open", {set});
        QCOMPARE(w.Settings()->Rows(), int16_t(50));
        w.AppCmd("Save", {});
        QCOMPARE(ReadBytes(set), bytes.left(bytes.indexOf("line 51")));
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
        FakeFileDialog files;
        FakeFolderBrowser folders;
        frmMain w;
        w.setDialogs(&files, &folders);
        w.mnuFileOpen->trigger();  // cancelled: nothing changes
        QCOMPARE(files.title, QStringLiteral("Open"));
        QVERIFY(files.mustExist);
        QVERIFY(w.txtFormType->text().isEmpty() && w.Settings()->fn().isEmpty());

        // Save without a current file is Save As.
        files.choice = path("chosen.set");
        w.mnuFileSave->trigger();
        QCOMPARE(files.title, QStringLiteral("Save As"));
        QVERIFY(!files.mustExist);
        QCOMPARE(files.initDir, path("Settings"));
        QCOMPARE(files.filter, QStringLiteral("Settings Files (*.set) | *.set"));
        QCOMPARE(ReadBytes(files.choice), QByteArray("\r\n\r\n\r\n\r\n"));

        files.choice = set;
        w.mnuFileOpen->trigger();
        QCOMPARE(w.txtFormType->text(), QStringLiteral("mf"));
        QCOMPARE(w.Settings()->fn(), set);
        files.choice.clear();
        w.mnuFileSaveAs->trigger();
        QCOMPARE(files.shownName, set);  // the next dialog opens on the file chosen last
        QCOMPARE(files.calls, 4);
        QVERIFY(boxes.shown.empty());
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
        QCOMPARE(w.Settings()->fn(), good);
        QCOMPARE(w.txtFormType->text(), QStringLiteral("g1"));
        w.AppCmd("save", {});  // a later Save still writes to the good file
        QCOMPARE(ReadBytes(good), QByteArray("g1\r\ng2\r\ng3\r\ng4\r\n"));
        if (content == "save")
            QVERIFY(!QFile::exists(bad));
    }
};

QTEST_MAIN(tst_SettingsFile)
#include "tst_SettingsFile.moc"
