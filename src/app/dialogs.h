#pragma once
#include "card/font.h"
#include "card/freetext.h"
#include "card/printspace.h"
#include "card/rect.h"
#include "card/shape.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

class QFont;
class QPageLayout;
class EditSession;
class QPrinter;
class QWidget;
class DrawingOrder;

// Every dialog the editor opens goes through this interface, so tests can
// script the answers and never block on a modal window.
class Dialogs
{
public:
    enum class Answer
    {
        Yes,
        No,
        Cancel
    };

    struct FileDialog
    {
        QString filter;        // "Name (*.ext)|*.ext|..." as the filter strings are written
        QString defaultSuffix; // ".pkd" or ".bmp"; added to a name typed without one
        QString initialDir;
        QString initialName;
        bool mustExist = false; // the open dialog refuses names of missing files
    };

    // Which sizes the position and size dialog offers.
    enum class Sizing
    {
        None,  // left and top only (a text takes its measured size)
        Free,  // width and height
        Square // width and height, locked together
    };

    // What the text dialog shows and confirms for an added text.
    struct FreeTextValues
    {
        QString text; // the lines, '\n' between them
        FreeText::Align align = FreeText::Align::Left;
        int spacing = FreeText::kDefaultSpacing; // percent, 50 to 400
        int width = 0;                           // model units, 0 for none
    };

    // What the shape dialog shows and confirms. `kind` only decides which
    // values the dialog offers (no fill for a line, a radius for a
    // rectangle); the others keep what they came in with.
    struct ShapeValues
    {
        ShapeObject::Kind kind = ShapeObject::Kind::Rect;
        std::optional<std::int32_t> fill;   // TColor, none for no fill
        std::optional<std::int32_t> stroke; // TColor, none for no outline
        int strokeWidth = 0;                // model units, 0 to 100
        int radius = 0;                     // model units
    };

    // What 「テンプレートとして保存」 asks.
    struct TemplateDetails
    {
        QString title;
        QString description;
        bool withData = false; // the card's texts and picture go too
    };

    virtual ~Dialogs() = default;
    virtual void RunSplash(QWidget *owner) = 0;
    virtual std::optional<QString> OpenFile(QWidget *parent, const FileDialog &d) = 0;
    virtual std::optional<QString> SaveFile(QWidget *parent, const FileDialog &d) = 0;
    // The font dialog opened on `initial` (see DialogFontFor); the confirmed
    // font, or nothing on Cancel. The dialog offers family, style and size
    // only: no underline or strike-out.
    virtual std::optional<QFont> ChooseFont(QWidget *parent, const QFont &initial) = 0;
    // A TColor (0x00BBGGRR) in and out; false on Cancel.
    virtual bool ChooseColor(QWidget *parent, std::int32_t &color) = 0;
    virtual Answer AskYesNoCancel(QWidget *parent, const QString &text, const QString &title) = 0;
    // The printer set-up; false on Cancel. A confirmed choice stays in `printer`.
    virtual bool PrinterSetup(QWidget *parent, QPrinter &printer) = 0;
    virtual void ShowError(QWidget *parent, const QString &message) = 0;
    virtual void ShowInfo(QWidget *parent, const QString &message) = 0;
    // The print options window, modal; the values come back however it closed.
    virtual void PrintOptions(QWidget *parent, PrintSpace &space) = 0;
    // The preview window, modal; `print` prints with the values it is given.
    // `paper` is the printer's paper; the page shown has its size.
    virtual void Preview(QWidget *parent, const DrawingOrder &order, const QPageLayout &paper,
                         PrintSpace &space,
                         const std::function<void(const PrintSpace &)> &print) = 0;
    // Hands the address to the desktop as one argument; never through a shell.
    virtual void OpenAddress(const QString &address) = 0;
    // The position and size dialog, modal, on `rect` (model units); true on
    // OK, with the values in `rect` (right and bottom kept at the same size
    // where the dialog offers no size).
    virtual bool PlaceObject(QWidget *parent, TRect &rect, Sizing sizing) = 0;
    // 「テキストの編集」 on `values`; true on OK with the values confirmed.
    virtual bool EditFreeText(QWidget *parent, FreeTextValues &values) = 0;
    // 「図形の書式」 on `values`; true on OK with the values confirmed. Its
    // colour buttons ask ChooseColor.
    virtual bool FormatShape(QWidget *parent, ShapeValues &values) = 0;
    // 「差し込み印刷」 on `card` (the template), modal; its own file and
    // printer dialogs go through these dialogs.
    virtual void Merge(QWidget *parent, EditSession &card, QPrinter &printer) = 0;
    // 「テンプレート」 on `card`, modal; shipped templates are looked for from
    // `programDir`.
    virtual void Templates(QWidget *parent, EditSession &card, const QString &programDir) = 0;
    // 「テンプレートとして保存」's questions on `details`; false on Cancel.
    virtual bool AskTemplateDetails(QWidget *parent, TemplateDetails &details) = 0;
    // One line of text, starting as `initial`; nothing on Cancel.
    virtual std::optional<QString> AskText(QWidget *parent, const QString &title,
                                           const QString &label, const QString &initial) = 0;
};

