#include "harvester/gui/modMain.h"

#include "common/ArgumentText.h"
#include "common/clsCmdline.h"
#include "common/gui/Version.h"
#include "common/gui/modAppFolder.h"
#include "common/gui/modMsgBox.h"
#include "harvester/gui/frmMain.h"

#include <QApplication>
#include <QLineEdit>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

StartOptions ReadStartOptions(const std::string& argumentText)
{
    StartOptions o;
    auto cmd = std::make_unique<clsCmdline>();
    cmd->setCmdline(argumentText);
    const int n = cmd->argc;
    auto lower = [](std::string s) {
        std::transform(s.begin(), s.end(), s.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return s;
    };
    for (int i = 0; i < n; ++i) {
        const std::string word = lower(cmd->arg(i));
        QString* value = nullptr;
        bool* given = nullptr;
        if (word == "/type") {
            value = &o.formType, given = &o.hasFormType;
        } else if (word == "/in") {
            value = &o.inDir, given = &o.hasInDir;
        } else if (word == "/out") {
            value = &o.outDir, given = &o.hasOutDir;
        } else if (word == "/data") {
            value = &o.dataFile, given = &o.hasDataFile;
        } else if (word == "/open") {
            value = &o.settings, given = &o.hasSettings;
        } else if (word == "/autorun") {
            o.autorun = true;
            continue;
        } else {
            ++o.strays;
            continue;
        }
        // The next word is the value, whatever it is; none gives "".
        ++i;
        *value = i < n ? QString::fromStdString(cmd->arg(i)) : QString();
        *given = true;
    }
    return o;
}

QString FileDescription()
{
    return QStringLiteral("Quorra Form Gleaner");
}

QString UsageText()
{
    return QStringLiteral("Usage: \r\n") + QString::fromUtf8(version::ProductName) +
           QStringLiteral(" [/open settings] [/type formtype] [/in inPath] [/out outPath] [/data dataFile]") +
           QStringLiteral(" [/autorun]");
}

namespace {
// Whether a window can be shown at all; without one the usage goes to stderr only.
bool HaveDisplay()
{
    return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
           qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
}
}  // namespace

void ShowUsage()
{
    // Also on stderr, so that a run without a display still says what was wrong.
    QString plain = UsageText();
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    std::fprintf(stderr, "%s\n", plain.toLocal8Bit().constData());
    std::fflush(stderr);
    const bool offscreen = QGuiApplication::platformName() == u"offscreen";
    if (qApp && !offscreen)
        MsgBoxOk(nullptr, UsageText(), QMessageBox::NoIcon, FileDescription());
    std::exit(2);
}

QStringList EditFormTypeCommand(const QString& formType)
{
    return {ProgramFile(QStringLiteral("Tabwright")), formType};
}

void ApplyStartOptions(frmMain& window, const StartOptions& o)
{
    if (o.hasSettings)
        window.AppCmd(QStringLiteral("Open"), {o.settings});
    // Only the options given replace what the settings file put into a box.
    if (o.hasFormType)
        window.txtFormType->setText(o.formType);
    if (o.hasInDir)
        window.txtInDir->setText(o.inDir);
    if (o.hasOutDir)
        window.txtOutDir->setText(o.outDir);
    if (o.hasDataFile)
        window.txtExportTo->setText(o.dataFile);
    if (o.autorun)
        window.AppCmd(QStringLiteral("Go"), {});
}

int Main(int argc, char** argv)
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);

    StartOptions options;
    bool usage = false;
    try {
        options = ReadStartOptions(ArgumentText(args));
        usage = options.strays > 0;
    } catch (const std::exception&) {
        usage = true;  // more words than the splitter takes
    }
    if (usage && !HaveDisplay())
        ShowUsage();

    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(version::ProductName));
    QGuiApplication::setDesktopFileName(QStringLiteral("example.quorra.Gleanora"));  // its menu entry and icon
    if (usage)
        ShowUsage();

    auto* window = new frmMain();
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    ApplyStartOptions(*window, options);
    return QApplication::exec();
}
