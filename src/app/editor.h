#pragma once
#include "card/converter.h"
#include "card/objects.h"

#include <QByteArray>
#include <QImage>
#include <functional>
#include <string>

class Object;
class QPainter;

// The card and the editor state the main window works with, without a
// window: the collection (owned here), the screen converter, the selection,
// the drag and the modified flag. The window's handlers call into it.
class CardEditor
{
public:
    static constexpr int kCanvasWidth = 645;
    static constexpr int kCanvasHeight = 390;

    CardEditor();
    ~CardEditor();
    CardEditor(const CardEditor &) = delete;
    CardEditor &operator=(const CardEditor &) = delete;

    // Which commands the selection makes available.
    struct Commands
    {
        bool text = false;      // bFont, aPopupMenuFont, aPopupMenuColor
        bool qrPicture = false; // aSavePicture
    };

    // The card's objects; CardEditor destroys them.
    Objects card;
    Converter screen;
    Object *Selection = nullptr;
    bool Dragging = false;
    int DragOffsetX = 0;
    int DragOffsetY = 0;
    bool Modified = false;
    // One counter for the whole program; it survives from one drag to the next.
    static int MoveCounter;

    // Called after SetSelection with the commands' new state.
    std::function<void(const Commands &)> onCommandsChanged;
    // Called after every repaint of the canvas image.
    std::function<void()> onCanvasChanged;
    // Called once each time the card's text stops fitting the QR symbol
    // (not again while it stays too long), so the window can say so
    // without interrupting the typing.
    std::function<void()> onQrOverflow;

    void BuildDefaultCard();
    const QImage &Canvas() const { return canvas; }

    // White fill, the card, the QR overflow frame, the selection marks.
    void RefreshCanvas();
    // The four corner squares of the selection, when it is visible.
    void DrawSelectionMarks(QPainter &p) const;
    // While the shown QR code's text fits no symbol: a red frame with the
    // words 「QR コードに入りきりません」 at the object's place. The editor's
    // canvas only; printing and card images never draw it.
    void DrawQrOverflow(QPainter &p) const;

    void SetSelection(Object *obj);
    static Commands CommandsFor(const Object *obj);
    Object *HitTestPixel(int X, int Y) const;
    void DragSelection(int X, int Y, bool final);

    // The field's text (Shift-JIS) into its object, then the QR symbol and
    // the canvas. Throws CardError when the key holds no text object.
    void EditChanged(const std::string &key, const std::string &sjisText);
    // Rebuilds the shown QR symbol; a text that fits no symbol leaves the
    // empty picture (QrTooLong) and calls onQrOverflow when it fitted before.
    void UpdateQrCode();
    bool QrTooLong() const { return qrTooLong; }
    // Shows or hides the QR object.
    void ToggleQr();

    // The four stacking commands; each returns whether anything was repainted.
    void BringToFront();
    void SendToBack();
    bool BringForward();
    bool SendBackward();

    QByteArray SaveBytes() const;
    // Reads a card data file image. NotACard leaves everything as it was; a
    // damaged file throws ReadError and leaves everything as it was. On
    // Loaded the card was replaced and repaired where keys were missing.
    enum class LoadResult
    {
        Loaded,
        NotACard
    };
    LoadResult LoadBytes(const QByteArray &bytes, int *repaired = nullptr);

private:
    // Exchanges the selection's order number with the object `step` places
    // above (1) or below (-1) it in the drawing order.
    bool exchangeWithNeighbour(int step);

    QImage canvas;
    bool qrTooLong = false;
};
