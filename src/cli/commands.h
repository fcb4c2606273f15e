#pragma once
#include <QStringList>

// Runs plakuro-cli with the arguments after the program name: writes the
// result, help or the one-line failure, and returns the exit status (0
// success; 1 a file that cannot be read or written, is not a card data file
// or is damaged; 2 a usage error).
int RunTool(const QStringList &args);

// The stderr lines warning that `text`, kept under `caption`, loses
// characters: those Shift-JIS lacks (they become '?'), and those past what
// a record holds. `where` names the row or step ("3 行目 ", "手順 2 "), or is
// empty. Nothing when all is kept.
void NoteLostCharacters(const QString &where, const QString &caption, const QString &text);
