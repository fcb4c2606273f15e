#include "app/fontdialog.h"
#include "app/dialogs.h"
#include "card/font.h"
#include "card/sjis.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleValidator>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace {

// The face field of the card file holds 31 bytes of code page 932.
constexpr std::size_t kFaceBytes = 31;
constexpr double kLeastPoints = 1.0;
// Twice the card's height; a larger stored size is still shown and kept.
constexpr double kMostPoints = 999.0;

bool fileHolds(const QString &family)
{
    const std::string bytes = sjis::fromUnicode(family);
    return bytes.size() <= kFaceBytes && sjis::toUnicode(bytes) == family;
}

bool listed(const QStringList &names, const QString &family)
{
    return names.contains(family, Qt::CaseInsensitive);
}

// Points with no more decimals than they need: 12, 10.5, 15.75.
QString pointsText(double points)
{
    QString s = QString::number(points, 'f', 2);
    while (s.endsWith(QLatin1Char('0')))
        s.chop(1);
    if (s.endsWith(QLatin1Char('.')))
        s.chop(1);
    return s;
}

} // namespace

QStringList TFontDialog::StoredFaces()
{
    return {QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("ＭＳ ゴシック"),
            QStringLiteral("ＭＳ Ｐ明朝"), QStringLiteral("ＭＳ 明朝")};
}

