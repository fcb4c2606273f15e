#pragma once
#include "card/cardoptions.h"
#include "card/converter.h"
#include "card/defaultcard.h"
#include "card/font.h"
#include "card/freetext.h"
#include "card/kinds.h"
#include "card/objects.h"
#include "card/printspace.h"
#include "card/rect.h"
#include "editor/geometry.h"

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QString>
#include <QUndoStack>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct EditState;
class Object;
class Picture;

// The card being edited, without a window: the only way the card changes.
// It owns the card, the screen converter, the selection, the drag, the
// modified flag, the print-space values and the undo stack. The main window
// and plakuro-cli are two faces over it: they read its state, call its
// steps and listen to its signals; so both save the same bytes for the same
// edits. The window shows it through a CanvasView (canvasview.h), which
// paints on canvasChanged; the rectangle arithmetic is geometry.h's.
//
// Every change of what the card file keeps is one step on UndoStack(), with
// a Japanese text the user sees. A step (history.h) keeps copies of the
// card's objects (pictures shared) and of what the edits and name boxes
// show, before and after, so taking it back or again restores them exactly.
class EditSession : public QObject
{
    Q_OBJECT
public:
    static constexpr int kCanvasWidth = 645;
    static constexpr int kCanvasHeight = 390;

    // Which commands the selection makes available.
    struct Commands
    {
        bool text = false;      // bFont, aPopupMenuFont, aPopupMenuColor, aVertical
        bool qrPicture = false; // aSavePicture
        bool freeText = false;  // the added text's own editor and layout
        bool shape = false;     // the shape's fill and outline
        bool deletable = false; // something selected can be deleted
        int selected = 0;       // how many objects are selected

        bool operator==(const Commands &) const = default;
    };

    // A new card (the default one), nothing selected, not modified.
    explicit EditSession(QObject *parent = nullptr);
    ~EditSession() override;

    // --- What the faces read ---------------------------------------------
    const Objects &Card() const { return card; }
    // The 645-pixel canvas's converter: what text is measured with and
    // pictures and the QR code are placed by, whatever the zoom, so the
    // saved bytes never depend on the view.
    const Converter &Screen() const { return screen; }
    // The pointer's converter: the zoomed canvas in the widget's (logical)
    // pixels, 645 x the view's zoom wide (SetViewWidth). Pointer positions,
    // marks and handles use it.
    const Converter &View() const { return view; }
    Object *Selection() const { return selection; }
    bool Dragging() const { return dragging; }
    bool Modified() const { return modified; }
    // Whether the QR code is shown and its text, at the last rebuild, fitted
    // no symbol: the card then draws without one.
    bool QrTooLong() const { return qrTooLong; }
    // Whether the shown symbol's modules print smaller than
    // kQrSmallestModuleMm (a QR code the user sized too small).
    bool QrTooSmall() const { return qrTooSmall; }
    // What the card's QR code encodes (its options).
    QrFormat QrFormatOfCard() const;
    // What the field's edit holds (the key names one of the fourteen fields).
    QString FieldText(const std::string &key) const;
    // What the picture button's name box shows (kPictureKey, kBackPictureKey).
    QString PictureName(const std::string &key) const;
    const PrintSpace &Space() const { return space; }
    void SetSpace(const PrintSpace &s) { space = s; }
    QUndoStack &UndoStack() { return stack; }
    // What the object menu and the toolbar offer for the object (null: none),
    // as its kind says.
    Commands CommandsFor(const Object *obj) const;
    // One counter for the whole program; it survives from one drag to the next.
    static int MoveCounter;

    // The text an edit hands on: at most the edit's maximum length, in Shift-JIS.
    static std::string EditText(const QString &text);
    // The characters EditText turns into '?' (code page 932 lacks them), as
    // sjis::unencodableList words them; empty when none.
    static QString LostCharacters(const QString &text);
    // How many characters of `text` the card file keeps when it cannot keep
    // them all (its Shift-JIS passes kShortStringMax bytes and is cut at the
    // last whole character); -1 when it keeps every one.
    static qsizetype KeptCharacters(const QString &text);
    // The sentence saying how much of `text` the file keeps; empty when all.
    static QString CutWarning(const QString &text);

