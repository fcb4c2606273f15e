#pragma once
#include <QGlyphRun>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QString>

class QFont;
class QPaintDevice;
class QPainter;

// One line of card text laid out once for one font on one device, drawn so
// that each glyph it shows is the one the font's character map gives its
// character. A PDF tells a glyph's text through the character map alone (Qt's
// PDF engine writes for each glyph the code points that map to it), so a
// glyph no character maps to reads back as nothing.
//
// Such glyphs come from the shaper's language forms. HarfBuzz shapes for the
// language of the process's locale, and a run of Latin script shaped for any
// language but Japanese (the digits of "TEL 03-1234-5678" take the script of
// the letters before them) gets the Noto CJK faces' Western digits and
// ellipsis, which no character maps to; a Japanese locale gets the faces' own.
// Card text is Japanese, so a line draws as under a Japanese locale whatever
// the locale is: a character the shaper set alone in a glyph of another form
// is drawn in its own glyph, and the rest of the line moves by the difference
// of their advances. A line without such a glyph is drawn by drawText, except
// into a PDF file: there it is drawn from the glyphs it was laid out with,
// which the engine writes exactly as it writes drawText's (the same glyphs at
// the same places, its text told by the same character map). A sheet draws
// each line ten times, and shaping it again each time cost more than writing
// it.
class DrawnLine
{
public:
    DrawnLine() = default;
    DrawnLine(const QString &text, const QFont &font, QPaintDevice *device);

    // Whether the line is drawn from glyphs of its own rather than by drawText.
    bool Remapped() const { return !runs.isEmpty(); }
    // How much longer the line is than drawText lays it out, in the device's
    // pixels (negative when shorter).
    qreal ExtraAdvance() const { return extra; }
    // Where the ink of a remapped line's glyphs lies, from its baseline's
    // start.
    QRectF GlyphBounds() const;
    // Draws the line with its baseline starting at `origin`. A line drawn by
    // drawText is drawn in the painter's font, which must be the line's.
    void Draw(QPainter &p, const QPointF &origin) const;

private:
    QString text;
    QList<QGlyphRun> runs; // positions from the baseline's start
    // The line's glyphs as laid out, for a PDF painter; empty where drawText
    // is drawn there too (a remapped line, a control character, a
    // decoration, whose placing differs between the two).
    QList<QGlyphRun> laidOut;
    qreal extra = 0;
};
