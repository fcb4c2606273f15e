#pragma once
#include <QStringList>

// Runs plakuro-cli with the arguments after the program name: writes the
// result, help or the one-line failure, and returns the exit status (0
// success; 1 a file that cannot be read or written, is not a card data file
// or is damaged; 2 a usage error).
int RunTool(const QStringList &args);
