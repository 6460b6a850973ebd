// The harvester's window: its runs on the example workbooks (statuses,
// progress bar, list, messages, closing during a run), Preview, the browse,
// Edit and View buttons, the captions before the path boxes; start-up options
// and the usage text, command dispatch, the File menu (settings files, a new
// form type from a workbook) and the Help menu (product information from
// App.def, the About box), with the text rules of the version, relative paths
// and dialog filters.
#include "GuiTestSupport.h"

#include "common/RtError.h"
#include "common/gui/clsProductInfo.h"
#include "common/gui/frmAbout.h"
#include "harvester/gui/clsSetFile.h"
#include "harvester/gui/dlgPreview.h"
#include "harvester/gui/modMain.h"

namespace {
const QString kTemplate = QStringLiteral(TEST_DATA_DIR "/harvester/fixtures/define/template.xlsx");
const QString kNoNames = QStringLiteral(TEST_DATA_DIR "/harvester/fixtures/define/nonames.xlsx");
const QString kNotABook = QStringLiteral(TEST_DATA_DIR "/harvester/fixtures/notabook.xlsx");
const QString kExpected = QStringLiteral(TEST_DATA_DIR "/harvester/fixtures/define/template.expected.dat");

bool RowInSight(QTreeWidget* lv, QTreeWidgetItem* item)
{
    const QRect r = lv->visualItemRect(item);  // may be wider than the list: it scrolls sideways
    return !r.isEmpty() && r.top() >= 0 && r.bottom() < lv->viewport()->height();
}

struct FakePreview : PreviewDialog {
    std::vector<PreviewTable> shown;
    void Show(QWidget*, const PreviewTable& t) override { shown.push_back(t); }
};

}  // namespace

class tst_HarvestWindow : public QObject {
    Q_OBJECT

    QTemporaryDir app_;                // the application folder of the whole program
    QString form_ = path("form.dat");  // a valid form definition

    QString path(const QString& name) const { return app_.filePath(name); }

private slots:
    void initTestCase()
    {
        setAppFolder(app_.path());
        WriteBytes(form_, "1,3\r\n\"Name\",\"B2\",\"text\"\r\n");
        QDir(app_.path()).mkdir("empty");
        WriteBytes(path("broken.png"), "not a picture");
        QImage red(8, 8, QImage::Format_RGB32);
        red.fill(Qt::red);
        QVERIFY(red.save(path("red.png")));
    }

    void cleanup() { QDir(path("FormTypes")).removeRecursively(); }

