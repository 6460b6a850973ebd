#include "editor/modMain.h"

#include "common/ArgumentText.h"
#include "common/gui/modAppFolder.h"
#include "common/modArgcArgv.h"
#include "common/modUtil.h"
#include "editor/frmMain.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>

#include <filesystem>
#include <iostream>

namespace tabwright {

StartupValues ParseStartup(const std::string& argumentText, const std::string& programFolder,
                           const std::string& programName)
{
    StartupValues v;
    v.specFile = programFolder + "/" + programName + ".dat";

    const int count = ArgCount(argumentText);
    for (int n = 1; n <= count; ++n) {
        const std::string word = ArgByNumber(argumentText, n);
        const std::string option = Lower(word);
        if (option == "-t" || option == "/t") {
            ++n;
            v.title = ArgByNumber(argumentText, n);
        } else if (option == "-v" || option == "/v") {
            ++n;  // the value is read past and otherwise ignored
        } else if (option == "-csv" || option == "/csv") {
            v.fmtText = "1";
        } else if (option == "-csvh" || option == "/csvh") {
            v.fmtText = "2";
        } else {
            v.positional.push_back(word);
        }
    }

    switch (v.positional.size()) {
    case 0:
        v.noFile = true;
        break;
    case 1:
        v.dataFile = v.positional[0];
        break;
    case 2: {
        const std::string& spec = v.positional[0];
        // An absolute name stays as given; it cannot lie in the program folder.
        if (IsFile(spec) || std::filesystem::path(spec).is_absolute())
            v.specFile = spec;
        else
            v.specFile = programFolder + "/" + spec;
        v.dataFile = v.positional[1];
        break;
    }
    default:
        v.usageError = true;
        break;
    }
    return v;
}

std::string UsageText(const std::string& programName)
{
    return "Usage: \r\n" + programName + " [[specfile] datfile] [/t title] [/csv|/csvh]";
}

void ShowUsage()
{
    const std::string name = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName().toStdString();
    const std::string text = UsageText(name);
    std::cerr << "Usage: " << name << " [[specfile] datfile] [/t title] [/csv|/csvh]\n";
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), QString::fromStdString(text),
                    QMessageBox::Ok);
    box.exec();
}

int Main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tabwright"));
    QGuiApplication::setDesktopFileName(QStringLiteral("example.quorra.Tabwright"));  // its menu entry and icon
    SetProcessArgumentText(ArgumentText(argc, argv));

    // The specification file, its pick lists and the help live in the
    // application folder, which is not the program's folder once installed.
    const QFileInfo exe(QCoreApplication::applicationFilePath());
    const std::string appFolder = AppFolder().toStdString();
    const StartupValues start = ParseStartup(ProcessArgumentText(), appFolder, exe.completeBaseName().toStdString());
    if (start.usageError) {
        ShowUsage();
        return 1;
    }

    frmMain form(start.specFile, appFolder);
    if (!form.Load())
        return 1;  // the specification file's message was shown
    form.setWindowTitle(QString::fromStdString(start.title));
    form.setFileOpenEnabled(start.noFile);
    form.AppCmd("fmt", {start.fmtText});
    if (!start.noFile)
        form.AppCmd("open", {start.dataFile});
    form.show();
    return app.exec();
}

}  // namespace tabwright
