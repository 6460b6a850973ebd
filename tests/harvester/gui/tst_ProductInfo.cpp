// Product information (App.def), the version text, the About box, the Help
// menu and the path chooser.
#include "GuiTestSupport.h"

#include "common/gui/Version.h"
#include "common/gui/clsPath.h"
#include "common/gui/clsProductInfo.h"
#include "common/gui/frmAbout.h"
#include "common/gui/modAppFolder.h"
#include "common/gui/clsProductInfo.h"
#include "harvester/gui/frmMain.h"

#include <QAction>
#include <QImage>
#include <QLineEdit>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class tst_ProductInfo : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;

    clsProductInfo loaded(const QByteArray& appDef)
    {
        WriteBytes(dir_.filePath("App.def"), appDef);
        clsProductInfo p;
        p.Site = "https://quorra.example.org";
        p.Setup();
        p.Load();
        return p;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        setAppFolder(dir_.path());
    }

    void defaultsComeFromTheVersionInformation()
    {
        QFile::remove(dir_.filePath("App.def"));
        clsProductInfo p;
        p.Load();  // no App.def: nothing changes
        QCOMPARE(p.name, QString::fromUtf8(version::ProductName));
        QCOMPARE(p.Title, QString::fromUtf8(version::ProductName));
        QCOMPARE(p.Description, QString::fromUtf8(version::Comments));
        QCOMPARE(p.Copyright, QString::fromUtf8(version::Copyright));
        QCOMPARE(int(p.Major), version::Major);
        QCOMPARE(int(p.Minor), version::Minor);
        QCOMPARE(int(p.Build), version::Revision);
        QCOMPARE(p.Help, dir_.path() + "/Help/index.html");
        QVERIFY(p.Site.isEmpty());
        QVERIFY(p.FAQURL.isEmpty());
    }

    void versionText_data()
    {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<int>("build");
        QTest::addColumn<QString>("text");
        QTest::newRow("1.0.34") << 1 << 0 << 34 << "1.00.0034";
        QTest::newRow("2.15.7") << 2 << 15 << 7 << "2.15.0007";
        QTest::newRow("1.0.20") << 1 << 0 << 20 << "1.00.0020";
        QTest::newRow("wide minor") << 3 << 123 << 12345 << "3.123.12345";
        QTest::newRow("zeros") << 0 << 0 << 0 << "0.00.0000";
    }

    void versionText()
    {
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(int, build);
        clsProductInfo p;
        p.Major = static_cast<int16_t>(major);
        p.Minor = static_cast<int16_t>(minor);
        p.Build = static_cast<int16_t>(build);
        QTEST(p.Version(), "text");
    }

    void compiledVersionText()
    {
        clsProductInfo p;
        QCOMPARE(p.Version(), QStringLiteral("%1.%2.%3")
                                  .arg(version::Major)
                                  .arg(version::Minor, 2, 10, QLatin1Char('0'))
                                  .arg(version::Revision, 4, 10, QLatin1Char('0')));
    }

    void quotedValueWithComma()
    {
        const clsProductInfo p = loaded("description, =, \"Forms, gathered\"\r\n");
        QCOMPARE(p.Description, QStringLiteral("Forms, gathered"));
        QCOMPARE(p.Title, QString::fromUtf8(version::ProductName));
        QCOMPARE(p.Copyright, QString::fromUtf8(version::Copyright));
    }

    void linesThatDoNothing()
    {
        const clsProductInfo p = loaded("title = My Title\r\n"
                                        "\r\n"
                                        "# title, =, Commented\r\n"
                                        "title, =\r\n"
                                        "title, is, X\r\n"
                                        "colour, =, blue\r\n");
        QCOMPARE(p.Title, QString::fromUtf8(version::ProductName));
    }

    void keysInAnyCaseAndLaterLinesWin()
    {
        const clsProductInfo p = loaded("TITLE, =, X\r\nTitle, =, Y, ignored\nname, =, Glean\r\n");
        QCOMPARE(p.Title, QStringLiteral("Y"));
        QCOMPARE(p.name, QStringLiteral("Glean"));
    }

    void numbersRoundHalvesToEven_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("major");
        QTest::newRow("2.5") << QByteArray("2.5") << 2;
        QTest::newRow("3.5") << QByteArray("3.5") << 4;
        QTest::newRow("prefix") << QByteArray("7beta") << 7;
        QTest::newRow("none") << QByteArray("beta") << 0;
        QTest::newRow("negative") << QByteArray("-3") << -3;
        QTest::newRow("edge") << QByteArray("32767") << 32767;
        QTest::newRow("too big: default stays") << QByteArray("32768") << int(version::Major);
        QTest::newRow("far too big") << QByteArray("1e10") << int(version::Major);
    }

    void numbersRoundHalvesToEven()
    {
        QFETCH(QByteArray, value);
        const clsProductInfo p = loaded("major, =, " + value + "\r\nminor, =, 3.5\r\nbuild, =, 40000\r\n");
        QTEST(int(p.Major), "major");
        QCOMPARE(int(p.Minor), 4);
        QCOMPARE(int(p.Build), version::Revision);
    }

    void siteLineDoesNotChangeDerivedAddresses()
    {
        const clsProductInfo p = loaded("site, =, https://other.example.net\r\nname, =, Other\r\n");
        QCOMPARE(p.Site, QStringLiteral("https://other.example.net"));
        QCOMPARE(p.SupportURL, QStringLiteral("https://quorra.example.org?page=support"));
        QCOMPARE(p.FAQURL, QStringLiteral("https://quorra.example.org?i=Gleanora&page=FAQ"));
    }

    void faqAndSupportLinesReplaceThem()
    {
        const clsProductInfo p = loaded("faqurl, =, https://faq.example.net\r\nsupporturl, =, mailto:help\r\n");
        QCOMPARE(p.FAQURL, QStringLiteral("https://faq.example.net"));
        QCOMPARE(p.SupportURL, QStringLiteral("mailto:help"));
    }

    void emptySiteGivesBareQuery()
    {
        clsProductInfo p;
        p.Setup();
        QCOMPARE(p.SupportURL, QStringLiteral("?page=support"));
        QCOMPARE(p.FAQURL, QStringLiteral("?i=Gleanora&page=FAQ"));
        QCOMPARE(clsProductInfo::MakeURL("a", {}), QStringLiteral("a"));
    }

    void iconThatCannotBeLoadedIsIgnored()
    {
        const QIcon design = DesignIcon();
        WriteBytes(dir_.filePath("broken.png"), "not a picture");
        WriteBytes(dir_.filePath("App.def"), "icon, =, broken.png\r\nicon, =, missing.png\r\n");
        clsProductInfo p(design);
        p.Load();
        QCOMPARE(p.Icon.cacheKey(), design.cacheKey());

        QImage red(8, 8, QImage::Format_RGB32);
        red.fill(Qt::red);
        QVERIFY(red.save(dir_.filePath("red.png")));
        WriteBytes(dir_.filePath("App.def"), "icon, =, red.png\r\n");
        clsProductInfo q(design);
        q.Load();
        QCOMPARE(q.Icon.pixmap(8, 8).toImage().pixelColor(4, 4), QColor(Qt::red));
    }

    void windowTakesTitleAndHelpMenuOpensAddresses()
    {
        WriteBytes(dir_.filePath("App.def"), "title, =, Harvest Desk\r\nhelp, =, /opt/help.html\r\n");
        BrowseRecorder pages;
        frmMain w;
        QCOMPARE(w.windowTitle(), QStringLiteral("Harvest Desk"));
        QCOMPARE(AppTitle(), QStringLiteral("Harvest Desk"));
        w.mnuHelpContents->trigger();
        w.mnuHelpFAQ->trigger();
        w.mnuHelpSupport->trigger();
        QCOMPARE(pages.opened, QStringList({"/opt/help.html", "https://quorra.example.org?i=Gleanora&page=FAQ",
                                            "https://quorra.example.org?page=support"}));
        QCOMPARE(w.mnuHelpContents->shortcut(), QKeySequence(Qt::Key_F1));
        QFile::remove(dir_.filePath("App.def"));
    }

    void aboutBox()
    {
        WriteBytes(dir_.filePath("App.def"), "description, =, \"Forms, gathered\"\r\n");
        BrowseRecorder pages;
        frmMain w;
        frmAbout about(&w);
        about.Init(*w.ProductInfo());
        QCOMPARE(about.windowTitle(), "About " + w.windowTitle());
        QCOMPARE(about.lblTitle->text(), QString::fromUtf8(version::ProductName));
        QCOMPARE(about.lblVersion->text(), w.ProductInfo()->Version());
        QCOMPARE(about.lblComments->text(), QStringLiteral("Forms, gathered"));
        QCOMPARE(about.lblCopyright->text(), QString::fromUtf8(version::Copyright));
        QCOMPARE(about.Label1->text(), QStringLiteral("Product:"));
        QCOMPARE(about.Label2->text(), QStringLiteral("Version:"));
        QCOMPARE(about.cmdOK->text(), QStringLiteral("OK"));
        about.show();
        QTest::mouseClick(about.lblCopyright, Qt::LeftButton);
        QCOMPARE(pages.opened, QStringList({"https://quorra.example.org"}));
        QTest::mouseClick(about.cmdOK, Qt::LeftButton);
        QVERIFY(!about.isVisible());
        QFile::remove(dir_.filePath("App.def"));
    }

    void aboutMenuShowsModalBox()
    {
        frmMain w;
        w.show();
        QString caption;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<frmAbout*>(QApplication::activeModalWidget());
            if (box) {
                caption = box->windowTitle();
                box->cmdOK->click();
            }
        });
        w.mnuHelpAbout->trigger();
        QCOMPARE(caption, "About " + w.windowTitle());
    }

    void editorAboutBoxFromVersion()
    {
        frmAbout about;
        about.InitFromVersion("Quorra Data Editor", "Tabwright", "https://quorra.example.org");
        QCOMPARE(about.windowTitle(), QStringLiteral("About Quorra Data Editor"));
        QCOMPARE(about.lblTitle->text(), QStringLiteral("Tabwright"));
        QCOMPARE(about.lblVersion->text(),
                 clsProductInfo::VersionText(version::Major, version::Minor, version::Revision));
        QCOMPARE(about.CopyrightTag(), QStringLiteral("https://quorra.example.org"));
    }

    // ---- clsPath ----

    void cancelLeavesPath()
    {
        FakeFileDialog files;
        clsPath p;
        p.setCommonDialogControl(&files);
        p.setPath(" ");
        QVERIFY(p.PathIsPresent());
        QVERIFY(!p.ChooseExistingFile());
        QCOMPARE(p.Path(), QStringLiteral(" "));
        QVERIFY(!p.ChooseFile());
        QCOMPARE(p.Path(), QStringLiteral(" "));
        p.setPath(QString());
        QVERIFY(!p.PathIsPresent());
    }

    void fileChoiceSetsPathAndPassesSettings()
    {
        FakeFileDialog files;
        clsPath p;
        p.setCommonDialogControl(&files);
        p.setTitle("Choose Form Type");
        p.setInitDir("/forms");
        p.setFilter("Form Definition Files (*.dat)|*.dat");
        p.setPath("/forms/old.dat");
        files.choice = "/forms/new.dat";
        QVERIFY(p.ChooseExistingFile());
        QCOMPARE(p.Path(), QStringLiteral("/forms/new.dat"));
        QCOMPARE(files.title, QStringLiteral("Choose Form Type"));
        QCOMPARE(files.initDir, QStringLiteral("/forms"));
        QCOMPARE(files.shownName, QStringLiteral("/forms/old.dat"));
        QVERIFY(files.mustExist);
        files.choice = "/forms/typed.dat";
        QVERIFY(p.ChooseFile());
        QVERIFY(!files.mustExist);
        QCOMPARE(p.Path(), QStringLiteral("/forms/typed.dat"));
    }

    void noDialogIsACancel()
    {
        clsPath p;
        p.setPath("x");
        QVERIFY(!p.ChooseFile());
        QVERIFY(!p.ChooseDir());
        QCOMPARE(p.Path(), QStringLiteral("x"));
    }

    void chooseDirOpensAtPathNotInitDir()
    {
        FakeFolderBrowser folders;
        clsPath p;
        p.setBrowseFFControl(&folders);
        p.setTitle("Choose Input Directory");
        p.setInitDir("/ignored");
        p.setPath("/data/in");
        QVERIFY(!p.ChooseDir());
        QCOMPARE(folders.shownPath, QStringLiteral("/data/in"));
        QCOMPARE(p.Path(), QStringLiteral("/data/in"));
        folders.choice = "/data/other";
        QVERIFY(p.ChooseDir());
        QCOMPARE(p.Path(), QStringLiteral("/data/other"));
        QCOMPARE(folders.title, QStringLiteral("Choose Input Directory"));
    }

    void relativePath_data()
    {
        QTest::addColumn<QString>("initDir");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("relative");
        QTest::newRow("case ignored") << R"(C:\DATA)" << R"(c:\data\x.dat)" << R"(\x.dat)";
        QTest::newRow("characters, not components") << R"(C:\Data)" << R"(C:\Database\b.dat)" << R"(base\b.dat)";
        QTest::newRow("other folder") << "/home/a" << "/srv/b" << "/srv/b";
        QTest::newRow("empty InitDir") << "" << "/srv/b" << "/srv/b";
        QTest::newRow("equal") << "/srv" << "/srv" << "";
    }

    void relativePath()
    {
        QFETCH(QString, initDir);
        QFETCH(QString, path);
        clsPath p;
        p.setInitDir(initDir);
        p.setPath(path);
        QTEST(p.RelativePath(), "relative");
    }

    void qtFilter()
    {
        QCOMPARE(QtFileDialog::QtFilter("Settings Files (*.set) | *.set"), QStringLiteral("Settings Files (*.set)"));
        QCOMPARE(QtFileDialog::QtFilter("Comma Separated Value Files (*.csv)|*.csv|Data Files (*.dat)|*.dat|"
                                        "All Files (*.*)|*.*"),
                 QStringLiteral("Comma Separated Value Files (*.csv);;Data Files (*.dat);;All Files (*)"));
        QCOMPARE(QtFileDialog::QtFilter(""), QString());
    }

    void browseButtonsWriteChoiceBack()
    {
        FakeFileDialog files;
        FakeFolderBrowser folders;
        frmMain w;
        w.setDialogs(&files, &folders);
        w.txtInDir->setText("/before");
        QTest::mouseClick(w.cmdGetInDir, Qt::LeftButton);  // cancelled
        QCOMPARE(w.txtInDir->text(), QStringLiteral("/before"));
        QCOMPARE(folders.shownPath, QStringLiteral("/before"));
        QCOMPARE(folders.title, QStringLiteral("Choose Input Directory"));
        folders.choice = "/chosen/in";
        QTest::mouseClick(w.cmdGetInDir, Qt::LeftButton);
        QCOMPARE(w.txtInDir->text(), QStringLiteral("/chosen/in"));
        folders.choice = "/chosen/out";
        QTest::mouseClick(w.cmdGetOutDir, Qt::LeftButton);
        QCOMPARE(folders.title, QStringLiteral("Choose Output Directory"));
        QCOMPARE(w.txtOutDir->text(), QStringLiteral("/chosen/out"));

        files.choice = dir_.filePath("FormTypes/t.dat");
        QTest::mouseClick(w.cmdGetFormType, Qt::LeftButton);
        QCOMPARE(files.title, QStringLiteral("Choose Form Type"));
        QCOMPARE(files.initDir, dir_.path() + "/FormTypes");
        QCOMPARE(files.filter, QStringLiteral("Form Definition Files (*.dat)|*.dat"));
        QVERIFY(files.mustExist);
        QCOMPARE(w.txtFormType->text(), files.choice);

        w.txtExportTo->setText("keep.csv");
        files.choice.clear();
        QTest::mouseClick(w.cmdGetExportTo, Qt::LeftButton);
        QCOMPARE(w.txtExportTo->text(), QStringLiteral("keep.csv"));
        QCOMPARE(files.shownName, QStringLiteral("keep.csv"));
        QCOMPARE(files.title, QStringLiteral("Pick or Enter a File for the Data"));
        QCOMPARE(files.filter, QStringLiteral("Comma Separated Value Files (*.csv)|*.csv|Data Files (*.dat)|*.dat|"
                                              "All Files (*.*)|*.*"));
        QVERIFY(!files.mustExist);
        files.choice = "/new/data.csv";
        QTest::mouseClick(w.cmdGetExportTo, Qt::LeftButton);
        QCOMPARE(w.txtExportTo->text(), QStringLiteral("/new/data.csv"));
    }
};

QTEST_MAIN(tst_ProductInfo)
#include "tst_ProductInfo.moc"
