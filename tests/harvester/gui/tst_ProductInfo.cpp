// Product information (App.def), the version text, the About box, the Help
// menu and the path chooser.
#include "GuiTestSupport.h"

#include "common/gui/Version.h"
#include "common/gui/clsProductInfo.h"
#include "common/gui/frmAbout.h"

#include <QAction>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class tst_ProductInfo : public QObject {
    Q_OBJECT

    ScratchAppFolder app_;

private slots:
    void defaultsWithoutAppDef()
    {
        clsProductInfo p;
        p.Load();  // no App.def: nothing changes
        QCOMPARE(p.Help, app_.dir.path() + "/Help/index.html");
        QVERIFY(p.Site.isEmpty() && p.FAQURL.isEmpty());
        p.Setup();
        QCOMPARE(p.SupportURL, QStringLiteral("?page=support"));  // empty site: bare query
        QCOMPARE(clsProductInfo::VersionText(1, 0, 34), QStringLiteral("1.00.0034"));
        QCOMPARE(clsProductInfo::VersionText(3, 123, 12345), QStringLiteral("3.123.12345"));
    }

    void appDef_data()
    {
        QTest::addColumn<QByteArray>("appDef");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        auto row = [](const char* name, const char* def, const char* key, const QString& value) {
            QTest::newRow(name) << QByteArray(def) << QString(key) << value;
        };
        const QString product = QString::fromUtf8(version::ProductName), major = QString::number(version::Major);
        row("quoted comma", "description, =, \"Forms, gathered\"\r\n", "description", "Forms, gathered");
        row("lines that do nothing", "title = T\r\n\r\n# title, =, C\r\ntitle, =\r\ntitle, is, X\r\ncolour, =, b\r\n",
            "title", product);
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
    }

    void appDef()
    {
        QFETCH(QByteArray, appDef);
        QFETCH(QString, key);
        WriteBytes(app_.path("App.def"), appDef);
        clsProductInfo p;
        p.Site = "https://quorra.example.org";
        p.Setup();
        p.Load();
        QFile::remove(app_.path("App.def"));
        const QMap<QString, QString> got = {{"title", p.Title},
                                            {"description", p.Description},
                                            {"major", QString::number(p.Major)},
                                            {"minor", QString::number(p.Minor)},
                                            {"faqurl", p.FAQURL},
                                            {"supporturl", p.SupportURL}};
        QTEST(got.value(key), "value");
    }

    void iconThatCannotBeLoadedIsIgnored()
    {
        const QIcon design = DesignIcon();
        WriteBytes(app_.path("broken.png"), "not a picture");
        WriteBytes(app_.path("App.def"), "icon, =, broken.png\r\nicon, =, missing.png\r\n");
        clsProductInfo p(design);
        p.Load();
        QCOMPARE(p.Icon.cacheKey(), design.cacheKey());

        QImage red(8, 8, QImage::Format_RGB32);
        red.fill(Qt::red);
        QVERIFY(red.save(app_.path("red.png")));
        WriteBytes(app_.path("App.def"), "icon, =, red.png\r\n");
        clsProductInfo q(design);
        q.Load();
        QCOMPARE(q.Icon.pixmap(8, 8).toImage().pixelColor(4, 4), QColor(Qt::red));
        QFile::remove(app_.path("App.def"));
    }

    void windowTakesTitleAndHelpMenuOpensAddresses()
    {
        WriteBytes(app_.path("App.def"), "title, =, Harvest Desk\r\nhelp, =, /opt/help.html\r\n");
        BrowseRecorder pages;
        frmMain w;
        QFile::remove(app_.path("App.def"));
        QCOMPARE(w.windowTitle(), QStringLiteral("Harvest Desk"));
        QCOMPARE(AppTitle(), QStringLiteral("Harvest Desk"));
        w.mnuHelpContents->trigger();
        w.mnuHelpFAQ->trigger();
        w.mnuHelpSupport->trigger();
        QCOMPARE(pages.opened, QStringList({"/opt/help.html", "https://quorra.example.org?i=Gleanora&page=FAQ",
                                            "https://quorra.example.org?page=support"}));
        QCOMPARE(w.mnuHelpContents->shortcut(), QKeySequence(Qt::Key_F1));
    }

    void aboutBoxFromTheHelpMenu()
    {
        WriteBytes(app_.path("App.def"), "description, =, Forms gathered\r\n");
        BrowseRecorder pages;
        frmMain w;
        QFile::remove(app_.path("App.def"));
        w.show();
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
        QCOMPARE(seen, QStringList({"About " + w.windowTitle(), QString::fromUtf8(version::ProductName),
                                    frmAbout::VersionLabel(w.ProductInfo()->Version()), "Forms gathered"}));
        QCOMPARE(pages.opened, QStringList({"https://quorra.example.org"}));

        frmAbout editor;
        editor.InitFromVersion("Quorra Data Editor", "Tabwright", "https://quorra.example.org");
        QCOMPARE(editor.windowTitle(), QStringLiteral("About Quorra Data Editor"));
        QCOMPARE(editor.lblTitle->text(), QStringLiteral("Tabwright"));
        QCOMPARE(editor.CopyrightTag(), QStringLiteral("https://quorra.example.org"));
    }

    void pathChooser()
    {
        clsPath p;
        p.setPath(" ");
        QVERIFY(p.PathIsPresent());
        QVERIFY(!p.ChooseFile() && !p.ChooseDir());  // no dialog is a cancel
        FakeFileDialog files;
        FakeFolderBrowser folders;
        p.setCommonDialogControl(&files);
        p.setBrowseFFControl(&folders);
        p.setInitDir("/ignored");
        QVERIFY(!p.ChooseExistingFile() && !p.ChooseDir());
        QCOMPARE(p.Path(), QStringLiteral(" "));
        QCOMPARE(folders.shownPath, QStringLiteral(" "));  // folders open at the path, not InitDir
        files.choice = "/forms/typed.dat";
        QVERIFY(p.ChooseFile() && !files.mustExist);
        QCOMPARE(p.Path(), QStringLiteral("/forms/typed.dat"));
        p.setPath(QString());
        QVERIFY(!p.PathIsPresent());
    }

    void relativePath_data()
    {
        QTest::addColumn<QString>("initDir");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("relative");
        QTest::newRow("case ignored") << R"(C:\DATA)"
                                      << R"(c:\data\x.dat)"
                                      << R"(\x.dat)";
        QTest::newRow("characters, not components") << R"(C:\Data)"
                                                    << R"(C:\Database\b.dat)"
                                                    << R"(base\b.dat)";
        QTest::newRow("other folder") << "/home/a"
                                      << "/srv/b"
                                      << "/srv/b";
        QTest::newRow("empty InitDir") << ""
                                       << "/srv/b"
                                       << "/srv/b";
        QTest::newRow("equal") << "/srv"
                               << "/srv"
                               << "";
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
        QCOMPARE(QtFileDialog::QtFilter("Comma Separated Value Files (*.csv)|*.csv|All Files (*.*)|*.*"),
                 QStringLiteral("Comma Separated Value Files (*.csv);;All Files (*)"));
        QCOMPARE(QtFileDialog::QtFilter(""), QString());
    }
};

QTEST_MAIN(tst_ProductInfo)
#include "tst_ProductInfo.moc"
