#pragma once
#include "card/converter.h"
#include "card/objects.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// A collection whose objects are destroyed with it.
struct CardDeleter
{
    void operator()(Objects *card) const
    {
        DestroyObjects(*card);
        delete card;
    }
};
using CardPtr = std::unique_ptr<Objects, CardDeleter>;

// A card data file exactly as LoadCard leaves it (nothing repaired). Throws
// Failure (status 1) naming the file when it cannot be read, is not a card
// data file or is damaged (then naming the record's key).
CardPtr ReadCardFile(const QString &path);

// The card as the editor holds it, changed by the editor's own steps, so that
// what is saved, drawn or encoded from it is what the editor gives for the
// same card: every change rebuilds the QR symbol when it is shown and repaints
// the editor's canvas, which measures the text rectangles the file keeps.
class EditorCard
{
public:
    static constexpr int kCanvasWidth = 645;
    static constexpr int kCanvasHeight = 390;

    // The card of a freshly started editor.
    EditorCard();
    EditorCard(const EditorCard &) = delete;
    EditorCard &operator=(const EditorCard &) = delete;

    // The editor's Open followed by its filling of the fields: the file read,
    // missing or mismatched objects repaired, each field's text passed through
    // its edit (Shift-JIS -> Unicode -> Shift-JIS, as the edit's change signal
    // stores it back), the QR symbol rebuilt and the canvas repainted. Throws
    // as ReadCardFile, the card unchanged then. Texts too long for any QR
    // symbol are no error: the symbol is empty then (QrTooLong).
    void Open(const QString &path);

    // The text typed into the field's edit (EditChanged). `key` must name one
    // of the fourteen fields.
    void EditChanged(const std::string &key, const QString &text);
    // Several fields' texts (Shift-JIS, already as an edit holds them) and one
    // QR rebuild afterwards, without a repaint: the card as drawn after the
    // same edits, for printing only (text rectangles are left as they were).
    void SetTexts(const std::vector<std::pair<std::string, std::string>> &sjisTexts);
    // The QR switch pressed when the object's state differs from `show`.
    void ShowQr(bool show);
    // The picture button of `key` (bPicture or bBackPicture): a shown picture
    // is removed first; then, unless `file` is empty, the file's picture is
    // set with the canvas converter and shown, its absolute path (native
    // separators, Shift-JIS) as the source. Throws Failure (status 1) for a
    // file that is not a JPEG or bitmap or cannot be read.
    void ChoosePicture(const char *key, const QString &file);

    // White canvas, then the card drawn with the canvas converter.
    void RefreshCanvas();
    QByteArray SaveBytes() const;

    const Objects &Card() const { return *card; }
    // Whether the QR code is shown and its text, at the last rebuild, fitted
    // no symbol: the card then draws without one.
    bool QrTooLong() const { return qrTooLong; }
    const Converter &Screen() const { return screen; }

    // The text as the field's edit hands it on: at most the edit's maximum
    // length, in Shift-JIS.
    static std::string EditText(const QString &text);

private:
    CardPtr card;
    Converter screen{kCanvasWidth};
    QImage canvas;
    bool qrTooLong = false;

    void updateQr();
};
