#pragma once
#include "card/object.h"

#include <vector>

// A text the user added to the card: any number of lines (the text holds
// them separated by '\n'), aligned left, centred or right within its box,
// set `spacing` percent of a line's height apart, all in one font and colour,
// across or top to bottom. With a fixed `width` (model units along the line,
// 0 for none) a longer line is squeezed to fit it, never wrapped or cut.
//
// The rectangle is the box of all lines: its left and top place the text,
// its right and bottom follow from measuring, as for a field's line. The
// card file keeps each line as a text record of its own at the place it is
// drawn (so every reader of the format shows the lines), and what only this
// program draws (alignment, spacing, width, the box) in a hidden record; see
// kinds.h.
class FreeText : public TextObject
{
public:
    enum class Align
    {
        Left,
        Center,
        Right
    };

    FreeText() = default;
    explicit FreeText(const TRect &r) : TextObject(r) {}

    void Draw(QPainter *canvas, const Converter &conv) const override;
    void Measure(QPaintDevice *device, const Converter &conv) override;
    void SetRect(const TRect &r) override;
    std::unique_ptr<Object> Clone() const override;
    void Restore(const Object &from) override;
    void SetText(const std::string &s) override;

    Align GetAlign() const { return align; }
    void SetAlign(Align a);
    // Percent of a line's height from one line's top to the next (50 to 400).
    int GetSpacing() const { return spacing; }
    void SetSpacing(int percent);
    int GetWidth() const { return width; }
    // 0, or a width of at least one model unit.
    void SetWidth(int w);
    // Whether the layout differs from a single line set at its left.
    bool HasLayout() const;

    // The lines as the file keeps them: one text object each, placed where
    // it is drawn, the font and colour of the whole, in order. A line with
    // no characters keeps its place but draws nothing.
    std::vector<TextObject> Lines() const;
    // Places the lines within the box from their measures: called by
    // Measure, and by readers that have the lines' places from a file.
    void SetLinePlaces(const std::vector<TRect> &places);

    static constexpr int kDefaultSpacing = 100;

private:
    void syncLines() const;
    // Places the lines from their lengths; returns the box they fill.
    TRect layout() const;

    Align align = Align::Left;
    int spacing = kDefaultSpacing;
    int width = 0;
    // One text object a line, the font and colour synchronised before use;
    // their rectangles are the lines' places as last laid out.
    mutable std::vector<TextObject> lines;
    // Each line's measured (unsqueezed) length along the line, model units;
    // 0 before measuring.
    std::vector<int> natural;
};
