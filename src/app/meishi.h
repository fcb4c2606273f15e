#pragma once
#include "editor/canvasview.h"
#include "editor/session.h"
#include "settings/windowplace.h"

#include <QPrinter>
#include <QScrollArea>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace postal {
class Dictionary;
}

class Dialogs;
class OfferList;
class QAction;
class ReadingTracker;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QStatusBar;
class QToolButton;
class Object;
class Picture;

// The drawing surface: shows the editor's canvas image and hands mouse
// presses, moves (also without a button, for the pointer's shape) and
// releases, with the keyboard modifiers, to the main window. Qt grabs the
// pointer for a widget while a button pressed over it is held, so moves and
// the release keep arriving when the pointer leaves it. It takes the keyboard focus on a
// press and hands on the keys that act on the selection.
// Ctrl+wheel zooms; the plain wheel scrolls the panel around it.
class CanvasWidget : public QWidget
{
    Q_OBJECT
public:
    explicit CanvasWidget(QWidget *parent);
    void setImage(const QImage *image);

    std::function<void(Qt::MouseButton, int, int, Qt::KeyboardModifiers)> onMouseDown;
    // The second press of a double-click, in place of its onMouseDown.
    std::function<void(int, int, Qt::KeyboardModifiers)> onDoubleClick;
    std::function<void(int, int, Qt::KeyboardModifiers)> onMouseMove;
    std::function<void(Qt::MouseButton, int, int, Qt::KeyboardModifiers)> onMouseUp;
    // An arrow key (dx, dy of -1, 0 or 1; `large` with Shift) or Esc (0, 0).
    std::function<void(int, int, bool)> onKey;
    // Ctrl+wheel: one zoom level up (+1) or down (-1) about the pointer.
    std::function<void(int, QPoint)> onZoomStep;
    // The screen's device pixel ratio is no longer the image's.
    std::function<void()> onRatioChanged;
    // The rubber band, in the widget's pixels, drawn over the canvas image as
    // a thin dashed frame; an empty rectangle draws none. Screen only.
    void setBand(const QRect &band);
    const QRect &Band() const { return band; }

protected:
    void paintEvent(QPaintEvent *) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void wheelEvent(QWheelEvent *e) override;

private:
    const QImage *image = nullptr;
    QRect band;
};

// The main window: the card editor.
class TMeishi : public QWidget
{
    Q_OBJECT
public:
    // `dialogs` is not owned and must outlive the window.
    explicit TMeishi(Dialogs &dialogs, QWidget *parent = nullptr);
    ~TMeishi() override;

    // The window opens at this client size, the controls at the places
    // given for it; it grows from there, never smaller. The field column
    // keeps its place; the card's panel, the toolbar and the status line
    // take what the window grows.
    static constexpr QSize kFormSize{897, 461};

    // Start-up
    void FormCreate();

    // The card editor
    void EditChanged(QLineEdit *edit);
    // The postal code and the address help each other (postalfill.cpp).
    // After 〒 changed: a code's one address fills an empty address field as
    // one step, the cursor at its end for the block number; its addresses
    // are offered under the address field otherwise (unless the address
    // already begins with one of them).
    void PostNoChanged();
    // After the address changed while 〒 is empty: the codes of the known
    // address it begins with are offered under 〒.
    void AddressChanged();
    // The names of those steps.
    static constexpr const char16_t *kAddressFromPostNoStep = u"郵便番号から住所の入力";
    static constexpr const char16_t *kPostNoFromAddressStep = u"住所から郵便番号の入力";
    void PictureButtonClick(QPushButton *button);
    void RefreshCanvas();
    // Pictures the canvas had to leave out, said in one box: after a card
    // is opened or a picture chosen, not on every repaint.
    void ShowDrawProblems();
    void ClearCard();
    void FillFieldsFromCard();

    // A left press on a handle of the lone selection sizes it. On an object
    // it selects that one alone, or, on one of several selected, keeps them
    // all; a drag then moves the selection. Shift+press adds the object to
    // the selection (and drags) or takes it out (no drag). On an empty spot
    // it starts a rubber band: the objects it touches become the selection
    // (with Shift, are added), and a click that does not move clears it. A
    // right press selects an unselected object alone and keeps a selection
    // it falls on, then shows the object menu.
    void cCanvasMouseDown(Qt::MouseButton button, int X, int Y,
                          Qt::KeyboardModifiers modifiers = {});
    // During a drag, Shift frees the shape of a picture sized by a corner
    // and keeps a line's end level, upright or at 45°; Alt turns snapping off.
    void cCanvasMouseMove(int X, int Y, Qt::KeyboardModifiers modifiers = {});
    void cCanvasMouseUp(Qt::MouseButton button, int X, int Y, Qt::KeyboardModifiers modifiers = {});
    // The second press of a double-click; on release the object's dialog
    // opens (an added text's editor, a shape's format).
    void cCanvasDoubleClick(int X, int Y, Qt::KeyboardModifiers modifiers = {});
    void SetSelection(Object *obj);

