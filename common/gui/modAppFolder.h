#pragma once
// Where the files of the application are. Both programs ask here and
// nowhere else.
//
// Run from the build tree (or from any folder that has no installed data
// beside it), the folder of the running program is the whole application
// folder: App.def, Help/, Tabwright.dat, FormatWords.txt, Settings/ and
// FormTypes/ all lie beside the programs.
//
// Installed (programs in <prefix>/bin, data in <prefix>/share/gleanora), the
// read-only files are read from <prefix>/share/gleanora, and the folders the
// user writes to, Settings/ and FormTypes/, lie in the user's data folder
// $XDG_DATA_HOME/gleanora (by default ~/.local/share/gleanora). They are
// created when first asked for; FormTypes/ starts with the shipped example
// form definitions (examples/*.dat).
#include <QString>

// The folder the read-only application files are read from, without a
// trailing separator.
QString AppFolder();

// The folder Settings/ and FormTypes/ lie in: AppFolder() in the build tree,
// the user's data folder when installed.
QString UserFolder();

// Where file `relative` of the application is: "Settings" and "FormTypes"
// (and what lies in them) in UserFolder(), which is then created when
// missing; everything else in AppFolder().
QString AppFile(const QString& relative);

// Another program of the application (the editor, glean): beside the
// running program in both layouts.
QString ProgramFile(const QString& name);

// Tests: setAppFolder makes one folder the whole application folder, as the
// build tree's bin/ is: programs, read-only files and user folders (an empty
// text restores the normal rules). setProgramFolder stands in for the
// running program's folder, so that the rules above can be checked against
// an installed layout.
void setAppFolder(const QString& folder);
void setProgramFolder(const QString& folder);

// The user's data folder for this application: $XDG_DATA_HOME/gleanora when
// that is an absolute path, else ~/.local/share/gleanora.
QString UserDataFolder();
