// The window's commands for objects the user adds: the toolbar group that
// adds them, the canvas menu, 「整列」, and the object menu's text, shape and
// clipboard items.
#include "app/arguments.h"
#include "app/dialogs.h"
#include "app/lostmark.h"
#include "app/meishi.h"
#include "card/freetext.h"
#include "card/object.h"
#include "card/shape.h"
#include "card/sjis.h"

#include <QAction>
#include <QEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QScrollArea>
#include <QStatusBar>
#include <QToolButton>
#include <QUndoStack>

namespace {

// The pictures of the group, drawn as the toolbar's others are: 16 x 16 on
// a transparent ground.
enum class ToolIcon
{
    Text,
    Line,
    Rect,
    Ellipse,
    Picture,
    Align,
    Merge,
    Template
};

QIcon toolIcon(ToolIcon which)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(0x20, 0x20, 0x20);
    const QColor fill(0xA8, 0xC8, 0xF0);
    p.setPen(QPen(ink, 1.2));
    switch (which) {
    case ToolIcon::Text: {
        // A T over two lines of text.
        p.setRenderHint(QPainter::Antialiasing, false);
        p.fillRect(QRect(2, 1, 12, 2), ink);
        p.fillRect(QRect(7, 1, 2, 9), ink);
        p.fillRect(QRect(1, 12, 14, 1), QColor(0x60, 0x60, 0x60));
        p.fillRect(QRect(1, 14, 10, 1), QColor(0x60, 0x60, 0x60));
        break;
    }
    case ToolIcon::Line:
        p.setPen(QPen(ink, 1.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(2.5, 13.5), QPointF(13.5, 2.5));
        break;
    case ToolIcon::Rect:
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(ink);
        p.setBrush(fill);
        p.drawRect(QRect(1, 3, 13, 10));
        break;
    case ToolIcon::Ellipse:
        p.setBrush(fill);
        p.drawEllipse(QRectF(1.5, 3.5, 13, 9));
        break;
    case ToolIcon::Picture: {
        // A framed landscape: a hill and the sun.
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(ink);
        p.setBrush(QColor(0xE8, 0xF4, 0xFF));
        p.drawRect(QRect(1, 2, 13, 11));
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x40, 0xA0, 0x40));
        QPainterPath hill;
        hill.moveTo(2, 13);
        hill.lineTo(6.5, 6.5);
        hill.lineTo(10, 10.5);
        hill.lineTo(11.5, 9);
        hill.lineTo(14, 13);
        hill.closeSubpath();
        p.drawPath(hill);
        p.setBrush(QColor(0xF0, 0xA0, 0x20));
        p.drawEllipse(QRectF(9.5, 3.5, 3, 3));
        break;
    }
    case ToolIcon::Align:
        // Bars of three lengths against a left edge.
        p.setRenderHint(QPainter::Antialiasing, false);
        p.fillRect(QRect(1, 1, 1, 14), ink);
        p.fillRect(QRect(3, 3, 11, 3), fill.darker(130));
        p.fillRect(QRect(3, 10, 7, 3), fill.darker(130));
        break;
    case ToolIcon::Merge:
        // Three cards fanned out, each with its own name line.
        p.setRenderHint(QPainter::Antialiasing, false);
        for (int i = 2; i >= 0; --i) {
            const QRect card(1 + i * 2, 2 + i * 3, 11, 7);
            p.setPen(ink);
            p.setBrush(i == 0 ? QColor(Qt::white) : fill);
            p.drawRect(card);
            p.fillRect(QRect(card.left() + 2, card.top() + 2, 6 - i, 1), ink);
        }
        break;
    case ToolIcon::Template:
        // Four small cards, each laid out its own way.
        p.setRenderHint(QPainter::Antialiasing, false);
        for (int i = 0; i < 4; ++i) {
            const QRect card(1 + (i % 2) * 8, 2 + (i / 2) * 7, 6, 5);
            p.setPen(ink);
            p.setBrush(i == 0 ? fill : QColor(Qt::white));
            p.drawRect(card);
        }
        p.fillRect(QRect(11, 4, 3, 1), ink);
        p.fillRect(QRect(3, 11, 1, 3), ink);
        p.fillRect(QRect(10, 12, 4, 1), QColor(0xC0, 0x30, 0x30));
        break;
    }
    return QIcon(pm);
}

