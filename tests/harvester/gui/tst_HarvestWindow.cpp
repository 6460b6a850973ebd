// The window's runs on the example workbooks (statuses, progress bar, list,
// messages, closing during a run), its Preview, its browse, Edit and View
// buttons, and the captions before the path boxes.
#include "GuiTestSupport.h"

#include "harvester/gui/dlgPreview.h"

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

        QCOMPARE(int(ReadBytes(data).count('\n')), 1 + 7 * 4);  // the header, then seven lines a workbook

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

    void closingDuringRunStopsAfterTheCurrentWorkbook()
    {
        const QString in = app_.path("many-stop"), data = in + ".csv";
        QDir().mkpath(in);
        for (int i = 0; i < 12; ++i)
            QFile::copy(kForms + "/ann-2009-03-02.xlsx", in + QStringLiteral("/ann%1.xlsx").arg(i, 2, 10, QChar('0')));
        MsgBoxRecorder boxes;
        frmMain w;
        w.show();
        Fill(w, kFormDef, in, "", data);
        QSignalSpy finished(&w, &frmMain::runFinished);
        w.AppCmd("go", {});
        w.close();  // the run is still going: the window asks, and Yes stops it
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
        QVERIFY(!w.isVisible() && boxes.shown.size() == 1);  // no final message when closing
    }

    // Preview before, during and after a run; closing and going on with it; the list follows the run and shows
    // failure reasons whole.
    void previewAndTheListOfALongRun()
    {
        const QString in = app_.path("many");
        QDir().mkpath(in);
        for (int i = 0; i < 30; ++i)
            QFile::copy(kForms + "/ann-2009-03-02.xlsx", in + QStringLiteral("/ann%1.xlsx").arg(i, 2, 10, QChar('0')));
        WriteBytes(in + "/zz-broken.xlsx", "this is not a workbook, and the reason says so at some length");
        MsgBoxRecorder boxes;
        boxes.answers = {QMessageBox::No};
        FakePreview preview;
        frmMain w;
        w.setPreviewDialog(&preview);
        w.show();
        Fill(w, kFormDef, in, "", app_.path("many.csv"));
        QTest::mouseClick(w.cmdPreview, Qt::LeftButton);  // the first workbook

        // Whenever the list is brought up to date, the last row the run got to is in sight: the list follows it.
        int shown = 0, outOfSight = 0;
        bool previewWhileRunning = false;
        connect(&w, &frmMain::runShown, this, [&] {
            int last = -1;
            for (int row = 0; row < w.ListView1->topLevelItemCount(); ++row)
                if (const QString t = w.ListView1->topLevelItem(row)->text(1); !t.isEmpty() && t != u"Pending")
                    last = row;
            ++shown;
            if (last >= 0 && !RowInSight(w.ListView1, w.ListView1->topLevelItem(last)))
                ++outOfSight;
            previewWhileRunning |= w.cmdPreview->isEnabled();
        });
        QSignalSpy finished(&w, &frmMain::runFinished);
        QTest::mouseClick(w.cmdGo, Qt::LeftButton);
        w.close();  // the user says No: the run goes on, the window stays
        QVERIFY(finished.wait(60000));
        QVERIFY(w.isVisible() && boxes.shown.size() == 2 && boxes.shown[0].text.contains("Stop after"));
        QCOMPARE(int(ReadBytes(app_.path("many.csv")).count('\n')), 1 + 7 * 30);
        QVERIFY(shown > 0 && outOfSight == 0 && !previewWhileRunning && w.cmdPreview->isEnabled());
        QVERIFY(RowInSight(w.ListView1, w.ListView1->topLevelItem(30)));

        // The selected row is previewed; a broken one gives a message, no table.
        for (int row : {1, 30}) {
            w.ListView1->setCurrentItem(w.ListView1->topLevelItem(row));
            QTest::mouseClick(w.cmdPreview, Qt::LeftButton);
        }
        QCOMPARE(preview.shown.size(), size_t(2));
        QCOMPARE(QString::fromStdString(preview.shown[0].workbook), in + "/ann00.xlsx");
        QCOMPARE(QString::fromStdString(preview.shown[1].workbook), in + "/ann01.xlsx");
        QVERIFY(preview.shown[0].dataFileNew && !preview.shown[1].dataFileNew && preview.shown[0].rows.size() == 7);
        QVERIFY2(boxes.lastText().startsWith(in + "/zz-broken.xlsx: "), qPrintable(boxes.lastText()));

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
        QDir().mkpath(app_.path("cwd"));
        QDir::setCurrent(app_.path("cwd"));
        const QString expected = app_.path("cwd/ex/data.csv");

        MsgBoxRecorder boxes;
        TestWindow t;
        QLineEdit* edit = QList<QLineEdit*>{t.w.txtFormType, t.w.txtExportTo, t.w.txtInDir, t.w.txtOutDir}[box];
        QPushButton* button =
            QList<QPushButton*>{t.w.cmdGetFormType, t.w.cmdGetExportTo, t.w.cmdGetInDir, t.w.cmdGetOutDir}[box];
        edit->setText("ex/./data.csv");
        QTest::mouseClick(button, Qt::LeftButton);  // cancelled: the box keeps what was typed
        QCOMPARE(t.dialogs.shown, expected);
        QCOMPARE(t.dialogs.title, title);
        QCOMPARE(t.dialogs.filter, filter);
        QCOMPARE(t.dialogs.mustExist, box == 0);
        if (box == 0)
            QCOMPARE(t.dialogs.initDir, app_.path("FormTypes"));
        QCOMPARE(edit->text(), QStringLiteral("ex/./data.csv"));

        t.dialogs.choice = expected;  // confirmed as shown
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(edit->text(), expected);
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
