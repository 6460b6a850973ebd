// Product information (App.def), the About box, the Help menu, and the
// text rules of the version, relative paths and dialog filters.
#include "GuiTestSupport.h"

#include "common/gui/clsProductInfo.h"
#include "common/gui/frmAbout.h"

#include <QAction>
#include <QImage>
#include <QLabel>
#include <QTimer>

class tst_ProductInfo : public QObject {
    Q_OBJECT

    ScratchAppFolder app_;

private slots:
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
        row("no App.def: help beside it", "-", "help", app_.path("Help/index.html"));
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
    }

    void appDef()
    {
        QFETCH(QByteArray, appDef);
        QFETCH(QString, key);
        if (appDef != "-")
            WriteBytes(app_.path("App.def"), appDef);
        clsProductInfo p;
        p.Site = "https://quorra.example.org";
        p.Setup();
        p.Load();
        QFile::remove(app_.path("App.def"));
        const QStringList keys = {"title", "description", "major", "minor", "faqurl", "supporturl", "help"};
        const QStringList got = {
            p.Title, p.Description, QString::number(p.Major), QString::number(p.Minor), p.FAQURL, p.SupportURL, p.Help};
        QTEST(got.value(keys.indexOf(key)), "value");
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
        p.Load();
        QCOMPARE(p.Icon.pixmap(8, 8).toImage().pixelColor(4, 4), QColor(Qt::red));
        QFile::remove(app_.path("App.def"));
    }

    void windowTakesTitleAndHelpMenuOpensAddresses()
    {
        WriteBytes(app_.path("App.def"), "title, =, Harvest Desk\r\nhelp, =, /opt/help.html\r\n");
        BrowseRecorder pages;
        frmMain w;
        QFile::remove(app_.path("App.def"));
        QVERIFY(w.windowTitle() == u"Harvest Desk" && AppTitle() == u"Harvest Desk");
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
        QCOMPARE(seen, QStringList({"About " + w.windowTitle(), w.ProductInfo()->name,
                                    frmAbout::VersionLabel(w.ProductInfo()->Version()), "Forms gathered"}));
        QCOMPARE(pages.opened, QStringList({"https://quorra.example.org"}));
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

QTEST_MAIN(tst_ProductInfo)
#include "tst_ProductInfo.moc"
