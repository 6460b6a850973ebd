// The window's commands: start-up options and the usage text, command
// dispatch, the File menu (settings files, a new form type from a workbook)
// and the Help menu (product information from App.def, the About box), with
// the text rules of the version, relative paths and dialog filters.
#include "GuiTestSupport.h"

#include "common/RtError.h"
#include "common/gui/clsProductInfo.h"
#include "common/gui/frmAbout.h"
#include "harvester/gui/clsSetFile.h"
#include "harvester/gui/modMain.h"

namespace {
const QString kTemplate = QStringLiteral(TEST_DATA_DIR "/harvester/fixtures/define/template.xlsx");
const QString kNoNames = QStringLiteral(TEST_DATA_DIR "/harvester/fixtures/define/nonames.xlsx");
const QString kNotABook = QStringLiteral(TEST_DATA_DIR "/harvester/fixtures/notabook.xlsx");
const QString kExpected = QStringLiteral(TEST_DATA_DIR "/harvester/fixtures/define/template.expected.dat");
}  // namespace

class tst_WindowMenus : public QObject {
    Q_OBJECT

    ScratchAppFolder app_;
    QString form_ = app_.path("form.dat");  // a valid form definition

    QString path(const QString& name) const { return app_.path(name); }

private slots:
    void initTestCase()
    {
        WriteBytes(form_, "1,3\r\n\"Name\",\"B2\",\"text\"\r\n");
        QDir(app_.dir.path()).mkdir("empty");
        WriteBytes(path("broken.png"), "not a picture");
        QImage red(8, 8, QImage::Format_RGB32);
        red.fill(Qt::red);
        QVERIFY(red.save(path("red.png")));
    }

    void cleanup() { QDir(path("FormTypes")).removeRecursively(); }

    void readOptions_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("given");  // the options given, with their values
        QTest::addColumn<int>("strays");
        auto row = [](const char* name, const char* text, const char* given, int strays) {
            QTest::newRow(name) << QString(text) << QString(given) << strays;
        };
        row("nothing", "", "", 0);
        row("last option given but empty", "/type f.dat /data", "type=f.dat data=", 0);
        row("/data alone", "/data", "data=", 0);
        row("a workbook name alone", "book.xls", "", 1);
        row("unknown slash word", "/run", "", 1);
        row("double hyphen is glean's spelling only", "--in=x --out y", "", 3);
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

