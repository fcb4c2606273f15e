#include "app/meishi.h"
#include "app/artwork.h"
#include "app/dialogs.h"
#include "app/lostmark.h"
#include "app/manual.h"
#include "app/offerlist.h"
#include "app/printing.h"
#include "app/reading.h"
#include "app/templatedialog.h"
#include "card/defaultcard.h"
#include "card/errors.h"
#include "card/files.h"
#include "card/object.h"
#include "card/shape.h"
#include "card/sjis.h"
#include "editor/backcard.h"
#include "print/sheet.h"
#include "qr/qrcode.h"
#include "settings/printspace.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMetaMethod>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>
#include <QUndoStack>
#include <QUrl>
#include <QWheelEvent>

namespace {

const QString kTitle = QStringLiteral("Plakuro");
const QString kCardFilter = CardFileFilter();
// The dialog opens on every picture Plakuro reads (logos come as PNG); the
// described filters follow.
const QString kPictureFilter = QStringLiteral(
    "使える画像 (*.jpg;*.jpeg;*.bmp;*.png;*.gif;*.tif;*.tiff;*.webp)|"
    "*.jpg;*.jpeg;*.bmp;*.png;*.gif;*.tif;*.tiff;*.webp|"
    "すべてのファイル (*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf)|*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf|"
    "JPEG イメージファイル (*.jpg)|*.jpg|JPEG イメージファイル (*.jpeg)|*.jpeg|"
    "ビットマップ (*.bmp)|*.bmp|"
    "画像ファイル (*.png;*.gif;*.tif;*.tiff;*.webp)|*.png;*.gif;*.tif;*.tiff;*.webp");
const QString kBmpFilter = QStringLiteral("ビットマップ (*.bmp)|*.bmp");
const QString kBrowse = QStringLiteral("参照");
const QString kRemove = QStringLiteral("削除");

QString errorText(const std::exception &e)
{
    return QString::fromUtf8(e.what());
}

} // namespace

CanvasWidget::CanvasWidget(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
}

void CanvasWidget::setImage(const QImage *img)
{
    image = img;
    update();
}

void CanvasWidget::paintEvent(QPaintEvent *)
{
    // Moved to a screen of another pixel ratio: the canvas is drawn anew for
    // it, after this paint.
    if (image && onRatioChanged && image->devicePixelRatio() != devicePixelRatioF())
        QMetaObject::invokeMethod(
            this, [this] { onRatioChanged(); }, Qt::QueuedConnection);
    QPainter p(this);
    if (image)
        p.drawImage(0, 0, *image);
    else
        p.fillRect(rect(), Qt::white);
    if (!band.isEmpty()) {
        // Black dashes over white: seen on light and dark parts of a card.
        const QRect frame = band.adjusted(0, 0, -1, -1);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(Qt::white, 0));
        p.drawRect(frame);
        p.setPen(QPen(Qt::black, 0, Qt::DashLine));
        p.drawRect(frame);
    }
}

void CanvasWidget::setBand(const QRect &r)
{
    if (r == band)
        return;
    // The old frame and the new one repaint; the rest of the canvas stays.
    update(band.adjusted(-1, -1, 1, 1));
    band = r;
    update(band.adjusted(-1, -1, 1, 1));
}

void CanvasWidget::wheelEvent(QWheelEvent *e)
{
    // Without Ctrl the wheel scrolls the panel.
    const int steps = e->angleDelta().y();
    if (!(e->modifiers() & Qt::ControlModifier) || steps == 0 || !onZoomStep) {
        e->ignore();
        return;
    }
    onZoomStep(steps > 0 ? 1 : -1, e->position().toPoint());
    e->accept();
}

void CanvasWidget::mousePressEvent(QMouseEvent *e)
{
    if (onMouseDown)
        onMouseDown(e->button(), e->position().toPoint().x(), e->position().toPoint().y(),
                    e->modifiers());
}

void CanvasWidget::mouseDoubleClickEvent(QMouseEvent *e)
{
    const QPoint at = e->position().toPoint();
    if (e->button() == Qt::LeftButton && onDoubleClick)
        onDoubleClick(at.x(), at.y(), e->modifiers());
    else if (onMouseDown)
        onMouseDown(e->button(), at.x(), at.y(), e->modifiers());
}

void CanvasWidget::mouseMoveEvent(QMouseEvent *e)
{
    if (onMouseMove)
        onMouseMove(e->position().toPoint().x(), e->position().toPoint().y(), e->modifiers());
}

void CanvasWidget::mouseReleaseEvent(QMouseEvent *e)
{
    if (onMouseUp)
        onMouseUp(e->button(), e->position().toPoint().x(), e->position().toPoint().y(),
                  e->modifiers());
}

void CanvasWidget::keyPressEvent(QKeyEvent *e)
{
    int dx = 0, dy = 0;
    switch (e->key()) {
    case Qt::Key_Left:
        dx = -1;
        break;
    case Qt::Key_Right:
        dx = 1;
        break;
    case Qt::Key_Up:
        dy = -1;
        break;
    case Qt::Key_Down:
        dy = 1;
        break;
    case Qt::Key_Escape:
        break;
    default:
        QWidget::keyPressEvent(e);
        return;
    }
    if (onKey)
        onKey(dx, dy, e->modifiers() & Qt::ShiftModifier);
    e->accept();
}

TMeishi::TMeishi(Dialogs &dlgs, QWidget *parent) : QWidget(parent), dialogs(dlgs)
{
    // The collection and the converter exist (in `editor`) before the
    // controls; FormCreate then fills them.
    setObjectName("Meishi");
    setWindowTitle(kTitle);
    setFont(WindowFont());
    setMinimumSize(kFormSize);
    resize(kFormSize);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowIcon(artwork::ProgramIcon());
    programDir = QCoreApplication::applicationDirPath();
    buildControls();
    buildShortcuts();
    guarded([this] { FormCreate(); });
    guarded([this] { restoreWindowPlace(); });
}

TMeishi::~TMeishi()
{
    session.disconnect(this);
    session.UndoStack().disconnect(this);
}

void TMeishi::guarded(const std::function<void()> &handler)
{
    try {
        handler();
    } catch (const std::exception &e) {
        dialogs.ShowError(this, errorText(e));
    }
}

