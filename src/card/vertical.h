#pragma once
#include "card/drawnline.h"

#include <QFont>
#include <QRect>
#include <QString>
#include <QTransform>
#include <vector>

class QPainter;
class QPaintDevice;

// A line of text set vertically (縦書き), laid out once for one font on one
// device. The line is a column one em wide (the font's pixel size) read top
// to bottom from its top-left corner; each character stands in a cell one em
// high on the ideographic em box (baseline 0.88 em below the cell's top),
// whatever the face's own ascent and descent:
// - kanji, kana and other full-width characters stand upright, centred;
// - 、。，． move to the cell's top-right, as their vertical forms stand;
// - brackets, ー, the wave dashes, －, …, ‥, ＝, ：, ； turn 90° clockwise;
// - small kana move toward the top-right of their cell;
// - a run of half-width characters (ASCII) turns 90° clockwise as a whole
//   and takes its own width, except that a run of one or two digits stands
//   upright side by side in one cell (縦中横), narrowed when wider than it.
// Underline and strikeout become lines down the column's right side and
// through its middle.
class VerticalLine
{
public:
    VerticalLine() = default;
    VerticalLine(const QString &text, const QFont &font, QPaintDevice *device);

    // The column's width in device pixels: one em.
    int Width() const { return width; }
    // The sum of the cells' advances, rounded up.
    int Height() const { return height; }
    // Where the glyphs' ink lies, relative to the column's top-left corner;
    // empty for a line of blanks.
    QRect Ink() const { return ink; }
    // Draws the column with its top-left corner at `topLeft` in the
    // painter's pen; the painter's state is left as it was.
    void Draw(QPainter &p, const QPointF &topLeft) const;

private:
    struct Piece
    {
        DrawnLine line;
        // From the piece's own text coordinates (origin on its baseline) to
        // the column's.
        QTransform place;
    };
    QFont font; // underline and strikeout drawn by the column itself
    std::vector<Piece> pieces;
    int width = 0;
    int height = 0;
    QRect ink;
    qreal em = 0;
    qreal length = 0;
    qreal lineWidth = 0;
    bool underline = false;
    bool strikeout = false;
};
