#include "harvester/gui/modMain.h"

#include "common/ArgumentText.h"
#include "common/gui/Version.h"
#include "common/gui/modAppFolder.h"
#include "common/gui/modMsgBox.h"
#include "harvester/gui/frmMain.h"

#include <QApplication>
#include <QLineEdit>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

StartOptions ReadStartOptions(const std::string& argumentText)
{
    StartOptions o;
    o.strays = int(ReadOptions(argumentText, HarvestOptionRows(o), false).strays.size());
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
    if (o.settings)
        window.AppCmd(QStringLiteral("Open"), {QString::fromStdString(*o.settings)});
    // Only the options given replace what the settings file put into a box.
    const std::pair<const std::optional<std::string>&, QLineEdit*> boxes[] = {{o.formType, window.txtFormType},
                                                                              {o.inDir, window.txtInDir},
                                                                              {o.outDir, window.txtOutDir},
                                                                              {o.dataFile, window.txtExportTo}};
    for (const auto& [value, box] : boxes)
        if (value)
            box->setText(QString::fromStdString(*value));
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