    // --- The editor's steps ------------------------------------------------
    // The canvas panel's width: the screen converter's.
    void SetScreenWidth(int width) { screen.SetWidth(width); }
    // The shown canvas is `width` logical pixels wide (CanvasView::SetView
    // sets it): the pointer's converter. Changes nothing the file keeps.
    void SetViewWidth(int width) { view.SetWidth(width); }
    // Start-up ends with the card not modified.
    void SetModified(bool m);

    // The field's edit now holds `text`: the text into its object, Modified,
    // the QR symbol, the canvas. Consecutive changes of one field are one
    // step. Throws CardError when the key holds no text object. In the
    // number and address fields full-width letters, digits and signs become
    // half width (HalfWidthForField); fieldsChanged then tells the edit.
    void EditChanged(const std::string &key, const QString &text);
    // `text` as the field keeps it: in telephone, FAX, mobile and 〒 the
    // full-width ASCII forms, the dashes input methods give for "-" and the
    // ideographic space become half width; in e-mail and URL the full-width
    // ASCII forms. Hyphens stay where the user put them. Other fields: as is.
    static QString HalfWidthForField(const std::string &key, const QString &text);
    // The field `key` set to `text` by the program on the user's behalf (an
    // address from the postal code): one step named `step` that never merges
    // with typing, then fieldsChanged for the faces to show it. Nothing
    // happens when the field holds `text` already. Throws as EditChanged.
    void SetFieldText(const std::string &key, const QString &text, const QString &step);
    // A loaded picture shown by the picture object `key` with the converter
    // of the canvas; `path` (absolute) becomes its source and its file name
    // the name box's text. A picture larger than the card in either direction
    // is scaled down to fit inside it, aspect kept, moved in from the right
    // and bottom edges as needed; one that fits keeps its size. When the
    // card keeps the picture's box (a template's place for it), the picture
    // fits inside that box instead, centred.
    void ChoosePicture(const std::string &key, std::unique_ptr<Picture> picture,
                       const QString &path);
    // The card laid out by the template `tpl` (templates.h
    // ApplyTemplateLayout) as one step named after `title`; with
    // `takeSample` its sample data too (the window asks for it when no field
    // holds text). Nothing is selected afterwards.
    void ApplyTemplate(const Objects &tpl, const QString &title, bool takeSample);
    // Hides the picture object `key` (it keeps its picture) and empties its
    // name box.
    void RemovePicture(const std::string &key);
    // The card measured on the 645-pixel canvas (what its text objects'
    // rectangles become), then canvasChanged for the views to repaint.
    void RefreshCanvas();
    // New: every field and name box empty, both pictures hidden, nothing
    // selected, not modified, no steps to take back.
    void ClearCard();
    // Open, after LoadBytes: the fields and name boxes from the card (a
    // field whose text changes stores it back as its edit would), not
    // modified, no steps to take back.
    void FillFieldsFromCard();
    // Rebuilds the shown QR symbol; a text that fits no symbol leaves the
    // empty picture and emits qrOverflow when it fitted before.
    void UpdateQrCode();

    // --- Selection of any number of objects ---------------------------------
    // The selected objects in the order they were selected; Selection() is
    // the last of them (the one the object menu and the place dialog act
    // on), null when none.
    const std::vector<Object *> &SelectedObjects() const { return selected; }
    // One object, or none.
    void SetSelection(Object *obj);
    // Exactly these (objects of the card), in this order.
    void SetSelectedObjects(const std::vector<Object *> &objects);
    // Shift+click: adds the object, or takes it out when it is selected.
    void ToggleSelected(Object *obj);
    // The rubber band: the visible objects whose rectangles touch the model
    // rectangle `band`, added to the selection when `add`.
    void SelectTouching(const TRect &band, bool add);
    // Every visible object, bottom first.
    void SelectAll();
    // The objects under these keys; throws CardError naming a key the card
    // does not hold.
    void SelectKeys(const std::vector<std::string> &keys);
    // The key the object is kept under; empty for none.
    std::string KeyOf(const Object *obj) const { return keyOf(obj); }
    Object *HitTestPixel(int X, int Y) const;