namespace {

template <typename T> T *place(QWidget *parent, const char *name, int x, int y, int w, int h)
{
    T *widget = new T(parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(x, y, w, h);
    return widget;
}

} // namespace

void TMeishi::buildControls()
{
    buildToolbar();

    Image1 = place<QLabel>(this, "Image1", 6, 34, 239, 415);
    Image1->setPixmap(QPixmap::fromImage(artwork::FieldCaptionImage()));

    // The members in the field table's order; each edit takes its key as its
    // name and its place from the table.
    QLineEdit **const edits[] = {&eName, &eFuri,   &eCorp, &eBusho, &eYaku, &ePostNo, &eAddress,
                                 &eTel,  &eMobile, &eFax,  &eURL,   &eMail, &eMemo1,  &eMemo2};
    static_assert(std::size(edits) == kFields.size());
    for (std::size_t i = 0; i < kFields.size(); ++i) {
        QLineEdit *edit = place<QLineEdit>(this, kFields[i].key, 70, kFields[i].editTop, 159, 20);
        edit->setMaxLength(32767);
        *edits[i] = edit;
    }
    mAddressOffer = new OfferList(eAddress, this, "mAddressOffer");
    mAddressOffer->Watch(ePostNo);
    mPostNoOffer = new OfferList(ePostNo, this, "mPostNoOffer");
    mPostNoOffer->Watch(eAddress);
    mAddressOffer->onChosen = [this](const QString &address) {
        guarded(
            [&] { fillFromPostal(eAddress, address, QString::fromUtf16(kAddressFromPostNoStep)); });
    };
    mPostNoOffer->onChosen = [this](const QString &code) {
        guarded([&] { fillFromPostal(ePostNo, code, QString::fromUtf16(kPostNoFromAddressStep)); });
    };

    auto nameBox = [this](const char *name, int top, int h) {
        QLabel *l = place<QLabel>(this, name, 70, top, 121, h);
        l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        l->setAutoFillBackground(true);
        QPalette pal = l->palette();
        pal.setColor(QPalette::Window, Qt::white);
        l->setPalette(pal);
        l->setTextFormat(Qt::PlainText);
        return l;
    };
    tPicture = nameBox("tPicture", 366, 16);
    bPicture = place<QPushButton>(this, "bPicture", 196, 364, 39, 18);
    bPicture->setText(kBrowse);
    tBackPicture = nameBox("tBackPicture", 390, 17);
    bBackPicture = place<QPushButton>(this, "bBackPicture", 196, 388, 39, 18);
    bBackPicture->setText(kBrowse);
    bPrintOption = place<QPushButton>(this, "bPrintOption", 32, 414, 93, 18);
    bPrintOption->setText(QStringLiteral("印刷オプション"));
    bPrint = place<QPushButton>(this, "bPrint", 136, 414, 93, 18);
    bPrint->setText(QStringLiteral("印　刷"));

    // The panel's single border is drawn around it so the whole card shows.
    aPanelBorder = place<QFrame>(this, "aPanelBorder", 245, 43, 647, 392);
    aPanelBorder->setFrameStyle(QFrame::Box | QFrame::Plain);
    aPanelBorder->setLineWidth(1);
    // The panel scrolls a canvas larger than itself; at 100 % in a window of
    // the first size the canvas fills it exactly and no scroll bar shows. A
    // canvas smaller than the grown panel sits in its middle.
    aPanel = place<QScrollArea>(this, "aPanel", 246, 44, 645, 390);
    aPanel->setAlignment(Qt::AlignCenter);
    aPanel->setFrameShape(QFrame::NoFrame);
    aPanel->setAutoFillBackground(true);
    // The ground around a card smaller than the panel is grey, as in the
    // print preview, so the white card's edges show.
    QPalette pal = aPanel->palette();
    pal.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
    aPanel->setPalette(pal);
    aPanel->viewport()->setPalette(pal);
    aPanel->setFocusPolicy(Qt::NoFocus);
    cCanvas = new CanvasWidget(aPanel);
    cCanvas->setObjectName("cCanvas");
    cCanvas->setFixedSize(EditSession::kCanvasWidth, EditSession::kCanvasHeight);
    aPanel->setWidget(cCanvas);
    cCanvas->setCursor(Qt::ArrowCursor);
    cCanvas->setFocusPolicy(Qt::ClickFocus);

    cDebug = new QStatusBar(this);
    cDebug->setObjectName("cDebug");
    cDebug->setGeometry(0, 442, 897, 19);
    cDebug->setSizeGripEnabled(false);

    QWidget *tabOrder[] = {eName,    eFuri,  eCorp,    eBusho,       eYaku,        ePostNo,
                           eAddress, eTel,   eMobile,  eFax,         eURL,         eMail,
                           eMemo1,   eMemo2, bPicture, bBackPicture, bPrintOption, bPrint};
    for (std::size_t i = 0; i + 1 < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i], tabOrder[i + 1]);
    for (QPushButton *b : {bPicture, bBackPicture, bPrintOption, bPrint})
        b->setAutoDefault(false);

    buildPopupMenu();
    buildObjectTools();
    buildQrFormatMenus();

    cCanvas->setImage(&canvasView.Image());
    cCanvas->onMouseDown = [this](Qt::MouseButton b, int x, int y, Qt::KeyboardModifiers m) {
        guarded([&] { cCanvasMouseDown(b, x, y, m); });
    };
    cCanvas->onDoubleClick = [this](int x, int y, Qt::KeyboardModifiers m) {
        guarded([&] { cCanvasDoubleClick(x, y, m); });
    };
    cCanvas->onMouseMove = [this](int x, int y, Qt::KeyboardModifiers m) {
        guarded([&] { cCanvasMouseMove(x, y, m); });
    };
    cCanvas->onMouseUp = [this](Qt::MouseButton b, int x, int y, Qt::KeyboardModifiers m) {
        guarded([&] { cCanvasMouseUp(b, x, y, m); });
    };
    cCanvas->onKey = [this](int dx, int dy, bool large) {
        guarded([&] {
            if (dx == 0 && dy == 0) {
                SetSelection(nullptr);
                RefreshCanvas();
            } else {
                const int step = large ? 10 : 1;
                session.Nudge(dx * step, dy * step);
            }
        });
    };
    cCanvas->onZoomStep = [this](int direction, QPoint at) {
        guarded([&] { StepZoom(direction, at); });
    };
    cCanvas->onRatioChanged = [this] { guarded([this] { SetZoomIndex(cZoom->currentIndex()); }); };
    connectSession();

    connect(bPrintOption, &QPushButton::clicked, this,
            [this] { guarded([this] { bPrintOptionClick(); }); });
    connect(bPrint, &QPushButton::clicked, this, [this] { guarded([this] { bPrintClick(); }); });
}

