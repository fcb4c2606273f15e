#pragma once
// Conversion between the Shift-JIS (code page 932) bytes the card keeps and
// the Unicode text the widgets show. This is the only place that converts.

#include <QString>
#include <QStringList>
#include <string>

namespace sjis {

// Unicode -> code page 932. A character code page 932 lacks becomes '?'.
std::string fromUnicode(const QString &text);
std::string fromUtf8(const std::string &utf8);

// The characters of `text` that fromUnicode turns into '?', each once, in the
// order they first occur; a character beyond the BMP is one entry.
QStringList unencodable(const QString &text);
// The same joined with 「、」 for a message, each shown so that it can be
// seen: a combining mark on a dotted circle, an invisible character as
// "U+200B". Empty when every character survives.
QString unencodableList(const QString &text);

// Code page 932 -> Unicode. A byte sequence that cannot be decoded becomes
// U+FFFD and decoding goes on after it.
QString toUnicode(const std::string &bytes);
std::string toUtf8(const std::string &bytes);

// EUC-JIS-2004 (EUC-JISX0213, as dictionaries of Japanese words are kept)
// -> UTF-8, for reading such data; a sequence that cannot be decoded becomes
// U+FFFD as in toUtf8.
std::string eucJis2004ToUtf8(const std::string &bytes);

// The longest prefix of `bytes` of at most `max` bytes that does not end in
// the middle of a two-byte character.
std::string truncate(const std::string &bytes, std::size_t max);

// Upper-cases ASCII letters only; the trail bytes of two-byte characters are
// left alone (they may fall into the ASCII letter range).
std::string toUpper(const std::string &bytes);

// Part of a path after the last '\\' or '/', skipping trail bytes (0x5C can
// be the second byte of a two-byte character).
std::string fileNamePart(const std::string &path);
std::string extensionPart(const std::string &path);

bool isLeadByte(unsigned char c);

} // namespace sjis
