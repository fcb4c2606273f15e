#pragma once
#include <QByteArray>

// Qt's PDF engine maps each glyph of an embedded font back to the lowest
// code point the font draws with it. Noto CJK draws the CJK radicals
// (U+2E80..U+2FDF) with the glyphs of their kanji, so 山 and 田 come out of
// such a file as the radicals ⼭ and ⽥: searching, copying and text
// extraction then miss them. Card text is Shift-JIS, which has no radicals,
// so a radical in a text map always stands for the kanji of its glyph.
//
// Returns `pdf` with every radical in its ToUnicode maps replaced by that
// kanji, the maps rewritten and the cross-reference table renumbered. A file
// it does not understand (not written by that engine, compressed maps, an
// incremental update) comes back unchanged: it stays a valid PDF.
QByteArray FixPdfTextMaps(const QByteArray &pdf);
