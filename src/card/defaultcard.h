#pragma once
#include <array>
#include <string>

class Objects;

// The fourteen entry fields, in the window's order (top to bottom): the one
// list from which the new card, the window's edits and their captions, the
// QR text and plakuro-cli's field names are made.
struct FieldInfo
{
    const char *key;     // the edit's name and the object's key
    const char *caption; // UTF-8, shown beside the edit
    const char *header;  // UTF-8 drawn before the text (a TextObjectWithHeader); null for none
    // Shift-JIS label of the field in the QR text; null when the field is not
    // in it. Fixed: cards already printed hold exactly these labels.
    const char *qrLabel;
    int top;        // the new card's place: model units from the card's top
    int fontHeight; // the new card's stored font height
    int order;      // the new card's stacking order
    int editTop;    // the edit's (and its caption's) top in the window
};
extern const std::array<FieldInfo, 14> kFields;

inline constexpr const char *kPictureKey = "bPicture";
inline constexpr const char *kBackPictureKey = "bBackPicture";
inline constexpr const char *kQrKey = "QR";

// The stacking order given to eAddress, which the layout leaves without one:
// it shares 10 with the postal code, just above the telephone line.
inline constexpr int kAddressOrder = 10;

// Fills an empty collection with the seventeen objects of a new card.
void BuildDefaultCard(Objects &card);

// Makes sure every key the editor works with holds an object of the class the
// editor expects, putting the default object in place of a missing or
// mismatched one. Returns the number of replacements.
// Either text class serves a text key.
int RepairCard(Objects &card);

// The key named by a field caption ("電話") or a key itself ("eTel"); empty
// when it names no field.
std::string FieldKeyFor(const std::string &utf8Name);
