#pragma once
// The QR code of the card: the text composed from the contact fields, the
// symbol as a vector picture, and the picture saved as a bitmap file.

#include "card/cardoptions.h"
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
// holds no text object is skipped. A web address naming its own scheme
// takes the label "URL:" without "http://".
//
// QrFormat::Mecard: one MECARD line in Shift-JIS, "MECARD:" then N (name),
// SOUND (reading), TEL (telephone), TEL (mobile), EMAIL, URL, ADR (postal
// code, a blank, address), ORG (company), NOTE (department, a blank, title),
// each ended by ";", and a closing ";". `\ ; : ,` in a value take a
// backslash before them (whole characters only: the second byte of a
// two-byte character is never taken for one).
//
// QrFormat::Vcard: a vCard 3.0 in UTF-8 with CRLF line ends: N and FN from
// the name (family and given name split at the first blank), SORT-STRING and
// X-PHONETIC-LAST-NAME / -FIRST-NAME from the reading, ORG (company;
// department), TITLE, TEL;TYPE=WORK,VOICE, TEL;TYPE=CELL, TEL;TYPE=FAX,
// ADR;TYPE=WORK (address as the street, postal code as the postal code),
// URL, EMAIL. `\ ; ,` in a value take a backslash.
//
// A field's text never adds a line, property or contact of its own: in the
// labelled text and MECARD every control character (CR, LF, tab, ...) is a
// blank; in vCard a line break is "\n" and any other control character a
// blank.
//
// In both, a field left empty or left out by the card's design (its object's
// visible flag cleared) gives no entry, a web address without a
// scheme gets "http://", and a card with no field for them gives the empty
// text (no symbol).
std::string BuildQrText(const Objects &card, QrFormat format = QrFormat::Text);

// The text of the card's own format (ReadCardOptions).
std::string CardQrText(const Objects &card);

// The QR symbol of `text` (Shift-JIS bytes, sent to the encoder unchanged)
// at error-correction level M: a white picture of (modules + 8) x
// kQrModulePixels pixels square with one black rectangle per horizontal run
// of dark modules. The caller owns the picture.
//
// An empty text, and a text longer than the largest symbol holds, give the
// empty picture (0 x 0, draws nothing); never an older symbol. `tooLong`,
// when given, tells the second case apart from the first. Throws CardError
// only when the encoder fails for another reason (out of memory).
//
// `bytesOnly` keeps the encoder to 8-bit mode: a UTF-8 text must not be cut
// into Kanji-mode characters, which readers turn into Shift-JIS.
std::unique_ptr<VectorPicture> MakeQrPicture(const std::string &text, bool *tooLong = nullptr,
                                             bool bytesOnly = false);

// The symbol of the card's text in its own format.
std::unique_ptr<VectorPicture> MakeCardQrPicture(const Objects &card, bool *tooLong = nullptr);

// The QR code's margin from the card's right and bottom edges where it first
// appears (model units), and the card's size.
inline constexpr int kQrCornerMargin = 30;
inline constexpr int kCardModelWidth = 910;
inline constexpr int kCardModelHeight = 550;
// Modules printed smaller than this are hard for a phone to read.
inline constexpr double kQrSmallestModuleMm = 0.25;

// What UpdateQrCode did.
enum class QrUpdate
{
    NotShown, // no visible GraphicObject under "QR": nothing was touched
    Built,    // the picture is the symbol of the card's text (empty for no text)
    TooLong,  // the text does not fit any symbol: the picture is empty
};

// Rebuilds the picture of the object under "QR" from the card's fields in
// the card's format, when that object is a visible GraphicObject; otherwise
// does nothing. Draws nothing and leaves the modified state alone. Throws as
// MakeQrPicture; the object keeps its previous picture and place then.
//
// The rectangle: with CardOptions::qrSizeKept it stays as it is (made square
// on its shorter side) and the symbol is stretched to fill it. Otherwise it
// takes the picture's size through `screen`, so an empty picture leaves a
// rectangle of zero size; a rectangle never placed (all zero) goes to the
// card's bottom-right corner, kQrCornerMargin from both edges, with its
// first symbol; and a symbol of a new size that would pass the card's right
// or bottom edge moves the object left or up, never past left or top 0.
QrUpdate UpdateQrCode(Objects &card, const Converter &screen);

// The side of one module of the shown QR symbol on the printed card, in
// millimetres (quiet zone counted as the picture counts it); 0 when no
// symbol is shown.
double QrModuleMillimetres(const Objects &card);

// The picture drawn at (0, 0) at its own size onto a white RGB32 image of
// the picture's own width and height; a null image for an empty picture.
QImage QrPictureImage(const Picture &p);

// Writes QrPictureImage(p) as a 24-bit Windows BMP file, replacing the file
// only when the whole image was written. Throws CardError for an empty
// picture (nothing is written) and when the file cannot be written.
void SaveQrPictureBmp(const Picture &p, const QString &path);
