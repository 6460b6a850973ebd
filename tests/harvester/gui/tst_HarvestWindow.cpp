// The window's runs on the example workbooks (statuses, progress bar, list,
// messages, closing during a run), its Preview, its browse, Edit and View
// buttons, and the captions before the path boxes.
#include "GuiTestSupport.h"

#include "harvester/gui/dlgPreview.h"

#include <QDirIterator>
#include <QLabel>
#include <QProgressBar>
#include <QScrollBar>
#include <QTableWidget>

namespace {
bool RowInSight(QTreeWidget* lv, QTreeWidgetItem* item)
{
    const QRect r = lv->visualItemRect(item);
    return !r.isEmpty() && lv->viewport()->rect().contains(r);
}

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
        const QFileInfo fi(it.next());
        out << fi.filePath() + " " + QString::number(fi.size()) + " " + fi.lastModified().toString(Qt::ISODateWithMs) +
                   " " + ReadBytes(fi.filePath()).toHex();
    }
    out.sort();
    return out;
}
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
        for (const QString& n : names)
            QFile::copy(kForms + "/" + n, files.emplace_back(in + "/" + n));
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
        // Shown a few times a second, a row may pass over a status, never go back to one, and ends on the last.
        auto inOrder = [](const QStringList& shown, const QStringList& order) {
            qsizetype at = 0;
            for (const QString& s : shown)
                while (at < order.size() && !s.startsWith(order[at]))
                    ++at;
            return at < order.size() && !shown.isEmpty() && shown.last().startsWith(order.last());
        };
        QSignalSpy finished(&w, &frmMain::runFinished);
        QTest::mouseClick(w.cmdGo, Qt::LeftButton);
        QVERIFY(w.IsRunning() && !w.cmdGo->isEnabled());
        QVERIFY(finished.wait(60000));
        QVERIFY(w.cmdGo->isEnabled() && !runEnabledWhileRunning);

        QCOMPARE(Column(w, 0), files);
        const QStringList status = Column(w, 1);
        for (int r = 0; r < 5; ++r) {
            const QString end = r == 2 ? "Failed: " : "Done";  // a failed workbook stays for the next run
            QVERIFY2(inOrder(seen[r], {"Pending", "Processing", end}) &&
                         (r == 2 ? status[r].startsWith(end) : status[r] == end),
                     qPrintable(seen[r].join(", ") + " / " + status[r]));
            QVERIFY(QFile::exists(app_.path("done/" + names[r])) != (r == 2) && QFile::exists(files[r]) == (r == 2));
        }
        QVERIFY(w.prgRun->maximum() == 5 && w.prgRun->value() == 5 && w.prgRun->isTextVisible());
        QCOMPARE(boxes.shown.size(), size_t(1));
        QVERIFY2(boxes.lastText().contains("1 of the 5") && boxes.lastText().contains("broken.xlsx"),
                 qPrintable(boxes.lastText()));
        QCOMPARE(boxes.shown.back().icon, QMessageBox::Warning);

        // The data file: header, then the harvested workbooks' blocks of seven lines in list order.
        const QList<QByteArray> expected = ReadBytes(SOURCE_DIR "/examples/timesheets.expected.csv").split('\n');
        QByteArray want = expected[0] + "\n";
        for (int block : {0, 1, 2, 5})
            for (int i = 1 + 7 * block; i < 8 + 7 * block; ++i)
                want += expected[i] + "\n";
        QCOMPARE(ReadBytes(data), want);

        // An empty box starts nothing, and the earlier count goes.
        w.txtFormType->clear();
        QTest::mouseClick(w.cmdGo, Qt::LeftButton);
        QVERIFY(!w.IsRunning() && w.prgRun->value() == 0 && !w.prgRun->isTextVisible());

        // The next run finds nothing; the list shows this run alone.
        QFile::remove(files[2]);
        w.txtFormType->setText(kFormDef);
        w.AppCmd("go", {});
        QVERIFY(finished.wait(60000));
        QCOMPARE(w.ListView1->topLevelItemCount(), 0);
        QVERIFY(w.prgRun->value() == 0 && !w.prgRun->isTextVisible());
        QCOMPARE(boxes.lastText(), QStringLiteral("All of the forms in the input directory have been processed."));
        QCOMPARE(boxes.shown.back().title, w.windowTitle());

        // A configuration error is shown and writes nothing.
        Fill(w, app_.path("no-such-form.dat"), in, "", app_.path("x.csv"));
        QVERIFY(Run(w, 10000));
        QCOMPARE(boxes.shown.size(), size_t(3));
        QVERIFY2(boxes.lastText().contains(app_.path("no-such-form.dat")), qPrintable(boxes.lastText()));
        QVERIFY(!QFile::exists(app_.path("x.csv")) && !w.prgRun->isTextVisible());
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
        CopyAnn(in, 12);
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
        QVERIFY(stop ? boxes.shown.size() == 1 : done == 12);  // no final message when closing
    }

    void listFollowsTheRunAndShowsFailureReasonsWhole()
    {
        const QString in = app_.path("many");
        CopyAnn(in, 30);
        WriteBytes(in + "/zz-broken.xlsx", "this is not a workbook, and the reason says so at some length");
        MsgBoxRecorder boxes;
        frmMain w;
        w.show();
        Fill(w, kFormDef, in, "", app_.path("many.csv"));

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
        QVERIFY(shown > 0 && outOfSight == 0);
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
        QVERIFY(w.ListView1->columnWidth(0) < fileWidth && w.ListView1->horizontalScrollBar()->maximum() == 0);
    }

    void previewTableShowsFieldNamesValuesAndErrors()
    {
        PreviewTable t;
        t.headers = {"Name", "Day"};
        t.rows = {{{"\"Ann\"", ""}, {"02/03/2009", ""}}, {{"\"Ann\"", ""}, {"", "Type mismatch: not a date"}}};
        QTableWidget view;
        FillPreviewTable(&view, t);
        QVERIFY(view.columnCount() == 2 && view.rowCount() == 2);
        QCOMPARE((QStringList{view.horizontalHeaderItem(0)->text(), view.horizontalHeaderItem(1)->text(),
                              view.item(0, 1)->text(), view.item(1, 1)->text()}),
                 (QStringList{"Name", "Day", "02/03/2009", "Type mismatch: not a date"}));
        QCOMPARE(view.item(1, 1)->foreground().color(), QColor(Qt::red));
        QVERIFY(view.item(0, 1)->foreground().color() != QColor(Qt::red));
        QVERIFY(!(view.item(0, 0)->flags() & Qt::ItemIsEditable));
    }

    void previewShowsSelectedOrFirstWorkbook()
    {
        const QString in = app_.path("preview");
        QDir().mkpath(in);
        for (const QString n : {"ann-2009-03-02.xlsx", "ben-2009-03-02.xlsx"})
            QFile::copy(kForms + "/" + n, in + "/" + n);
        WriteBytes(in + "/zz-broken.xlsx", "this is not a workbook");
        MsgBoxRecorder boxes;
        FakePreview fake;
        frmMain w;
        w.setPreviewDialog(&fake);
        w.show();
        Fill(w, kFormDef, in, QString(), app_.path("preview.csv"));
        const QStringList before = Listing(app_.path(""));

        QTest::mouseClick(w.cmdPreview, Qt::LeftButton);
        QCOMPARE(fake.shown.size(), size_t(1));
        const PreviewTable& first = fake.shown[0];
        QCOMPARE(QString::fromStdString(first.workbook), in + "/ann-2009-03-02.xlsx");
        QVERIFY(first.headers.size() == 9 && first.headers[4] == "Task" && first.rows.size() == 7);
        QCOMPARE(QString::fromStdString(first.rows[0][0].text), QStringLiteral("\"Ann Baker\""));
        QVERIFY(first.dataFileNew);
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
        const size_t boxesBefore = boxes.shown.size();
        w.ListView1->setCurrentItem(w.ListView1->topLevelItem(2));
        QTest::mouseClick(w.cmdPreview, Qt::LeftButton);
        QCOMPARE(boxes.shown.size(), boxesBefore + 1);
        QVERIFY2(boxes.lastText().startsWith(in + "/zz-broken.xlsx: "), qPrintable(boxes.lastText()));
        w.ListView1->clearSelection();
        w.txtInDir->clear();
        QTest::mouseClick(w.cmdPreview, Qt::LeftButton);
        QCOMPARE(boxes.lastText(), QStringLiteral("No input folder given."));
        QCOMPARE(fake.shown.size(), size_t(2));
    }

    // Each browse button opens its dialog at the box's text, relative to the
    // current folder, and a confirmed choice goes back into the box.
    void browseButtons_data()
    {
        QTest::addColumn<int>("box");  // form type, data file, input folder, output folder
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("filter");  // empty: a folder browser
        auto row = [](const char* name, int box, const char* title, const char* filter) {
            QTest::newRow(name) << box << QString(title) << QString(filter);
        };
        row("form type", 0, "Choose Form Type", "Form Definition Files (*.dat)|*.dat");
        row("data file", 1, "Pick or Enter a File for the Data",
            "Comma Separated Value Files (*.csv)|*.csv|Data Files (*.dat)|*.dat|All Files (*.*)|*.*");
        row("input folder", 2, "Choose Input Directory", "");
        row("output folder", 3, "Choose Output Directory", "");
    }

    void browseButtons()
    {
        QFETCH(int, box);
        QFETCH(QString, title);
        QFETCH(QString, filter);
        const QString previous = QDir::currentPath();
        QDir().mkpath(app_.path("cwd/ex"));
        QDir::setCurrent(app_.path("cwd"));
        const QString expected = app_.path("cwd/ex/data.csv");

        MsgBoxRecorder boxes;
        TestWindow t;
        QLineEdit* edit = QList<QLineEdit*>{t.w.txtFormType, t.w.txtExportTo, t.w.txtInDir, t.w.txtOutDir}[box];
        QPushButton* button =
            QList<QPushButton*>{t.w.cmdGetFormType, t.w.cmdGetExportTo, t.w.cmdGetInDir, t.w.cmdGetOutDir}[box];
        edit->setText("ex/./data.csv");
        QTest::mouseClick(button, Qt::LeftButton);  // cancelled: the box keeps what was typed
        const bool folder = filter.isEmpty();
        QCOMPARE(folder ? t.folders.shownPath : t.files.shownName, expected);
        QCOMPARE(folder ? t.folders.title : t.files.title, title);
        QCOMPARE(t.files.filter, filter);
        QCOMPARE(t.files.mustExist, box == 0);
        if (box == 0)
            QCOMPARE(t.files.initDir, app_.path("FormTypes"));
        QCOMPARE(edit->text(), QStringLiteral("ex/./data.csv"));

        t.files.choice = t.folders.choice = expected;  // confirmed as shown
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(edit->text(), expected);
        QDir::setCurrent(previous);
    }

    void editAndViewStartPrograms()
    {
        MsgBoxRecorder boxes;
        {
            frmMain w;  // the real starter: there is no Tabwright in the test's folder
            QTest::mouseClick(w.cmdEditFormType, Qt::LeftButton);
            QVERIFY2(boxes.shown.size() == 1 && boxes.lastText().contains(app_.path("Tabwright")),
                     qPrintable(boxes.lastText()));
        }
        TestWindow t;
        qputenv("VISUAL", "my-editor --wait");
        QTest::mouseClick(t.w.cmdView, Qt::LeftButton);  // empty box: nothing
        t.w.txtFormType->setText("/forms/my week.dat");
        t.w.txtExportTo->setText("/data/hours of week.csv");
        QTest::mouseClick(t.w.cmdEditFormType, Qt::LeftButton);
        QTest::mouseClick(t.w.cmdView, Qt::LeftButton);
        qunsetenv("VISUAL");
        t.w.txtFormType->clear();  // an empty box is passed too
        QTest::mouseClick(t.w.cmdEditFormType, Qt::LeftButton);
        const QString editor = app_.path("Tabwright");
        QCOMPARE(t.started, QStringList({editor + "|/forms/my week.dat", "my-editor|--wait|/data/hours of week.csv",
                                         editor + "|"}));
        QCOMPARE(boxes.shown.size(), size_t(1));
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

QTEST_MAIN(tst_HarvestWindow)
#include "tst_HarvestWindow.moc"