    // --- Adding, deleting, copying -----------------------------------------
    // Adds `obj` under `key` (empty: a new key of its kind) on top of every
    // other object, selected, measured, as one step. Throws CardError, the
    // card unchanged, for a key that is taken or that an added object may
    // not have (kinds.h IsAddedKey). Returns the key.
    std::string AddObject(std::unique_ptr<Object> obj, const std::string &key = {});
    // A new object of the kind (its table row makes it), centred on the
    // model rectangle `area` (the part of the card the window shows), as
    // AddObject. Returns the key.
    std::string AddNewObject(KindId kind, const TRect &area);
    // A further picture, shown at its pixel size through the screen
    // converter (a picture larger than the card is scaled down to fit),
    // centred on `area`; `path` (absolute) becomes its source. As AddObject.
    std::string AddPicture(std::unique_ptr<Picture> picture, const QString &path,
                           const std::string &key = {}, const TRect &area = geometry::kCard);
    // Deletes the selected objects the user added (one step named `text`);
    // the fields, pictures and QR code the card always has stay, selected.
    // Returns how many of those were selected (the faces say why they stay).
    int DeleteSelection(const QString &text = QStringLiteral("削除"));
    // The selected objects as clipboard bytes (a card file image): fields
    // as texts of what they show, pictures and shapes as they are, the QR
    // code and hidden records left out; empty when nothing can be copied.
    QByteArray CopySelection() const;
    // Adds the objects of clipboard bytes under new keys, on top, selected,
    // as one step: 2 mm right and down of the copied objects when they were
    // copied from this card (2 mm more each time the same objects are pasted
    // again), in place when from another. Throws ReadError
    // for bytes that are not such an image. Returns how many were added.
    int Paste(const QByteArray &bytes, const QString &text = QStringLiteral("貼り付け"));
    // Copy and paste in one step.
    int DuplicateSelection();

    // --- Arranging the selection --------------------------------------------
    // Moves every selected visible object by (dx, dy) model units as one
    // step, the group clamped to stay partly on the card as a drag is.
    void MoveSelection(int dx, int dy);
    using AlignMode = geometry::Align;
    // Lines the selected visible objects up: to the card when `toCard` or
    // only one is selected, else to the selection's box. One step.
    void AlignSelection(AlignMode mode, bool toCard);
    // Spreads three or more selected visible objects evenly, across or down.
    void DistributeSelection(bool horizontal);
    // While a drag moves objects: the guide lines it snapped to (model
    // units), for the canvas to show.
    std::optional<int> GuideX() const { return guideX; }
    std::optional<int> GuideY() const { return guideY; }
    // Snapping reaches 1 mm.
    static constexpr int kSnapTolerance = 10;

    // --- Added texts and shapes ---------------------------------------------
    // The selected added text's lines ('\n' between them); one step.
    void SetFreeText(const QString &text);
    // The selected added texts' alignment, spacing (percent) and fixed width
    // (model units, 0 for none); one step.
    void SetTextLayout(FreeText::Align align, int spacing, int width);
    // The selected shapes' fill (none for a line), outline colour and width,
    // and a rectangle's corner radius; one step.
    void SetShapeStyle(std::optional<std::int32_t> fill, std::optional<std::int32_t> stroke,
                       int strokeWidth, int radius);
    // A drag of the selection starts with the pointer at (X, Y).
    void BeginDrag(int X, int Y);
    // Every fifth call, and the final one, moves the selected objects with
    // the pointer (clamped to stay partly on the card), their box snapped to
    // the card's edges and middle lines and to the other objects' edges and
    // middles within kSnapTolerance unless `snap` is false (Alt), repaints
    // and sets Modified. During a resize the same calls size it instead (see
    // BeginResize); `freeAspect` (Shift) lets a corner handle of a picture
    // change its shape, and keeps a line's end level, upright or at 45°.
    void DragSelection(int X, int Y, bool final, bool freeAspect = false, bool snap = true);
    // The drag is over: one step for the whole of it when the object moved
    // or changed size.
    void EndDrag();