// A double click on an added text or a shape opens its dialog, once the
// press and release it brings have been handled (the press selects it).
class DoubleClickOpens : public QObject
{
public:
    explicit DoubleClickOpens(TMeishi *window) : QObject(window), window(window) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::MouseButtonDblClick) {
            auto *e = static_cast<QMouseEvent *>(event);
            const QPoint at = e->position().toPoint();
            pending = e->button() == Qt::LeftButton ? window->Session().HitTestPixel(at.x(), at.y())
                                                    : nullptr;
        } else if (event->type() == QEvent::MouseButtonRelease && pending) {
            Object *hit = pending;
            pending = nullptr;
            QPointer<TMeishi> w(window);
            QMetaObject::invokeMethod(
                window,
                [w, hit] {
                    if (!w)
                        return;
                    const EditSession &s = w->Session();
                    if (s.SelectedObjects().size() != 1 || s.Selection() != hit)
                        return;
                    if (dynamic_cast<FreeText *>(hit))
                        w->EditFreeText();
                    else if (dynamic_cast<ShapeObject *>(hit))
                        w->FormatShape();
                },
                Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    TMeishi *window;
    Object *pending = nullptr;
};

} // namespace

void TMeishi::buildObjectTools()
{
    struct Add
    {
        KindId kind;
        const char *button;
        const char *action;
        ToolIcon icon;
    };
    const Add adds[] = {
        {KindId::Text, "bAddText", "aAddText", ToolIcon::Text},
        {KindId::Line, "bAddLine", "aAddLine", ToolIcon::Line},
        {KindId::Rect, "bAddRect", "aAddRect", ToolIcon::Rect},
        {KindId::Ellipse, "bAddEllipse", "aAddEllipse", ToolIcon::Ellipse},
        {KindId::Picture, "bAddPicture", "aAddPicture", ToolIcon::Picture},
    };
    auto caption = [](KindId id) {
        for (const ObjectKind &k : ObjectKinds())
            if (k.id == id)
                return QString::fromUtf8(k.caption);
        return QString();
    };

    // The group follows the step buttons, after a separator as the
    // toolbar's other groups are.
    constexpr int kGroupLeft = 270;
    auto separator = [this](int left) {
        auto *sep = new QFrame(ToolBar1);
        sep->setGeometry(left, 4, 2, 19);
        sep->setFrameStyle(QFrame::VLine | QFrame::Sunken);
    };
    separator(kGroupLeft - 5);
    mCanvas = new QMenu(this);
    mCanvas->setObjectName("mCanvas");
    for (std::size_t i = 0; i < std::size(adds); ++i) {
        const Add &a = adds[i];
        const bool picture = a.kind == KindId::Picture;
        const QString name = picture ? QStringLiteral("画像") : caption(a.kind);
        auto run = [this, kind = a.kind, picture] {
            guarded([&] {
                if (picture)
                    AddPictureClick();
                else
                    AddObjectClick(kind);
            });
        };
        auto *t = new QToolButton(ToolBar1);
        t->setObjectName(QString::fromLatin1(a.button));
        t->setGeometry(kGroupLeft + int(i) * 23, 2, 23, 23);
        t->setIcon(toolIcon(a.icon));
        t->setIconSize(QSize(16, 16));
        t->setAutoRaise(true);
        t->setFocusPolicy(Qt::NoFocus);
        t->setToolTip(picture ? QStringLiteral("画像を追加…") : name + QStringLiteral("を追加"));
        connect(t, &QToolButton::clicked, this, run);
        bAdd[i] = t;

        QAction *act =
            mCanvas->addAction(toolIcon(a.icon), picture ? name + QStringLiteral("…") : name);
        act->setObjectName(QString::fromLatin1(a.action));
        connect(act, &QAction::triggered, this, run);
        aAdd[i] = act;
    }
    mCanvas->addSeparator();
    auto menuItem = [this](QMenu *menu, const char *name, const QString &caption, auto slot) {
        QAction *act = menu->addAction(caption);
        act->setObjectName(QString::fromLatin1(name));
        connect(act, &QAction::triggered, this, [this, slot] { guarded(slot); });
        return act;
    };
    aCanvasPaste = menuItem(mCanvas, "aCanvasPaste", QStringLiteral("貼り付け\tCtrl+V"),
                            [this] { PasteClipboard(); });
    mCanvas->addSeparator();
    aMerge = menuItem(mCanvas, "aMerge", QStringLiteral("差し込み印刷…\tCtrl+M"),
                      [this] { MergeClick(); });
    aMerge->setIcon(toolIcon(ToolIcon::Merge));
    mCanvas->addSeparator();
    aTemplates = menuItem(mCanvas, "aTemplates", QStringLiteral("テンプレート…\tCtrl+Shift+N"),
                          [this] { TemplatesClick(); });
    aTemplates->setIcon(toolIcon(ToolIcon::Template));
    aSaveTemplate = menuItem(mCanvas, "aSaveTemplate", QStringLiteral("テンプレートとして保存…"),
                             [this] { SaveAsTemplateClick(); });
    mCanvas->addSeparator();
    aAbout = menuItem(mCanvas, "aAbout", QStringLiteral("Plakuro について…"), [this] {
        dialogs.ShowInfo(this, QStringLiteral("Plakuro %1\n名刺と QR コードのデザイン・印刷\n\n"
                                              "Copyright (c) 2026 The Plakuro developers\n"
                                              "MIT ライセンス")
                                   .arg(ProgramVersion()));
    });

    // 「整列」: one menu behind the toolbar's drop-down and in the object menu.
    mAlign = new QMenu(QStringLiteral("整列"), this);
    mAlign->setObjectName("mAlign");
    using Mode = EditSession::AlignMode;
    auto align = [&](const char *name, const QString &text, Mode mode, bool toCard) {
        return menuItem(mAlign, name, text,
                        [this, mode, toCard] { session.AlignSelection(mode, toCard); });
    };
    aAlignLeft = align("aAlignLeft", QStringLiteral("左揃え"), Mode::Left, false);
    aAlignHCenter = align("aAlignHCenter", QStringLiteral("左右中央揃え"), Mode::HCenter, false);
    aAlignRight = align("aAlignRight", QStringLiteral("右揃え"), Mode::Right, false);
    aAlignTop = align("aAlignTop", QStringLiteral("上揃え"), Mode::Top, false);
    aAlignVCenter = align("aAlignVCenter", QStringLiteral("上下中央揃え"), Mode::VCenter, false);
    aAlignBottom = align("aAlignBottom", QStringLiteral("下揃え"), Mode::Bottom, false);
    mAlign->addSeparator();
    aCardHCenter = align("aCardHCenter", QStringLiteral("カードの左右中央"), Mode::HCenter, true);
    aCardVCenter = align("aCardVCenter", QStringLiteral("カードの上下中央"), Mode::VCenter, true);
    mAlign->addSeparator();
    aSpreadAcross = menuItem(mAlign, "aSpreadAcross", QStringLiteral("左右に等間隔"),
                             [this] { session.DistributeSelection(true); });
    aSpreadDown = menuItem(mAlign, "aSpreadDown", QStringLiteral("上下に等間隔"),
                           [this] { session.DistributeSelection(false); });
    mAlign->setToolTipsVisible(true);

    const int alignLeft = kGroupLeft + int(std::size(adds)) * 23 + 8;
    separator(alignLeft - 5);
    bAlign = new QToolButton(ToolBar1);
    bAlign->setObjectName("bAlign");
    bAlign->setGeometry(alignLeft, 2, 32, 23);
    bAlign->setIcon(toolIcon(ToolIcon::Align));
    bAlign->setIconSize(QSize(16, 16));
    bAlign->setAutoRaise(true);
    bAlign->setFocusPolicy(Qt::NoFocus);
    bAlign->setMenu(mAlign);
    bAlign->setPopupMode(QToolButton::InstantPopup);
    bAlign->setToolTip(QStringLiteral("整列 (選んだオブジェクトを揃える、等間隔に並べる)"));

    // 「差し込み印刷」 after its own separator: it prints, but for many people.
    const int mergeLeft = alignLeft + 32 + 8;
    separator(mergeLeft - 5);
    bMerge = new QToolButton(ToolBar1);
    bMerge->setObjectName("bMerge");
    bMerge->setGeometry(mergeLeft, 2, 23, 23);
    bMerge->setIcon(toolIcon(ToolIcon::Merge));
    bMerge->setIconSize(QSize(16, 16));
    bMerge->setAutoRaise(true);
    bMerge->setFocusPolicy(Qt::NoFocus);
    bMerge->setToolTip(
        QStringLiteral("差し込み印刷… (名簿の一人ひとりのカードを印刷、PDF に保存) Ctrl+M"));
    connect(bMerge, &QToolButton::clicked, this, [this] { guarded([this] { MergeClick(); }); });

    // 「テンプレート」 beside it: a whole new design for the card. The buttons
    // from New to Help keep their places, so it sits with the added tools.
    bTemplate = new QToolButton(ToolBar1);
    bTemplate->setObjectName("bTemplate");
    bTemplate->setGeometry(mergeLeft + 23, 2, 23, 23);
    bTemplate->setIcon(toolIcon(ToolIcon::Template));
    bTemplate->setIconSize(QSize(16, 16));
    bTemplate->setAutoRaise(true);
    bTemplate->setFocusPolicy(Qt::NoFocus);
    bTemplate->setToolTip(
        QStringLiteral("テンプレート… (入力した文字のまま、カードのデザインを選ぶ) Ctrl+Shift+N"));
    connect(bTemplate, &QToolButton::clicked, this,
            [this] { guarded([this] { TemplatesClick(); }); });

    // The object menu: after its own items, before the QR code's formats.
    aPopupMenu->addSeparator();
    aEditText = menuItem(aPopupMenu, "aEditText", QStringLiteral("テキストの編集…"),
                         [this] { EditFreeText(); });
    aShapeFormat = menuItem(aPopupMenu, "aShapeFormat", QStringLiteral("図形の書式…"),
                            [this] { FormatShape(); });
    aPopupMenu->addMenu(mAlign);
    aPopupMenu->addSeparator();
    // The keys are bound on the window; the items only show them.
    aCut = menuItem(aPopupMenu, "aCut", QStringLiteral("切り取り\tCtrl+X"),
                    [this] { CutSelection(); });
    aCopy = menuItem(aPopupMenu, "aCopy", QStringLiteral("コピー\tCtrl+C"),
                     [this] { CopySelection(); });
    aPaste = menuItem(aPopupMenu, "aPaste", QStringLiteral("貼り付け\tCtrl+V"),
                      [this] { PasteClipboard(); });
    aDuplicate = menuItem(aPopupMenu, "aDuplicate", QStringLiteral("複製\tCtrl+D"),
                          [this] { DuplicateSelection(); });
    aDelete = menuItem(aPopupMenu, "aDelete", QStringLiteral("削除\tDelete"),
                       [this] { DeleteSelection(); });

    for (QMenu *menu : {aPopupMenu, mCanvas})
        connect(menu, &QMenu::aboutToShow, this, [this] {
            const bool has = clipboardHasObjects();
            aPaste->setEnabled(has);
            aCanvasPaste->setEnabled(has);
        });
    cCanvas->installEventFilter(new DoubleClickOpens(this));
    showObjectCommands(session.CommandsFor(session.Selection()));
}

