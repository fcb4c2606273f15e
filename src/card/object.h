#pragma once
#include "card/converter.h"
#include "card/drawnline.h"
#include "card/font.h"
#include "card/picture.h"
#include "card/rect.h"
#include "card/vertical.h"

#include <QFont>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>

class QPaintDevice;
class QPainter;
class Stream;

// A card object. The virtual operations keep the slot order every class
// shares; each class appends its own after them.
class Object
{
public:
    virtual ~Object() = default;
    // Draws the object; changes nothing the file keeps.
    virtual void Draw(QPainter *canvas, const Converter &conv) const = 0;
    // Sets the rectangle's size from the object as drawn on `device` through
    // `conv`, where the object's size depends on the drawing (text). Others
    // keep their rectangle.
    virtual void Measure(QPaintDevice *device, const Converter &conv)
    {
        (void)device;
        (void)conv;
    }
    virtual void GetRect(TRect &out) const = 0;
    virtual void SetRect(const TRect &r) = 0;
    virtual int GetOrder() const { return order; }
    virtual void SetOrder(int n) { order = n; }
    virtual bool IsVisible() const { return visible; }
    virtual void SetVisible(bool b) { visible = b; }
    virtual void SaveToStream(Stream *s) const = 0;
    virtual void LoadFromStream(Stream *s) = 0;
    virtual std::string GetClassName() const = 0;

    // A copy of everything the object keeps (a picture is shared, never
    // changed), for taking a step back.
    virtual std::unique_ptr<Object> Clone() const = 0;
    // Takes over what `from`, an object of the same class (a Clone), keeps.
    // Throws std::logic_error for an object of another class.
    virtual void Restore(const Object &from) = 0;
    // Whether the model point (x, y) hits the object: by default inside its
    // rectangle, all four edges inclusive, never for zero width or height.
    virtual bool Hits(int x, int y) const;
    // Lays out what Draw draws on a device of `device`'s resolution through
    // `conv`, so that the next drawing there finds it done; changes nothing
    // the file keeps. A drawing that runs alongside other work (a merge)
    // does the work that needs no painter first. By default nothing.
    virtual void Prepare(QPaintDevice *device, const Converter &conv) const
    {
        (void)device;
        (void)conv;
    }

protected:
    Object() = default;
    Object(const Object &) = default;
    Object &operator=(const Object &) = default;

    void SaveHead(Stream *s) const;
    void LoadHead(Stream *s);

    // Objects whose creator never sets an order sort at the bottom.
    std::int32_t order = 0;
    bool visible = true;
};

class TextObject : public Object
{
public:
    TextObject() = default;
    explicit TextObject(const TRect &r) : rect(r) {}

    void Draw(QPainter *canvas, const Converter &conv) const override;
    void Measure(QPaintDevice *device, const Converter &conv) override;
    void Prepare(QPaintDevice *device, const Converter &conv) const override;
    void GetRect(TRect &out) const override { out = rect; }
    void SetRect(const TRect &r) override { rect = r; }
    // An empty raw text makes the object invisible for every purpose.
    bool IsVisible() const override { return !text.empty() && visible; }
    void SaveToStream(Stream *s) const override;
    void LoadFromStream(Stream *s) override;
    std::string GetClassName() const override { return "TextObject"; }
    std::unique_ptr<Object> Clone() const override;
    void Restore(const Object &from) override;
    virtual void SetText(const std::string &s);
    virtual std::string GetText() const { return text; }

    // Copies colour, charset, pitch, height, style and face (with its
    // writing direction), in that order.
    void GetFont(Font &out) const;
    void SetFont(const Font &in);
    std::int32_t GetColor() const { return color; }
    void SetColor(std::int32_t c) { color = c; }
    const std::string &DisplayText() const { return displayText; }

protected:
    TRect rect;
    std::string text;
    std::string displayText;
    Font font;
    std::int32_t color = 0;

private:
    // The measures of drawnUnicode in a drawn font on a device of these dots
    // per inch; valid only while font and text stay those measured.
    struct Measures
    {
        int dpiX = 0;
        int dpiY = 0;
        int ascent = 0;
        int height = 0;
        int advance = 0;
    };
    // The font made for one scaled size, and the text measured in it.
    struct DrawnFont
    {
        Font font;
        QFont qfont;
        bool valid = false;
        Measures measured;
        bool haveMeasures = false;
        // The laid-out column of a vertical font; its width and height are
        // the measured advance and height.
        VerticalLine vertical;
        // The laid-out line of a horizontal font; its extra advance is in
        // the measured advance.
        DrawnLine line;
    };
    // The drawn font for `conv`, its measures on `device` made, from the
    // cache below.
    const DrawnFont &measure(QPaintDevice *device, const Converter &conv) const;

    // What the last drawings made of the font and the text, reused while they
    // stay the same (converting, building fonts and measuring cost more than
    // drawing). Two sizes: a zoomed canvas measures at the 645-pixel size and
    // draws at its own, and one font would be made again for each.
    mutable DrawnFont drawnFonts[2];
    mutable int lastDrawnFont = 0;
    mutable std::string drawnText;
    mutable QString drawnUnicode;
    mutable bool haveDrawnText = false;
};

// Whether a web address as typed already names its scheme ("http://" or
// "https://", in any case); the card and the QR text then add none.
bool HasWebScheme(const std::string &address);

// The card shows the header, then the text, except that a header ending in
// "http://" gives way to a text naming its own scheme ("URL " then the
// address as typed). The shown text is made afresh from the stored header and
// text whenever either changes, so the file's bytes never depend on it.
class TextObjectWithHeader : public TextObject
{
public:
    TextObjectWithHeader() = default;
    TextObjectWithHeader(const std::string &headerText, const TRect &r)
        : TextObject(r), header(headerText)
    {}

    void SaveToStream(Stream *s) const override;
    void LoadFromStream(Stream *s) override;
    std::string GetClassName() const override { return "TextObjectWithHeader"; }
    std::unique_ptr<Object> Clone() const override;
    void Restore(const Object &from) override;
    void SetText(const std::string &s) override;
    const std::string &Header() const { return header; }
    // A label of the design's own ("Mobile " on an English card), Shift-JIS.
    void SetHeader(const std::string &h);

private:
    std::string header;
};

class GraphicObject : public Object
{
public:
    GraphicObject() = default;

    void Draw(QPainter *canvas, const Converter &conv) const override;
    void GetRect(TRect &out) const override { out = rect; }
    void SetRect(const TRect &r) override { rect = r; }
    void SaveToStream(Stream *s) const override;
    void LoadFromStream(Stream *s) override;
    std::string GetClassName() const override { return "GraphicObject"; }
    std::unique_ptr<Object> Clone() const override;
    void Restore(const Object &from) override;

    // Takes the picture (not null); the rectangle keeps its left and top and
    // takes the picture's pixel size through `conv`.
    void SetPicture(std::unique_ptr<Picture> picture, const Converter &conv,
                    const std::string &source);
    const Picture *GetPicture() const { return picture.get(); }
    const std::string &Source() const { return source; }
    // Why the last Draw left the picture out (UTF-8); empty when it drew
    // it or had nothing to draw.
    const std::string &DrawProblem() const { return problem; }

private:
    TRect rect;
    // Shared with the object's clones; a picture never changes once made.
    std::shared_ptr<const Picture> picture;
    std::string source;
    mutable std::string problem;
};

// The source name of the QR code object.
inline const std::string kQrSource = "<<QR>>";
