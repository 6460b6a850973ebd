// The window's Preview: which workbook it shows, the table the dialog gets,
// the table widget's headers and red error cells, and mistakes in the boxes.
#include "GuiTestSupport.h"

#include "harvester/gui/dlgPreview.h"

#include <QDirIterator>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>

namespace {
const QString kForms = QStringLiteral(SOURCE_DIR "/examples/forms");
const QString kFormDef = QStringLiteral(SOURCE_DIR "/examples/timesheet.dat");

struct FakePreview : PreviewDialog {
    std::vector<PreviewTable> shown;
    void Show(QWidget*, const PreviewTable& t) override { shown.push_back(t); }
};

// Names, sizes, times and bytes of everything under a folder.
QStringList Listing(const QString& root)
{
    QStringList out;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = it.next();
        const QFileInfo fi(p);
        out << p + " " + QString::number(fi.size()) + " " + QString::number(fi.lastModified().toMSecsSinceEpoch()) +
                   " " + QString::fromLatin1(ReadBytes(p).toHex());
    }
    out.sort();
    return out;
}
}  // namespace

class tst_Preview : public QObject {
    Q_OBJECT

    ScratchAppFolder app_;

private slots:
    void tableShowsFieldNamesValuesAndErrors()
    {
        PreviewTable t;
        t.workbook = "/x/a.xlsx";
        t.headers = {"Name", "Day"};
        t.rows = {{{"\"Ann\"", ""}, {"02/03/2009", ""}}, {{"\"Ann\"", ""}, {"", "Type mismatch: not a date"}}};
        QTableWidget view;
        FillPreviewTable(&view, t);
        QCOMPARE(view.columnCount(), 2);
        QCOMPARE(view.rowCount(), 2);
        QCOMPARE(view.horizontalHeaderItem(0)->text(), QStringLiteral("Name"));
        QCOMPARE(view.horizontalHeaderItem(1)->text(), QStringLiteral("Day"));
        QCOMPARE(view.item(0, 1)->text(), QStringLiteral("02/03/2009"));
        QCOMPARE(view.item(1, 1)->text(), QStringLiteral("Type mismatch: not a date"));
        QCOMPARE(view.item(1, 1)->foreground().color(), QColor(Qt::red));
        QVERIFY(view.item(0, 1)->foreground().color() != QColor(Qt::red));
        QVERIFY(!(view.item(0, 0)->flags() & Qt::ItemIsEditable));
    }

    void previewButtonShowsSelectedOrFirstWorkbook()
    {
        const QString in = app_.path("in");
        QDir().mkpath(in);
        for (const char* n : {"ann-2009-03-02.xlsx", "ben-2009-03-02.xlsx"})
            QFile::copy(kForms + "/" + QLatin1String(n), in + "/" + QLatin1String(n));
        WriteBytes(in + "/zz-broken.xlsx", "this is not a workbook");
        const QString data = app_.path("hours.csv");

        MsgBoxRecorder boxes;
        FakePreview fake;
        frmMain w;
        w.setPreviewDialog(&fake);
        w.show();
        Fill(w, kFormDef, in, QString(), data);
        const QStringList before = Listing(app_.path(""));

        QTest::mouseClick(w.cmdPreview, Qt::LeftButton);
        QCOMPARE(fake.shown.size(), size_t(1));
        QCOMPARE(QString::fromStdString(fake.shown[0].workbook), in + "/ann-2009-03-02.xlsx");
        QCOMPARE(fake.shown[0].headers.size(), size_t(9));
        QCOMPARE(QString::fromStdString(fake.shown[0].headers[4]), QStringLiteral("Task"));
        QCOMPARE(fake.shown[0].rows.size(), size_t(7));
        QCOMPARE(QString::fromStdString(fake.shown[0].rows[0][0].text), QStringLiteral("\"Ann Baker\""));
        QVERIFY(fake.shown[0].dataFileNew);
        QCOMPARE(Listing(app_.path("")), before);

        // A run without an output folder lists them; the selected row is previewed.
        QSignalSpy finished(&w, &frmMain::runFinished);
        QTest::mouseClick(w.cmdGo, Qt::LeftButton);
        QVERIFY(!w.cmdPreview->isEnabled());
        QVERIFY(finished.wait(60000));
        QVERIFY(w.cmdPreview->isEnabled());
        w.ListView1->setCurrentItem(w.ListView1->topLevelItem(1));
        QTest::mouseClick(w.cmdPreview, Qt::LeftButton);
        QCOMPARE(fake.shown.size(), size_t(2));
        QCOMPARE(QString::fromStdString(fake.shown[1].workbook), in + "/ben-2009-03-02.xlsx");
        QVERIFY(!fake.shown[1].dataFileNew);

        // A broken workbook and an empty input box: a message, no table.
        const int boxesBefore = int(boxes.shown.size());
        w.ListView1->setCurrentItem(w.ListView1->topLevelItem(2));
        QTest::mouseClick(w.cmdPreview, Qt::LeftButton);
        QCOMPARE(int(boxes.shown.size()), boxesBefore + 1);
        QVERIFY2(boxes.lastText().startsWith(in + "/zz-broken.xlsx: "), qPrintable(boxes.lastText()));
        w.ListView1->clearSelection();
        w.txtInDir->clear();
        QTest::mouseClick(w.cmdPreview, Qt::LeftButton);
        QCOMPARE(boxes.lastText(), QStringLiteral("No input folder given."));
        QCOMPARE(fake.shown.size(), size_t(2));
    }
};

QTEST_MAIN(tst_Preview)
#include "tst_Preview.moc"
