#pragma once
// The reasons the system gives for a failed file operation, in Japanese: the
// C library and Qt word them in English ("No such file or directory"), and
// every message of ours names the reason inside a Japanese sentence.

#include <QString>

// The reason for `error` (an errno value). A value without a Japanese
// wording here keeps the C library's text.
QString SystemErrorText(int error);

// `reason` as a QIODevice or the C library worded it, in Japanese when it is
// one of the reasons SystemErrorText words (Qt passes most of them on from
// strerror); any other text is returned as it is.
QString JapaneseErrorText(const QString &reason);