    void optionsFillTheBoxes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("boxes");
        QTest::newRow("none") << "" << QStringList{"", "", "", ""};
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
        QVERIFY(!autorun || finished.wait(10000));
        QVERIFY(w.isVisible());
        QCOMPARE(boxes.lastText(), autorun ? QString::fromLatin1(clsBatchRun::kNothingToDo) : QString());
    }

    void runNeedsThreeBoxes_data()
    {
        QTest::addColumn<QStringList>("boxes");  // type, in, data
        const QString t = form_, i = path("empty"), d = path("out.csv");
        QTest::newRow("no form definition") << QStringList{"", i, d};
        QTest::newRow("no input folder") << QStringList{t, "", d};
        QTest::newRow("no data file") << QStringList{t, i, ""};
    }

    void runNeedsThreeBoxes()
    {
        QFETCH(QStringList, boxes);
        MsgBoxRecorder shown;
        frmMain w;
        Fill(w, boxes[0], boxes[1], "", boxes[2]);
        QTest::mouseClick(w.cmdGo, Qt::LeftButton);
        QVERIFY(!w.IsRunning() && shown.shown.empty());
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
            << QByteArray(" a\r\n\r\nc \rd\nfifth line\r\n  sixth  ") << QStringList{" a", "", "c ", "d"}
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

    // Save As writes the four boxes as they are; an existing file is replaced only when the user says so.
    void replaceQuestion()
    {
        QFETCH(bool, replace);
        const QString current = path(replace ? "current-y.set" : "current-n.set"), other = path("other.set");
        const QByteArray four = "  form.dat \r\n\r\nout  \r\n\tdata.csv\r\n";
        WriteBytes(other, "old\r\n");
        MsgBoxRecorder boxes;
        boxes.answers = {replace ? QMessageBox::Yes : QMessageBox::No};
        frmMain w;
        Fill(w, "  form.dat ", "", "out  ", "\tdata.csv");
        w.AppCmd("saveas", {current});
        QCOMPARE(ReadBytes(current), four);
        w.AppCmd("saveas", {other});
        QCOMPARE(boxes.shown.size(), size_t(1));
        QCOMPARE(boxes.shown[0].text, other + " already exists.\nDo you want to replace it?");
        QCOMPARE(boxes.shown[0].buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(boxes.shown[0].title, w.windowTitle());
        QCOMPARE(ReadBytes(other), replace ? four : QByteArray("old\r\n"));
        QCOMPARE(w.Settings()->fn(), replace ? other : current);
    }

    void menuDialogs()
    {
        const QString set = path("menu.set");
        WriteBytes(set, "mf\r\nmi\r\nmo\r\nmd\r\n");
        MsgBoxRecorder boxes;
        TestWindow t;
        t.w.mnuFileOpen->trigger();  // cancelled: nothing changes
        QVERIFY(t.dialogs.title == u"Open" && t.dialogs.mustExist);
        QVERIFY(t.w.txtFormType->text().isEmpty() && t.w.Settings()->fn().isEmpty());

        // Save without a current file is Save As.
        t.dialogs.choice = path("chosen.set");
        t.w.mnuFileSave->trigger();
        QVERIFY(t.dialogs.title == u"Save As" && !t.dialogs.mustExist);
        QCOMPARE(t.dialogs.initDir, path("Settings"));
        QCOMPARE(t.dialogs.filter, QStringLiteral("Settings Files (*.set) | *.set"));
        QCOMPARE(ReadBytes(t.dialogs.choice), QByteArray("\r\n\r\n\r\n\r\n"));

        t.dialogs.choice = set;
        t.w.mnuFileOpen->trigger();
        QVERIFY(t.w.txtFormType->text() == u"mf" && t.w.Settings()->fn() == set);
        t.dialogs.choice.clear();
        t.w.mnuFileSaveAs->trigger();
        QCOMPARE(t.dialogs.shown, set);  // the next dialog opens on the file chosen last
        QVERIFY(t.dialogs.calls == 4 && boxes.shown.empty());
    }

    void failedOpenNamesFileAndKeepsCurrent_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("three lines") << "three.set" << QByteArray("a\r\nb\r\nc\r\n");
        QTest::newRow("save in a missing folder") << "no such folder/x.set" << QByteArray("save");
    }

    void failedOpenNamesFileAndKeepsCurrent()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        const QString bad = path(name), good = path("good.set");
        if (content != "save")
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
    }

    void fromWorkbook()
    {
        QFETCH(int, before);
        QFETCH(QString, message);
        QFETCH(bool, written);
        const QString form = path("FormTypes/template.dat");
        if (before) {
            QDir().mkpath(path("FormTypes"));
            WriteBytes(form, "old");
        }
        MsgBoxRecorder boxes;
        boxes.answers = {QMessageBox::StandardButton(before)};
        TestWindow win;
        win.w.txtFormType->setText("before.dat");
        QFETCH(QString, choice);
        win.dialogs.choice = choice;
        win.w.mnuFileNewFormType->trigger();
        QVERIFY(win.w.mnuFile->actions().contains(win.w.mnuFileNewFormType));
        QVERIFY(win.dialogs.calls == 1 && win.dialogs.mustExist);
        QVERIFY2(win.dialogs.filter.contains("*.xlsx") && win.dialogs.filter.contains("*.ods"),
                 qPrintable(win.dialogs.filter));
        QCOMPARE(boxes.shown.size(), size_t(message.isEmpty() ? 0 : 1));
        QVERIFY2(boxes.lastText().contains(message), qPrintable(boxes.lastText()));
        QCOMPARE(QDir(path("FormTypes")).entryList(QDir::Files),
                 written || before ? QStringList{"template.dat"} : QStringList());
        QCOMPARE(ReadBytes(form), written ? ReadBytes(kExpected) : before ? QByteArray("old") : QByteArray());
        QCOMPARE(win.w.txtFormType->text(), written ? form : QStringLiteral("before.dat"));
        QCOMPARE(win.started, written ? QStringList{path("Tabwright") + "|" + form} : QStringList());
    }

    void appDef_data()
    {
        QTest::addColumn<QByteArray>("appDef");  // "-": no App.def
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        auto row = [](const char* name, const char* def, const char* key, const QString& value) {
            QTest::newRow(name) << QByteArray(def) << QString(key) << value;
        };
        const clsProductInfo defaults;
        const QString major = QString::number(defaults.Major);
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
        row("too big: default stays", "major, =, 32768\r\n", "major", major);
        row("far too big", "major, =, 1e10\r\n", "major", major);
        row("site keeps derived FAQ", "site, =, https://o.example.net\r\n", "faqurl",
            "https://quorra.example.org?i=Gleanora&page=FAQ");
        row("faq line", "faqurl, =, https://faq.example.net\r\n", "faqurl", "https://faq.example.net");
        row("support line", "supporturl, =, mailto:help\r\n", "supporturl", "mailto:help");
        row("icon", "icon, =, red.png\r\n", "icon", "#ff0000");
        row("icons that cannot be loaded", "icon, =, broken.png\r\nicon, =, missing.png\r\n", "icon", "design");
    }

    void appDef()
    {
        QFETCH(QByteArray, appDef);
        QFETCH(QString, key);
        if (appDef != "-")
            WriteBytes(path("App.def"), appDef);
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

    void titleHelpMenuAndAboutBox()
    {
        WriteBytes(path("App.def"),
                   "title, =, Harvest Desk\r\nhelp, =, /opt/help.html\r\ndescription, =, Forms gathered\r\n");
        BrowseRecorder pages;
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
                                    frmAbout::VersionLabel(w.ProductInfo()->Version()), "Forms gathered"}));
        QCOMPARE(pages.opened, QStringList({"/opt/help.html", "https://quorra.example.org?i=Gleanora&page=FAQ",
                                            "https://quorra.example.org?page=support", "https://quorra.example.org"}));
    }

    void textRules_data()
    {
        QTest::addColumn<QString>("got");
        QTest::addColumn<QString>("want");
        auto relative = [](const QString& initDir, const QString& path) {
            clsPath p;
            p.setInitDir(initDir);
            p.setPath(path);
            return p.RelativePath();
        };
        QTest::newRow("usage") << UsageText()
                               << "Usage: \r\nGleanora [/open settings] [/type formtype] [/in inPath] [/out outPath] "
                                  "[/data dataFile] [/autorun]";
        QTest::newRow("version") << clsProductInfo::VersionText(1, 0, 34) << "1.00.0034";
        QTest::newRow("version, wide") << clsProductInfo::VersionText(3, 123, 12345) << "3.123.12345";
        QTest::newRow("support address of no site")
            << clsProductInfo::MakeURL("", {{"page", "support"}}) << "?page=support";
        QTest::newRow("relative: case ignored") << relative(R"(C:\DATA)", R"(c:\data\x.dat)") << R"(\x.dat)";
        QTest::newRow("relative: characters, not components")
            << relative(R"(C:\Data)", R"(C:\Database\b.dat)") << R"(base\b.dat)";
        QTest::newRow("relative: other folder") << relative("/home/a", "/srv/b") << "/srv/b";
        QTest::newRow("relative: empty InitDir") << relative("", "/srv/b") << "/srv/b";
        QTest::newRow("relative: equal") << relative("/srv", "/srv") << "";
        QTest::newRow("filter, spaced") << QtFileDialog::QtFilter("Settings Files (*.set) | *.set")
                                        << "Settings Files (*.set)";
        QTest::newRow("filters") << QtFileDialog::QtFilter(
                                        "Comma Separated Value Files (*.csv)|*.csv|All Files (*.*)|*.*")
                                 << "Comma Separated Value Files (*.csv);;All Files (*)";
        QTest::newRow("no filter") << QtFileDialog::QtFilter("") << "";
    }

    void textRules()
    {
        QFETCH(QString, got);
        QTEST(got, "want");
    }

    void pathChooserWithoutDialogsIsCancelled()
    {
        clsPath p;
        p.setPath(" ");
        QVERIFY(p.PathIsPresent() && !p.ChooseExistingFile() && !p.ChooseFile() && !p.ChooseDir());
        QCOMPARE(p.Path(), QStringLiteral(" "));
    }
};

QTEST_MAIN(tst_WindowMenus)
#include "tst_WindowMenus.moc"
