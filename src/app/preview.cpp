#include "app/preview.h"
#include "app/dialogs.h"
#include "app/previewcontrol.h"
#include "app/printing.h"
#include "app/printsetting.h"
#include "editor/backcard.h"
#include "print/pagerecorder.h"
#include "print/pdffile.h"
#include "print/sheet.h"

#include "card/font.h"
#include "card/objects.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QToolButton>

namespace {

constexpr int kToolBarHeight = 29;
constexpr int kPreviewTop = 30;

const QString kPdfFilter = QStringLiteral("PDF ファイル (*.pdf)|*.pdf");

// What the preview shows before it is given a card.
const DrawingOrder kNoCard;

QToolButton *makeSpeedButton(QWidget *parent, const char *name, const QString &text, int x,
                             int width)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setText(text);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setAutoRaise(true);
    button->setGeometry(x, 2, width, 20);
    return button;
}

QWidget *makeSeparator(QWidget *parent, int x)
{
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(x, 2, 8, 20);
    return line;
}

// Where the tool bar's message starts, without and with the 表/裏 switch.
// The zoom list is wider than described by this, for 「ページ全体」 and
// 「幅に合わせる」; what follows it on the tool bar moves right as much.
constexpr int kZoomExtra = 36;
constexpr int kMessageLeft = 350 + kZoomExtra;
const QString kWholePage = QStringLiteral("ページ全体");
const QString kPageWidth = QStringLiteral("幅に合わせる");
constexpr int kMessageLeftWithPages = 414 + kZoomExtra;

} // namespace