void TMeishi::showObjectCommands(const EditSession::Commands &c)
{
    aEditText->setEnabled(c.freeText);
    aShapeFormat->setEnabled(c.shape);
    const bool any = c.selected > 0;
    for (QAction *a : {aAlignLeft, aAlignHCenter, aAlignRight, aAlignTop, aAlignVCenter,
                       aAlignBottom, aCardHCenter, aCardVCenter})
        a->setEnabled(any);
    aSpreadAcross->setEnabled(c.selected >= 3);
    aSpreadDown->setEnabled(c.selected >= 3);
    bAlign->setEnabled(any);
    mAlign->menuAction()->setEnabled(any);
    aCut->setEnabled(c.deletable);
    aDelete->setEnabled(c.deletable);
    aCopy->setEnabled(any);
    aDuplicate->setEnabled(any);
}

TRect TMeishi::VisibleCardArea() const
{
    const QWidget *port = aPanel->viewport();
    const QRect shown =
        QRect(cCanvas->mapFrom(port, QPoint(0, 0)), port->size()).intersected(cCanvas->rect());
    const Converter &view = session.View();
    TRect area{view.ToModel(shown.left()), view.ToModel(shown.top()),
               view.ToModel(shown.left() + shown.width()),
               view.ToModel(shown.top() + shown.height())};
    const TRect card = geometry::kCard;
    area.left = std::max(area.left, card.left);
    area.top = std::max(area.top, card.top);
    area.right = std::min(area.right, card.right);
    area.bottom = std::min(area.bottom, card.bottom);
    if (shown.isEmpty() || area.right <= area.left || area.bottom <= area.top)
        return card;
    return area;
}

