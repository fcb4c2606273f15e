#pragma once
#include <QFont>
#include <cstdint>
#include <string>

class QFontMetrics;
class QPaintDevice;

enum class Pitch : std::uint8_t
{
    Default = 0,
    Fixed = 1,
    Variable = 2
};

// The toolkit font as the card keeps it. Height has the toolkit meaning:
// negative = character height in pixels, positive = cell height in pixels.
struct Font
{
    std::int32_t color = 0; // not used for drawing; the object's colour is
    std::uint8_t charset = 128;
    Pitch pitch = Pitch::Default;
    std::int32_t height = -12;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeout = false;
    std::string name = defaultFaceName(); // Shift-JIS bytes
    // Written top to bottom (縦書き). The file keeps it in the face name, as
    // "@" before the face, so `name` is always the plain face.
    bool vertical = false;

    static std::string defaultFaceName(); // "ＭＳ Ｐゴシック"

    bool operator==(const Font &) const = default;

    // The QFont that draws this font; `height` is used as given.
    QFont toQFont() const;
};

// Makes the faces stored in card files (gothic and mincho, fixed and
// proportional) draw with the installed Japanese faces: Noto CJK, else IPA.
// Call once after the application object exists.
void installFontSubstitutions();

// The cell a line of text is laid out in, in the pixels of the device the
// metrics were made for: its top is `ascent` above the baseline and it is
// `height` tall. Faces that declare an ideographic em box (their typographic
// ascender and descender span exactly one em with no line gap, as the
// Japanese faces do) are laid out on that box, so a stored face name places
// its text alike whichever installed face draws it; other faces keep their
// own ascent and descent.
struct LineBox
{
    int ascent = 0;
    int height = 0;
};
LineBox MeasureLineBox(const QFont &drawn, const QFontMetrics &fm);

// The font of every window of the program: "ＭＳ Ｐゴシック", 12 pixels.
QFont WindowFont();
