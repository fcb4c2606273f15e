#pragma once
#include "card/converter.h"
#include "card/font.h"
#include "card/rect.h"

#include <QImage>
#include <QRect>
#include <QString>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

class DrawingOrder;
class TextObject;

// The printer's card image at 600 dpi, in pixels: trunc(600 × 3.58267) by
// trunc(600 × 2.16535), the size the sheet layout gives a 600 dpi printer.
inline constexpr int kCheckDpi = 600;
inline constexpr int kCheckCardWidth = 2149;
inline constexpr int kCheckCardHeight = 1299;

// A text line as TextObject measures it through a converter: the font's
// height scaled by it, the metrics taken on a card image (a QImage). Device
// pixels. `ink` is where the glyphs' bounds lie, relative to the cell's
// top-left corner (the point the text is drawn at); empty for a line of
// blanks. A vertical line's advance is its column's width and its height the
// column's length, as its rectangle takes them.
struct LineSize
{
    int advance = 0;
    int height = 0;
    QRect ink;
    bool vertical = false;
};

// Measures text lines without touching their objects (whose rectangles the
// file keeps) and remembers each object's last measure while its shown text
// and scaled font stay the same, so that a repaint measures only the lines
// that changed. Keyed by the object's address, but an entry counts only for
// the text and font it was measured with, so a new object at a freed address
// is measured afresh; Sweep drops the entries a pass did not use.
class LineMeasurer
{
public:
    LineSize Of(const TextObject &text, const Converter &conv);
    // Ends a pass: entries not used since the last Sweep go.
    void Sweep();
    std::size_t Size() const { return entries.size(); }

private:
    struct Entry
    {
        Font font; // scaled
        std::string text;
        LineSize size;
        std::uint64_t pass = 0;
    };
    std::unordered_map<const TextObject *, Entry> entries;
    std::uint64_t pass = 1;
    QImage probe{1, 1, QImage::Format_RGB32};
};

// The print check: which visible text lines of a card would, printed, run
// past the card's edge or into another visible text line. A line is judged
// by its ink as the 600 dpi card image draws it: the glyphs' bounds, placed
// at the line's left and top, brought back to model units. Line cells are
// not compared: a cell holds the face's whole ascent and descent, so the
// cells of neighbouring lines of a well-set card overlap while their letters
// stay apart. Ink that merely touches other ink or the card's edge passes.
// Hidden objects and lines of blanks take no part; nothing is changed.
// One fault the print check finds: `line`'s ink leaves the card (`other`
// null) or meets `other`'s ink (`other` starts higher on the card).
struct PrintFinding
{
    const TextObject *line;
    const TextObject *other;
};

class PrintCheck
{
public:
    // Every fault, each pair of lines once: lines off the card first.
    std::vector<PrintFinding> Findings(const DrawingOrder &order);
    // The failing lines of `order`, bottom first.
    std::vector<const TextObject *> Run(const DrawingOrder &order);
    // The line's rectangle on the 600 dpi card image, in model units.
    TRect PrintedRect(const TextObject &text);
    // Where its ink lies on the 600 dpi card image, in model units; empty
    // (right <= left) for a line of blanks.
    TRect PrintedInk(const TextObject &text);

private:
    LineMeasurer printed;
    const Converter conv{kCheckCardWidth};
};