void TMeishi::buildToolbar()
{
    ToolBar1 = place<QFrame>(this, "ToolBar1", 0, 0, 897, 29);
    ToolBar1->setFocusPolicy(Qt::NoFocus);
    struct Button
    {
        QToolButton **button;
        const char *name;
        int left;
        int icon;
        void (TMeishi::*handler)();
    };
    const Button buttons[] = {
        {&ToolButton1, "ToolButton1", 0, 0, &TMeishi::ToolButton1Click},
        {&ToolButton2, "ToolButton2", 23, 1, &TMeishi::ToolButton2Click},
        {&ToolButton3, "ToolButton3", 46, 2, &TMeishi::ToolButton3Click},
        {&bPrintout, "bPrintout", 69, 3, &TMeishi::bPrintoutClick},
        {&bPreview, "bPreview", 92, 4, &TMeishi::bPreviewClick},
        {&ToolButton7, "ToolButton7", 123, 19, &TMeishi::ToolButton7Click},
        {&bFont, "bFont", 154, 5, &TMeishi::bFontClick},
        {&ToolButton4, "ToolButton4", 185, 20, &TMeishi::ToolButton4Click},
    };
    for (const Button &b : buttons) {
        QToolButton *t = place<QToolButton>(ToolBar1, b.name, b.left, 2, 23, 23);
        t->setIcon(artwork::ToolbarIconSet(b.icon));
        t->setIconSize(QSize(16, 16));
        t->setAutoRaise(true);
        t->setFocusPolicy(Qt::NoFocus);
        auto handler = b.handler;
        connect(t, &QToolButton::clicked, this,
                [this, handler] { guarded([&] { (this->*handler)(); }); });
        *b.button = t;
    }
    for (int left : {115, 146, 177, 208}) {
        auto *sep = place<QFrame>(ToolBar1, "", left + 3, 4, 2, 19);
        sep->setFrameStyle(QFrame::VLine | QFrame::Sunken);
    }
    bFont->setEnabled(false);
    bFont->setProperty("hint", QStringLiteral("フォントの変更"));

    // Taking a step back and again, behind the help button.
    auto stepButton = [this](const char *name, int left, QStyle::StandardPixmap icon, auto slot) {
        QToolButton *t = place<QToolButton>(ToolBar1, name, left, 2, 23, 23);
        t->setIcon(style()->standardIcon(icon));
        t->setIconSize(QSize(16, 16));
        t->setAutoRaise(true);
        t->setFocusPolicy(Qt::NoFocus);
        t->setEnabled(false);
        connect(t, &QToolButton::clicked, this, [this, slot] { guarded([&] { slot(); }); });
        return t;
    };
    bUndo = stepButton("bUndo", 216, QStyle::SP_ArrowBack, [this] { session.UndoStack().undo(); });
    bRedo =
        stepButton("bRedo", 239, QStyle::SP_ArrowForward, [this] { session.UndoStack().redo(); });

    // The zoom list at the toolbar's right end.
    cZoom = place<QComboBox>(ToolBar1, "cZoom", 897 - 4 - 76, 3, 76, 23);
    for (double level : kZoomLevels)
        cZoom->addItem(QStringLiteral("%1 %").arg(qRound(level * 100)));
    cZoom->addItem(QStringLiteral("全体"));
    cZoom->setFocusPolicy(Qt::NoFocus);
    cZoom->setToolTip(QStringLiteral("表示倍率 (Ctrl+ホイール、Ctrl++ / Ctrl+-)"));
    connect(cZoom, &QComboBox::activated, this,
            [this](int index) { guarded([&] { SetZoomIndex(index); }); });

    const std::pair<QToolButton *, QString> tips[] = {
        {ToolButton1, QStringLiteral("新規作成 (Ctrl+N)")},
        {ToolButton2, QStringLiteral("開く (Ctrl+O)")},
        {ToolButton3, QStringLiteral("名前を付けて保存 (Ctrl+Shift+S)。上書き保存は Ctrl+S")},
        {bPrintout, QStringLiteral("印刷 (Ctrl+P)")},
        {bPreview, QStringLiteral("印刷プレビュー")},
        {ToolButton7, QStringLiteral("QR コードの表示 / 非表示")},
        {bFont, QStringLiteral("フォントの変更")},
        {ToolButton4, QStringLiteral("ヘルプ")},
    };
    for (const auto &[button, tip] : tips)
        button->setToolTip(tip);
}

void TMeishi::buildShortcuts()
{
    struct Key
    {
        QList<QKeySequence> keys;
        std::function<void()> run;
    };
    const Key keys[] = {
        {{QKeySequence(Qt::CTRL | Qt::Key_Z)}, [this] { session.UndoStack().undo(); }},
        {{QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)},
         [this] { session.UndoStack().redo(); }},
        {{QKeySequence(Qt::CTRL | Qt::Key_N)}, [this] { ToolButton1Click(); }},
        {{QKeySequence(Qt::CTRL | Qt::Key_O)}, [this] { ToolButton2Click(); }},
        {{QKeySequence(Qt::CTRL | Qt::Key_P)}, [this] { bPrintoutClick(); }},
        {{QKeySequence(Qt::CTRL | Qt::Key_M)}, [this] { MergeClick(); }},
        {{QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N)}, [this] { TemplatesClick(); }},
        {{QKeySequence(Qt::CTRL | Qt::Key_S)}, [this] { SaveCard(); }},
        {{QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)}, [this] { SaveCardAs(); }},
        // Plus is shifted on many keyboards; Ctrl with the unshifted key works too.
        {{QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal),
          QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Plus),
          QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Semicolon),
          QKeySequence(Qt::CTRL | Qt::Key_Semicolon)},
         [this] { StepZoom(1, panelCentre()); }},
        {{QKeySequence(Qt::CTRL | Qt::Key_Minus)}, [this] { StepZoom(-1, panelCentre()); }},
        // The selection's keys; a field's edit keeps them (eventFilter).
        {{QKeySequence(Qt::CTRL | Qt::Key_A)},
         [this] {
             session.SelectAll();
             RefreshCanvas();
         }},
        {{QKeySequence(Qt::Key_Delete)}, [this] { DeleteSelection(); }},
        {{QKeySequence(Qt::CTRL | Qt::Key_C)}, [this] { CopySelection(); }},
        {{QKeySequence(Qt::CTRL | Qt::Key_X)}, [this] { CutSelection(); }},
        {{QKeySequence(Qt::CTRL | Qt::Key_V)}, [this] { PasteClipboard(); }},
        {{QKeySequence(Qt::CTRL | Qt::Key_D)}, [this] { DuplicateSelection(); }},
    };
    for (const Key &k : keys) {
        auto *action = new QAction(this);
        action->setShortcuts(k.keys);
        action->setShortcutContext(Qt::WindowShortcut);
        auto run = k.run;
        connect(action, &QAction::triggered, this, [this, run] { guarded(run); });
        addAction(action);
    }
    // The edits would take the step keys for their own undo; the card's
    // steps include the typing, one step per field.
    for (QLineEdit *e : ClearOrder())
        e->installEventFilter(this);
}

bool TMeishi::isCanvasKey(QKeyCombination k)
{
    static const QKeyCombination keys[] = {Qt::CTRL | Qt::Key_A, Qt::CTRL | Qt::Key_C,
                                           Qt::CTRL | Qt::Key_X, Qt::CTRL | Qt::Key_V,
                                           Qt::CTRL | Qt::Key_D, QKeyCombination(Qt::Key_Delete)};
    // The keypad's Delete is the same key.
    k = QKeyCombination(k.keyboardModifiers() & ~Qt::KeypadModifier, k.key());
    return std::find(std::begin(keys), std::end(keys), k) != std::end(keys);
}

