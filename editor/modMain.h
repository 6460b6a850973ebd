#pragma once
// Tabwright's start-up. The argument text (rebuilt from argv) is read into
// StartupValues before any window exists: options, then up to two positional
// words naming the specification file and the data file. Main then loads
// frmMain, whose load builds the entry form from the specification file (a
// missing or malformed one ends the program there), sets the title and the
// data file's form, opens the data file when one was named, and shows the
// window.
#include <string>
#include <vector>

namespace tabwright {

struct StartupValues {
    std::string title = "Quorra Data File Editor";
    std::string specFile;  // default: <application folder>/<program name>.dat
    std::string dataFile;
    bool noFile = false;        // no positional word: File > Open is offered
    std::string fmtText = "0";  // "/csv" gives "1", "/csvh" gives "2"
    std::vector<std::string> positional;
    bool usageError = false;  // three or more positional words
};

// Reads the words of argumentText with ArgCount/ArgByNumber. programFolder
// is the application folder (AppFolder()) without a trailing separator;
// programName is the executable's name without extension. A relative
// specification name (two-word form) not found from the current folder is
// taken from the application folder.
StartupValues ParseStartup(const std::string& argumentText, const std::string& programFolder,
                           const std::string& programName);

// "Usage: " CR LF "<program> [[specfile] datfile] [/t title] [/csv|/csvh]".
std::string UsageText(const std::string& programName);
// The usage message, in a message box and on stderr.
void ShowUsage();

// The whole program; returns the exit code.
int Main(int argc, char** argv);

}  // namespace tabwright
