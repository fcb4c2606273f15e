#include "app/meishi.h"
#include "app/artwork.h"
#include "app/dialogs.h"
#include "app/printing.h"
#include "card/defaultcard.h"
#include "card/errors.h"
#include "card/files.h"
#include "card/object.h"
#include "card/sjis.h"
#include "qr/qrcode.h"
#include "settings/printspace.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QToolButton>

namespace {

const QString kTitle = QStringLiteral("Plakuro");
const QString kCardFilter = QStringLiteral("Plakuroデータ(*.pkd)|*.pkd");
const QString kPictureFilter = QStringLiteral(
    "すべてのファイル (*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf)|*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf|"
    "JPEG イメージファイル (*.jpg)|*.jpg|JPEG イメージファイル (*.jpeg)|*.jpeg|"
    "ビットマップ (*.bmp)|*.bmp");
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
}

void CanvasWidget::setImage(const QImage *img)
{
    image = img;
    update();
}

void CanvasWidget::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    if (image)
        p.drawImage(0, 0, *image);
    else
        p.fillRect(rect(), Qt::white);
}

void CanvasWidget::mousePressEvent(QMouseEvent *e)
{
    if (onMouseDown)
        onMouseDown(e->button(), e->position().toPoint().x(), e->position().toPoint().y());
}

void CanvasWidget::mouseMoveEvent(QMouseEvent *e)
{
    if (onMouseMove)
        onMouseMove(e->position().toPoint().x(), e->position().toPoint().y());
}

void CanvasWidget::mouseReleaseEvent(QMouseEvent *e)
{
    if (onMouseUp)
        onMouseUp(e->button(), e->position().toPoint().x(), e->position().toPoint().y());
}

TMeishi::TMeishi(Dialogs &dlgs, QWidget *parent) : QWidget(parent), dialogs(dlgs)
{
    // The collection and the converter exist (in `editor`) before the
    // controls; FormCreate then fills them.
    setObjectName("Meishi");
    setWindowTitle(kTitle);
    setFont(WindowFont());
    setFixedSize(897, 461);
    buildControls();
    guarded([this] { FormCreate(); });
}

TMeishi::~TMeishi()
{
    editor.onCanvasChanged = nullptr;
    editor.onCommandsChanged = nullptr;
    editor.onQrOverflow = nullptr;
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
    auto *border = place<QFrame>(this, "aPanelBorder", 245, 43, 647, 392);
    border->setFrameStyle(QFrame::Box | QFrame::Plain);
    border->setLineWidth(1);
    aPanel = place<QFrame>(this, "aPanel", 246, 44, 645, 390);
    aPanel->setAutoFillBackground(true);
    QPalette pal = aPanel->palette();
    pal.setColor(QPalette::Window, Qt::white);
    aPanel->setPalette(pal);
    aPanel->setFocusPolicy(Qt::NoFocus);
    cCanvas = place<CanvasWidget>(aPanel, "cCanvas", 0, 0, 645, 390);
    cCanvas->setCursor(Qt::ArrowCursor);

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

    cCanvas->setImage(&editor.Canvas());
    cCanvas->onMouseDown = [this](Qt::MouseButton b, int x, int y) {
        guarded([&] { cCanvasMouseDown(b, x, y); });
    };
    cCanvas->onMouseMove = [this](int x, int y) { guarded([&] { cCanvasMouseMove(x, y); }); };
    cCanvas->onMouseUp = [this](Qt::MouseButton b, int x, int y) {
        guarded([&] { cCanvasMouseUp(b, x, y); });
    };
    editor.onCanvasChanged = [this] { cCanvas->update(); };
    // Typing goes on: the frame on the canvas stays while the text is too
    // long, and this line says it once when it happens.
    editor.onQrOverflow = [this] {
        cDebug->showMessage(
            QStringLiteral(
                "QR コードに入りきりません。QR コードにする項目の文字を減らしてください。"),
            10000);
    };
    editor.onCommandsChanged = [this](const CardEditor::Commands &c) {
        bFont->setEnabled(c.text);
        aPopupMenuFont->setEnabled(c.text);
        aPopupMenuColor->setEnabled(c.text);
        aSavePicture->setEnabled(c.qrPicture);
    };

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
    for (int left : {115, 146, 177}) {
        auto *sep = place<QFrame>(ToolBar1, "", left + 3, 4, 2, 19);
        sep->setFrameStyle(QFrame::VLine | QFrame::Sunken);
    }
    bFont->setEnabled(false);
    // Hints are off in this window, so the hint is kept but never shown.
    bFont->setProperty("hint", QStringLiteral("フォントの変更"));
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
}