bool TMeishi::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        auto *key = static_cast<QKeyEvent *>(event);
        const QKeyCombination k = key->keyCombination();
        // Typing in a field: Ctrl+A selects its text, Delete deletes a
        // character, and so on, instead of acting on the canvas.
        if (isCanvasKey(k)) {
            event->accept();
            return true;
        }
        if (key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo) ||
            k == QKeyCombination(Qt::CTRL, Qt::Key_Y) ||
            k == QKeyCombination(Qt::CTRL | Qt::SHIFT, Qt::Key_Z)) {
            event->ignore();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TMeishi::connectSession()
{
    connect(&canvasView, &CanvasView::canvasChanged, this, [this] { cCanvas->update(); });
    // Typing goes on: the frame on the canvas stays while the text is too
    // long, and this line says it once when it happens.
    connect(&session, &EditSession::qrOverflow, this, [this] {
        cDebug->showMessage(
            QStringLiteral(
                "QR コードに入りきりません。QR コードにする項目の文字を減らしてください。"),
            10000);
    });
    connect(&session, &EditSession::commandsChanged, this, [this](const EditSession::Commands &c) {
        bFont->setEnabled(c.text);
        aPopupMenuFont->setEnabled(c.text);
        aPopupMenuColor->setEnabled(c.text);
        aVertical->setEnabled(c.text);
        aVertical->setChecked(session.SelectionVertical());
        aSavePicture->setEnabled(c.qrPicture);
        N8->setVisible(c.qrPicture);
        for (QAction *a : aQrFormats)
            a->setVisible(c.qrPicture);
        showObjectCommands(c);
    });
    connect(&session, &EditSession::fieldsChanged, this, [this] { showFields(); });
    connect(&session, &EditSession::modifiedChanged, this, [this] { updateTitle(); });
    QUndoStack &stack = session.UndoStack();
    connect(&stack, &QUndoStack::indexChanged, this, [this] { updateUndoButtons(); });
    connect(&stack, &QUndoStack::cleanChanged, this, [this] { updateUndoButtons(); });
}

void TMeishi::showFields()
{
    mAddressOffer->Withdraw();
    mPostNoOffer->Withdraw();
    for (QLineEdit *e : ClearOrder()) {
        const QString text = session.FieldText(e->objectName().toStdString());
        if (e->text() != text) {
            // A character made half width keeps the cursor where it was.
            const int cursor = e->text().size() == text.size() ? e->cursorPosition() : -1;
            const QSignalBlocker quiet(e);
            e->setText(text);
            if (cursor >= 0)
                e->setCursorPosition(cursor);
        }
        MarkLostCharacters(e);
        // A field the design leaves out keeps what is typed (the QR code
        // takes it) but the card does not show it: the edit says so.
        const Object *obj = session.Card().Find(e->objectName().toStdString());
        const bool leftOut = obj && !obj->Object::IsVisible();
        e->setPlaceholderText(leftOut ? QStringLiteral("このデザインでは表示しません") : QString());
        QPalette palette = e->palette();
        palette.setColor(QPalette::Text, leftOut ? QColor(Qt::gray)
                                                 : QApplication::palette().color(QPalette::Text));
        e->setPalette(palette);
    }
    auto show = [this](const char *key, QLabel *box, QPushButton *button) {
        box->setText(session.PictureName(key));
        // The caption follows the object, since the click acts by its flag.
        const Object *obj = session.Card().Find(key);
        button->setText(obj && obj->IsVisible() ? kRemove : kBrowse);
    };
    show(kBackPictureKey, tBackPicture, bBackPicture);
    show(kPictureKey, tPicture, bPicture);
}

void TMeishi::updateTitle()
{
    if (fileName.isEmpty()) {
        setWindowTitle(kTitle);
        return;
    }
    setWindowTitle(QStringLiteral("%1%2 - %3")
                       .arg(session.Modified() ? QStringLiteral("*") : QString(),
                            QFileInfo(fileName).fileName(), kTitle));
}

void TMeishi::updateUndoButtons()
{
    const QUndoStack &stack = session.UndoStack();
    bUndo->setEnabled(stack.canUndo());
    bRedo->setEnabled(stack.canRedo());
    auto tip = [](const QString &what, const QString &text, const QString &keys) {
        return text.isEmpty() ? QStringLiteral("%1 (%2)").arg(what, keys)
                              : QStringLiteral("%1: %2 (%3)").arg(what, text, keys);
    };
    bUndo->setToolTip(tip(QStringLiteral("元に戻す"), stack.undoText(), QStringLiteral("Ctrl+Z")));
    bRedo->setToolTip(
        tip(QStringLiteral("やり直し"), stack.redoText(), QStringLiteral("Ctrl+Y, Ctrl+Shift+Z")));
}

void TMeishi::buildPopupMenu()
{
    aPopupMenu = new QMenu(this);
    aPopupMenu->setObjectName("aPopupMenu");
    auto item = [this](QMenu *menu, const char *name, const QString &caption,
                       void (TMeishi::*handler)()) {
        QAction *act = menu->addAction(caption);
        act->setObjectName(QString::fromLatin1(name));
        connect(act, &QAction::triggered, this,
                [this, handler] { guarded([&] { (this->*handler)(); }); });
        return act;
    };
    aPopupMenuFont = item(aPopupMenu, "aPopupMenuFont", QStringLiteral("フォントの編集"),
                          &TMeishi::aPopupMenuFontClick);
    aPopupMenuColor = item(aPopupMenu, "aPopupMenuColor", QStringLiteral("色の編集"),
                           &TMeishi::aPopupMenuColorClick);
    N6 = aPopupMenu->addSeparator();
    N6->setObjectName("N6");
    aSavePicture =
        item(aPopupMenu, "aSavePicture", QStringLiteral("画像の保存"), &TMeishi::aSavePictureClick);
    N7 = aPopupMenu->addSeparator();
    N7->setObjectName("N7");
    N1 = aPopupMenu->addMenu(QStringLiteral("重ね順"));
    N1->setObjectName("N1");
    N2 = item(N1, "N2", QStringLiteral("最前面へ"), &TMeishi::N2Click);
    N3 = item(N1, "N3", QStringLiteral("ひとつ前面へ"), &TMeishi::N3Click);
    N4 = item(N1, "N4", QStringLiteral("ひとつ背面へ"), &TMeishi::N4Click);
    N5 = item(N1, "N5", QStringLiteral("最背面へ"), &TMeishi::N5Click);
    // Added after the described items, which keep their order.
    aPlace = item(aPopupMenu, "aPlace", QStringLiteral("位置とサイズ…"), &TMeishi::aPlaceClick);
    aVertical = item(aPopupMenu, "aVertical", QStringLiteral("縦書き"), &TMeishi::aVerticalClick);
    aVertical->setCheckable(true);
    connect(aPopupMenu, &QMenu::aboutToShow, this,
            [this] { aVertical->setChecked(session.SelectionVertical()); });
}

void TMeishi::buildQrFormatMenus()
{
    const std::pair<QrFormat, QString> formats[] = {
        {QrFormat::Text, QStringLiteral("テキスト")},
        {QrFormat::Mecard, QStringLiteral("MECARD")},
        {QrFormat::Vcard, QStringLiteral("vCard")},
    };
    auto fill = [&](QMenu *menu, const char *prefix, std::array<QAction *, 3> &items) {
        auto *group = new QActionGroup(menu);
        for (std::size_t i = 0; i < items.size(); ++i) {
            const QrFormat format = formats[i].first;
            QAction *act = menu->addAction(formats[i].second);
            act->setObjectName(QString::fromLatin1(prefix) +
                               QString::fromLatin1(QrFormatName(format)));
            act->setCheckable(true);
            group->addAction(act);
            connect(act, &QAction::triggered, this,
                    [this, format] { guarded([&] { session.SetQrFormat(format); }); });
            items[i] = act;
        }
    };
    // The button keeps its click (show or hide); the arrow beside the icon
    // opens the formats.
    mQrFormat = new QMenu(this);
    mQrFormat->setObjectName("mQrFormat");
    mQrFormat->setToolTipsVisible(true);
    mQrFormat->setTitle(QStringLiteral("QR コードの形式"));
    fill(mQrFormat, "bQr", bQrFormats);
    ToolButton7->setMenu(mQrFormat);
    ToolButton7->setPopupMode(QToolButton::MenuButtonPopup);
    // A narrow arrow leaves the 16-pixel icon whole in the 23-pixel button.
    ToolButton7->setStyleSheet(
        QStringLiteral("QToolButton { padding: 0px; } QToolButton::menu-button { width: 7px; }"));
    ToolButton7->setToolTip(QStringLiteral(
        "QR コードの表示 / 非表示。▼で QR コードの形式 (テキスト / MECARD / vCard)"));

    N8 = aPopupMenu->addSeparator();
    N8->setObjectName("N8");
    fill(aPopupMenu, "aQr", aQrFormats);
    N8->setVisible(false);
    for (QAction *a : aQrFormats)
        a->setVisible(false);
    connect(mQrFormat, &QMenu::aboutToShow, this, [this] { showQrFormat(); });
    connect(aPopupMenu, &QMenu::aboutToShow, this, [this] { showQrFormat(); });
}

void TMeishi::showQrFormat()
{
    const auto i = static_cast<std::size_t>(session.QrFormatOfCard());
    for (const auto *items : {&bQrFormats, &aQrFormats})
        (*items)[i]->setChecked(true);
}

std::array<QLineEdit *, 14> TMeishi::ClearOrder() const
{
    return {eName, eFuri, eCorp, eBusho, eYaku,   ePostNo, eAddress,
            eTel,  eFax,  eURL,  eMail,  eMobile, eMemo1,  eMemo2};
}

void TMeishi::FormCreate()
{
    PrintSpace ps;
    LoadPrintSpace(ps);
    session.SetSpace(ps);
    session.SetScreenWidth(EditSession::kCanvasWidth);
    canvasView.SetView(1.0, cCanvas->devicePixelRatioF());
    // The session built the default card.
    for (QLineEdit *e : ClearOrder())
        connect(e, &QLineEdit::textChanged, this, [this, e] { guarded([&] { EditChanged(e); }); });
    nameReading = new ReadingTracker(eName);
    for (QPushButton *button : {bPicture, bBackPicture})
        connect(button, &QPushButton::clicked, this,
                [this, button] { guarded([&] { PictureButtonClick(button); }); });
    dialogs.RunSplash(this);
    session.SetModified(false);
    updateUndoButtons();
}

void TMeishi::showEvent(QShowEvent *e)
{
    if (!placed) {
        placed = true;
        if (QScreen *screen = QGuiApplication::primaryScreen()) {
            const QRect g = screen->availableGeometry();
            const QRect frame = frameGeometry();
            move(g.center() - QPoint(frame.width() / 2, frame.height() / 2));
        }
    }
    QWidget::showEvent(e);
}

void TMeishi::resizeEvent(QResizeEvent *e)
{
    QWidget::resizeEvent(e);
    placeGrowingControls();
    // 「全体」 follows the panel.
    if (cZoom->currentIndex() == kZoomFit)
        guarded([this] { SetZoomIndex(kZoomFit); });
}

void TMeishi::placeGrowingControls()
{
    // What the window has grown beyond its first size; the places below are
    // those of the first size plus this.
    const QSize grow = size() - kFormSize;
    ToolBar1->setGeometry(0, 0, 897 + grow.width(), 29);
    cZoom->move(897 - 4 - 76 + grow.width(), 3);
    aPanelBorder->setGeometry(245, 43, 647 + grow.width(), 392 + grow.height());
    aPanel->setGeometry(246, 44, 645 + grow.width(), 390 + grow.height());
    cDebug->setGeometry(0, 442 + grow.height(), 897 + grow.width(), 19);
}

namespace {

// The screen on whose free area at least 100 pixels (or the whole width) of
// the window's top edge lie, where its title bar can be taken hold of.
QScreen *screenHolding(const QRect &window)
{
    const QRect topEdge(window.topLeft(), QSize(window.width(), 1));
    for (QScreen *screen : QGuiApplication::screens())
        if (screen->availableGeometry().intersected(topEdge).width() >=
            std::min(100, window.width()))
            return screen;
    return nullptr;
}

} // namespace

void TMeishi::restoreWindowPlace()
{
    const WindowPlace saved = LoadWindowPlace();
    QRect normal(QPoint(), saved.size.value_or(size()));
    QScreen *screen = nullptr;
    if (saved.position) {
        normal.moveTopLeft(*saved.position);
        screen = screenHolding(normal);
    }
    // A place off every screen (one taken away since) is forgotten: the
    // window opens centred on the main screen as the first time.
    placed = screen != nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        // Not larger than the screen it opens on, so its edges can be reached.
        normal.setSize(normal.size().boundedTo(screen->availableGeometry().size()));
        if (!placed && saved.maximized) {
            // Un-maximised later, it comes back in the middle of the screen.
            normal.moveCenter(screen->availableGeometry().center());
            placed = true;
        }
    }
    normal.setSize(normal.size().expandedTo(minimumSize()));
    if (placed)
        setGeometry(normal);
    else
        resize(normal.size());
    placeGrowingControls();
    if (saved.maximized)
        setWindowState(windowState() | Qt::WindowMaximized);

    int zoom = 0; // 100 % for a zoom the list does not have
    if (saved.zoomPercent == 0)
        zoom = kZoomFit;
    for (std::size_t i = 0; i < kZoomLevels.size(); ++i)
        if (qRound(kZoomLevels[i] * 100) == saved.zoomPercent)
            zoom = int(i);
    SetZoomIndex(zoom);
}

