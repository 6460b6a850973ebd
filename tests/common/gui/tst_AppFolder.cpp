// Where the application's files are, in the build tree and installed: the
// program folder is pointed at fake trees of both kinds.
#include "common/gui/modAppFolder.h"
#include "tests/common/gui/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

class tst_AppFolder : public QObject {
    Q_OBJECT

    QTemporaryDir tmp_;
    QString installedBin_, data_, buildBin_, home_;
    static void Touch(const QString& p, const QByteArray& b = "x") { QVERIFY(ReadBytes(WriteBytes(p, b)) == b); }
    static QStringList Entries(const QString& f) { return QDir(f).entryList(QDir::AllEntries | QDir::NoDotAndDotDot); }

private slots:
    void initTestCase()
    {
        QVERIFY(tmp_.isValid());
        // An installed tree: programs in usr/bin, files in usr/share/gleanora.
        installedBin_ = tmp_.filePath("usr/bin");
        data_ = QDir::cleanPath(installedBin_ + "/" GLEANORA_DATA_FROM_BIN);
        QVERIFY(QDir().mkpath(installedBin_));
        for (const char* name : {"/Tabwright.dat", "/examples/forms/ann.xlsx", "/examples/README.txt"})
            Touch(data_ + name);
        Touch(data_ + "/examples/timesheet.dat", "9,3\r\n");
        Touch(data_ + "/examples/orders.dat", "2,3\r\n");
        // A build tree: everything in bin/.
        buildBin_ = tmp_.filePath("build/bin");
        Touch(buildBin_ + "/Tabwright.dat");
        home_ = tmp_.filePath("home");
        qputenv("HOME", home_.toUtf8());
    }

    void cleanup()
    {
        setProgramFolder(QString());
        setAppFolder(QString());
        qunsetenv("XDG_DATA_HOME");
    }

    void folders_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("xdg");
        QTest::addColumn<QString>("app");
        QTest::addColumn<QString>("user");
        const QString xdg = tmp_.filePath("xdg");
        const QString local = home_ + "/.local/share/gleanora";
        QTest::newRow("build tree") << buildBin_ << QString() << buildBin_ << buildBin_;
        QTest::newRow("build tree ignores XDG") << buildBin_ << xdg << buildBin_ << buildBin_;
        QTest::newRow("installed, XDG") << installedBin_ << xdg << data_ << xdg + "/gleanora";
        QTest::newRow("installed, XDG with slash") << installedBin_ << xdg + "/" << data_ << xdg + "/gleanora";
        QTest::newRow("installed, no XDG") << installedBin_ << QString() << data_ << local;
        QTest::newRow("installed, relative XDG is ignored") << installedBin_ << "rel/data" << data_ << local;
    }

    void folders()
    {
        QFETCH(QString, program);
        QFETCH(QString, xdg);
        QFETCH(QString, app);
        QFETCH(QString, user);
        if (!xdg.isEmpty())
            qputenv("XDG_DATA_HOME", xdg.toUtf8());
        setProgramFolder(program);
        QCOMPARE((QStringList{AppFolder(), UserFolder(), AppFile("Tabwright.dat"), AppFile("Help/index.html"),
                              AppFile("Settings"), AppFile("FormTypes/week.dat"), ProgramFile("Tabwright")}),
                 (QStringList{app, user, app + "/Tabwright.dat", app + "/Help/index.html", user + "/Settings",
                              user + "/FormTypes/week.dat", program + "/Tabwright"}));
        QVERIFY(QFileInfo(user + "/Settings").isDir() && QFileInfo(user + "/FormTypes").isDir());
    }

    void formTypesStartWithTheExamplesOnceUnlessTheAppFolderIsSetByHand()
    {
        const QString xdg = tmp_.filePath("once");
        qputenv("XDG_DATA_HOME", xdg.toUtf8());
        setProgramFolder(installedBin_);
        const QString formTypes = xdg + "/gleanora/FormTypes";
        // Settings only when asked.
        QCOMPARE((QStringList{AppFile("FormTypes")} << Entries(formTypes) << Entries(xdg + "/gleanora")),
                 (QStringList{formTypes, "orders.dat", "timesheet.dat", "FormTypes"}));
        QCOMPARE(ReadBytes(formTypes + "/timesheet.dat"), QByteArray("9,3\r\n"));
        QVERIFY(QFileInfo(formTypes + "/timesheet.dat").permissions() & QFile::WriteOwner);
        QVERIFY(QFile::remove(formTypes + "/orders.dat"));
        AppFile("FormTypes/timesheet.dat");
        QCOMPARE(Entries(formTypes), QStringList({"timesheet.dat"}));
        // Form types the user already has are left alone.
        const QString existing = tmp_.filePath("existing");
        qputenv("XDG_DATA_HOME", existing.toUtf8());
        Touch(existing + "/gleanora/FormTypes/mine.dat");
        QCOMPARE(Entries(AppFile("FormTypes")), QStringList({"mine.dat"}));
        // An application folder set by hand is the whole application folder, without examples.
        const QString scratch = tmp_.filePath("scratch");
        QVERIFY(QDir().mkpath(scratch));
        setProgramFolder(QString());
        setAppFolder(scratch + "/");
        QCOMPARE((QStringList{AppFolder(), UserFolder(), AppFile("FormTypes"), ProgramFile("Tabwright")}),
                 (QStringList{scratch, scratch, scratch + "/FormTypes", scratch + "/Tabwright"}));
        QCOMPARE(Entries(scratch + "/FormTypes"), QStringList());
    }
};

QTEST_MAIN(tst_AppFolder)
#include "tst_AppFolder.moc"