TPreview::TPreview(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TPreview"));
    setWindowTitle(QStringLiteral("印刷プレビュー"));
    setFont(WindowFont());
    // The form's outer size 486 x 458 holds a client area of 478 x 431, which
    // the tool bar and the preview control fill.
    move(281, 115);
    resize(478, 431);

    ToolBar1 = new QWidget(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setGeometry(0, 0, 478, kToolBarHeight);
    bPrint = makeSpeedButton(ToolBar1, "bPrint", QStringLiteral("印刷"), 0, 53);
    makeSeparator(ToolBar1, 53);
    SpeedButton2 = makeSpeedButton(ToolBar1, "SpeedButton2", QStringLiteral("オプション"), 61, 60);
    makeSeparator(ToolBar1, 121);
    cZoom = new QComboBox(ToolBar1);
    cZoom->setObjectName(QStringLiteral("cZoom"));
    cZoom->setEditable(false);
    cZoom->addItems({QStringLiteral("25%"), QStringLiteral("50%"), QStringLiteral("75%"),
                     QStringLiteral("100%"), QStringLiteral("125%"), QStringLiteral("150%"),
                     QStringLiteral("200%"), QStringLiteral("400%")});
    // Beyond the described percentages: the zooms that fit the window.
    cZoom->addItems({kWholePage, kPageWidth});
    cZoom->setGeometry(129, 2, 60 + kZoomExtra, 20);
    makeSeparator(ToolBar1, 189 + kZoomExtra);
    SpeedButton1 =
        makeSpeedButton(ToolBar1, "SpeedButton1", QStringLiteral("閉じる"), 197 + kZoomExtra, 61);
    makeSeparator(ToolBar1, 258 + kZoomExtra);
    bSavePdf =
        makeSpeedButton(ToolBar1, "bSavePdf", QStringLiteral("PDF に保存…"), 266 + kZoomExtra, 80);

    pageSeparator = makeSeparator(ToolBar1, 346 + kZoomExtra);
    bFront = makeSpeedButton(ToolBar1, "bFront", QStringLiteral("表"), 354 + kZoomExtra, 28);
    bBack = makeSpeedButton(ToolBar1, "bBack", QStringLiteral("裏"), 382 + kZoomExtra, 28);
    for (QToolButton *b : {bFront, bBack}) {
        b->setCheckable(true);
        b->setAutoExclusive(true);
    }
    bFront->setChecked(true);
    for (QWidget *w :
         {pageSeparator, static_cast<QWidget *>(bFront), static_cast<QWidget *>(bBack)})
        w->hide();

    lOffPaper = new QLabel(ToolBar1);
    lOffPaper->setObjectName(QStringLiteral("lOffPaper"));
    lOffPaper->setStyleSheet(QStringLiteral("color: #c00000"));
    lOffPaper->setGeometry(kMessageLeft, 2, 478 - kMessageLeft, 20);

    cPreview = new PreviewControl(this);
    cPreview->setObjectName(QStringLiteral("cPreview"));
    cPreview->setGeometry(0, kPreviewTop, 478, 401);

    connect(bPrint, &QToolButton::clicked, this, [this] {
        if (onPrint)
            onPrint();
    });
    connect(SpeedButton1, &QToolButton::clicked, this, &TPreview::SpeedButton1Click);
    connect(SpeedButton2, &QToolButton::clicked, this, &TPreview::SpeedButton2Click);
    connect(bSavePdf, &QToolButton::clicked, this, &TPreview::bSavePdfClick);
    connect(bFront, &QToolButton::clicked, this, [this] { ShowPage(0); });
    connect(bBack, &QToolButton::clicked, this, [this] { ShowPage(1); });
    connect(cZoom, &QComboBox::currentIndexChanged, this, &TPreview::cZoomChange);
}

TPreview::~TPreview()
{
    // The recorder and the back card (members) go before the control (a
    // child widget).
    cPreview->SetRecorder(nullptr);
    cPreview->SetSheet(nullptr, Values());
}

std::unique_ptr<PageRecorder> TPreview::newRecorder() const
{
    return paperMm.isEmpty() ? std::make_unique<PageRecorder>()
                             : std::make_unique<PageRecorder>(paperMm);
}

void TPreview::render()
{
    const DrawingOrder &card = order ? *order : kNoCard;
    // The back read afresh, as printing reads it; the control lets go of
    // the old one before it goes.
    cPreview->SetSheet(nullptr, Values());
    backCard.reset();
    QString backError;
    if (!back.file.isEmpty()) {
        try {
            backCard = std::make_unique<BackCard>(back.file);
        } catch (const FileError &e) {
            backError = QString::fromUtf8(e.what());
        }
    }
    const DrawingOrder *backOrder = backCard ? &backCard->Order() : nullptr;
    const SheetOffPaper off = DrawPreviewSheets(*recorder, card, Values(), backOrder);
    cPreview->SetSheet(&card, Values(), backOrder);
    const bool twoPages = backOrder != nullptr;
    for (QWidget *w :
         {pageSeparator, static_cast<QWidget *>(bFront), static_cast<QWidget *>(bBack)})
        w->setVisible(twoPages);
    ShowPage(twoPages && bBack->isChecked() ? 1 : 0);
    placeOffPaperLabel();
    const QString message = backError.isEmpty() ? OffPaperMessage(off) : backError;
    lOffPaper->setText(message);
    // The tool bar may be too narrow for the whole message.
    lOffPaper->setToolTip(message);
}

void TPreview::ShowPage(int index)
{
    const bool back = index == 1 && cPreview->Recorder() && cPreview->Recorder()->PageCount() > 1;
    bFront->setChecked(!back);
    bBack->setChecked(back);
    cPreview->SetPage(back ? 1 : 0);
}

void TPreview::placeOffPaperLabel()
{
    const int left = bBack->isVisibleTo(ToolBar1) ? kMessageLeftWithPages : kMessageLeft;
    lOffPaper->setGeometry(left, 2, qMax(0, width() - left), 20);
}

void TPreview::SetValues(const PrintSpace &space)
{
    CopyPrintSpace(*this, space);
}

void TPreview::FormShow()
{
    auto fresh = newRecorder();
    cPreview->SetRecorder(fresh.get());
    recorder = std::move(fresh);
    render();
    // The control already shows 100 %; selecting the item must not run
    // cZoomChange.
    if (openWholePage) {
        cZoom->setCurrentIndex(cZoom->findText(kWholePage));
        cZoomChange();
        return;
    }
    const QSignalBlocker blocker(cZoom);
    cZoom->setCurrentIndex(cZoom->findText(QStringLiteral("100%")));
}

void TPreview::cZoomChange()
{
    QString text = cZoom->currentText();
    if (text == kWholePage || text == kPageWidth) {
        cPreview->SetZoom(cPreview->FitZoom(text == kPageWidth));
        return;
    }
    text.chop(1);
    cPreview->SetZoom(text.toInt());
}

void TPreview::SpeedButton1Click()
{
    close();
}

void TPreview::SpeedButton2Click()
{
    if (!options) {
        options = new TPrintSetting(this);
        options->SetDialogs(dialogs);
        options->SetValues(Values());
        disconnect(options->bOK, &QPushButton::clicked, options, nullptr);
        disconnect(options->bCancel, &QPushButton::clicked, options, nullptr);
        connect(options->bOK, &QPushButton::clicked, this, &TPreview::ApplyOptions);
        connect(options->bCancel, &QPushButton::clicked, this, &TPreview::CloseOptions);
        options->bOK->setText(QStringLiteral("適用"));
        options->show();
    }
    options->raise();
    options->activateWindow();
}

void TPreview::bSavePdfClick()
{
    static QtDialogs qtDialogs;
    Dialogs &ask = dialogs ? *dialogs : qtDialogs;
    const Dialogs::FileDialog fd{kPdfFilter, QStringLiteral(".pdf"), QString(), lastPdfName};
    std::optional<QString> path = ask.SaveFile(this, fd);
    if (!path)
        return;
    if (QFileInfo(*path).suffix().isEmpty())
        *path += QStringLiteral(".pdf");
    lastPdfName = *path;
    // The paper the page shows (an absurd one is A4 there too).
    const QSizeF mm = PageRecorder(paperMm).PageSizeTenthMm() / 10.0;
    // Read afresh, as printing does: the file may have changed since.
    const std::unique_ptr<BackCard> backSide =
        ReadBackCard(this, ask, back, QStringLiteral("表だけを保存します。"));
    QString failure;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        WriteSheetPdf(*path, QPageSize(mm, QPageSize::Millimeter), kSheetPdfDpi,
                      order ? *order : kNoCard, Values(), false,
                      backSide ? &backSide->Order() : nullptr);
    } catch (const FileError &e) {
        failure = e.Cause();
    } catch (const std::exception &e) {
        failure = QString::fromUtf8(e.what());
    }
    QApplication::restoreOverrideCursor();
    if (!failure.isEmpty())
        ask.ShowError(this, QStringLiteral("%1 に PDF を保存できません: %2")
                                .arg(QDir::toNativeSeparators(*path), failure));
}