WindowPlace TMeishi::CurrentWindowPlace() const
{
    // The size to come back to when un-maximised; the present one otherwise.
    const QRect normal = isMaximized() || isFullScreen() ? normalGeometry() : geometry();
    const int zoom = cZoom->currentIndex();
    WindowPlace place{std::nullopt, std::nullopt, isMaximized(),
                      zoom == kZoomFit ? 0 : qRound(kZoomLevels[std::size_t(zoom)] * 100)};
    // A window maximised from its very start has no other size to keep.
    if (normal.isValid()) {
        place.position = normal.topLeft();
        place.size = normal.size();
    }
    return place;
}

void TMeishi::EditChanged(QLineEdit *edit)
{
    session.EditChanged(edit->objectName().toStdString(), edit->text());
    if (edit == eName && nameReading && nameReading->FollowsEdit())
        FollowNameReading();
    // Said where the typing is, without a box that would stop it; the status
    // line repeats it for a user who does not point at the edit.
    const QString warning = MarkLostCharacters(edit);
    if (!warning.isEmpty())
        cDebug->showMessage(warning, 10000);
    if (edit == ePostNo)
        PostNoChanged();
    else if (edit == eAddress)
        AddressChanged();
}

void TMeishi::FollowNameReading()
{
    const QString reading = nameReading->Reading().trimmed();
    const QString furigana = eFuri->text();
    // Only a furigana this made (in either syllabary) or none is followed;
    // one the user typed differently stays theirs.
    if (reading.isEmpty() ||
        (!furigana.isEmpty() && ToHiragana(furigana) != ToHiragana(furiganaFollowed)))
        return;
    const QString wanted = IsKatakana(furigana) ? ToKatakana(reading) : reading;
    furiganaFollowed = wanted;
    if (wanted != furigana)
        eFuri->setText(wanted);
}