// The Qt dialogs.
class QtDialogs : public Dialogs
{
public:
    void RunSplash(QWidget *owner) override;
    std::optional<QString> OpenFile(QWidget *parent, const FileDialog &d) override;
    std::optional<QString> SaveFile(QWidget *parent, const FileDialog &d) override;
    std::optional<QFont> ChooseFont(QWidget *parent, const QFont &initial) override;
    bool ChooseColor(QWidget *parent, std::int32_t &color) override;
    Answer AskYesNoCancel(QWidget *parent, const QString &text, const QString &title) override;
    bool PrinterSetup(QWidget *parent, QPrinter &printer) override;
    void ShowError(QWidget *parent, const QString &message) override;
    void ShowInfo(QWidget *parent, const QString &message) override;
    void PrintOptions(QWidget *parent, PrintSpace &space) override;
    void Preview(QWidget *parent, const DrawingOrder &order, const QPageLayout &paper,
                 PrintSpace &space, const std::function<void(const PrintSpace &)> &print) override;
    void OpenAddress(const QString &address) override;
    bool PlaceObject(QWidget *parent, TRect &rect, Sizing sizing) override;
    bool EditFreeText(QWidget *parent, FreeTextValues &values) override;
    bool FormatShape(QWidget *parent, ShapeValues &values) override;
    void Merge(QWidget *parent, EditSession &card, QPrinter &printer) override;
    void Templates(QWidget *parent, EditSession &card, const QString &programDir) override;
    bool AskTemplateDetails(QWidget *parent, TemplateDetails &details) override;
    std::optional<QString> AskText(QWidget *parent, const QString &title, const QString &label,
                                   const QString &initial) override;
};

// The filter of every dialog that picks a card data file (*.pkd).
QString CardFileFilter();
// The toolkit filter "A (*.a)|*.a|B (*.b)|*.b" as a Qt name filter list.
QString toQtFilter(const QString &filter);
// The font the dialog opens on for a stored font: the stored face by its own
// name (the dialog lists the stored names; drawing substitutes them), the
// stored pixel height at 96 dpi as points, bold and italic.
QFont DialogFontFor(const Font &font);
// A QFont confirmed in the font dialog as the card's font value. The stored
// face's own name keeps base's stored face bytes, a size within half a point
// of base's keeps base's height; attributes the dialog has no say over
// (underline, strike-out, charset, colour, pitch unless the family changes)
// are kept from `base`. So the font the dialog opened on gives `base` back
// unchanged.
Font fontFromQFont(const QFont &qf, const Font &base);
// Starts the desktop's opener with the address as its one argument.
bool launchAddress(const QString &address);

class QDialog;
class QHBoxLayout;
class QPushButton;
// The OK and キャンセル buttons of our own dialogs, right-aligned in a row,
// OK the default; they accept and reject `dialog`.
QHBoxLayout *makeOkCancel(QDialog *dialog, QPushButton *&ok, QPushButton *&cancel);
