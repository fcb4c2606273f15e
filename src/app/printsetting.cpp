#include "app/printsetting.h"
#include "app/dialogs.h"
#include "card/strtoint.h"
#include "editor/backcard.h"

#include "card/files.h"
#include "card/font.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <algorithm>
#include <array>
#include <memory>

namespace {

constexpr int kSketchWidth = 93;
constexpr int kSketchHeight = 130;
// The paper: 88 pixels stand for 210 mm, 125 for 297 mm.
constexpr std::int64_t kPaperWidth = 88;
constexpr std::int64_t kPaperHeight = 125;
constexpr std::int64_t kPaperWidthMm = 210;
constexpr std::int64_t kPaperHeightMm = 297;
constexpr std::int64_t kCardWidth = 38;
constexpr std::int64_t kCardHeight = 23;
// The window's described height, and what the stock rows add below it.
constexpr int kDescribedHeight = 251;
constexpr int kStockRows = 40;
// The back side's two rows below those.
constexpr int kBackTop = kDescribedHeight + kStockRows - 10;
constexpr int kBackRows = 56;

struct Stock
{
    const char *name;
    PrintSpace space;
};

// Card stock whose margins and gaps are known; the shift is the printer's
// own and stays as it is.
const std::array<Stock, 2> kStocks = {{
    {"標準 (10/7/3/3)", PrintSpace{10, 7, 3, 3}},
    {"A4 名刺用紙 10面 (14/11/0/0)", PrintSpace{14, 11, 0, 0}},
}};
const char *const kUserStock = "ユーザー設定";

QLabel *makeLabel(QWidget *parent, const char *name, const QString &text, int x, int y)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->move(x, y);
    label->adjustSize();
    return label;
}

QLineEdit *makeEdit(QWidget *parent, const char *name, int x, int y)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setGeometry(x, y, 43, 20);
    // Digits go straight in, not through a Japanese input method.
    edit->setAttribute(Qt::WA_InputMethodEnabled, false);
    edit->setInputMethodHints(Qt::ImhPreferNumbers | Qt::ImhLatinOnly | Qt::ImhNoPredictiveText);
    return edit;
}

QPushButton *makeButton(QWidget *parent, const char *name, const QString &text, int x, int y)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(x, y, 75, 25);
    // Enter in an edit does not press a button; only Esc has a button.
    button->setAutoDefault(false);
    return button;
}

// A one-pixel frame on pixels left..right-1, top..bottom-1, nothing filled.
// Edges far outside the image are brought near it first so that QRect's int
// arithmetic cannot overflow; what lies inside the image is unchanged.
void frameRect(QPainter &p, std::int64_t left, std::int64_t top, std::int64_t right,
               std::int64_t bottom, const QColor &color)
{
    if (right <= left || bottom <= top)
        return;
    auto near = [](std::int64_t v) {
        return static_cast<int>(std::clamp<std::int64_t>(v, -8, 1024));
    };
    const int l = near(left), t = near(top), r = near(right), b = near(bottom);
    const bool leftVisible = left == l, topVisible = top == t;
    const bool rightVisible = right == r, bottomVisible = bottom == b;
    if (topVisible)
        p.fillRect(QRect(l, t, r - l, 1), color);
    if (bottomVisible)
        p.fillRect(QRect(l, b - 1, r - l, 1), color);
    if (leftVisible)
        p.fillRect(QRect(l, t, 1, b - t), color);
    if (rightVisible)
        p.fillRect(QRect(r - 1, t, 1, b - t), color);
}

} // namespace