void TMeishi::PictureButtonClick(QPushButton *button)
{
    const std::string key = button->objectName().toStdString();
    auto *obj = dynamic_cast<GraphicObject *>(session.Card().Find(key));
    if (!obj)
        throw CardError("カードに画像のオブジェクトがありません");
    if (obj->IsVisible()) {
        session.RemovePicture(key);
        return;
    }
    QString path;
    std::unique_ptr<Picture> picture = askForPicture(path);
    if (!picture)
        return;
    session.ChoosePicture(key, std::move(picture), path);
    ShowDrawProblems();
}

std::unique_ptr<Picture> TMeishi::askForPicture(QString &path)
{
    Dialogs::FileDialog fd{kPictureFilter, QString(),
                           QDir::current().filePath(QStringLiteral("名刺背景")), QString(), true};
    const std::optional<QString> chosen = dialogs.OpenFile(this, fd);
    if (!chosen)
        return nullptr;
    std::unique_ptr<Picture> picture = LoadPictureFile(*chosen);
    if (!picture) {
        dialogs.ShowInfo(
            this,
            QStringLiteral("使える画像は JPEG (.jpg, .jpeg)、ビットマップ (.bmp)、PNG (.png)、"
                           "GIF (.gif)、TIFF (.tif, .tiff)、WebP (.webp) だけです。"));
        return nullptr;
    }
    path = *chosen;
    return picture;
}

QPoint TMeishi::panelCentre() const
{
    return cCanvas->mapFrom(aPanel->viewport(), aPanel->viewport()->rect().center());
}

void TMeishi::SetZoomIndex(int index)
{
    index = std::clamp(index, 0, kZoomFit);
    double zoom = 1.0;
    if (index < kZoomFit) {
        zoom = kZoomLevels[static_cast<std::size_t>(index)];
    } else {
        // The whole card in the panel, without scroll bars.
        zoom = std::min(double(aPanel->width()) / EditSession::kCanvasWidth,
                        double(aPanel->height()) / EditSession::kCanvasHeight);
    }
    canvasView.SetView(zoom, cCanvas->devicePixelRatioF());
    cCanvas->setFixedSize(canvasView.ViewSize());
    const QSignalBlocker block(cZoom);
    cZoom->setCurrentIndex(index);
}

void TMeishi::StepZoom(int direction, QPoint anchor)
{
    const double now = canvasView.Zoom();
    int index = -1;
    if (direction > 0) {
        for (std::size_t i = 0; i < kZoomLevels.size() && index < 0; ++i)
            if (kZoomLevels[i] > now + 1e-6)
                index = int(i);
    } else {
        for (std::size_t i = kZoomLevels.size(); i-- > 0 && index < 0;)
            if (kZoomLevels[i] < now - 1e-6)
                index = int(i);
    }
    if (index < 0)
        return;
    // The model point under the anchor, and where the anchor sits in the panel.
    const int modelX = session.View().ToModel(anchor.x());
    const int modelY = session.View().ToModel(anchor.y());
    const QPoint inPanel = cCanvas->mapTo(aPanel->viewport(), anchor);
    // The panel's scroll ranges follow the canvas's new size at once.
    SetZoomIndex(index);
    aPanel->horizontalScrollBar()->setValue(session.View().ToDevice(modelX) - inPanel.x());
    aPanel->verticalScrollBar()->setValue(session.View().ToDevice(modelY) - inPanel.y());
}

void TMeishi::RefreshCanvas()
{
    session.RefreshCanvas();
}

void TMeishi::ShowDrawProblems()
{
    QStringList lines;
    for (const std::string &problem : DrawProblems(session.Card()))
        lines << QString::fromUtf8(problem);
    if (!lines.isEmpty())
        dialogs.ShowError(this,
                          lines.join(u'\n') + QStringLiteral("\nほかの部分は描いてあります。"));
}

void TMeishi::ClearCard()
{
    session.ClearCard();
}

void TMeishi::FillFieldsFromCard()
{
    session.FillFieldsFromCard();
}

void TMeishi::cCanvasMouseDown(Qt::MouseButton button, int X, int Y,
                               Qt::KeyboardModifiers modifiers)
{
    if (bandStart)
        return;
    pressAt = QPoint(X, Y);
    // A handle may lie just outside the object, where nothing is hit.
    // Shift held from the press still sizes: it frees the shape.
    if (button == Qt::LeftButton && !session.Dragging()) {
        const EditSession::Handle handle = session.HandleAt(X, Y);
        if (handle != EditSession::Handle::None) {
            session.BeginResize(handle, X, Y);
            return;
        }
    }
    Object *hit = session.HitTestPixel(X, Y);
    std::vector<Object *> selected = session.SelectedObjects();
    const auto at = std::find(selected.begin(), selected.end(), hit);
    const bool wasSelected = hit && at != selected.end();
    if (button == Qt::RightButton) {
        // The menu's commands act on every selected object; an empty spot
        // offers what can be added there.
        if (!wasSelected)
            SetSelection(hit);
        RefreshCanvas();
        if (session.Selection())
            aPopupMenu->popup(cCanvas->mapToGlobal(QPoint(X, Y)));
        else
            ShowCanvasMenu(cCanvas->mapToGlobal(QPoint(X, Y)));
        return;
    }
    if (button != Qt::LeftButton) {
        SetSelection(hit);
        RefreshCanvas();
        return;
    }
    const bool shift = modifiers & Qt::ShiftModifier;
    if (!hit) {
        if (!shift)
            SetSelection(nullptr);
        RefreshCanvas();
        bandStart = QPoint(X, Y);
        return;
    }
    if (shift) {
        session.ToggleSelected(hit);
        RefreshCanvas();
        // Taken out of the selection: nothing to drag.
        if (wasSelected)
            return;
    } else if (wasSelected) {
        // The object pressed becomes the primary, the rest stay selected.
        selected.erase(at);
        selected.push_back(hit);
        session.SetSelectedObjects(selected);
        RefreshCanvas();
    } else {
        SetSelection(hit);
        RefreshCanvas();
    }
    session.BeginDrag(X, Y);
}