void TMeishi::AddObjectClick(KindId kind)
{
    session.AddNewObject(kind, VisibleCardArea());
}

void TMeishi::AddPictureClick()
{
    QString path;
    std::unique_ptr<Picture> picture = askForPicture(path);
    if (!picture)
        return;
    session.AddPicture(std::move(picture), path, {}, VisibleCardArea());
    ShowDrawProblems();
}

void TMeishi::ShowCanvasMenu(QPoint global)
{
    mCanvas->popup(global);
}

void TMeishi::EditFreeText()
{
    const auto *text = dynamic_cast<const FreeText *>(session.Selection());
    if (!text)
        return;
    Dialogs::FreeTextValues values{sjis::toUnicode(text->GetText()), text->GetAlign(),
                                   text->GetSpacing(), text->GetWidth()};
    const Dialogs::FreeTextValues was = values;
    if (!dialogs.EditFreeText(this, values))
        return;
    const bool lines = values.text != was.text;
    const bool layout =
        values.align != was.align || values.spacing != was.spacing || values.width != was.width;
    // Both changed: one step to take back, as the dialog was one edit.
    struct Macro
    {
        QUndoStack *stack;
        ~Macro()
        {
            if (stack)
                stack->endMacro();
        }
    } macro{lines && layout ? &session.UndoStack() : nullptr};
    if (macro.stack)
        macro.stack->beginMacro(QStringLiteral("テキストの編集"));
    if (lines)
        session.SetFreeText(values.text);
    if (layout)
        session.SetTextLayout(values.align, values.spacing, values.width);
    // The card keeps Shift-JIS: say which characters became '?'.
    if (const QString lost = EditSession::LostCharacters(values.text); lines && !lost.isEmpty())
        cDebug->showMessage(LostCharactersTip(lost), 10000);
}

void TMeishi::FormatShape()
{
    const auto *shape = dynamic_cast<const ShapeObject *>(session.Selection());
    if (!shape)
        return;
    Dialogs::ShapeValues values{shape->GetKind(), shape->Fill(), shape->Stroke(),
                                shape->StrokeWidth(), shape->Radius()};
    if (!dialogs.FormatShape(this, values))
        return;
    session.SetShapeStyle(values.fill, values.stroke, values.strokeWidth, values.radius);
}