    // The handles of a sizable selection: the corner marks and the middles of
    // the edges.
    using Handle = geometry::Handle;
    // Pictures and the QR code can be sized; a text takes the size its text
    // measures.
    bool Sizable(const Object *obj) const;
    // The handle of the visible, sizable selection within a few pixels of the
    // pixel (X, Y); corners win over edges. None elsewhere.
    Handle HandleAt(int X, int Y) const;
    // A drag that sizes the selection by `handle` starts with the pointer at
    // (X, Y); DragSelection and EndDrag carry it on. The edges opposite the
    // handle stay; a corner keeps the shape unless freed, an edge handle
    // stretches one side; the QR code stays square. Each side stays at least
    // 2 mm and the object stays partly on the card as a move does.
    void BeginResize(Handle handle, int X, int Y);
    // The handle of the resize under way; None during a move or no drag.
    Handle Resizing() const { return resizeHandle; }
    // The visible selection's left and top, and for a sizable one its width
    // and height (the QR code takes the width for both), as one step; the
    // same minimum and clamps as the mouse. Values equal to the present ones
    // record nothing.
    void PlaceSelection(const TRect &rect);
    // Moves the visible selection by (dx, dy) model units, clamped as a drag
    // is; consecutive nudges of one object are one step.
    void Nudge(int dx, int dy);

    // Shows or hides the QR object.
    void ToggleQr();
    // ToggleQr when the QR object's state differs from `show`.
    void ShowQr(bool show);
    // What the QR code encodes: kept in the card's options, the symbol made
    // anew. One step; the format the card has already changes nothing.
    void SetQrFormat(QrFormat format);
    // The selected text object's font and colour; a value equal to the
    // object's changes nothing the file keeps.
    void SetFont(const Font &font);
    void SetColor(std::int32_t color);
    // The selected text object written top to bottom (縦書き) or across;
    // one step when it changes.
    void SetVertical(bool vertical);
    // The selected fields' design, one step: a field with a label takes
    // `header` (Shift-JIS) as its label, and `leftOut` clears a field's
    // visible flag (the card leaves it out whatever is typed) or sets it.
    // Values left empty stay.
    void SetFieldDesign(const std::optional<std::string> &header, std::optional<bool> leftOut);
    // Whether the selection is a text object written top to bottom.
    bool SelectionVertical() const;
    // The four stacking commands; each returns whether anything was repainted.
    void BringToFront();
    void SendToBack();
    bool BringForward();
    bool SendBackward();

    QByteArray SaveBytes() const;
    // The card was written to its file: not modified, and the undo stack
    // remembers this state as the saved one.
    void Saved();

    enum class LoadResult
    {
        Loaded,
        NotACard
    };
    // Reads a card data file image. NotACard leaves everything as it was; a
    // damaged file throws ReadError and leaves everything as it was. On
    // Loaded the card was replaced, repaired where keys were missing, and
    // nothing is selected; FillFieldsFromCard follows.
    LoadResult LoadBytes(const QByteArray &bytes, int *repaired = nullptr);