std::array<QLineEdit *, 14> TMeishi::ClearOrder() const
{
    return {eName, eFuri, eCorp, eBusho, eYaku,   ePostNo, eAddress,
            eTel,  eFax,  eURL,  eMail,  eMobile, eMemo1,  eMemo2};
}

void TMeishi::FormCreate()
{
    LoadPrintSpace(space);
    editor.screen.SetWidth(aPanel->width());
    editor.BuildDefaultCard();
    for (QLineEdit *e : ClearOrder())
        connect(e, &QLineEdit::textChanged, this, [this, e] { guarded([&] { EditChanged(e); }); });
    for (QPushButton *button : {bPicture, bBackPicture})
        connect(button, &QPushButton::clicked, this,
                [this, button] { guarded([&] { PictureButtonClick(button); }); });
    editor.Dragging = false;
    dialogs.RunSplash(this);
    editor.Modified = false;
}

void TMeishi::showEvent(QShowEvent *e)
{
    if (!centred) {
        centred = true;
        if (QScreen *screen = QGuiApplication::primaryScreen()) {
            const QRect g = screen->availableGeometry();
            const QRect frame = frameGeometry();
            move(g.center() - QPoint(frame.width() / 2, frame.height() / 2));
        }
    }
    QWidget::showEvent(e);
}

void TMeishi::EditChanged(QLineEdit *edit)
{
    editor.EditChanged(edit->objectName().toStdString(), sjis::fromUnicode(edit->text()));
}

QLabel *TMeishi::nameBoxFor(QPushButton *button) const
{
    return button == bPicture ? tPicture : tBackPicture;
}

void TMeishi::PictureButtonClick(QPushButton *button)
{
    auto *obj = dynamic_cast<GraphicObject *>(editor.card.Find(button->objectName().toStdString()));
    if (!obj)
        throw CardError("カードに画像のオブジェクトがありません");
    QLabel *nameBox = nameBoxFor(button);
    if (obj->IsVisible()) {
        obj->SetVisible(false);
        nameBox->clear();
        button->setText(kBrowse);
        editor.Modified = true;
        RefreshCanvas();
        return;
    }
    Dialogs::FileDialog fd{kPictureFilter, QString(),
                           QDir::current().filePath(QStringLiteral("名刺背景")), QString(), true};
    const std::optional<QString> path = dialogs.OpenFile(this, fd);
    if (!path)
        return;
    std::unique_ptr<Picture> picture = LoadPictureFile(*path);
    if (!picture) {
        dialogs.ShowInfo(
            this,
            QStringLiteral("使える画像は JPEG (.jpg, .jpeg) とビットマップ (.bmp) だけです。"));
        return;
    }
    const std::string source = sjis::fromUnicode(QDir::toNativeSeparators(*path));
    obj->SetPicture(std::move(picture), editor.screen, source);
    nameBox->setText(QFileInfo(*path).fileName());
    obj->SetVisible(true);
    button->setText(kRemove);
    editor.Modified = true;
    RefreshCanvas();
    ShowDrawProblems();
}

void TMeishi::RefreshCanvas()
{
    editor.RefreshCanvas();
}