void TMeishi::cCanvasMouseMove(int X, int Y, Qt::KeyboardModifiers modifiers)
{
    if (bandStart)
        cCanvas->setBand(QRect(*bandStart, QPoint(X, Y)).normalized());
    else if (session.Selection() && session.Dragging())
        session.DragSelection(X, Y, false, modifiers & Qt::ShiftModifier, snapsAt(X, Y, modifiers));
    else
        updateCursor(X, Y);
}

void TMeishi::cCanvasMouseUp(Qt::MouseButton, int X, int Y, Qt::KeyboardModifiers modifiers)
{
    if (bandStart) {
        finishBand(X, Y, modifiers);
        return;
    }
    if (session.Selection() && session.Dragging())
        session.DragSelection(X, Y, true, modifiers & Qt::ShiftModifier, snapsAt(X, Y, modifiers));
    session.EndDrag();
    updateCursor(X, Y);
}

bool TMeishi::snapsAt(int X, int Y, Qt::KeyboardModifiers modifiers) const
{
    // A click that does not move must leave the object where it is, even
    // within reach of a guide.
    return !(modifiers & Qt::AltModifier) && QPoint(X, Y) != pressAt;
}

void TMeishi::finishBand(int X, int Y, Qt::KeyboardModifiers modifiers)
{
    const QPoint from = *std::exchange(bandStart, std::nullopt);
    cCanvas->setBand(QRect());
    // A click that hardly moved is no band: the press already cleared the
    // selection, or with Shift kept it.
    if (std::abs(X - from.x()) < 3 && std::abs(Y - from.y()) < 3)
        return;
    const Converter &view = session.View();
    session.SelectTouching(
        TRect{view.ToModel(std::min(from.x(), X)), view.ToModel(std::min(from.y(), Y)),
              view.ToModel(std::max(from.x(), X)), view.ToModel(std::max(from.y(), Y))},
        modifiers & Qt::ShiftModifier);
    RefreshCanvas();
}

void TMeishi::cCanvasDoubleClick(int X, int Y, Qt::KeyboardModifiers modifiers)
{
    // The second press of a double-click is a press like the first; the
    // object dialogs open from it on release (objecttools.cpp).
    cCanvasMouseDown(Qt::LeftButton, X, Y, modifiers);
}

void TMeishi::updateCursor(int X, int Y)
{
    Qt::CursorShape shape = Qt::ArrowCursor;
    const EditSession::Handle handle = session.HandleAt(X, Y);
    if (const auto *line = dynamic_cast<const ShapeObject *>(session.Selection());
        line && line->GetKind() == ShapeObject::Kind::Line && handle != EditSession::Handle::None) {
        // An end moves freely; the pointer shows the line's own direction.
        const TRect f = line->Frame();
        const long long dx = std::abs(static_cast<long long>(f.right) - f.left);
        const long long dy = std::abs(static_cast<long long>(f.bottom) - f.top);
        const bool falling = (f.right >= f.left) == (f.bottom >= f.top);
        shape = dy * 2 < dx   ? Qt::SizeHorCursor
                : dx * 2 < dy ? Qt::SizeVerCursor
                : falling     ? Qt::SizeFDiagCursor
                              : Qt::SizeBDiagCursor;
        if (cCanvas->cursor().shape() != shape)
            cCanvas->setCursor(shape);
        return;
    }
    switch (handle) {
    case EditSession::Handle::TopLeft:
    case EditSession::Handle::BottomRight:
        shape = Qt::SizeFDiagCursor;
        break;
    case EditSession::Handle::TopRight:
    case EditSession::Handle::BottomLeft:
        shape = Qt::SizeBDiagCursor;
        break;
    case EditSession::Handle::Left:
    case EditSession::Handle::Right:
        shape = Qt::SizeHorCursor;
        break;
    case EditSession::Handle::Top:
    case EditSession::Handle::Bottom:
        shape = Qt::SizeVerCursor;
        break;
    case EditSession::Handle::None:
        break;
    }
    if (cCanvas->cursor().shape() != shape)
        cCanvas->setCursor(shape);
}

void TMeishi::SetSelection(Object *obj)
{
    session.SetSelection(obj);
}

void TMeishi::aPlaceClick()
{
    const Object *obj = session.Selection();
    if (!obj || !obj->IsVisible())
        return;
    TRect r;
    obj->GetRect(r);
    Dialogs::Sizing sizing = Dialogs::Sizing::None;
    if (obj == session.Card().Find(kQrKey))
        sizing = Dialogs::Sizing::Square;
    else if (session.Sizable(obj))
        sizing = Dialogs::Sizing::Free;
    const TRect was = r;
    // OK on the values shown changes nothing, even for an object the
    // clamps would move.
    if (dialogs.PlaceObject(this, r, sizing) && r != was)
        session.PlaceSelection(r);
}

void TMeishi::aVerticalClick()
{
    // From the object, not the item's check: the menu may show an earlier
    // selection's state.
    session.SetVertical(!session.SelectionVertical());
    aVertical->setChecked(session.SelectionVertical());
}

void TMeishi::ToolButton7Click()
{
    session.ToggleQr();
}

void TMeishi::bFontClick()
{
    auto *obj = dynamic_cast<TextObject *>(session.Selection());
    if (!obj)
        return;
    Font before;
    obj->GetFont(before);
    const std::optional<QFont> chosen = dialogs.ChooseFont(this, DialogFontFor(before));
    if (!chosen)
        return;
    session.SetFont(fontFromQFont(*chosen, before));
}

void TMeishi::aPopupMenuFontClick()
{
    bFontClick();
}

void TMeishi::aPopupMenuColorClick()
{
    auto *obj = dynamic_cast<TextObject *>(session.Selection());
    if (!obj)
        return;
    std::int32_t color = obj->GetColor();
    if (!dialogs.ChooseColor(this, color))
        return;
    session.SetColor(color);
}

void TMeishi::N2Click()
{
    session.BringToFront();
}

void TMeishi::N3Click()
{
    session.BringForward();
}

void TMeishi::N4Click()
{
    session.SendBackward();
}

void TMeishi::N5Click()
{
    session.SendToBack();
}

void TMeishi::aSavePictureClick()
{
    auto *obj = dynamic_cast<GraphicObject *>(session.Selection());
    if (!obj)
        return;
    if (!obj->GetPicture() || obj->GetPicture()->Empty()) {
        dialogs.ShowInfo(
            this, QStringLiteral("QR コードの画像がありません。名前や電話番号などを入力すると QR "
                                 "コードができます。"));
        return;
    }
    Dialogs::FileDialog fd{kBmpFilter, QStringLiteral(".bmp"), QString(), QString()};
    std::optional<QString> path = dialogs.SaveFile(this, fd);
    if (!path)
        return;
    if (QFileInfo(*path).suffix().isEmpty())
        *path += QStringLiteral(".bmp");
    SaveQrPictureBmp(*obj->GetPicture(), *path);
}

