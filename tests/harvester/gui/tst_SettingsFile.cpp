// Settings files through the window: the File menu, the replace question,
// the kept lines and the errors.
#include "GuiTestSupport.h"

#include "common/RtError.h"
#include "common/gui/modAppFolder.h"
#include "harvester/gui/clsSetFile.h"
#include "harvester/gui/frmMain.h"
#include "harvester/gui/clsSetFile.h"

#include <QLineEdit>
#include <QAction>
#include <QTest>

class tst_SettingsFile : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }

    static void fill(frmMain& w, const QString& a, const QString& b, const QString& c, const QString& d)
    {
        w.txtFormType->setText(a);
        w.txtInDir->setText(b);
        w.txtOutDir->setText(c);
        w.txtExportTo->setText(d);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        setAppFolder(dir_.path());
    }

    void classStartsWithOneEmptyEntry()
    {
        clsSetFile s;
        QCOMPARE(s.Rows(), int16_t(1));
        QCOMPARE(s.Data(0), QString());
        QVERIFY(s.fn().isEmpty());
        s.setRows(3);
        QCOMPARE(s.Rows(), int16_t(3));
        QVERIFY_THROWS_EXCEPTION(rt::RtError, s.Data(3));
        QVERIFY_THROWS_EXCEPTION(rt::RtError, s.setData(-1, "x"));
    }

    void saveWithoutOpenWritesFourLines()
    {
        MsgBoxRecorder boxes;
        frmMain w;
        fill(w, "form.dat", "", "out", "data.csv");
        const QString set = path("four.set");
        w.AppCmd("SaveAs", {set});
        QCOMPARE(ReadBytes(set), QByteArray("form.dat\r\n\r\nout\r\ndata.csv\r\n"));
        QCOMPARE(w.Settings()->fn(), set);
        QVERIFY(boxes.shown.empty());
    }

    void sixLinesKeepLinesFiveAndSix()
    {
        const QString set = path("six.set");
        WriteBytes(set, "a\r\nb\r\nc\r\nd\r\nfifth line\r\n  sixth  \r\n");
        frmMain w;
        w.AppCmd("open", {set});
        QCOMPARE(w.txtFormType->text(), QStringLiteral("a"));
        QCOMPARE(w.txtExportTo->text(), QStringLiteral("d"));
        fill(w, "A", "B", "C", "D");
        w.AppCmd("save", {});
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
        const QList<QByteArray> lines = ReadBytes(set).split('\n');
        QCOMPARE(lines.size(), 51);  // 50 lines and the empty rest after the last line end
        QCOMPARE(lines[49], QByteArray("line 50\r"));
        QVERIFY(lines[50].isEmpty());
    }

    void spacesAreKept()
    {
        const QString set = path("spaces.set");
        frmMain w;
        fill(w, "  form.dat ", " ", "out  ", "\tdata.csv");
        w.AppCmd("saveas", {set});
        frmMain v;
        v.AppCmd("open", {set});
        QCOMPARE(v.txtFormType->text(), QStringLiteral("  form.dat "));
        QCOMPARE(v.txtInDir->text(), QStringLiteral(" "));
        QCOMPARE(v.txtOutDir->text(), QStringLiteral("out  "));
        QCOMPARE(v.txtExportTo->text(), QStringLiteral("\tdata.csv"));
    }

    void lastLineWithoutEndAndEmptySecondLine()
    {
        const QString set = path("noend.set");
        WriteBytes(set, "f\r\n\r\no\rlast");
        frmMain w;
        w.txtInDir->setText("was here");
        w.AppCmd("open", {set});
        QCOMPARE(w.txtFormType->text(), QStringLiteral("f"));
        QCOMPARE(w.txtInDir->text(), QString());
        QCOMPARE(w.txtOutDir->text(), QStringLiteral("o"));
        QCOMPARE(w.txtExportTo->text(), QStringLiteral("last"));
    }

    void replaceQuestionNo()
    {
        const QString current = path("current.set");
        const QString other = path("other.set");
        WriteBytes(other, "old\r\n");
        MsgBoxRecorder boxes;
        boxes.answers = {QMessageBox::No};
        frmMain w;
        fill(w, "1", "2", "3", "4");
        w.AppCmd("saveas", {current});
        w.AppCmd("saveas", {other});
        QCOMPARE(boxes.shown.size(), size_t(1));
        QCOMPARE(boxes.shown[0].text, other + " already exists.\nDo you want to replace it?");
        QCOMPARE(boxes.shown[0].buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(boxes.shown[0].title, w.windowTitle());
        QCOMPARE(ReadBytes(other), QByteArray("old\r\n"));
        QCOMPARE(w.Settings()->fn(), current);
    }

    void replaceQuestionYes()
    {
        const QString other = path("replace.set");
        WriteBytes(other, "old\r\n");
        MsgBoxRecorder boxes;
        boxes.answers = {QMessageBox::Yes};
        frmMain w;
        fill(w, "1", "2", "3", "4");
        w.AppCmd("saveas", {other});
        QCOMPARE(boxes.shown.size(), size_t(1));
        QCOMPARE(ReadBytes(other), QByteArray("1\r\n2\r\n3\r\n4\r\n"));
        QCOMPARE(w.Settings()->fn(), other);
    }

    void saveAfterOpenOverwritesWithoutQuestion()
    {
        const QString set = path("opened.set");
        WriteBytes(set, "a\r\nb\r\nc\r\nd\r\n");
        MsgBoxRecorder boxes;
        frmMain w;
        w.AppCmd("open", {set});
        w.txtOutDir->setText("new out");
        w.mnuFileSave->trigger();
        QVERIFY(boxes.shown.empty());
        QCOMPARE(ReadBytes(set), QByteArray("a\r\nb\r\nnew out\r\nd\r\n"));
    }

    void saveWithoutCurrentFileOpensSaveAs()
    {
        FakeFileDialog files;
        FakeFolderBrowser folders;
        frmMain w;
        w.setDialogs(&files, &folders);
        files.choice = path("chosen.set");
        fill(w, "f", "i", "o", "d");
        w.mnuFileSave->trigger();
        QCOMPARE(files.calls, 1);
        QCOMPARE(files.title, QStringLiteral("Save As"));
        QVERIFY(!files.mustExist);
        QCOMPARE(files.initDir, dir_.path() + "/Settings");
        QCOMPARE(files.filter, QStringLiteral("Settings Files (*.set) | *.set"));
        QCOMPARE(ReadBytes(files.choice), QByteArray("f\r\ni\r\no\r\nd\r\n"));
        QCOMPARE(w.Settings()->fn(), files.choice);
    }

    void openMenu()
    {
        const QString set = path("menu.set");
        WriteBytes(set, "mf\r\nmi\r\nmo\r\nmd\r\n");
        FakeFileDialog files;
        FakeFolderBrowser folders;
        frmMain w;
        w.setDialogs(&files, &folders);

        // Cancelled: nothing changes.
        w.mnuFileOpen->trigger();
        QCOMPARE(files.calls, 1);
        QCOMPARE(files.title, QStringLiteral("Open"));
        QVERIFY(files.mustExist);
        QVERIFY(w.txtFormType->text().isEmpty());
        QVERIFY(w.Settings()->fn().isEmpty());

        files.choice = set;
        w.mnuFileOpen->trigger();
        QCOMPARE(w.txtFormType->text(), QStringLiteral("mf"));
        QCOMPARE(w.txtExportTo->text(), QStringLiteral("md"));
        QCOMPARE(w.Settings()->fn(), set);

        // The next dialog opens on the file chosen last.
        files.choice.clear();
        w.mnuFileSaveAs->trigger();
        QCOMPARE(files.shownName, set);
    }

    void failedOpenNamesFileAndKeepsCurrent_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");  // empty: the file is not created
        QTest::newRow("missing") << "missing.set" << QByteArray();
        QTest::newRow("empty file") << "empty.set" << QByteArray("\x01");
        QTest::newRow("three lines") << "three.set" << QByteArray("a\r\nb\r\nc\r\n");
        QTest::newRow("a folder") << "folder.set" << QByteArray("dir");
    }

    void failedOpenNamesFileAndKeepsCurrent()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        const QString bad = path(name);
        if (content == "dir")
            QDir(dir_.path()).mkdir(name);
        else if (content == "\x01")
            WriteBytes(bad, QByteArray());
        else if (!content.isEmpty())
            WriteBytes(bad, content);

        const QString good = path("good.set");
        WriteBytes(good, "g1\r\ng2\r\ng3\r\ng4\r\n");
        MsgBoxRecorder boxes;
        frmMain w;
        w.AppCmd("open", {good});
        w.AppCmd("open", {bad});
        QCOMPARE(boxes.shown.size(), size_t(1));
        QVERIFY2(boxes.lastText().contains(bad), qPrintable(boxes.lastText()));
        QCOMPARE(w.Settings()->fn(), good);
        QCOMPARE(w.txtFormType->text(), QStringLiteral("g1"));
        // A later Save still writes to the good file.
        w.AppCmd("save", {});
        QCOMPARE(ReadBytes(good), QByteArray("g1\r\ng2\r\ng3\r\ng4\r\n"));
    }

    void unwritableFileIsReported()
    {
        MsgBoxRecorder boxes;
        frmMain w;
        const QString bad = path("no such folder/x.set");
        w.AppCmd("saveas", {bad});
        QCOMPARE(boxes.shown.size(), size_t(1));
        QVERIFY2(boxes.lastText().contains(bad), qPrintable(boxes.lastText()));
        QVERIFY(!QFile::exists(bad));
        QVERIFY(w.Settings()->fn().isEmpty());
    }
};

QTEST_MAIN(tst_SettingsFile)
#include "tst_SettingsFile.moc"