void TMeishi::ShowDrawProblems()
{
    QStringList lines;
    for (const std::string &problem : DrawProblems(editor.card))
        lines << QString::fromUtf8(problem);
    if (!lines.isEmpty())
        dialogs.ShowError(this,
                          lines.join(u'\n') + QStringLiteral("\nほかの部分は描いてあります。"));
}

void TMeishi::ClearCard()
{
    for (QLineEdit *e : ClearOrder())
        if (auto *obj = dynamic_cast<TextObject *>(editor.card.Find(e->objectName().toStdString())))
            obj->SetText(std::string());
    for (QLineEdit *e : ClearOrder())
        e->setText(QString());
    tBackPicture->clear();
    tPicture->clear();
    for (const char *key : {kBackPictureKey, kPictureKey})
        if (Object *obj = editor.card.Find(key))
            obj->SetVisible(false);
    // Both pictures are hidden now, so both buttons choose one again.
    bBackPicture->setText(kBrowse);
    bPicture->setText(kBrowse);
    SetSelection(nullptr);
    editor.UpdateQrCode();
    RefreshCanvas();
    editor.Modified = false;
}

void TMeishi::FillFieldsFromCard()
{
    for (QLineEdit *e : ClearOrder())
        if (auto *obj = dynamic_cast<TextObject *>(editor.card.Find(e->objectName().toStdString())))
            e->setText(sjis::toUnicode(obj->GetText()));
    auto fill = [this](const char *key, QLabel *box, QPushButton *button) {
        auto *obj = dynamic_cast<GraphicObject *>(editor.card.Find(key));
        box->setText(obj ? sjis::toUnicode(sjis::fileNamePart(obj->Source())) : QString());
        // The caption follows the object, since the click acts by its flag.
        button->setText(obj && obj->IsVisible() ? kRemove : kBrowse);
    };
    fill(kBackPictureKey, tBackPicture, bBackPicture);
    fill(kPictureKey, tPicture, bPicture);
    editor.UpdateQrCode();
    RefreshCanvas();
    editor.Modified = false;
}

void TMeishi::cCanvasMouseDown(Qt::MouseButton button, int X, int Y)
{
    SetSelection(editor.HitTestPixel(X, Y));
    RefreshCanvas();
    if (button == Qt::RightButton && editor.Selection) {
        aPopupMenu->popup(cCanvas->mapToGlobal(QPoint(X, Y)));
    }
    if (button == Qt::LeftButton && editor.Selection) {
        TRect r;
        editor.Selection->GetRect(r);
        editor.DragOffsetX = editor.screen.ToModel(X) - r.left;
        editor.DragOffsetY = editor.screen.ToModel(Y) - r.top;
        editor.Dragging = true;
    }
}

void TMeishi::cCanvasMouseMove(int X, int Y)
{
    if (editor.Selection && editor.Dragging)
        editor.DragSelection(X, Y, false);
}

void TMeishi::cCanvasMouseUp(Qt::MouseButton, int X, int Y)
{
    if (editor.Selection && editor.Dragging)
        editor.DragSelection(X, Y, true);
    editor.Dragging = false;
}

void TMeishi::SetSelection(Object *obj)
{
    editor.SetSelection(obj);
}

void TMeishi::ToolButton7Click()
{
    editor.ToggleQr();
}

void TMeishi::bFontClick()
{
    auto *obj = dynamic_cast<TextObject *>(editor.Selection);
    if (!obj)
        return;
    Font before;
    obj->GetFont(before);
    const std::optional<QFont> chosen = dialogs.ChooseFont(this, DialogFontFor(before));
    if (!chosen)
        return;
    const Font after = fontFromQFont(*chosen, before);
    if (after == before)
        return;
    obj->SetFont(after);
    editor.Modified = true;
    RefreshCanvas();
}

void TMeishi::aPopupMenuFontClick()
{
    bFontClick();
}