    // The zoom list's entries: 100, 150, 200 and 300 %, then 「全体」 (the
    // zoom that fits the panel).
    static constexpr std::array<double, 4> kZoomLevels{1.0, 1.5, 2.0, 3.0};
    static constexpr int kZoomFit = 4;
    // Shows the canvas at the zoom list's entry `index`, at the screen's
    // pixel ratio; the panel scrolls when the canvas is larger than it.
    void SetZoomIndex(int index);
    // One level up (+1) or down (-1) from the present zoom; the canvas point
    // at the panel's pixel `anchor` (the pointer) stays where it is.
    void StepZoom(int direction, QPoint anchor);

    void ToolButton7Click();
    void bFontClick();
    void aPopupMenuFontClick();
    void aPopupMenuColorClick();
    void N2Click();
    void N3Click();
    void N4Click();
    void N5Click();
    void aSavePictureClick();
    // The position and size dialog for the selection.
    void aPlaceClick();
    // The selected text's writing direction turned over (縦書き or across).
    void aVerticalClick();

    bool AskToSaveChanges();
    bool SaveCardAs();
    // Ctrl+S: to the file last opened or saved, without asking; asks when
    // there is none. Returns whether the card was saved.
    bool SaveCard();
    void OpenCard();
    // Opens the card file at `path` as Open does after its dialog. Throws
    // CardError when the file cannot be read or is damaged, and says so in a
    // box when it is no card data file; either way the card stays as it was.
    void OpenCardFile(const QString &path);
    // The card named on the command line, after the splash: as OpenCardFile,
    // with a failure reported in the box Open reports it in.
    void OpenCardArgument(const QString &path);
    void ToolButton1Click();
    void ToolButton2Click();
    void ToolButton3Click();
    // Help: the address of the settings file's [help] url key; without the
    // key, the manual that comes with the program; an empty url does nothing.
    void ToolButton4Click();
    // The folder the program file lies in, where the manual is looked for
    // (FindManual); the running program's by default.
    void SetProgramDir(const QString &dir) { programDir = dir; }
    // Writes the print settings and the window's place; an unwritable
    // settings file is said in a box and closing goes on. Returns CanClose.
    bool FormCloseQuery();
    // The window's place, size, state and zoom as the settings file keeps them.
    WindowPlace CurrentWindowPlace() const;

    void bPrintoutClick();
    void bPrintClick();
    void bPreviewClick();
    void bPrintOptionClick();

    EditSession &Session() { return session; }
    // The session's screen canvas, as cCanvas shows it.
    CanvasView &Canvas() { return canvasView; }
    // The card file last opened or saved; empty for a card never saved or opened.
    const QString &FileName() const { return fileName; }
    // The printer the print and preview commands use, as last set up.
    QPrinter &Printer() { return printer; }

    // Controls, by their names.
    QFrame *ToolBar1;
    QToolButton *ToolButton1, *ToolButton2, *ToolButton3, *bPrintout, *bPreview, *ToolButton7,
        *bFont, *ToolButton4, *bUndo, *bRedo;
    QLabel *Image1;
    QLineEdit *eName, *eFuri, *eCorp, *eBusho, *eYaku, *ePostNo, *eAddress, *eTel, *eMobile, *eFax,
        *eURL, *eMail, *eMemo1, *eMemo2;
    QLabel *tPicture, *tBackPicture;
    QPushButton *bPicture, *bBackPicture, *bPrintOption, *bPrint;
    QFrame *aPanelBorder;
    QScrollArea *aPanel;
    QComboBox *cZoom;
    CanvasWidget *cCanvas;
    QStatusBar *cDebug;
    // The addresses of the postal code, under eAddress; the codes of the
    // address, under ePostNo.
    OfferList *mAddressOffer, *mPostNoOffer;
    QMenu *aPopupMenu;
    QAction *aPopupMenuFont, *aPopupMenuColor, *N6, *aSavePicture, *N7, *aPlace;
    QMenu *N1;
    QAction *N2, *N3, *N4, *N5;
    // 「縦書き」, checked while the selected text is written top to bottom.
    QAction *aVertical;
    // What the QR code encodes (テキスト, MECARD, vCard): the menu of the QR
    // button's arrow, and the same items at the end of the object menu,
    // shown there while the QR object is selected.
    QMenu *mQrFormat;
    std::array<QAction *, 3> bQrFormats, aQrFormats;
    QAction *N8;

    // The edits in the order New and Open set them.
    std::array<QLineEdit *, 14> ClearOrder() const;

