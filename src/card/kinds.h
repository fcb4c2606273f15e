#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class Object;
class Objects;
class Picture;
struct Font;

// The one table of the kinds of object a card holds: the fields' texts, the
// pictures and the QR code the card was described with, and what the user
// adds (texts, lines, rectangles, ellipses, further pictures). Reading and
// writing the file, the object menu, resizing, plakuro-cli info and the
// editor's steps ask it; nothing else tells kinds apart.
enum class KindId
{
    Field,       // a field's line (TextObject under a field's key)
    HeaderField, // a field's line with its label (TextObjectWithHeader)
    Qr,          // the QR code
    Picture,     // a picture: the picture, the background, or one added
    Text,        // a text the user added (FreeText)
    Line,        // ShapeObject
    Rect,
    Ellipse,
    Hidden, // a record kept for this program only (options, layouts)
};

// What is passed to plakuro-cli info about an object; the tool writes it as
// JSON.
class InfoSink
{
public:
    virtual ~InfoSink() = default;
    virtual void Int(const char *name, long long value) = 0;
    virtual void Bool(const char *name, bool value) = 0;
    virtual void Ascii(const char *name, const std::string &value) = 0;
    virtual void Sjis(const char *name, const std::string &value) = 0;
    virtual void Null(const char *name) = 0;
    virtual void Numbers(const char *name, const std::vector<long long> &values) = 0;
    virtual void FontValue(const char *name, const Font &font) = 0;
    virtual void PictureValue(const char *name, const Picture *picture) = 0;
};

struct ObjectKind
{
    KindId id;
    const char *name;    // in plakuro-cli (info, --edits): "text", "rect", ...
    const char *caption; // UTF-8, for the user: 「テキスト」, 「四角形」, ...
    const char *fileTag; // the records' class tag
    bool text;           // font, colour and 縦書き apply
    bool editText;       // its text is typed on the canvas, not in a field
    bool fill;           // has a fill colour
    bool stroke;         // has an outline colour and width
    bool resize;         // handles size it
    bool keepAspect;     // a corner handle keeps its shape (unless freed)
    bool square;         // always as wide as high
    bool lineEnds;       // its handles are the ends of a line
    bool savePicture;    // its picture can be saved as a bitmap
    // A new object of the kind, unplaced; null for kinds only files make.
    std::unique_ptr<Object> (*make)();
    // Its own values for plakuro-cli info, after key, kind, class, order,
    // visible and rect.
    void (*describe)(const Object &obj, InfoSink &sink);
};

const std::vector<ObjectKind> &ObjectKinds();
const ObjectKind &KindOf(const std::string &key, const Object &obj);
// The kind a plakuro-cli name ("text", "line", ...) names; null for none.
const ObjectKind *KindNamed(const std::string &name);

// A key of the card as described: a field, the pictures, the QR code.
bool IsDescribedKey(const std::string &key);
// Whether the key may name an object the user adds: 1 to 40 ASCII letters,
// digits and '_', starting with a letter other than 'z', not a described key.
bool IsAddedKey(const std::string &key);
// Whether the user may delete the object: anything added, nothing described.
bool Deletable(const std::string &key, const Object &obj);
// Removes every object the user added (every Deletable one) from the card.
void EraseAddedObjects(Objects &card);
// A key of the form prefix + number that the card does not use yet.
std::string NewKey(const Objects &card, const std::string &prefix);
// The prefix of new keys of the kind: "tText", "sLine", "sRect", "sEllipse",
// "pPicture".
std::string KeyPrefix(KindId kind);

// The records the file keeps for the entry: most objects are their own
// record; an added text of several lines or with a layout is one text record
// a line plus a hidden record of its layout. Pairs of record key and the
// object to write (owned by `keep` where made for the purpose).
std::vector<std::pair<std::string, const Object *>>
FileRecords(const std::string &key, const Object &obj, std::vector<std::unique_ptr<Object>> &keep);

// After reading records: turns what the file keeps for the added objects
// back into them (an added text's line and layout records into one text,
// a shape's picture record into its shape). Text records under added keys
// without a layout become one-line texts.
void AssembleCard(Objects &card);

// An empty object of the record layout the class tag names; null for a tag
// the format does not have.
std::unique_ptr<Object> MakeRecordObject(const std::string &tag);

// "key=value" pairs separated by ';', as the hidden records keep them; a
// later pair of the same key wins, a part without '=' is skipped.
std::map<std::string, std::string> KeyValuePairs(const std::string &text);

// The key of the hidden record that keeps an added text's layout.
std::string LayoutKey(const std::string &key);