bool TMeishi::AskToSaveChanges()
{
    if (!session.Modified())
        return true;
    switch (dialogs.AskYesNoCancel(
        this, QStringLiteral("内容が変更されています。変更を保存しますか？"), kTitle)) {
    case Dialogs::Answer::Cancel:
        return false;
    case Dialogs::Answer::Yes:
        // As Ctrl+S: to the card's own file when it has one.
        return SaveCard();
    case Dialogs::Answer::No:
        return true;
    }
    return false;
}

bool TMeishi::SaveCardAs()
{
    Dialogs::FileDialog fd{kCardFilter, QStringLiteral(".pkd"), QString(), lastSaveName};
    std::optional<QString> path = dialogs.SaveFile(this, fd);
    if (!path)
        return false;
    if (QFileInfo(*path).suffix().isEmpty())
        *path += QStringLiteral(".pkd");
    lastSaveName = *path;
    writeCard(*path);
    return true;
}

bool TMeishi::SaveCard()
{
    if (fileName.isEmpty())
        return SaveCardAs();
    writeCard(fileName);
    return true;
}

void TMeishi::writeCard(const QString &path)
{
    // A failed save leaves the old file as it was and the card still counts
    // as modified.
    try {
        files::WriteWholeFile(path, session.SaveBytes());
    } catch (const FileError &e) {
        throw CardError(QStringLiteral("%1 に保存できません: %2")
                            .arg(QDir::toNativeSeparators(path), e.Cause())
                            .toStdString());
    }
    fileName = path;
    session.Saved();
    updateTitle();
}

void TMeishi::OpenCard()
{
    Dialogs::FileDialog fd{kCardFilter, QStringLiteral(".pkd"), QString(), QString()};
    const std::optional<QString> path = dialogs.OpenFile(this, fd);
    if (path)
        OpenCardFile(*path);
}

void TMeishi::OpenCardArgument(const QString &path)
{
    guarded([&] { OpenCardFile(path); });
}

void TMeishi::OpenCardFile(const QString &path)
{
    QByteArray bytes;
    try {
        bytes = files::ReadWholeFile(path, files::kCardFileLimit);
    } catch (const FileError &e) {
        throw CardError(QStringLiteral("%1 を開けません: %2")
                            .arg(QDir::toNativeSeparators(path), e.Cause())
                            .toStdString());
    }
    SetSelection(nullptr);
    EditSession::LoadResult result;
    try {
        result = session.LoadBytes(bytes);
    } catch (const CardError &e) {
        RefreshCanvas();
        throw CardError(QStringLiteral("%1 を読めません。カードは開く前のままです。\n%2")
                            .arg(QDir::toNativeSeparators(path), QString::fromUtf8(e.what()))
                            .toStdString());
    }
    if (result == EditSession::LoadResult::NotACard) {
        RefreshCanvas();
        dialogs.ShowInfo(
            this,
            QStringLiteral("%1 は Plakuro のカードデータではありません。カードは開く前のままです。")
                .arg(QDir::toNativeSeparators(path)));
        return;
    }
    FillFieldsFromCard();
    fileName = path;
    updateTitle();
    ShowDrawProblems();
}

void TMeishi::ToolButton1Click()
{
    if (AskToSaveChanges()) {
        ClearCard();
        fileName.clear();
        updateTitle();
    }
}

void TMeishi::ToolButton2Click()
{
    if (AskToSaveChanges())
        OpenCard();
}

void TMeishi::ToolButton3Click()
{
    SaveCardAs();
}

void TMeishi::ToolButton4Click()
{
    const std::optional<std::string> url = ReadHelpUrl();
    if (url) {
        if (!url->empty())
            dialogs.OpenAddress(sjis::toUnicode(*url));
        return;
    }
    const QString manual = FindManual(programDir);
    if (manual.isEmpty()) {
        dialogs.ShowInfo(this, QStringLiteral("マニュアル (manual.html) が見つかりません。"
                                              "Plakuro をインストールし直すか、"
                                              "plakuro.INI の [help] の url にヘルプのアドレスを"
                                              "書いてください。"));
        return;
    }
    dialogs.OpenAddress(QUrl::fromLocalFile(manual).toString(QUrl::FullyEncoded));
}

bool TMeishi::FormCloseQuery()
{
    try {
        SavePrintSpace(session.Space());
        SaveWindowPlace(CurrentWindowPlace());
    } catch (const std::exception &e) {
        // Reported, and closing goes on: an unwritable settings file must not
        // keep the window from closing.
        dialogs.ShowError(this, errorText(e));
    }
    return AskToSaveChanges();
}

void TMeishi::closeEvent(QCloseEvent *e)
{
    bool canClose = false;
    guarded([&] { canClose = FormCloseQuery(); });
    if (canClose)
        e->accept();
    else
        e->ignore();
}

void TMeishi::printWith(const PrintSpace &space)
{
    // A two-sided sheet offers the matching duplex setting; the user may
    // still choose another (or none, to feed the sheet again by hand).
    if (!space.back.file.isEmpty())
        printer.setDuplex(space.back.shortEdge ? QPrinter::DuplexShortSide
                                               : QPrinter::DuplexLongSide);
    if (!dialogs.PrinterSetup(this, printer))
        return;
    const std::unique_ptr<BackCard> back =
        ReadBackCard(this, dialogs, space.back, QStringLiteral("表だけを印刷します。"));
    // Checked against the printer just chosen: its paper decides what is cut off.
    const QString off = OffPaperMessage(CellsOffPaper(printer, space, back != nullptr));
    if (!off.isEmpty() &&
        dialogs.AskYesNoCancel(this, off + QStringLiteral("。\nこのまま印刷しますか？"), kTitle) !=
            Dialogs::Answer::Yes)
        return;
    PrintSheet(printer, MakeDrawingOrder(session.Card()), space, back ? &back->Order() : nullptr);
}

void TMeishi::bPrintoutClick()
{
    printWith(session.Space());
}

void TMeishi::MergeClick()
{
    dialogs.Merge(this, session, printer);
}

void TMeishi::TemplatesClick()
{
    dialogs.Templates(this, session, programDir);
}

void TMeishi::SaveAsTemplateClick()
{
    const QString name = SaveCardAsTemplate(this, session, dialogs);
    if (!name.isEmpty())
        cDebug->showMessage(
            QStringLiteral(
                "テンプレート「%1」を保存しました (「テンプレート…」の「自分のテンプレート」)")
                .arg(name),
            8000);
}

void TMeishi::bPrintClick()
{
    bPrintoutClick();
}

void TMeishi::bPreviewClick()
{
    const DrawingOrder order = MakeDrawingOrder(session.Card());
    PrintSpace space = session.Space();
    // The preview prints with the values applied in it, so what is printed
    // is what was shown.
    dialogs.Preview(this, order, printer.pageLayout(), space,
                    [this](const PrintSpace &with) { guarded([&] { printWith(with); }); });
    session.SetSpace(space);
}

void TMeishi::bPrintOptionClick()
{
    PrintSpace space = session.Space();
    dialogs.PrintOptions(this, space);
    session.SetSpace(space);
}
