// What the window shows around a run: relative paths in the dialogs, the
// progress bar of a run that does not start, the list following the run,
// failure reasons in full, and the captions before the path boxes.
#include "GuiTestSupport.h"

#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

namespace {
const QString kForms = QStringLiteral(SOURCE_DIR "/examples/forms");
const QString kFormDef = QStringLiteral(SOURCE_DIR "/examples/timesheet.dat");

// Runs the window's job and waits for its end.
bool Run(frmMain& w)
{
    QSignalSpy finished(&w, &frmMain::runFinished);
    QTest::mouseClick(w.cmdGo, Qt::LeftButton);
    return finished.wait(60000);
}

bool RowInSight(QTreeWidget* lv, QTreeWidgetItem* item)
{
    const QRect r = lv->visualItemRect(item);
    return !r.isEmpty() && lv->viewport()->rect().contains(r);
}
}  // namespace

class tst_WindowDetails : public QObject {
    Q_OBJECT

    ScratchAppFolder app_;

private slots:
    // Each browse button opens its dialog at the box's text, relative to the
    // current folder, and a confirmed choice goes back into the box.
    void browseButtons_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("filter");  // empty: a folder browser
        QTest::newRow("form type") << "type"
                                   << "Choose Form Type"
                                   << "Form Definition Files (*.dat)|*.dat";
        QTest::newRow("data file") << "data"
                                   << "Pick or Enter a File for the Data"
                                   << "Comma Separated Value Files (*.csv)|*.csv|Data Files (*.dat)|*.dat|"
                                      "All Files (*.*)|*.*";
        QTest::newRow("input folder") << "in"
                                      << "Choose Input Directory"
                                      << "";
        QTest::newRow("output folder") << "out"
                                       << "Choose Output Directory"
                                       << "";
    }

    void browseButtons()
    {
        QFETCH(QString, box);
        QFETCH(QString, title);
        QFETCH(QString, filter);
        const QString previous = QDir::currentPath();
        QDir().mkpath(app_.path("cwd/ex"));
        QDir::setCurrent(app_.path("cwd"));
        const QString expected = app_.path("cwd/ex/data.csv");

        MsgBoxRecorder boxes;
        FakeFileDialog files;
        FakeFolderBrowser folders;
        frmMain w;
        w.setDialogs(&files, &folders);
        QLineEdit* edit = box == u"type"   ? w.txtFormType
                          : box == u"data" ? w.txtExportTo
                          : box == u"in"   ? w.txtInDir
                                           : w.txtOutDir;
        QPushButton* button = box == u"type"   ? w.cmdGetFormType
                              : box == u"data" ? w.cmdGetExportTo
                              : box == u"in"   ? w.cmdGetInDir
                                               : w.cmdGetOutDir;
        edit->setText("ex/./data.csv");
        QTest::mouseClick(button, Qt::LeftButton);  // cancelled: the box keeps what was typed
        const bool folder = filter.isEmpty();
        QCOMPARE(folder ? folders.shownPath : files.shownName, expected);
        QCOMPARE(folder ? folders.title : files.title, title);
        QCOMPARE(files.filter, filter);
        QCOMPARE(files.mustExist, box == u"type");
        if (box == u"type")
            QCOMPARE(files.initDir, app_.path("FormTypes"));
        QCOMPARE(edit->text(), QStringLiteral("ex/./data.csv"));

        files.choice = folders.choice = expected;  // confirmed as shown
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(edit->text(), expected);
        QDir::setCurrent(previous);
    }

    void progressBarIsResetWhenARunDoesNotStartOrFindsNothing()
    {
        const QString in = app_.path("one"), data = app_.path("one.csv");
        QDir().mkpath(in);
        QFile::copy(kForms + "/ann-2009-03-02.xlsx", in + "/ann.xlsx");
        MsgBoxRecorder boxes;
        frmMain w;
        w.show();
        Fill(w, kFormDef, in, app_.path("one-done"), data);
        QDir().mkpath(app_.path("one-done"));
        QVERIFY(Run(w));
        QCOMPARE(w.prgRun->value(), 1);
        QVERIFY(w.prgRun->isTextVisible());

        QVERIFY(Run(w));  // nothing left to harvest
        QCOMPARE(w.prgRun->value(), 0);
        QVERIFY(!w.prgRun->isTextVisible());

        QFile::copy(kForms + "/ann-2009-03-02.xlsx", in + "/ann2.xlsx");
        QVERIFY(Run(w));
        QCOMPARE(w.prgRun->value(), 1);
        w.txtFormType->setText(app_.path("no-such-form.dat"));  // a configuration error
        QVERIFY(Run(w));
        QCOMPARE(w.prgRun->value(), 0);
        QVERIFY(!w.prgRun->isTextVisible());
        QVERIFY2(boxes.lastText().contains("no-such-form.dat"), qPrintable(boxes.lastText()));

        w.txtFormType->setText(kFormDef);
        QFile::copy(kForms + "/ann-2009-03-02.xlsx", in + "/ann3.xlsx");
        QVERIFY(Run(w));
        QCOMPARE(w.prgRun->value(), 1);
        w.txtFormType->clear();  // an empty box starts nothing
        QTest::mouseClick(w.cmdGo, Qt::LeftButton);
        QTest::qWait(50);
        QCOMPARE(w.prgRun->value(), 0);
        QVERIFY(!w.prgRun->isTextVisible());
    }

    void listFollowsTheRunAndShowsFailureReasonsWhole()
    {
        const QString in = app_.path("many"), data = app_.path("many.csv");
        QDir().mkpath(in);
        for (int i = 0; i < 30; ++i)
            QFile::copy(kForms + "/ann-2009-03-02.xlsx", in + QStringLiteral("/ann%1.xlsx").arg(i, 2, 10, QChar('0')));
        WriteBytes(in + "/zz-broken.xlsx", "this is not a workbook, and the reason says so at some length");
        MsgBoxRecorder boxes;
        frmMain w;
        w.show();
        Fill(w, kFormDef, in, "", data);

        // Whenever the list is brought up to date, the last row the run got to is in sight: the list follows it.
        int shown = 0, outOfSight = 0;
        connect(&w, &frmMain::runShown, this, [&] {
            int last = -1;
            for (int row = 0; row < w.ListView1->topLevelItemCount(); ++row)
                if (const QString t = w.ListView1->topLevelItem(row)->text(1); !t.isEmpty() && t != u"Pending")
                    last = row;
            ++shown;
            if (last >= 0 && !RowInSight(w.ListView1, w.ListView1->topLevelItem(last)))
                ++outOfSight;
        });
        QVERIFY(Run(w));
        QVERIFY(shown > 0);
        QCOMPARE(outOfSight, 0);
        QVERIFY(RowInSight(w.ListView1, w.ListView1->topLevelItem(30)));

        // The failure's reason fits its column, also after the window grows.
        QTreeWidgetItem* failed = w.ListView1->topLevelItem(30);
        QVERIFY2(failed->text(1).startsWith("Failed: "), qPrintable(failed->text(1)));
        for (int width : {0, 300}) {
            w.resize(w.width() + width, w.height());
            QTest::qWait(20);
            const int needed = w.ListView1->fontMetrics().horizontalAdvance(failed->text(1));
            QVERIFY2(w.ListView1->columnWidth(1) >= needed,
                     qPrintable(QStringLiteral("%1 < %2").arg(w.ListView1->columnWidth(1)).arg(needed)));
            QVERIFY(w.ListView1->columnWidth(0) <= w.ListView1->viewport()->width() / 2 + 1);
        }

        // A run that finds nothing gives the room back to the Status column.
        const int fileWidth = w.ListView1->columnWidth(0);
        QDir(in).removeRecursively();
        QDir().mkpath(in);
        QVERIFY(Run(w));
        QCOMPARE(w.ListView1->topLevelItemCount(), 0);
        QVERIFY(w.ListView1->columnWidth(0) < fileWidth);
        QVERIFY(w.ListView1->horizontalScrollBar()->maximum() == 0);
    }

    // The columns are fitted from widths measured once per text; a bigger
    // font must be measured again.
    void failureReasonFitsAgainAfterTheFontGrows()
    {
        const QString in = app_.path("font"), data = app_.path("font.csv");
        QDir().mkpath(in);
        WriteBytes(in + "/broken.xlsx", "this is not a workbook, and the reason says so at some length");
        MsgBoxRecorder boxes;
        frmMain w;
        w.show();
        Fill(w, kFormDef, in, "", data);
        QVERIFY(Run(w));
        QTreeWidgetItem* failed = w.ListView1->topLevelItem(0);
        QVERIFY2(failed->text(1).startsWith("Failed: "), qPrintable(failed->text(1)));
        QFont bigger = w.ListView1->font();
        bigger.setPointSizeF(bigger.pointSizeF() * 2);
        w.ListView1->setFont(bigger);
        w.resize(w.width() + 1, w.height());
        QTest::qWait(20);
        const int needed = w.ListView1->fontMetrics().horizontalAdvance(failed->text(1));
        QVERIFY2(w.ListView1->columnWidth(1) >= needed,
                 qPrintable(QStringLiteral("%1 < %2").arg(w.ListView1->columnWidth(1)).arg(needed)));
    }

    void captionsStandWholeWithTheSameGapBeforeTheirBoxes()
    {
        frmMain w;
        w.show();
        const std::pair<QLabel*, QLineEdit*> rows[] = {
            {w.Label1, w.txtFormType}, {w.Label6, w.txtInDir}, {w.Label7, w.txtOutDir}, {w.Label8, w.txtExportTo}};
        const int gap = rows[0].second->x() - (rows[0].first->x() + rows[0].first->width());
        QVERIFY(gap > 0);
        for (const auto& [label, box] : rows) {
            QVERIFY2(label->sizeHint().width() <= label->width(), qPrintable(label->text()));
            QCOMPARE(box->x() - (label->x() + label->width()), gap);
            QCOMPARE(box->x(), rows[0].second->x());
        }
        // The boxes still end where their buttons begin, and grow with the window.
        const int before = w.txtOutDir->width();
        QVERIFY(w.txtOutDir->geometry().right() < w.cmdGetOutDir->x());
        w.resize(w.width() + 100, w.height());
        QTest::qWait(20);
        QCOMPARE(w.txtOutDir->width(), before + 100);
    }
};

QTEST_MAIN(tst_WindowDetails)
#include "tst_WindowDetails.moc"
