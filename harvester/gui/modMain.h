#pragma once
// Start-up of the harvester window: the command line is read into
// StartOptions before any window exists; a stray word shows the usage and
// ends the process; otherwise the window opens, an "/open" settings file
// fills the boxes, the options given replace their boxes, and "/autorun"
// starts the run (the window stays open).
#include "harvester/HarvestOptions.h"

#include <QString>
#include <QStringList>
#include <string>

class frmMain;

// The options both harvesters take, and how many words were neither an
// option nor an option's value.
struct StartOptions : HarvestOptions {
    int strays = 0;
};

// Reads the options from the argument text (the command line without the
// program's own path), by the rules in HarvestOptions.h; only "/" spells an option.
StartOptions ReadStartOptions(const std::string& argumentText);

// "Usage: " CR LF "Gleanora [/open settings] ... [/autorun]".
QString UsageText();
// The usage box title, the program's file description.
QString FileDescription();

// Shows the usage (a message box and stderr) and ends the process.
[[noreturn]] void ShowUsage();

// The command line of the Edit button: the editor installed beside this
// program, then the form definition as its one argument (even when empty).
QStringList EditFormTypeCommand(const QString& formType);

// Steps after the window is shown: "Open", the boxes, "Go".
void ApplyStartOptions(frmMain& window, const StartOptions& options);

// The process entry, called by main() with an application object in place.
int Main(int argc, char** argv);
