// File > "New Form Type from Workbook...": the form definition written into
// the FormTypes folder, the question before replacing one, the mistakes
// (cancelling, a file that is no workbook), and the editor opened on it.
#include "GuiTestSupport.h"

#include <QAction>
#include <QMenu>
#include <QTest>

namespace {
const QString kTemplate = QStringLiteral(TEST_DATA_DIR "/harvester/fixtures/define/template.xlsx");
const QString kNoNames = QStringLiteral(TEST_DATA_DIR "/harvester/fixtures/define/nonames.xlsx");
const QString kNotABook = QStringLiteral(TEST_DATA_DIR "/harvester/fixtures/notabook.xlsx");
const QString kExpected = QStringLiteral(TEST_DATA_DIR "/harvester/fixtures/define/template.expected.dat");
}  // namespace

class tst_NewFormType : public QObject {
    Q_OBJECT

    ScratchAppFolder app_;

    struct Window {
        frmMain w;
        FakeFileDialog files;
        FakeFolderBrowser folders;
        QStringList started;  // the editor's arguments, one start per entry
        Window()
        {
            w.setDialogs(&files, &folders);
            w.setProcessStarter([this](const QString& program, const QStringList& args, QString*) {
                started << program + " " + args.join(QLatin1Char('|'));
                return true;
            });
        }
    };

private slots:
    void cleanup() { QDir(app_.path("FormTypes")).removeRecursively(); }

    void writesOpensAndFillsTheBox()
    {
        MsgBoxRecorder boxes;
        Window win;
        win.files.choice = kTemplate;
        win.w.mnuFileNewFormType->trigger();
        const QString form = app_.path("FormTypes/template.dat");
        QCOMPARE(win.files.calls, 1);
        QVERIFY(win.files.mustExist);
        QVERIFY2(win.files.filter.contains("*.xlsx") && win.files.filter.contains("*.ods"),
                 qPrintable(win.files.filter));
        QCOMPARE(ReadBytes(form), ReadBytes(kExpected));
        QCOMPARE(win.w.txtFormType->text(), form);
        QCOMPARE(win.started, QStringList({app_.path("Tabwright") + " " + form}));
        QVERIFY(boxes.shown.empty());
    }

    void asksBeforeReplacing_data()
    {
        QTest::addColumn<bool>("replace");
        QTest::newRow("No keeps the old one") << false;
        QTest::newRow("Yes replaces it") << true;
    }
    void asksBeforeReplacing()
    {
        QFETCH(bool, replace);
        MsgBoxRecorder boxes;
        boxes.answers.push_back(replace ? QMessageBox::Yes : QMessageBox::No);
        Window win;
        const QString form = app_.path("FormTypes/template.dat");
        QDir().mkpath(app_.path("FormTypes"));
        WriteBytes(form, "old");
        win.w.txtFormType->setText("before.dat");
        win.files.choice = kTemplate;
        win.w.mnuFileNewFormType->trigger();
        QCOMPARE(boxes.shown.size(), size_t(1));
        QCOMPARE(boxes.shown[0].text, form + " already exists.\nDo you want to replace it?");
        QCOMPARE(ReadBytes(form), replace ? ReadBytes(kExpected) : QByteArray("old"));
        QCOMPARE(win.w.txtFormType->text(), replace ? form : QStringLiteral("before.dat"));
        QCOMPARE(win.started.size(), replace ? 1 : 0);
    }

    void mistakesChangeNothing_data()
    {
        QTest::addColumn<QString>("choice");
        QTest::addColumn<QString>("message");  // empty: no box
        QTest::newRow("cancelled") << QString() << QString();
        QTest::newRow("not a workbook") << kNotABook << "No form definition was made from " + kNotABook + ":\n";
        QTest::newRow("no usable name") << kNoNames << "no defined name refers to one range of cells";
    }
    void mistakesChangeNothing()
    {
        QFETCH(QString, choice);
        QFETCH(QString, message);
        MsgBoxRecorder boxes;
        Window win;
        win.w.txtFormType->setText("before.dat");
        win.files.choice = choice;
        win.w.mnuFileNewFormType->trigger();
        QCOMPARE(boxes.shown.size(), size_t(message.isEmpty() ? 0 : 1));
        if (!message.isEmpty())
            QVERIFY2(boxes.lastText().contains(message), qPrintable(boxes.lastText()));
        QCOMPARE(QDir(app_.path("FormTypes")).entryList(QDir::Files), QStringList());
        QCOMPARE(win.w.txtFormType->text(), QStringLiteral("before.dat"));
        QVERIFY(win.started.isEmpty());
    }

    // The box names the workbook once, in its first line or in the reason.
    void theBoxNamesTheWorkbookOnce_data()
    {
        QTest::addColumn<QString>("choice");
        QTest::newRow("not a workbook") << kNotABook;
        QTest::newRow("no usable name") << kNoNames;
        QTest::newRow("gone before it was read") << app_.path("gone.xlsx");
    }
    void theBoxNamesTheWorkbookOnce()
    {
        QFETCH(QString, choice);
        MsgBoxRecorder boxes;
        Window win;
        win.files.choice = choice;
        win.w.mnuFileNewFormType->trigger();
        QCOMPARE(boxes.shown.size(), size_t(1));
        QVERIFY2(boxes.lastText().startsWith("No form definition was made"), qPrintable(boxes.lastText()));
        QVERIFY2(boxes.lastText().count(choice) == 1, qPrintable(boxes.lastText()));
    }

    void theMenuEntry()
    {
        Window win;
        QCOMPARE(win.w.mnuFileNewFormType->text(), QStringLiteral("&New Form Type from Workbook..."));
        QVERIFY(win.w.mnuFile->actions().contains(win.w.mnuFileNewFormType));
    }
};

QTEST_MAIN(tst_NewFormType)
#include "tst_NewFormType.moc"
