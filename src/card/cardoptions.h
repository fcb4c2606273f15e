#pragma once
#include "card/rect.h"

#include <optional>
#include <string>

class Objects;

// Settings of a card that the card's own records have no field for, kept in
// one extra record: a text object under kOptionsKey whose visible flag is
// clear, holding "key=value" pairs separated by ";" (ASCII). Every reader of
// the format keeps such a record and none draws, hits or restacks it. A card
// with the default options has no such record, so its bytes are those a card
// without options always had.
inline constexpr const char *kOptionsKey = "zOptions";

// What the QR code encodes.
enum class QrFormat
{
    Text,   // the labelled text, Shift-JIS
    Mecard, // MECARD, Shift-JIS
    Vcard,  // vCard 3.0, UTF-8
};

struct CardOptions
{
    QrFormat qrFormat = QrFormat::Text;
    // The user sized the QR code: its rectangle is kept when the text
    // changes and the symbol is drawn to fill it.
    bool qrSizeKept = false;
    // The picture's (bPicture's) place, as a template gives it: a picture
    // chosen for it fits inside this box, aspect kept and centred, instead
    // of taking its pixel size. Model units.
    std::optional<TRect> pictureBox;

    bool operator==(const CardOptions &) const = default;
};

// The options the card holds; defaults for a missing or unreadable record,
// and for values not understood (a later program's).
CardOptions ReadCardOptions(const Objects &card);
// Stores `options`: the record is made, changed, or removed when every
// option is at its default. Pairs this program does not know are kept in
// their order, before its own, as long as the record's text fits the file
// (kShortStringMax bytes); to make room the oldest go first, and a pair of
// its own is never cut. Throws CardError, the card unchanged, when even its
// own pairs do not fit.
void WriteCardOptions(Objects &card, const CardOptions &options);

// "text", "mecard", "vcard"; and back (false for another word).
const char *QrFormatName(QrFormat format);
bool QrFormatFromName(const std::string &name, QrFormat &out);