    // --- Added objects (objecttools.cpp, clipboard.cpp) ----------------------
    // The part of the card the panel shows, in model units; the whole card
    // when the panel shows none of it.
    TRect VisibleCardArea() const;
    // A new object of the kind (Text, Line, Rect, Ellipse) in the middle of
    // the visible part of the card, selected; one step.
    void AddObjectClick(KindId kind);
    // A further picture chosen in the picture file dialog, in the middle of
    // the visible part of the card, selected; one step.
    void AddPictureClick();
    // 「差し込み印刷…」: the merge dialog on this card.
    void MergeClick();
    // 「テンプレート…」: the gallery; 「テンプレートとして保存…」: the card as
    // one of the user's own templates.
    void TemplatesClick();
    // The name was typed through an input method: the furigana follows its
    // reading while it is empty or was filled this way.
    void FollowNameReading();
    void SaveAsTemplateClick();
    // The menu of a right click on an empty spot of the card (adding
    // objects, pasting), at the global point.
    void ShowCanvasMenu(QPoint global);
    // 「テキストの編集」 for the selected added text: its lines, then its
    // layout (for every selected added text), on OK.
    void EditFreeText();
    // 「図形の書式」 for the selected shapes, opened on the last selected one.
    void FormatShape();
    // The clipboard and deleting: the selection's objects, as the keys and
    // the object menu ask for them.
    void DeleteSelection();
    void CutSelection();
    void CopySelection();
    void PasteClipboard();
    void DuplicateSelection();
    // The clipboard format of copied objects (a card file image).
    static constexpr const char *kObjectsMime = "application/x-plakuro-objects";

    // 「テキスト」「線」「四角形」「楕円」「画像」 on the toolbar and in the canvas menu.
    std::array<QToolButton *, 5> bAdd;
    std::array<QAction *, 5> aAdd;
    QAction *aCanvasPaste;
    QMenu *mCanvas;
    // 「整列」: the toolbar's drop-down and the object menu's submenu.
    QToolButton *bAlign;
    QToolButton *bMerge, *bTemplate;
    QAction *aMerge, *aTemplates, *aSaveTemplate, *aAbout;
    QMenu *mAlign;
    QAction *aAlignLeft, *aAlignHCenter, *aAlignRight, *aAlignTop, *aAlignVCenter, *aAlignBottom,
        *aCardHCenter, *aCardVCenter, *aSpreadAcross, *aSpreadDown;
    QAction *aEditText, *aShapeFormat, *aCut, *aCopy, *aPaste, *aDuplicate, *aDelete;

protected:
    void closeEvent(QCloseEvent *e) override;
    void showEvent(QShowEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void buildToolbar();
    void buildPopupMenu();
    void buildQrFormatMenus();
    // The toolbar group for adding objects, 「整列」, the canvas menu and the
    // object menu's items for added objects (objecttools.cpp).
    void buildObjectTools();
    // Those enabled for what is selected.
    void showObjectCommands(const EditSession::Commands &commands);
    // Whether the clipboard holds copied objects.
    bool clipboardHasObjects() const;
    // The picture file dialog and loading; null when cancelled or not a
    // picture (said in a box). `path` is the file chosen.
    std::unique_ptr<Picture> askForPicture(QString &path);
    // The format items checked as the card has it.
    void showQrFormat();
    void buildShortcuts();
    // The panel, its border, the toolbar's zoom list and the status line
    // placed for the window's present size.
    void placeGrowingControls();
    // The place, size, state and zoom of the last run, as far as they suit
    // the screens there are now.
    void restoreWindowPlace();
    void connectSession();
    // The edits, name boxes and picture buttons as the session has them.
    void showFields();
    void updateTitle();
    void updateUndoButtons();
    // The pointer's shape over the canvas: the handle under it, if any.
    void updateCursor(int X, int Y);
    // Whether a drag step to (X, Y) snaps: not with Alt, nor at the press.
    bool snapsAt(int X, int Y, Qt::KeyboardModifiers modifiers) const;
    // The rubber band's release at (X, Y): select what it touched.
    void finishBand(int X, int Y, Qt::KeyboardModifiers modifiers);
    // The keys that act on the canvas's selection (Delete, Ctrl+A, the
    // clipboard's); a field's edit keeps them for its text.
    static bool isCanvasKey(QKeyCombination key);
    void writeCard(const QString &path);
    // Runs a handler; an exception that escapes it is shown in a message box
    // and the program goes on, as the application's error report does.
    void guarded(const std::function<void()> &handler);
    void printWith(const PrintSpace &space);
    // The postal dictionary when it can be used; otherwise null, after the
    // status line has said why (once a run).
    std::shared_ptr<const postal::Dictionary> postalDictionary();
    // The field set from the dictionary as one step; for the address, the
    // keyboard at its end.
    void fillFromPostal(QLineEdit *edit, const QString &text, const QString &step);
    // The middle of the panel's visible part, in the canvas's pixels.
    QPoint panelCentre() const;

    Dialogs &dialogs;
    EditSession session;
    CanvasView canvasView{session};
    // Kept for the run: a confirmed set-up is where the next one starts.
    QPrinter printer{QPrinter::HighResolution};
    QString lastSaveName;
    QString fileName;
    QString programDir;
    ReadingTracker *nameReading = nullptr;
    QString furiganaFollowed; // what FollowNameReading last put in the furigana
    // The window has its place: the last run's, or centred at the first show.
    bool placed = false;
    // A rubber band under way: where the press was (canvas pixels), and
    // whether it adds to the selection.
    std::optional<QPoint> bandStart;
    // Where the last left press on the canvas was.
    QPoint pressAt;
    bool postalUnavailableSaid = false;
};