void TMeishi::aPopupMenuColorClick()
{
    auto *obj = dynamic_cast<TextObject *>(editor.Selection);
    if (!obj)
        return;
    std::int32_t color = obj->GetColor();
    if (!dialogs.ChooseColor(this, color))
        return;
    editor.Modified |= color != obj->GetColor();
    obj->SetColor(color);
    RefreshCanvas();
}

void TMeishi::N2Click()
{
    editor.BringToFront();
}

void TMeishi::N3Click()
{
    editor.BringForward();
}

void TMeishi::N4Click()
{
    editor.SendBackward();
}

void TMeishi::N5Click()
{
    editor.SendToBack();
}

void TMeishi::aSavePictureClick()
{
    auto *obj = dynamic_cast<GraphicObject *>(editor.Selection);
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
    if (!editor.Modified)
        return true;
    switch (dialogs.AskYesNoCancel(
        this, QStringLiteral("内容が変更されています。変更を保存しますか？"), kTitle)) {
    case Dialogs::Answer::Cancel:
        return false;
    case Dialogs::Answer::Yes:
        return SaveCardAs();
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
    // A failed save leaves the old file as it was and the card still counts
    // as modified.
    try {
        files::WriteWholeFile(*path, editor.SaveBytes());
    } catch (const FileError &e) {
        throw CardError(QStringLiteral("%1 に保存できません: %2")
                            .arg(QDir::toNativeSeparators(*path), e.Cause())
                            .toStdString());
    }
    editor.Modified = false;
    return true;
}

void TMeishi::OpenCard()
{
    Dialogs::FileDialog fd{kCardFilter, QStringLiteral(".pkd"), QString(), QString()};
    const std::optional<QString> path = dialogs.OpenFile(this, fd);
    if (!path)
        return;
    QByteArray bytes;
    try {
        bytes = files::ReadWholeFile(*path);
    } catch (const FileError &e) {
        throw CardError(QStringLiteral("%1 を開けません: %2")
                            .arg(QDir::toNativeSeparators(*path), e.Cause())
                            .toStdString());
    }
    SetSelection(nullptr);
    CardEditor::LoadResult result;
    try {
        result = editor.LoadBytes(bytes);
    } catch (const CardError &e) {
        RefreshCanvas();
        throw CardError(QStringLiteral("%1 を読めません。カードは開く前のままです。\n%2")
                            .arg(QDir::toNativeSeparators(*path), QString::fromUtf8(e.what()))
                            .toStdString());
    }
    if (result == CardEditor::LoadResult::NotACard) {
        RefreshCanvas();
        dialogs.ShowInfo(
            this,
            QStringLiteral("%1 は Plakuro のカードデータではありません。カードは開く前のままです。")
                .arg(QDir::toNativeSeparators(*path)));
        return;
    }
    FillFieldsFromCard();
    ShowDrawProblems();
}

void TMeishi::ToolButton1Click()
{
    if (AskToSaveChanges())
        ClearCard();
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
    const std::string url = ReadHelpUrl();
    if (!url.empty())
        dialogs.OpenAddress(sjis::toUnicode(url));
}

bool TMeishi::FormCloseQuery()
{
    try {
        SavePrintSpace(space);
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

void TMeishi::printWith(const PrintSpace &with)
{
    if (!dialogs.PrinterSetup(this, printer))
        return;
    ZObjectsCommand z;
    editor.card.ForEach(z);
    PrintSheet(printer, z.Order(), with);
}

void TMeishi::bPrintoutClick()
{
    printWith(space);
}

void TMeishi::bPrintClick()
{
    bPrintoutClick();
}

void TMeishi::bPreviewClick()
{
    ZObjectsCommand z;
    editor.card.ForEach(z);
    // The preview prints with the values applied in it, so what is printed
    // is what was shown.
    dialogs.Preview(this, z.Order(), printer.pageLayout(), space,
                    [this](const PrintSpace &with) { guarded([&] { printWith(with); }); });
}

void TMeishi::bPrintOptionClick()
{
    dialogs.PrintOptions(this, space);
}