TPrintSetting::TPrintSetting(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TPrintSetting"));
    setWindowTitle(QStringLiteral("印刷オプション"));
    setFont(WindowFont());
    move(280, 107);
    setFixedSize(403, kDescribedHeight + kStockRows + kBackRows);

    Label1 = makeLabel(this, "Label1", QStringLiteral("左端の空き （横：mm)"), 24, 20);
    eA = makeEdit(this, "eA", 142, 16);
    Label4 = makeLabel(this, "Label4", QStringLiteral("左端の空き （上：mm)"), 24, 48);
    eB = makeEdit(this, "eB", 142, 46);
    Label2 = makeLabel(this, "Label2", QStringLiteral("名刺間の空き （横：mm)"), 12, 78);
    eC = makeEdit(this, "eC", 142, 76);
    Label3 = makeLabel(this, "Label3", QStringLiteral("名刺間の空き （縦：mm)"), 12, 108);
    eD = makeEdit(this, "eD", 142, 104);
    bOK = makeButton(this, "bOK", QStringLiteral("OK"), 98, 186);
    bCancel = makeButton(this, "bCancel", QStringLiteral("閉じる"), 200, 186);

    GroupBox1 = new QGroupBox(QStringLiteral("ﾌﾟﾚﾋﾞｭｰ"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(202, 6, 181, 163);
    cPaper = new QLabel(GroupBox1);
    cPaper->setObjectName(QStringLiteral("cPaper"));
    cPaper->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    cPaper->setGeometry(46, 24, kSketchWidth, kSketchHeight);

    LabelStock = makeLabel(this, "LabelStock", QStringLiteral("用紙"), 24, kDescribedHeight - 26);
    cStock = new QComboBox(this);
    cStock->setObjectName(QStringLiteral("cStock"));
    for (const Stock &stock : kStocks)
        cStock->addItem(QString::fromUtf8(stock.name));
    cStock->addItem(QString::fromUtf8(kUserStock));
    cStock->setGeometry(98, kDescribedHeight - 30, 200, 22);
    LabelOX =
        makeLabel(this, "LabelOX", QStringLiteral("微調整 横 (0.1mm)"), 24, kDescribedHeight + 4);
    eOX = makeEdit(this, "eOX", 142, kDescribedHeight);
    LabelOY =
        makeLabel(this, "LabelOY", QStringLiteral("微調整 縦 (0.1mm)"), 200, kDescribedHeight + 4);
    eOY = makeEdit(this, "eOY", 318, kDescribedHeight);
    cCropMarks = new QCheckBox(QStringLiteral("トンボ"), this);
    cCropMarks->setObjectName(QStringLiteral("cCropMarks"));
    cCropMarks->setGeometry(310, kDescribedHeight - 29, 80, 20);

    LabelBack = makeLabel(this, "LabelBack", QStringLiteral("裏面"), 24, kBackTop + 4);
    lBackFile = new QLabel(this);
    lBackFile->setObjectName(QStringLiteral("lBackFile"));
    lBackFile->setFrameShape(QFrame::StyledPanel);
    lBackFile->setFrameShadow(QFrame::Sunken);
    lBackFile->setGeometry(98, kBackTop, 180, 22);
    bBackChoose = makeButton(this, "bBackChoose", QStringLiteral("選択…"), 284, kBackTop - 1);
    bBackChoose->resize(56, 24);
    bBackNone = makeButton(this, "bBackNone", QStringLiteral("なし"), 344, kBackTop - 1);
    bBackNone->resize(44, 24);
    cShortEdge = new QCheckBox(QStringLiteral("短辺とじ"), this);
    cShortEdge->setObjectName(QStringLiteral("cShortEdge"));
    cShortEdge->setToolTip(QStringLiteral("用紙を短い辺で裏返すとき (裏面の行が上下逆になります)"));
    cShortEdge->setGeometry(98, kBackTop + 26, 200, 20);

    setTabOrder(eA, eB);
    setTabOrder(eB, eC);
    setTabOrder(eC, eD);
    setTabOrder(eD, bOK);
    setTabOrder(bOK, bCancel);
    setTabOrder(bCancel, cStock);
    setTabOrder(cStock, cCropMarks);
    setTabOrder(cCropMarks, eOX);
    setTabOrder(eOX, eOY);
    setTabOrder(eOY, bBackChoose);
    setTabOrder(bBackChoose, bBackNone);
    setTabOrder(bBackNone, cShortEdge);

    connect(eA, &QLineEdit::textChanged, this, &TPrintSetting::eAChange);
    connect(eB, &QLineEdit::textChanged, this, &TPrintSetting::eBChange);
    connect(eC, &QLineEdit::textChanged, this, &TPrintSetting::eCChange);
    connect(eD, &QLineEdit::textChanged, this, &TPrintSetting::eDChange);
    connect(eOX, &QLineEdit::textChanged, this, &TPrintSetting::eOXChange);
    connect(eOY, &QLineEdit::textChanged, this, &TPrintSetting::eOYChange);
    connect(cStock, &QComboBox::activated, this, &TPrintSetting::cStockChange);
    connect(cCropMarks, &QCheckBox::toggled, this, [this](bool on) { cropMarks = on; });
    connect(bBackChoose, &QPushButton::clicked, this, &TPrintSetting::bBackChooseClick);
    connect(bBackNone, &QPushButton::clicked, this, &TPrintSetting::bBackNoneClick);
    connect(cShortEdge, &QCheckBox::toggled, this, [this](bool on) { back.shortEdge = on; });
    connect(bOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(bCancel, &QPushButton::clicked, this, &QDialog::reject);
    fitLabels();
}

void TPrintSetting::fitLabels()
{
    // The described places assume the original face's narrow glyphs: where a
    // label would run under the control it names, that control and what
    // lies right of it on the label's rows move right, and the dialog grows.
    const std::pair<QLabel *, QWidget *> rows[] = {
        {Label1, eA},         {Label4, eB},   {Label2, eC},   {Label3, eD},
        {LabelStock, cStock}, {LabelOX, eOX}, {LabelOY, eOY}, {LabelBack, lBackFile}};
    int width = this->width();
    for (const auto &[label, buddy] : rows) {
        label->adjustSize();
        const int overlap = label->x() + label->width() + 4 - buddy->x();
        if (overlap <= 0)
            continue;
        const int top = label->y(), bottom = label->y() + label->height();
        for (QWidget *w : findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            if (w->x() >= buddy->x() && w->y() < bottom && w->y() + w->height() > top) {
                w->move(w->x() + overlap, w->y());
                width = std::max(width, w->x() + w->width() + 12);
            }
    }
    setFixedSize(width, height());
}

void TPrintSetting::FormShow()
{
    eA->setText(QString::number(a));
    eB->setText(QString::number(b));
    eC->setText(QString::number(c));
    eD->setText(QString::number(d));
    eOX->setText(QString::number(ox));
    eOY->setText(QString::number(oy));
    cCropMarks->setChecked(cropMarks);
    showBack();
    showStock();
    DrawPaperSketch();
}

void TPrintSetting::showBack()
{
    const bool none = back.file.isEmpty();
    const QString path = QDir::toNativeSeparators(back.file);
    // The file's own name stays in view; the folder gives way.
    const int room = lBackFile->contentsRect().width() - 6;
    lBackFile->setText(none ? QStringLiteral("なし")
                            : lBackFile->fontMetrics().elidedText(path, Qt::ElideMiddle, room));
    lBackFile->setToolTip(path);
    bBackNone->setEnabled(!none);
    cShortEdge->setEnabled(!none);
    cShortEdge->setChecked(back.shortEdge);
}

void TPrintSetting::bBackChooseClick()
{
    static QtDialogs qtDialogs;
    Dialogs &ask = dialogs ? *dialogs : qtDialogs;
    const QFileInfo current(back.file);
    Dialogs::FileDialog fd{CardFileFilter(), QStringLiteral(".pkd"),
                           back.file.isEmpty() ? QString() : current.absolutePath(),
                           back.file.isEmpty() ? QString() : current.fileName(), true};
    const std::optional<QString> path = ask.OpenFile(this, fd);
    if (!path)
        return;
    const QString chosen = QFileInfo(*path).absoluteFilePath();
    try {
        // Read once now, so a file that is no card is said at once and not
        // only when printing.
        BackCard check(chosen);
    } catch (const FileError &e) {
        ask.ShowError(this, QString::fromUtf8(e.what()));
        return;
    }
    back.file = chosen;
    showBack();
}

void TPrintSetting::bBackNoneClick()
{
    back.file.clear();
    showBack();
}

void TPrintSetting::SetValues(const PrintSpace &space)
{
    CopyPrintSpace(*this, space);
}

void TPrintSetting::eOXChange()
{
    shiftChanged(eOX, ox);
}

void TPrintSetting::eOYChange()
{
    shiftChanged(eOY, oy);
}

void TPrintSetting::cStockChange()
{
    const int index = cStock->currentIndex();
    if (index < 0 || index >= static_cast<int>(kStocks.size()))
        return;
    const PrintSpace &preset = kStocks[static_cast<std::size_t>(index)].space;
    eA->setText(QString::number(preset.a));
    eB->setText(QString::number(preset.b));
    eC->setText(QString::number(preset.c));
    eD->setText(QString::number(preset.d));
}

void TPrintSetting::showStock()
{
    int index = static_cast<int>(kStocks.size());
    for (std::size_t i = 0; i < kStocks.size(); ++i) {
        const PrintSpace &p = kStocks[i].space;
        if (p.a == a && p.b == b && p.c == c && p.d == d)
            index = static_cast<int>(i);
    }
    cStock->setCurrentIndex(index);
}

void TPrintSetting::eAChange()
{
    editChanged(eA, a);
}

void TPrintSetting::eBChange()
{
    editChanged(eB, b);
}

void TPrintSetting::eCChange()
{
    editChanged(eC, c);
}

void TPrintSetting::eDChange()
{
    editChanged(eD, d);
}

void TPrintSetting::editChanged(QLineEdit *edit, std::int32_t &value)
{
    // A text that is no whole number is replaced by the last accepted value;
    // setText runs this handler again, which then succeeds. setText leaves
    // the cursor at the end.
    if (!TryStrToInt(edit->text().toStdString(), value))
        edit->setText(QString::number(value));
    showStock();
    DrawPaperSketch();
}

void TPrintSetting::shiftChanged(QLineEdit *edit, std::int32_t &value)
{
    // A shift is typed with its sign, so an emptied field or a lone sign is
    // a number on its way: it counts as 0 meanwhile and stays as typed (a
    // field left empty means 0). Other text that is no number goes back.
    const QString text = edit->text().trimmed();
    if (text.isEmpty() || text == u'-' || text == u'+') {
        value = 0;
        DrawPaperSketch();
        return;
    }
    editChanged(edit, value);
}

void TPrintSetting::DrawPaperSketch()
{
    cPaper->resize(kSketchWidth, kSketchHeight);
    sketch = QImage(kSketchWidth, kSketchHeight, QImage::Format_RGB32);
    sketch.fill(palette().color(QPalette::Button));
    {
        QPainter p(&sketch);
        const QRect paper(0, 0, static_cast<int>(kPaperWidth), static_cast<int>(kPaperHeight));
        p.fillRect(paper.translated(2, 2), Qt::black);
        p.fillRect(paper, Qt::white);
        frameRect(p, 0, 0, kPaperWidth, kPaperHeight, Qt::black);

        // The shift in 0.1 mm joins the margin in 0.1 mm before the scaling.
        const std::int64_t left = (std::int64_t{a} * 10 + ox) * kPaperWidth / (kPaperWidthMm * 10);
        const std::int64_t top = (std::int64_t{b} * 10 + oy) * kPaperHeight / (kPaperHeightMm * 10);
        const std::int64_t gapX = std::int64_t{c} * kPaperWidth / kPaperWidthMm;
        const std::int64_t gapY = std::int64_t{d} * kPaperHeight / kPaperHeightMm;
        for (std::int64_t i = 0; i < 5; ++i) {
            for (std::int64_t j = 0; j < 2; ++j) {
                const std::int64_t x = (gapX + kCardWidth) * j + left;
                const std::int64_t y = (gapY + kCardHeight) * i + top;
                frameRect(p, x, y, x + kCardWidth, y + kCardHeight, Qt::black);
            }
        }
    }
    cPaper->setPixmap(QPixmap::fromImage(sketch));
}

void TPrintSetting::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TPrintSetting::closeEvent(QCloseEvent *event)
{
    // The close box means "閉じる", whatever that button does in this use.
    if (closing) {
        event->accept();
        return;
    }
    closing = true;
    bCancel->click();
    closing = false;
    if (isVisible())
        event->ignore();
    else
        event->accept();
}

void TPrintSetting::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        bCancel->click();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void RunPrintOptions(QWidget *parent, PrintSpace &space, Dialogs *dialogs)
{
    auto dialog = std::make_unique<TPrintSetting>(parent);
    dialog->SetValues(space);
    dialog->SetDialogs(dialogs);
    dialog->exec();
    space = dialog->Values();
}
