#pragma once
// The edits' mark for characters the card file cannot keep: those code page
// 932 lacks (the file and the card show '?' for each) and those past the
// most a text record holds (the file keeps the text cut).

#include <QColor>
#include <QString>

class QLineEdit;

// The background of an edit holding such characters.
inline const QColor kLostBackground{0xFF, 0xDD, 0xDD};

// The tooltip naming `list` (EditSession::LostCharacters).
QString LostCharactersTip(const QString &list);

// Gives `edit` the pale red background and the tooltip (a line for each
// reason) while its text holds such characters, and takes both away when they are gone. Returns the
// tooltip when it has just changed to a new warning, else an empty string,
// so a caller can say it once elsewhere too.
QString MarkLostCharacters(QLineEdit *edit);
