// The installed layout, checked in process against a real `cmake --install`
// tree (install_test.sh makes it and names its root, the folder holding
// bin/ and share/, in GLEANORA_INSTALLED_ROOT). The program folder is set to
// the installed bin/, so every path below comes from the same rules the
// installed programs follow.
#include "common/clsDatFile.h"
#include "common/gui/clsProductInfo.h"
#include "common/gui/frmAbout.h"
#include "common/gui/modAppFolder.h"
#include "editor/frmMain.h"
#include "editor/modEntryForm.h"
#include "editor/modMain.h"
#include "harvester/gui/modMain.h"
#include "tests/common/gui/TestFiles.h"
#include "tests/editor/FakeEditorDialogs.h"

#include <QtTest>
#include <QtWidgets>

using namespace tabwright;

class tst_Installed : public QObject {
    Q_OBJECT

    QString root_;  // <DESTDIR>/usr
    QTemporaryDir home_;

    QString Installed(const QString& relative) const { return root_ + QLatin1Char('/') + relative; }

private slots:
    void initTestCase()
    {
        root_ = qEnvironmentVariable("GLEANORA_INSTALLED_ROOT");
        if (root_.isEmpty())
            QSKIP("run by install_test.sh, which installs the tree first");
        qputenv("XDG_DATA_HOME", home_.path().toUtf8());
        setProgramFolder(Installed("bin"));
    }

    // Read-only files come from share/, the user's from a folder made on
    // first use with the example; Edit starts the installed editor.
    void filesAndPrograms()
    {
        QCOMPARE(AppFolder(), QDir::cleanPath(Installed("share/gleanora")));
        const std::string help = tabwright::frmMain::HelpPage(AppFolder().toStdString(), "Tabwright", "Tabwright");
        QVERIFY2(QFileInfo(QString::fromStdString(help)).isFile(), help.c_str());
        const QString user = home_.path() + QStringLiteral("/gleanora");
        QVERIFY(UserFolder() == user && !QFileInfo::exists(user));
        QCOMPARE(AppFile("FormTypes"), user + "/FormTypes");
        const QString example = user + "/FormTypes/timesheet.dat";
        QCOMPARE(ReadBytes(example), ReadBytes(Installed("share/gleanora/examples/timesheet.dat")));
        QVERIFY(QFileInfo(example).isWritable());
        QCOMPARE(EditFormTypeCommand(example), QStringList({Installed("bin/Tabwright"), example}));
        QVERIFY(QFileInfo(Installed("bin/Tabwright")).isExecutable());
    }

    void editorOpensTheExampleWithItsDefaultSpecification()
    {
        const QString form = AppFile("FormTypes/timesheet.dat");
        const auto start = ParseStartup("\"" + form.toStdString() + "\"", AppFolder().toStdString(), "Tabwright");
        QCOMPARE(QString::fromStdString(start.specFile + "|" + start.dataFile),
                 Installed("share/gleanora/Tabwright.dat") + "|" + form);

        // Every pick list the specification names is found.
        clsDatFile spec;
        spec.setFileName(start.specFile);
        spec.Load();
        for (const entryform::Field& f : entryform::PlanFields(spec, 120, 8640, AppFolder().toStdString()))
            QVERIFY2(f.isTextBox || QFileInfo::exists(QString::fromStdString(f.listFile)), f.listFile.c_str());

        FakeDialogs dialogs;  // any message or question would be a missing file or a data file error
        tabwright::frmMain window(start.specFile, AppFolder().toStdString(), &dialogs);
        QVERIFY2(window.Load(), qPrintable(dialogs.messages.join('\n')));
        window.AppCmd("fmt", {start.fmtText});
        window.AppCmd("open", {start.dataFile});
        const QStringList shown = dialogs.messages + dialogs.questions + dialogs.retries;
        QVERIFY2(shown.isEmpty(), qPrintable(shown.join('\n')));
        const auto rows = window.ListRows();
        QVERIFY(rows.size() == 9 && rows[0][0] == "Employee" && rows[8][2] == "ymd");
        auto* format = window.findChild<QComboBox*>(QStringLiteral("cbo22"));
        QVERIFY(format && format->findText(QStringLiteral("text")) >= 0);  // the pick list was read
    }

    // The version the installed changelog names, as dpkg shows it, in both About boxes.
    void aboutShowsThePackageVersion()
    {
        const QString package = qEnvironmentVariable("GLEANORA_PACKAGE_VERSION");
        QVERIFY(!package.isEmpty());
        frmAbout about;
        about.InitFromVersion("Quorra Data File Editor", "Tabwright", "https://www.quorra.example/");
        QVERIFY2(about.lblVersion->text().endsWith(" (package " + package + ")"), qPrintable(about.lblVersion->text()));
        clsProductInfo product;
        product.Load();
        about.Init(product);
        QVERIFY2(about.lblVersion->text().endsWith(" (package " + package + ")"), qPrintable(about.lblVersion->text()));
    }
};

QTEST_MAIN(tst_Installed)
#include "tst_Installed.moc"
