// File > "New Form Type from Workbook...": the form definition written into
// the FormTypes folder, the question before replacing one, the mistakes
// (cancelling, a file that is no workbook), and the editor opened on it.
#include "GuiTestSupport.h"

#include <QAction>
#include <QMenu>

namespace {
const QString kTemplate = QStringLiteral(TEST_DATA_DIR "/harvester/fixtures/define/template.xlsx");
const QString kNoNames = QStringLiteral(TEST_DATA_DIR "/harvester/fixtures/define/nonames.xlsx");
const QString kNotABook = QStringLiteral(TEST_DATA_DIR "/harvester/fixtures/notabook.xlsx");
const QString kExpected = QStringLiteral(TEST_DATA_DIR "/harvester/fixtures/define/template.expected.dat");
}  // namespace

class tst_NewFormType : public QObject {
    Q_OBJECT

    ScratchAppFolder app_;

private slots:
    void cleanup() { QDir(app_.path("FormTypes")).removeRecursively(); }

    // A new form definition is written, the box names it and the editor opens it; a question comes
    // before replacing one; each mistake shows why and changes nothing.
    void fromWorkbook_data()
    {
        QTest::addColumn<QString>("choice");   // empty: cancelled
        QTest::addColumn<int>("before");       // 0: no form definition of that name, else the answer to replace it
        QTest::addColumn<QString>("message");  // empty: no box
        QTest::addColumn<bool>("written");
        const QString exists = app_.path("FormTypes/template.dat") + " already exists.\nDo you want to replace it?";
        QTest::newRow("new") << kTemplate << 0 << QString() << true;
        QTest::newRow("No keeps the old one") << kTemplate << int(QMessageBox::No) << exists << false;
        QTest::newRow("Yes replaces it") << kTemplate << int(QMessageBox::Yes) << exists << true;
        QTest::newRow("cancelled") << QString() << 0 << QString() << false;
        QTest::newRow("not a workbook") << kNotABook << 0 << "No form definition was made from " + kNotABook + ":\n"
                                        << false;
        QTest::newRow("no usable name") << kNoNames << 0 << "no defined name refers to one range of cells" << false;
    }

    void fromWorkbook()
    {
        QFETCH(int, before);
        QFETCH(QString, message);
        QFETCH(bool, written);
        const QString form = app_.path("FormTypes/template.dat");
        if (before) {
            QDir().mkpath(app_.path("FormTypes"));
            WriteBytes(form, "old");
        }
        MsgBoxRecorder boxes;
        boxes.answers = {QMessageBox::StandardButton(before)};
        TestWindow win;
        win.w.txtFormType->setText("before.dat");
        QFETCH(QString, choice);
        win.files.choice = choice;
        win.w.mnuFileNewFormType->trigger();
        QVERIFY(win.w.mnuFile->actions().contains(win.w.mnuFileNewFormType));
        QVERIFY(win.files.calls == 1 && win.files.mustExist);
        QVERIFY2(win.files.filter.contains("*.xlsx") && win.files.filter.contains("*.ods"),
                 qPrintable(win.files.filter));
        QCOMPARE(boxes.shown.size(), size_t(message.isEmpty() ? 0 : 1));
        QVERIFY2(boxes.lastText().contains(message), qPrintable(boxes.lastText()));
        QCOMPARE(QDir(app_.path("FormTypes")).entryList(QDir::Files),
                 written || before ? QStringList{"template.dat"} : QStringList());
        QCOMPARE(ReadBytes(form), written ? ReadBytes(kExpected) : before ? QByteArray("old") : QByteArray());
        QCOMPARE(win.w.txtFormType->text(), written ? form : QStringLiteral("before.dat"));
        QCOMPARE(win.started, written ? QStringList{app_.path("Tabwright") + "|" + form} : QStringList());
    }
};

QTEST_MAIN(tst_NewFormType)
#include "tst_NewFormType.moc"
