#pragma once
#include <QByteArray>
#include <QIODevice>

// Qt's PDF engine maps each glyph of an embedded font back to the lowest
// code point the font draws with it. Noto CJK draws the CJK radicals
// (U+2E80..U+2FDF) with the glyphs of their kanji, so 山 and 田 come out of
// such a file as the radicals ⼭ and ⽥; it draws 　 and U+2003, ～ and 〜
// U+301C, ・ and U+2027 alike, and Qt draws spaces and tabs alike, so those
// come out as U+2003, U+301C, U+2027 and tabs: searching, copying and text
// extraction then miss them. Card text is Shift-JIS (code page 932), so a
// code point the code page lacks, written for a glyph that also draws a card
// character, always stands for that character.

// Rewrites, in the ToUnicode map `cmap`, each code point that maps one code
// and stands for another card character by that character. Both are four hex
// digits, so the map keeps its length and the file every offset. What it
// does not understand it leaves.
void FixTextMapInPlace(char *cmap, qsizetype size);

// A device in front of the file a PDF engine writes: it passes the bytes on
// as they come, holding back only a text map ("begincmap" to "endcmap", a
// few kilobytes) until it is whole, to fix it in place. Memory stays flat
// however long the document. Flush() passes on what is held at the end.
// Failures of `target` are `target`'s to report.
class PdfTextMapFilter : public QIODevice
{
public:
    explicit PdfTextMapFilter(QIODevice &target);
    bool isSequential() const override { return true; }
    void Flush();

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override;

private:
    void forward(qsizetype n);

    QIODevice &target;
    QByteArray held;
    bool inMap = false;
};
