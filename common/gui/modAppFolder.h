#pragma once
// The application folder: where the running program lies, and with it
// App.def, Help/, Settings/ and FormTypes/.
#include <QString>

// The folder of the running program, without a trailing separator, unless
// setAppFolder gave another one (tests point it at a folder of their own).
QString AppFolder();
void setAppFolder(const QString& folder);

// AppFolder() + "/" + relative.
QString AppFile(const QString& relative);