TFontDialog::TFontDialog(const QFont &initialFont, QWidget *parent)
    : QDialog(parent), initial(initialFont)
{
    setObjectName(QStringLiteral("TFontDialog"));
    setWindowTitle(QStringLiteral("フォント"));
    setFont(WindowFont());

    lFamily = new QListWidget(this);
    lFamily->setObjectName(QStringLiteral("lFamily"));
    lFamily->setMinimumSize(240, 220);
    auto *familyLabel = new QLabel(QStringLiteral("フォント名(&F):"), this);
    familyLabel->setBuddy(lFamily);

    cSize = new QComboBox(this);
    cSize->setObjectName(QStringLiteral("cSize"));
    cSize->setEditable(true);
    cSize->setInsertPolicy(QComboBox::NoInsert);
    // Digits go straight in, not through a Japanese input method.
    cSize->lineEdit()->setAttribute(Qt::WA_InputMethodEnabled, false);
    for (double p : {8.0, 9.0, 10.0, 10.5, 11.0, 12.0, 14.0, 16.0, 18.0, 20.0, 22.0, 24.0, 26.0,
                     28.0, 36.0, 48.0, 72.0})
        cSize->addItem(pointsText(p));
    const double initialPoints = initial.pointSizeF() > 0 ? initial.pointSizeF() : 12.0;
    auto *validator =
        new QDoubleValidator(kLeastPoints, std::max(kMostPoints, initialPoints), 2, cSize);
    validator->setNotation(QDoubleValidator::StandardNotation);
    validator->setLocale(QLocale::c());
    cSize->setValidator(validator);
    initialSizeText = pointsText(initialPoints);
    cSize->setEditText(initialSizeText);
    auto *sizeLabel = new QLabel(QStringLiteral("サイズ(&S):"), this);
    sizeLabel->setBuddy(cSize);

    cBold = new QCheckBox(QStringLiteral("太字(&B)"), this);
    cBold->setObjectName(QStringLiteral("cBold"));
    cBold->setChecked(initial.bold());
    cItalic = new QCheckBox(QStringLiteral("斜体(&I)"), this);
    cItalic->setObjectName(QStringLiteral("cItalic"));
    cItalic->setChecked(initial.italic());
    auto *style = new QGroupBox(QStringLiteral("スタイル"), this);
    auto *styleLayout = new QVBoxLayout(style);
    styleLayout->addWidget(cBold);
    styleLayout->addWidget(cItalic);
    styleLayout->addStretch();

    lSample = new QLabel(QStringLiteral("名刺 Meishi あア亜 123"), this);
    lSample->setObjectName(QStringLiteral("lSample"));
    lSample->setAlignment(Qt::AlignCenter);
    // A fixed box: a large size is clipped, not grown into the screen.
    lSample->setFixedSize(460, 110);
    auto *sample = new QGroupBox(QStringLiteral("サンプル"), this);
    auto *sampleLayout = new QVBoxLayout(sample);
    sampleLayout->addWidget(lSample);

    QHBoxLayout *buttons = makeOkCancel(this, bOK, bCancel);

    auto *grid = new QGridLayout;
    grid->addWidget(familyLabel, 0, 0);
    grid->addWidget(lFamily, 1, 0, 3, 1);
    grid->addWidget(sizeLabel, 0, 1);
    grid->addWidget(cSize, 1, 1);
    grid->addWidget(style, 2, 1);
    grid->setRowStretch(3, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(sample);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    fillFamilies(initial.family());

    connect(lFamily, &QListWidget::currentRowChanged, this, &TFontDialog::updateSample);
    connect(lFamily, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    connect(cSize, &QComboBox::currentTextChanged, this, &TFontDialog::updateSample);
    connect(cBold, &QCheckBox::toggled, this, &TFontDialog::updateSample);
    connect(cItalic, &QCheckBox::toggled, this, &TFontDialog::updateSample);
    updateSample();
}

void TFontDialog::fillFamilies(const QString &initialFamily)
{
    QStringList top = StoredFaces();
    if (!initialFamily.isEmpty() && !listed(top, initialFamily) &&
        !QFontDatabase::hasFamily(initialFamily))
        top.prepend(initialFamily);
    for (const QString &face : top) {
        auto *item = new QListWidgetItem(face, lFamily);
        item->setToolTip(QStringLiteral("%1 で表示します").arg(QFontInfo(QFont(face)).family()));
    }
    QStringList other;
    for (const QString &family : QFontDatabase::families()) {
        if (QFontDatabase::isPrivateFamily(family) || listed(top, family) || !fileHolds(family))
            continue;
        if (QFontDatabase::writingSystems(family).contains(QFontDatabase::Japanese))
            lFamily->addItem(family);
        else
            other << family;
    }
    lFamily->addItems(other);

    for (int i = 0; i < lFamily->count(); ++i)
        if (lFamily->item(i)->text().compare(initialFamily, Qt::CaseInsensitive) == 0) {
            lFamily->setCurrentRow(i);
            lFamily->scrollToItem(lFamily->item(i), QAbstractItemView::PositionAtCenter);
            break;
        }
}

double TFontDialog::sizeShown() const
{
    QString text = cSize->currentText();
    int pos = 0;
    if (cSize->validator()->validate(text, pos) != QValidator::Acceptable)
        return 0;
    if (text == initialSizeText && initial.pointSizeF() > 0)
        return initial.pointSizeF();
    bool ok = false;
    const double points = QLocale::c().toDouble(text, &ok);
    return ok ? points : 0;
}

QFont TFontDialog::SelectedFont() const
{
    const QListWidgetItem *item = lFamily->currentItem();
    QFont f(item ? item->text() : initial.family());
    const double points = sizeShown();
    f.setPointSizeF(points > 0 ? points : initial.pointSizeF());
    f.setBold(cBold->isChecked());
    f.setItalic(cItalic->isChecked());
    return f;
}

void TFontDialog::updateSample()
{
    const double points = sizeShown();
    bOK->setEnabled(points > 0 && lFamily->currentItem());
    if (points <= 0 || !lFamily->currentItem())
        return;
    QFont f(lFamily->currentItem()->text());
    // As the card draws it at full size: points at 96 dots per inch.
    f.setPixelSize(std::max(1, static_cast<int>(std::lround(points * 96.0 / 72.0))));
    f.setBold(cBold->isChecked());
    f.setItalic(cItalic->isChecked());
    lSample->setFont(f);
}
