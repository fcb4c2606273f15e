#pragma once
// The manual that comes with the program: one HTML page.

#include <QString>

// The manual for a program file in `programDir`: beside it (the build tree),
// else in the documentation folder of the installed layout (relative to the
// program's folder as the install rules place them). Empty when neither
// exists.
QString FindManual(const QString &programDir);

// The documentation folder relative to the program's folder in the installed
// layout, "../share/doc/plakuro" with the default install folders.
QString InstalledDocFolder();