    void readOptions_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("want");  // the options given with their values, then the words left over
        auto row = [](const char* name, const char* text, const char* want) { QTest::newRow(name) << text << want; };
        row("nothing", "", "");
        row("last option given but empty", "/type f.dat /data", "type=f.dat data=");
        row("/data alone", "/data", "data=");
        row("a workbook name alone", "book.xls", "strays=1");
        row("unknown slash word", "/run", "strays=1");
        row("double hyphen is glean's spelling only", "--in=x --out y", "strays=3");
        row("all six", "/open s /type t /in i /out o /data d /AutoRun", "open=s type=t in=i out=o data=d autorun");
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
        given << (o.autorun ? "autorun" : "") << (o.strays ? QString("strays=%1").arg(o.strays) : "");
        QTEST(given.join(' ').simplified(), "want");
    }

    void optionsFillTheBoxes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("boxes");
        QTest::newRow("four") << R"(/type "a b.dat" /IN "C:\My Forms" /out o /data d.csv)"
                              << QStringList{"a b.dat", R"(C:\My Forms)", "o", "d.csv"};
        QTest::newRow("/open with /in replaces only the input folder")
            << "/open " + path("job.set") + " /in other" << QStringList{"form.dat", "other", "out1", "d1.csv"};
        QTest::newRow("/autorun starts the run and keeps the window")
            << "/type " + form_ + " /in " + path("empty") + " /data " + path("out.csv") + " /autorun"
            << QStringList{form_, path("empty"), "", path("out.csv")};
    }

    void optionsFillTheBoxes()
    {
        QFETCH(QString, text);
        const bool autorun = text.endsWith("/autorun");
        WriteBytes(path("job.set"), "form.dat\r\nin1\r\nout1\r\nd1.csv\r\n");
        MsgBoxRecorder boxes;
        frmMain w;
        w.show();
        QSignalSpy finished(&w, &frmMain::runFinished);
        ApplyStartOptions(w, ReadStartOptions(text.toStdString()));
        QTEST(Boxes(w), "boxes");
        QCOMPARE(w.Settings()->fn(), text.startsWith("/open") ? path("job.set") : QString());
        // The menu's chooser is not moved by a file named on the command line.
        QVERIFY(w.SettingsChooser()->Path().isEmpty() && w.IsRunning() == autorun);
        QVERIFY((!autorun || finished.wait(10000)) && w.isVisible());
        QCOMPARE(boxes.lastText(), autorun ? QString::fromLatin1(clsBatchRun::kNothingToDo) : QString());
    }

    // Run needs the three boxes; other words do nothing; the Exit button, the menu and the command close.
    void commandsThatStartNothingAndExit()
    {
        MsgBoxRecorder boxes;
        frmMain w;
        w.show();
        for (int empty = 0; empty < 3; ++empty) {  // form definition, input folder, data file
            Fill(w, empty == 0 ? "" : form_, empty == 1 ? "" : path("empty"), "", empty == 2 ? "" : path("out.csv"));
            QTest::mouseClick(w.cmdGo, Qt::LeftButton);
            QVERIFY2(!w.IsRunning() && boxes.shown.empty(), qPrintable(QString::number(empty)));
        }
        w.txtFormType->setText("keep");
        for (const char* word : {"run", "", "gone", "opens", "quit"})
            w.AppCmd(QString::fromLatin1(word), {QStringLiteral("x.set")});
        QVERIFY(!w.IsRunning() && w.isVisible() && w.txtFormType->text() == u"keep");
        QVERIFY(w.Settings()->fn().isEmpty() && boxes.shown.empty());

        for (int how = 0; how < 3; ++how) {  // the button, the menu, the command
            w.show();
            how == 0   ? QTest::mouseClick(w.cmdExit, Qt::LeftButton)
            : how == 1 ? w.mnuFileExit->trigger()
                       : w.AppCmd("EXIT", {});
            QVERIFY2(!w.isVisible(), qPrintable(QString::number(how)));
        }
    }

    // Lines 5 to 50 are kept as read, no line past them is reached; Save after an open asks nothing.
    void keptLines_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QByteArray>("saved");  // after the boxes were set to A, B, C, D
        QByteArray sixty;
        for (int i = 1; i <= 60; ++i)
            sixty += "line " + QByteArray::number(i) + "\r\n";
        const qsizetype five = sixty.indexOf("line 5\r"), fiftyOne = sixty.indexOf("line 51");
        const QByteArray kept = "A\r\nB\r\nC\r\nD\r\n" + sixty.mid(five, fiftyOne - five);
        QTest::newRow("six lines, any line ends")
            << QByteArray(" a\r\n\r\nc \rd\nfifth line\r\n  sixth  ") << QStringList{" a", "", "c ", "d"}
            << QByteArray("A\r\nB\r\nC\r\nD\r\nfifth line\r\n  sixth  \r\n");
        QTest::newRow("sixty lines") << sixty << QStringList{"line 1", "line 2", "line 3", "line 4"} << kept;
    }

    void keptLines()
    {
        QFETCH(QByteArray, file);
        const QString set = WriteBytes(path("kept.set"), file);
        MsgBoxRecorder boxes;
        frmMain w;
        Fill(w, "was here", "was here", "was here", "was here");
        w.AppCmd("Open", {set});
        QTEST(Boxes(w), "boxes");
        clsSetFile* lines = w.Settings();
        QVERIFY_THROWS_EXCEPTION(rt::RtError, lines->Data(lines->Rows()));
        QVERIFY_THROWS_EXCEPTION(rt::RtError, lines->setData(-1, "x"));
        Fill(w, "A", "B", "C", "D");
        w.mnuFileSave->trigger();
        QVERIFY(boxes.shown.empty());
        QTEST(ReadBytes(set), "saved");
    }

    // The File menu's dialogs, files that cannot be read or written; Save As writes the four boxes as they are and
    // replaces an existing file only when the user says so.
    void menuDialogs()
    {
        const QString set = WriteBytes(path("menu.set"), "mf\r\nmi\r\nmo\r\nmd\r\n");
        MsgBoxRecorder boxes;
        TestWindow t;
        t.w.mnuFileOpen->trigger();  // cancelled: nothing changes
        QVERIFY(t.dialogs.title == u"Open" && t.dialogs.mustExist);
        QVERIFY(t.w.txtFormType->text().isEmpty() && t.w.Settings()->fn().isEmpty());

        // Save without a current file is Save As.
        t.dialogs.choice = path("chosen.set");
        t.w.mnuFileSave->trigger();
        QCOMPARE((QStringList{t.dialogs.title, t.dialogs.initDir, t.dialogs.filter}),
                 (QStringList{"Save As", path("Settings"), "Settings Files (*.set) | *.set"}));
        QVERIFY(!t.dialogs.mustExist && ReadBytes(t.dialogs.choice) == "\r\n\r\n\r\n\r\n");

        t.dialogs.choice = set;
        t.w.mnuFileOpen->trigger();
        QVERIFY(t.w.txtFormType->text() == u"mf" && t.w.Settings()->fn() == set);
        t.dialogs.choice.clear();
        t.w.mnuFileSaveAs->trigger();
        QCOMPARE(t.dialogs.shown, set);  // the next dialog opens on the file chosen last
        QVERIFY(t.dialogs.calls == 4 && boxes.shown.empty());

        // A file that cannot be read or written is named, and the current one stays.
        t.w.AppCmd("open", {WriteBytes(path("three.set"), "a\r\nb\r\nc\r\n")});
        t.w.AppCmd("saveas", {path("no such folder/x.set")});
        QVERIFY(boxes.shown.size() == 2 && boxes.shown[0].text.contains(path("three.set")));
        QVERIFY(boxes.shown[1].text.contains(path("no such folder/x.set")) && !QFile::exists(path("no such folder")));
        QVERIFY(t.w.Settings()->fn() == set && t.w.txtFormType->text() == u"mf");
        t.w.AppCmd("save", {});
        QCOMPARE(ReadBytes(set), QByteArray("mf\r\nmi\r\nmo\r\nmd\r\n"));

        const QString other = WriteBytes(path("other.set"), "old\r\n");
        const QByteArray four = "  form.dat \r\n\r\nout  \r\n\tdata.csv\r\n";
        Fill(t.w, "  form.dat ", "", "out  ", "\tdata.csv");
        for (const bool yes : {false, true}) {
            boxes.answers = {yes ? QMessageBox::Yes : QMessageBox::No};
            t.w.AppCmd("saveas", {other});
            QVERIFY(boxes.shown.size() == (yes ? 4u : 3u) && boxes.shown.back().title == t.w.windowTitle() &&
                    boxes.shown.back().buttons == (QMessageBox::Yes | QMessageBox::No));
            QCOMPARE(boxes.lastText(), other + " already exists.\nDo you want to replace it?");
            QCOMPARE(ReadBytes(other) + t.w.Settings()->fn().toUtf8(),
                     yes ? four + other.toUtf8() : "old\r\n" + set.toUtf8());
        }
    }

    // A new form definition is written, the box names it and the editor opens it; a question comes
    // before replacing one; each mistake shows why and changes nothing.
    void fromWorkbook_data()
    {
        QTest::addColumn<QString>("choice");   // empty: cancelled
        QTest::addColumn<int>("before");       // 0: no form definition of that name, else the answer to replace it
        QTest::addColumn<QString>("message");  // empty: no box
        QTest::addColumn<bool>("written");
        const QString exists = path("FormTypes/template.dat") + " already exists.\nDo you want to replace it?";
        QTest::newRow("new") << kTemplate << 0 << QString() << true;
        QTest::newRow("No keeps the old one") << kTemplate << int(QMessageBox::No) << exists << false;
        QTest::newRow("Yes replaces it") << kTemplate << int(QMessageBox::Yes) << exists << true;
        QTest::newRow("cancelled") << QString() << 0 << QString() << false;
        QTest::newRow("not a workbook") << kNotABook << 0 << "No form definition was made from " + kNotABook + ":\n"
                                        << false;
        QTest::newRow("no usable name") << kNoNames << 0 << "no defined name refers to one range of cells" << false;
        QTest::newRow("gone before it was read") << path("gone.xlsx") << 0 << "No form definition was made" << false;
    }

    void fromWorkbook()
    {
        QFETCH(QString, choice);
        QFETCH(int, before);
        QFETCH(QString, message);
        QFETCH(bool, written);
        const QString form = path("FormTypes/template.dat");
        if (before)
            WriteBytes(form, "old");
        MsgBoxRecorder boxes;
        boxes.answers = {QMessageBox::StandardButton(before)};
        TestWindow t;
        t.w.txtFormType->setText("before.dat");
        t.dialogs.choice = choice;
        t.w.mnuFileNewFormType->trigger();
        QVERIFY(t.w.mnuFile->actions().contains(t.w.mnuFileNewFormType) && t.dialogs.calls == 1 && t.dialogs.mustExist);
        QVERIFY2(t.dialogs.filter.contains("*.xlsx") && t.dialogs.filter.contains("*.ods"),
                 qPrintable(t.dialogs.filter));
        const QString shown = boxes.lastText();  // a refusal names the workbook once
        QVERIFY2(boxes.shown.size() == size_t(!message.isEmpty()) && shown.contains(message) &&
                     (message.isEmpty() || before || shown.count(choice) == 1),
                 qPrintable(shown));
        QCOMPARE(QDir(path("FormTypes")).entryList(QDir::Files),
                 written || before ? QStringList{"template.dat"} : QStringList());
        QCOMPARE(ReadBytes(form), written ? ReadBytes(kExpected) : before ? QByteArray("old") : QByteArray());
        QCOMPARE(t.w.txtFormType->text(), written ? form : QStringLiteral("before.dat"));
        QCOMPARE(t.started, written ? QStringList{path("Tabwright") + "|" + form} : QStringList());
    }

    void appDef_data()
    {
        QTest::addColumn<QString>("appDef");  // "-": no App.def
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        auto row = [](auto name, auto def, auto key, const QString& v) { QTest::newRow(name) << def << key << v; };
        const clsProductInfo defaults;
        row("no App.def: help beside it", "-", "help", path("Help/index.html"));
        row("quoted comma", "description, =, \"Forms, gathered\"\r\n", "description", "Forms, gathered");
        row("lines that do nothing", "title = T\r\n\r\n# title, =, C\r\ntitle, =\r\ntitle, is, X\r\ncolour, =, b\r\n",
            "title", defaults.Title);
        row("any case, later wins", "TITLE, =, X\r\nTitle, =, Y, ignored\n", "title", "Y");
        row("half to even down", "major, =, 2.5\r\n", "major", "2");
        row("half to even up", "minor, =, 3.5\r\n", "minor", "4");
        row("number prefix", "major, =, 7beta\r\n", "major", "7");
        row("no number", "major, =, beta\r\n", "major", "0");
        row("edge", "major, =, -32767\r\n", "major", "-32767");
        row("too big: default stays", "major, =, 32768\r\n", "major", QString::number(defaults.Major));
        row("far too big", "major, =, 1e10\r\n", "major", QString::number(defaults.Major));
        row("site keeps derived FAQ", "site, =, https://o.example.net\r\n", "faqurl",
            "https://quorra.example.org?i=Gleanora&page=FAQ");
        row("faq line", "faqurl, =, https://faq.example.net\r\n", "faqurl", "https://faq.example.net");
        row("support line", "supporturl, =, mailto:help\r\n", "supporturl", "mailto:help");
        row("icon", "icon, =, red.png\r\n", "icon", "#ff0000");
        row("icons that cannot be loaded", "icon, =, broken.png\r\nicon, =, missing.png\r\n", "icon", "design");
    }

    void appDef()
    {
        QFETCH(QString, appDef);
        QFETCH(QString, key);
        if (appDef != u"-")
            WriteBytes(path("App.def"), appDef.toUtf8());
        const QIcon design = DesignIcon();
        clsProductInfo p(design);
        p.Site = "https://quorra.example.org";
        p.Setup();
        p.Load();
        QFile::remove(path("App.def"));
        const QString icon =
            p.Icon.cacheKey() == design.cacheKey() ? "design" : p.Icon.pixmap(8, 8).toImage().pixelColor(4, 4).name();
        const QStringList keys = {"title", "description", "major", "minor", "faqurl", "supporturl", "help", "icon"};
        const QStringList got = {
            p.Title, p.Description, QString::number(p.Major), QString::number(p.Minor), p.FAQURL, p.SupportURL,
            p.Help,  icon};
        QTEST(got.value(keys.indexOf(key)), "value");
    }

    // The title, the Help menu and the About box from App.def; the captions before the path boxes stand whole, with
    // the same gap before each box.
    void titleHelpMenuAboutBoxAndCaptions()
    {
        WriteBytes(path("App.def"), "title, =, Harvest Desk\r\nhelp, =, /opt/help.html\r\ndescription, =, Reaped\r\n");
        QStringList pages;
        setBrowseToHandler([&pages](const QString& page) { pages << page; });
        const auto reset = qScopeGuard([] { setBrowseToHandler({}); });
        frmMain w;
        QFile::remove(path("App.def"));
        w.show();
        QVERIFY(w.windowTitle() == u"Harvest Desk" && AppTitle() == u"Harvest Desk");
        QCOMPARE(w.mnuHelpContents->shortcut(), QKeySequence(Qt::Key_F1));
        w.mnuHelpContents->trigger();
        w.mnuHelpFAQ->trigger();
        w.mnuHelpSupport->trigger();
        QStringList seen;
        QTimer::singleShot(0, [&] {
            if (auto* box = qobject_cast<frmAbout*>(QApplication::activeModalWidget())) {
                seen << box->windowTitle() << box->lblTitle->text() << box->lblVersion->text()
                     << box->lblComments->text();
                QTest::mouseClick(box->lblCopyright, Qt::LeftButton);
                QTest::mouseClick(box->cmdOK, Qt::LeftButton);
            }
        });
        w.mnuHelpAbout->trigger();
        QCOMPARE(seen, QStringList({"About Harvest Desk", w.ProductInfo()->name,
                                    frmAbout::VersionLabel(w.ProductInfo()->Version()), "Reaped"}));
        QCOMPARE(pages, QStringList({"/opt/help.html", "https://quorra.example.org?i=Gleanora&page=FAQ",
                                     "https://quorra.example.org?page=support", "https://quorra.example.org"}));

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

    void textRules_data()
    {
        QTest::addColumn<QString>("got");
        QTest::addColumn<QString>("want");
        auto row = [](const char* n, const QString& got, const QString& want) { QTest::newRow(n) << got << want; };
        auto relative = [](const QString& initDir, const QString& path) {
            clsPath p;
            p.setInitDir(initDir);
            p.setPath(path);
            return p.RelativePath();
        };
        row("usage", UsageText(),
            "Usage: \r\nGleanora [/open settings] [/type formtype] [/in inPath] [/out outPath] [/data dataFile] "
            "[/autorun]");
        row("version", clsProductInfo::VersionText(1, 0, 34), "1.00.0034");
        row("version, wide", clsProductInfo::VersionText(3, 123, 12345), "3.123.12345");
        row("support address of no site", clsProductInfo::MakeURL("", {{"page", "support"}}), "?page=support");
        row("relative: case ignored", relative(R"(C:\DATA)", R"(c:\data\x.dat)"), R"(\x.dat)");
        row("relative: characters, not components", relative(R"(C:\Data)", R"(C:\Database\b.dat)"), R"(base\b.dat)");
        row("relative: other folder", relative("/home/a", "/srv/b"), "/srv/b");
        row("relative: empty InitDir", relative("", "/srv/b"), "/srv/b");
        row("relative: equal", relative("/srv", "/srv"), "");
        row("filter, spaced", QtFileDialog::QtFilter("Settings Files (*.set) | *.set"), "Settings Files (*.set)");
        row("filters", QtFileDialog::QtFilter("Comma Separated Value Files (*.csv)|*.csv|All Files (*.*)|*.*"),
            "Comma Separated Value Files (*.csv);;All Files (*)");
        row("no filter", QtFileDialog::QtFilter(""), "");
    }

    void textRules()
    {
        QFETCH(QString, got);
        QTEST(got, "want");
    }

    void wholeRun()
    {
        const QStringList names = {"ann-2009-03-02.xlsx", "ben-2009-03-02.xlsx", "broken.xlsx", "cleo-2009-03-09.xlsx",
                                   "finn-2009-03-02.ods"};
        const QString in = path("in");
        QVERIFY(QDir().mkpath(in) && QDir().mkpath(path("done")));
        QStringList files;
        for (const QString& n : names)
            QFile::copy(kForms + "/" + n, files.emplace_back(in + "/" + n));
        WriteBytes(files[2], "this is not a workbook");
        WriteBytes(in + "/notes.txt", "not listed");
        const QString data = path("hours.csv");

        MsgBoxRecorder boxes;
        frmMain w;
        w.show();
        Fill(w, kFormDef, in + "/", path("done"), data);  // a trailing separator changes nothing

        // Every status the list shows, each time it is brought up to date, and the Run button meanwhile.
        QMap<int, QStringList> seen;
        bool runEnabledWhileRunning = false;
        connect(&w, &frmMain::runShown, this, [&] {
            const QStringList now = Column(w, 1);
            for (int row = 0; row < now.size(); ++row)
                if (!now[row].isEmpty() && !seen[row].endsWith(now[row]))
                    seen[row] << now[row];
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
            QVERIFY(QFile::exists(path("done/" + names[r])) != (r == 2) && QFile::exists(files[r]) == (r == 2));
        }
        QVERIFY(w.prgRun->maximum() == 5 && w.prgRun->value() == 5 && w.prgRun->isTextVisible());
        QVERIFY2(boxes.shown.size() == 1 && boxes.shown[0].icon == QMessageBox::Warning &&
                     boxes.lastText().contains("1 of the 5") && boxes.lastText().contains("broken.xlsx"),
                 qPrintable(boxes.lastText()));

        QCOMPARE(int(ReadBytes(data).count('\n')), 1 + 7 * 4);  // the header, then seven lines a workbook

        // An empty box starts nothing, and the earlier count goes.
        w.txtFormType->clear();
        QTest::mouseClick(w.cmdGo, Qt::LeftButton);
        QVERIFY(!w.IsRunning() && w.prgRun->value() == 0 && !w.prgRun->isTextVisible());

        // The next run finds nothing; the list shows this run alone and gives the room back to the Status column.
        const int fileWidth = w.ListView1->columnWidth(0);
        QFile::remove(files[2]);
        w.txtFormType->setText(kFormDef);
        w.AppCmd("go", {});
        QVERIFY(finished.wait(60000));
        QVERIFY(w.ListView1->topLevelItemCount() == 0 && w.prgRun->value() == 0 && !w.prgRun->isTextVisible());
        QVERIFY(w.ListView1->columnWidth(0) < fileWidth && w.ListView1->horizontalScrollBar()->maximum() == 0);
        QCOMPARE(boxes.lastText() + "|" + boxes.shown.back().title,
                 "All of the forms in the input directory have been processed.|" + w.windowTitle());

        // A configuration error is shown and writes nothing.
        Fill(w, path("no-such-form.dat"), in, "", path("x.csv"));
        w.AppCmd("go", {});
        QVERIFY(finished.wait(10000));
        QVERIFY2(boxes.shown.size() == 3 && boxes.lastText().contains(path("no-such-form.dat")),
                 qPrintable(boxes.lastText()));
        QVERIFY(!QFile::exists(path("x.csv")) && !w.prgRun->isTextVisible());
    }

    // Closing during a run asks whether to stop it after the current workbook; Yes closes the window once the
    // run has stopped, also when the run ended while the user still read the question.
    void closingDuringARun_data()
    {
        QTest::addColumn<bool>("late");
        QTest::newRow("Yes at once") << false;
        QTest::newRow("Yes after the run ended") << true;
    }

    void closingDuringARun()
    {
        QFETCH(bool, late);
        const QString in = CopyForms(path(late ? "ended-while-asked" : "many-stop"), late ? 3 : 12);
        // Answered at once, the question must find the run still going however busy the machine: each
        // workbook then gives 30,000 lines, which takes a while.
        const QString form = late ? kFormDef
                                  : WriteBytes(path("slow.dat"), "2,3\r\n\"Employee\",\"EmployeeName\",\"text\"\r\n"
                                                                 "\"Hours\",\"D5:D30004\",\"0.0\"\r\n");
        const int linesEach = late ? 7 : 30000;
        frmMain w;
        QSignalSpy finished(&w, &frmMain::runFinished);
        MsgBoxRecorder boxes;
        if (late)
            boxes.reading = [&finished] { finished.wait(60000); };
        w.show();
        Fill(w, form, in, "", in + ".csv");
        w.AppCmd("go", {});
        w.close();
        QVERIFY(boxes.shown.size() == 1 && boxes.lastText().contains("Stop after the current workbook"));
        QVERIFY(boxes.shown[0].buttons == (QMessageBox::Yes | QMessageBox::No) && w.isVisible() != late);
        QVERIFY(late ? finished.size() == 1 : finished.wait(60000));
        QTest::qWait(50);

        const QStringList status = Column(w, 1);
        const int done = int(status.count("Done"));
        QVERIFY2(status.size() == (late ? 3 : 12) && done + status.count("Pending") == status.size() &&
                     (late ? done == 3 : done < 12),
                 qPrintable(status.join(", ")));
        // Every workbook marked Done gave its lines, and no other did.
        QCOMPARE(int(ReadBytes(in + ".csv").count('\n')), done == 0 ? 0 : 1 + linesEach * done);
        QVERIFY(!w.isVisible() && !w.IsRunning() && boxes.shown.size() == 1);  // no final message when closing
    }

    // Preview before, during and after a run; closing and going on with it; the list follows the run and shows
    // failure reasons whole.
    void previewAndTheListOfALongRun()
    {
        const QString in = CopyForms(path("many"), 30);
        WriteBytes(in + "/zz-broken.xlsx", "this is not a workbook, and the reason says so at some length");
        MsgBoxRecorder boxes;
        boxes.answers = {QMessageBox::No};
        FakePreview preview;
        frmMain w;
        w.setPreviewDialog(&preview);
        w.show();
        Fill(w, kFormDef, in, "", path("many.csv"));
        QTest::mouseClick(w.cmdPreview, Qt::LeftButton);  // the first workbook

        // Whenever the list is brought up to date, the last row the run got to is in sight: the list follows it.
        int shown = 0, outOfSight = 0;
        bool previewWhileRunning = false;
        connect(&w, &frmMain::runShown, this, [&] {
            const QStringList now = Column(w, 1);
            qsizetype last = now.size() - 1;
            while (last >= 0 && (now[last].isEmpty() || now[last] == u"Pending"))
                --last;
            ++shown;
            if (last >= 0 && !RowInSight(w.ListView1, w.ListView1->topLevelItem(int(last))))
                ++outOfSight;
            previewWhileRunning |= w.cmdPreview->isEnabled();
        });
        QSignalSpy finished(&w, &frmMain::runFinished);
        QTest::mouseClick(w.cmdGo, Qt::LeftButton);
        w.close();  // the user says No: the run goes on, the window stays
        QVERIFY(finished.wait(60000));
        QVERIFY(w.isVisible() && boxes.shown.size() == 2 && boxes.shown[0].text.contains("Stop after"));
        QCOMPARE(int(ReadBytes(path("many.csv")).count('\n')), 1 + 7 * 30);
        QVERIFY(shown > 0 && outOfSight == 0 && !previewWhileRunning && w.cmdPreview->isEnabled());
        QVERIFY(RowInSight(w.ListView1, w.ListView1->topLevelItem(30)));

        // The selected row is previewed; a broken one gives a message, no table.
        for (int row : {1, 30}) {
            w.ListView1->setCurrentItem(w.ListView1->topLevelItem(row));
            QTest::mouseClick(w.cmdPreview, Qt::LeftButton);
        }
        QCOMPARE(preview.shown.size(), size_t(2));
        QCOMPARE(QString::fromStdString(preview.shown[0].workbook + "|" + preview.shown[1].workbook),
                 in + "/ann00.xlsx|" + in + "/ann01.xlsx");
        QVERIFY(preview.shown[0].dataFileNew && !preview.shown[1].dataFileNew && preview.shown[0].rows.size() == 7);
        QVERIFY2(boxes.lastText().startsWith(in + "/zz-broken.xlsx: "), qPrintable(boxes.lastText()));

        // The failure's reason fits its column, also after the font grows (the widths are measured once per text: a
        // bigger font must be measured again) and after the window grows.
        QTreeWidgetItem* failed = w.ListView1->topLevelItem(30);
        QVERIFY2(failed->text(1).startsWith("Failed: "), qPrintable(failed->text(1)));
        for (int step = 0; step < 3; ++step) {
            if (step == 1)  // twice the size
                w.ListView1->setFont(QFont(w.ListView1->font().family(), w.ListView1->font().pointSize() * 2));
            w.resize(w.width() + (step == 2 ? 300 : step), w.height());
            QTest::qWait(20);
            const int needed = w.ListView1->fontMetrics().horizontalAdvance(failed->text(1));
            QVERIFY2(w.ListView1->columnWidth(1) >= needed,
                     qPrintable(QStringLiteral("%1 < %2").arg(w.ListView1->columnWidth(1)).arg(needed)));
            QVERIFY(w.ListView1->columnWidth(0) <= w.ListView1->viewport()->width() / 2 + 1);
        }
    }

    // Reasons wider than the list bring its sideways scroll bar at the run's end: the last row is not left
    // under it.
    void lastRowInSightAboveTheScrollBar()
    {
        const QString form =
            WriteBytes(path("lost.dat"), "1,3\r\n\"X\",\"NoWorkbookHasThisNameNorAnyOfItsCopies\",\"text\"\r\n");
        MsgBoxRecorder boxes;
        frmMain w;
        w.show();
        Fill(w, form, CopyForms(path("lost"), 12), "", path("lost.csv"));
        QSignalSpy finished(&w, &frmMain::runFinished);
        w.AppCmd("go", {});
        QVERIFY(finished.wait(60000));
        QTest::qWait(50);
        QVERIFY(w.ListView1->horizontalScrollBar()->isVisible());
        QVERIFY(RowInSight(w.ListView1, w.ListView1->topLevelItem(11)));
    }

    void previewTableShowsFieldNamesValuesAndErrors()
    {
        PreviewTable t;
        t.headers = {"Name", "Day"};
        t.rows = {{{"\"Ann\"", ""}, {"02/03/2009", ""}}, {{"\"Ann\"", ""}, {"", "Type mismatch: not a date"}}};
        QTableWidget view;
        FillPreviewTable(&view, t);
        QVERIFY(view.columnCount() == 2 && view.rowCount() == 2 && !(view.item(0, 0)->flags() & Qt::ItemIsEditable));
        QCOMPARE((QStringList{view.horizontalHeaderItem(0)->text(), view.horizontalHeaderItem(1)->text(),
                              view.item(0, 1)->text(), view.item(1, 1)->text()}),
                 (QStringList{"Name", "Day", "02/03/2009", "Type mismatch: not a date"}));
        QVERIFY(view.item(1, 1)->foreground().color() == Qt::red && view.item(0, 1)->foreground().color() != Qt::red);
    }

    // Each browse button (the row names its box) opens its dialog at the box's text, relative to the current folder,
    // and a confirmed choice goes back into the box. With no dialog attached, every choice is cancelled.
    void browseButtons_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("filter");  // empty: a folder browser
        auto row = [](const char* box, const char* title, const char* f) { QTest::newRow(box) << title << f; };
        row("FormType", "Choose Form Type", "Form Definition Files (*.dat)|*.dat");
        row("ExportTo", "Pick or Enter a File for the Data",
            "Comma Separated Value Files (*.csv)|*.csv|Data Files (*.dat)|*.dat|All Files (*.*)|*.*");
        row("InDir", "Choose Input Directory", "");
        row("OutDir", "Choose Output Directory", "");
    }

    void browseButtons()
    {
        QFETCH(QString, title);
        QFETCH(QString, filter);
        const QString box = QTest::currentDataTag();
        clsPath lone;
        lone.setPath(" ");
        QVERIFY(lone.PathIsPresent() && !lone.ChooseExistingFile() && !lone.ChooseFile() && !lone.ChooseDir());
        QVERIFY(lone.Path() == u" " && QDir().mkpath(path("cwd")) && QDir::setCurrent(path("cwd")));
        const QString want = path("cwd/ex/data.csv");

        MsgBoxRecorder boxes;
        TestWindow t;
        auto* edit = t.w.findChild<QLineEdit*>("txt" + box);
        auto* button = t.w.findChild<QPushButton*>("cmdGet" + box);
        QVERIFY(edit && button);
        edit->setText("ex/./data.csv");
        QTest::mouseClick(button, Qt::LeftButton);  // cancelled: the box keeps what was typed
        QCOMPARE((QStringList{t.dialogs.shown, t.dialogs.title, t.dialogs.filter}), (QStringList{want, title, filter}));
        QVERIFY(t.dialogs.mustExist == (box == u"FormType") &&
                (!t.dialogs.mustExist || t.dialogs.initDir == path("FormTypes")));
        QCOMPARE(edit->text(), QStringLiteral("ex/./data.csv"));

        t.dialogs.choice = want;  // confirmed as shown
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(edit->text(), want);
    }

    void editAndViewStartPrograms()
    {
        MsgBoxRecorder boxes;
        {
            frmMain w;  // the real starter: there is no Tabwright in the test's folder
            QTest::mouseClick(w.cmdEditFormType, Qt::LeftButton);
            QVERIFY2(boxes.lastText().contains(path("Tabwright")), qPrintable(boxes.lastText()));
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
        const QString editor = path("Tabwright");
        QCOMPARE(t.started, QStringList({editor + "|/forms/my week.dat", "my-editor|--wait|/data/hours of week.csv",
                                         editor + "|"}));
        QCOMPARE(boxes.shown.size(), size_t(1));
    }
};

QTEST_MAIN(tst_HarvestWindow)
#include "tst_HarvestWindow.moc"