void TPreview::ApplyOptions()
{
    if (!options)
        return;
    SetValues(options->Values());
    // The control is given the new recorder before the old one goes, so it
    // never refers to a destroyed one.
    auto fresh = newRecorder();
    cPreview->SetRecorder(fresh.get());
    std::swap(recorder, fresh);
    fresh.reset();
    render();
}

void TPreview::CloseOptions()
{
    if (!options)
        return;
    TPrintSetting *closing = options;
    options = nullptr;
    closing->hide();
    // Usually reached from the window's own button or close box: delete it
    // once that handler has returned.
    closing->deleteLater();
}

void TPreview::FormClose()
{
    // Not reached from the options window's own handlers, so it can go now.
    delete options.data();
}

void TPreview::done(int result)
{
    FormClose();
    QDialog::done(result);
}

void TPreview::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TPreview::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    ToolBar1->resize(width(), kToolBarHeight);
    placeOffPaperLabel();
    cPreview->setGeometry(0, kPreviewTop, width(), qMax(0, height() - kPreviewTop));
    // A fitting zoom keeps fitting the window.
    if (cZoom->currentText() == kWholePage || cZoom->currentText() == kPageWidth)
        cZoomChange();
}

void RunPreview(QWidget *parent, const DrawingOrder &order, const QSizeF &paperMm,
                PrintSpace &space, std::function<void(const PrintSpace &)> print, Dialogs *dialogs)
{
    auto preview = std::make_unique<TPreview>(parent);
    preview->SetOrder(&order);
    preview->SetDialogs(dialogs);
    preview->SetPaper(paperMm);
    TPreview *p = preview.get();
    preview->onPrint = [p, print = std::move(print)] {
        if (print)
            print(p->Values());
    };
    preview->SetValues(space);
    // Large enough for the whole page, within the screen.
    if (const QScreen *screen = (parent ? parent->screen() : QGuiApplication::primaryScreen())) {
        const QRect room = screen->availableGeometry();
        const int height = std::max(431, room.height() * 9 / 10);
        const int width = std::clamp(
            static_cast<int>((height - kPreviewTop) * paperMm.width() / paperMm.height()) + 40, 478,
            std::max(478, room.width() * 9 / 10));
        preview->resize(width, height);
        preview->move(room.center() - QPoint(width / 2, height / 2));
    }
    preview->openWholePage = true;
    preview->exec();
    space = preview->Values();
}
