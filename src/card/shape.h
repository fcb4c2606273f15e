#pragma once
#include "card/object.h"

#include <optional>

// A line, rectangle (corners optionally rounded) or ellipse the user drew.
//
// In the card file a shape is a picture record ("GraphicObject"), so every
// reader of the format keeps it: its picture is one pixel of the shape's
// colour stretched to its rectangle, which is what such a reader draws, and
// its source names the exact shape ("<<Shape>>" and "key=value" pairs; see
// ShapeDescription), which only this program reads. Where the stretched
// pixel is the shape itself (a filled rectangle with square corners and no
// other outline, a level or upright line) the record is visible; otherwise
// it is hidden from such readers, which then draw nothing rather than a box
// in the ellipse's place. This program draws every shape it reads.
class ShapeObject : public Object
{
public:
    enum class Kind
    {
        Line,
        Rect,
        Ellipse
    };

    ShapeObject() = default;
    explicit ShapeObject(Kind k) : kind(k) {}

    void Draw(QPainter *canvas, const Converter &conv) const override;
    // The box the shape is drawn in, outline included.
    void GetRect(TRect &out) const override;
    // Moves and sizes the shape so its box becomes `r`; a line's ends keep
    // their places within the box.
    void SetRect(const TRect &r) override;
    bool Hits(int x, int y) const override;
    bool IsVisible() const override { return true; }
    void SaveToStream(Stream *s) const override;
    void LoadFromStream(Stream *s) override;
    std::string GetClassName() const override { return "GraphicObject"; }
    std::unique_ptr<Object> Clone() const override;
    void Restore(const Object &from) override;

    Kind GetKind() const { return kind; }
    // Colours are TColor values (0x00BBGGRR); none for no fill or outline.
    std::optional<std::int32_t> Fill() const { return fill; }
    std::optional<std::int32_t> Stroke() const { return stroke; }
    void SetFill(std::optional<std::int32_t> c) { fill = c; }
    void SetStroke(std::optional<std::int32_t> c) { stroke = c; }
    // Outline width in model units (0.1 mm), 0 to 100; a line keeps at least 1.
    int StrokeWidth() const { return strokeWidth; }
    void SetStrokeWidth(int w);
    // Corner radius of a rectangle, model units.
    int Radius() const { return radius; }
    void SetRadius(int r) { radius = r < 0 ? 0 : r; }

    // The shape's frame: for a rectangle or ellipse the outline's middle, for
    // a line its two ends (left, top = first end; right, bottom = second).
    TRect Frame() const { return frame; }
    void SetFrame(const TRect &r) { frame = r; }

    // The source text the file keeps; and back (false when `source` names no
    // shape or names one wrongly; the shape is then unchanged).
    std::string Description() const;
    bool FromDescription(const std::string &source);
    // Whether a reader that draws the stretched pixel draws the shape itself.
    bool PixelIsShape() const;

private:
    Kind kind = Kind::Rect;
    TRect frame;
    std::optional<std::int32_t> fill;
    std::optional<std::int32_t> stroke = 0;
    int strokeWidth = 3;
    int radius = 0;
};

inline constexpr const char *kShapeSource = "<<Shape>>";