    // Several fields' texts (Shift-JIS, as an edit hands them on) and one QR
    // rebuild, without a repaint or a step: the card as drawn after the same
    // edits, for printing only.
    void SetTextsForPrinting(const std::vector<std::pair<std::string, std::string>> &sjisTexts);
    // For printing only, as SetTextsForPrinting: each object `key` takes what
    // `from` (a Clone of it, made earlier) keeps; no QR rebuild.
    void RestoreForPrinting(const std::vector<std::pair<std::string, const Object *>> &objects);
    // For printing only: the picture object `key` shows `picture` fitted
    // inside the box it has now (aspect kept, centred), or its own size
    // where the box is empty; a null picture hides the object.
    void SetPictureForPrinting(const std::string &key, std::unique_ptr<Picture> picture,
                               const QString &path);
    // The hidden records whose keys start with `prefix` are replaced by
    // `records` (key, Shift-JIS text) in one step named `step`; nothing
    // happens when they already hold exactly these.
    void SetHiddenRecords(const std::string &prefix,
                          const std::vector<std::pair<std::string, std::string>> &records,
                          const QString &step);

signals:
    // The edits' texts or the name boxes changed by the session itself
    // (New, Open, taking a step back or again); the faces show them anew.
    void fieldsChanged();
    // The card as drawn changed (after RefreshCanvas): the views repaint.
    void canvasChanged();
    void commandsChanged(const EditSession::Commands &commands);
    void modifiedChanged(bool modified);
    // Once each time the card's text stops fitting the QR symbol.
    void qrOverflow();
    // Open replaced every object: pointers into the card are gone.
    void cardReplaced();

private:
    std::unique_ptr<EditState> snapshot() const;
    void restore(const EditState &state);
    // Pushes one step from `before` to the present state; a `mergeId` other
    // than kNeverMerges merges with the step before of the same id and key.
    void record(const QString &text, std::unique_ptr<EditState> before, int mergeId = -1,
                const std::string &mergeKey = {});
    // Steps that change the card without recording (inside another step).
    void applyText(std::size_t field, const QString &text);
    // A field's text as one step; `mergeId` as record's.
    void changeField(const std::string &key, const QString &text, const QString &step, int mergeId);
    bool exchangeWithNeighbour(int step);
    // Renumbers the drawing order with the selection at the top or the bottom.
    void restack(bool toFront, const QString &text);
    std::string keyOf(const Object *obj) const;
    // After the card's objects changed by a step back or again: the
    // selection keeps only objects the card still has.
    void pruneSelection();
    void selectionChanged();
    // The selected visible objects and their rectangles.
    std::vector<Object *> visibleSelection() const;
    // Shifts each of `objects` by its offset; whether any moved.
    bool shift(const std::vector<Object *> &objects, const std::vector<geometry::Offset> &offsets);
    // Paste; `again` lets a paste of the bytes pasted last step on by 2 mm.
    int paste(const QByteArray &bytes, const QString &text, bool again);
    // The selected objects that take a font and colour.
    std::vector<TextObject *> selectedTexts() const;
    // Moves the visible selection by (dx, dy), the group clamped as a drag
    // is, as one step that merges with the step before of `mergeId` on the
    // same objects.
    void moveGroup(int dx, int dy, int mergeId);
    // The next stacking number above every object.
    int topOrder() const;
    // Moves the selection so its left and top become these, clamped.
    void moveSelectionTo(long long newLeft, long long newTop);
    // One resize step to the pointer at (X, Y); whether the rectangle changed.
    bool resizeSelectionTo(int X, int Y, bool freeAspect);
    // The user sized the QR code: its size is kept from now on.
    void keepQrSize();
    void resetHistory();

    Objects card;
    Converter screen{kCanvasWidth};
    Converter view{kCanvasWidth}; // logical pixels of the zoomed canvas
    QImage measureCanvas;         // 645 x 390, what text is measured on
    Object *selection = nullptr;
    std::vector<Object *> selected;
    // The selected objects' rectangles when the drag began.
    std::vector<TRect> dragFrom;
    std::optional<int> guideX, guideY;
    // Tells clipboard bytes copied from this card from those of another.
    QByteArray cardToken;
    // The bytes last pasted onto this card and how many times in a row.
    QByteArray lastPasted;
    int pasteRepeat = 0;
    bool dragging = false;
    int dragOffsetX = 0;
    int dragOffsetY = 0;
    Handle resizeHandle = Handle::None;
    TRect resizeFrom; // the selection's rectangle at the press
    std::unique_ptr<EditState> dragBefore;
    bool modified = false;
    bool qrTooLong = false;
    bool qrTooSmall = false;
    PrintSpace space;
    std::array<QString, kFields.size()> fields;
    std::array<QString, 2> pictureNames; // kPictureKey, kBackPictureKey
    QUndoStack stack;
};
