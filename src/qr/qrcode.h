#pragma once
// The QR code of the card: the text composed from the contact fields, the
// symbol as a vector picture, and the picture saved as a bitmap file.

#include "card/picture.h"

#include <QImage>
#include <QString>
#include <memory>
#include <string>

class Converter;
class Objects;

// Size of one module in the picture's own pixels. The picture reaches the
// card through the editor's screen Converter (910 model units over 645
// pixels), so one picture pixel is 0.1411 mm on the card and a module is
// 0.42 mm: the smallest whole number of pixels that keeps a printed module at
// 0.33 mm or more (2 pixels would give 0.28 mm).
//
// The encoder the program was first built around took two setting values,
// 12 and 1. The 1 is the error-correction level M, which is the value 1 of
// libqrencode's QRecLevel as well (L = 0, M, Q, H). The 12 selected the
// module size; it is not a pixel count here: 12 pixels a module would make a
// symbol for a fully filled card wider than the card itself, so the module
// size is this constant instead.
inline constexpr int kQrModulePixels = 3;
// Light modules around the symbol on every side, as the QR code standard asks.
inline constexpr int kQrQuietModules = 4;

// The Shift-JIS text the QR code holds: for each contact field in a fixed
// order (name, reading, company, department, title, postal code, address,
// telephone, mobile, fax, web address, e-mail) whose raw text is not empty,
// the field's label, the raw text and one line feed (0A). A text of blanks
// counts as not empty; the memo fields never enter. A key that is missing or
// holds no text object is skipped.
std::string BuildQrText(const Objects &card);

// The QR symbol of `text` (Shift-JIS bytes, sent to the encoder unchanged)
// at error-correction level M: a white picture of (modules + 8) x
// kQrModulePixels pixels square with one black rectangle per horizontal run
// of dark modules. The caller owns the picture.
//
// An empty text, and a text longer than the largest symbol holds, give the
// empty picture (0 x 0, draws nothing); never an older symbol. `tooLong`,
// when given, tells the second case apart from the first. Throws CardError
// only when the encoder fails for another reason (out of memory).
std::unique_ptr<VectorPicture> MakeQrPicture(const std::string &text, bool *tooLong = nullptr);

// What UpdateQrCode did.
enum class QrUpdate
{
    NotShown, // no visible GraphicObject under "QR": nothing was touched
    Built,    // the picture is the symbol of the card's text (empty for no text)
    TooLong,  // the text does not fit any symbol: the picture is empty
};

// Rebuilds the picture of the object under "QR" from the card's fields, when
// that object is a visible GraphicObject; otherwise does nothing. The
// rectangle keeps its left and top and takes the picture's size through
// `screen`, so an empty picture leaves a rectangle of zero size. Draws
// nothing and leaves the modified state alone. Throws as MakeQrPicture; the
// object keeps its previous picture then.
QrUpdate UpdateQrCode(Objects &card, const Converter &screen);

// The picture drawn at (0, 0) at its own size onto a white RGB32 image of
// the picture's own width and height; a null image for an empty picture.
QImage QrPictureImage(const Picture &p);

// Writes QrPictureImage(p) as a 24-bit Windows BMP file, replacing the file
// only when the whole image was written. Throws CardError for an empty
// picture (nothing is written) and when the file cannot be written.
void SaveQrPictureBmp(const Picture &p, const QString &path);
