#include "app/objectdialogs.h"
#include "app/placedialog.h"
#include "card/font.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>
#include <memory>

namespace {

// Model units are 0.1 mm: one decimal shows them exactly.
constexpr double kUnitsPerMm = 10.0;
// The longest a line can be on the card: its width across.
constexpr double kMaxTextWidthMm = 91.0;
// ShapeObject keeps outlines of 0 to 100 units.
constexpr double kMaxStrokeMm = 10.0;
// A radius past half the card's height rounds nothing more.
constexpr double kMaxRadiusMm = 27.5;

// 0.1 mm steps from none up to `maximum`, showing `units` model units.
QDoubleSpinBox *mmBox(QWidget *parent, const char *name, double maximum, int units)
{
    return MillimetreBox(parent, name, 0.0, maximum, units / kUnitsPerMm);
}

int toUnits(double mm)
{
    return static_cast<int>(std::lround(mm * kUnitsPerMm));
}

QColor qColor(std::int32_t tcolor)
{
    const auto u = static_cast<std::uint32_t>(tcolor);
    return QColor(u & 0xFF, (u >> 8) & 0xFF, (u >> 16) & 0xFF);
}

// A swatch of the colour for a colour button.
QIcon swatch(std::int32_t tcolor)
{
    QPixmap pm(32, 14);
    pm.fill(qColor(tcolor));
    QPainter p(&pm);
    p.setPen(Qt::black);
    p.drawRect(pm.rect().adjusted(0, 0, -1, -1));
    return QIcon(pm);
}

} // namespace

// --- 「テキストの編集」 --------------------------------------------------------

TFreeTextDialog::TFreeTextDialog(QWidget *parent, const Dialogs::FreeTextValues &values)
    : QDialog(parent), ownWidth(values.width)
{
    setObjectName(QStringLiteral("TFreeTextDialog"));
    setWindowTitle(QStringLiteral("テキストの編集"));
    setFont(WindowFont());

    eText = new QPlainTextEdit(this);
    eText->setObjectName(QStringLiteral("eText"));
    eText->setPlainText(values.text);
    eText->setLineWrapMode(QPlainTextEdit::NoWrap);
    eText->setTabChangesFocus(true);
    eText->setMinimumSize(320, 120);

    cAlign = new QComboBox(this);
    cAlign->setObjectName(QStringLiteral("cAlign"));
    cAlign->addItem(QStringLiteral("左"), int(FreeText::Align::Left));
    cAlign->addItem(QStringLiteral("中央"), int(FreeText::Align::Center));
    cAlign->addItem(QStringLiteral("右"), int(FreeText::Align::Right));
    cAlign->setCurrentIndex(cAlign->findData(int(values.align)));

    eSpacing = new QSpinBox(this);
    eSpacing->setObjectName(QStringLiteral("eSpacing"));
    eSpacing->setRange(50, 400);
    eSpacing->setSingleStep(10);
    eSpacing->setSuffix(QStringLiteral(" %"));
    eSpacing->setValue(values.spacing);
    eSpacing->setAttribute(Qt::WA_InputMethodEnabled, false);

    eWidth = mmBox(this, "eWidth", kMaxTextWidthMm, values.width);
    eWidth->setSpecialValueText(QStringLiteral("なし"));
    shownWidth = eWidth->value();

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("配置"), cAlign);
    form->addRow(QStringLiteral("行間"), eSpacing);
    form->addRow(QStringLiteral("幅の固定"), eWidth);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(eText);
    layout->addLayout(form);
    layout->addLayout(makeOkCancel(this, bOK, bCancel));
    eText->setFocus();
}

Dialogs::FreeTextValues TFreeTextDialog::Values() const
{
    Dialogs::FreeTextValues v;
    v.text = eText->toPlainText();
    v.align = static_cast<FreeText::Align>(cAlign->currentData().toInt());
    v.spacing = eSpacing->value();
    v.width = eWidth->value() == shownWidth ? ownWidth : toUnits(eWidth->value());
    return v;
}

bool RunFreeTextDialog(QWidget *parent, Dialogs::FreeTextValues &values)
{
    auto dialog = std::make_unique<TFreeTextDialog>(parent, values);
    if (dialog->exec() != QDialog::Accepted)
        return false;
    values = dialog->Values();
    return true;
}

// --- 「図形の書式」 ------------------------------------------------------------

TShapeDialog::TShapeDialog(QWidget *parent, const Dialogs::ShapeValues &values, ChooseColor c)
    : QDialog(parent), original(values), choose(std::move(c)),
      fillColor(values.fill.value_or(0xFFFFFF)), strokeColor(values.stroke.value_or(0))
{
    setObjectName(QStringLiteral("TShapeDialog"));
    setWindowTitle(QStringLiteral("図形の書式"));
    setFont(WindowFont());
    const bool line = values.kind == ShapeObject::Kind::Line;

    auto colorRow = [this](const char *button, const char *none, QPushButton *&b, QCheckBox *&c,
                           std::int32_t &color) {
        b = new QPushButton(QStringLiteral("色…"), this);
        b->setObjectName(QString::fromLatin1(button));
        b->setAutoDefault(false);
        c = new QCheckBox(QStringLiteral("なし"), this);
        c->setObjectName(QString::fromLatin1(none));
        connect(b, &QPushButton::clicked, this, [this, c, &color] {
            std::int32_t chosen = color;
            if (!choose || !choose(chosen))
                return;
            color = chosen;
            // Choosing a colour means wanting one.
            c->setChecked(false);
            showColors();
        });
        auto *row = new QHBoxLayout;
        row->addWidget(b);
        row->addWidget(c);
        row->addStretch();
        return row;
    };
    QHBoxLayout *fillRow = colorRow("bFill", "cNoFill", bFill, cNoFill, fillColor);
    QHBoxLayout *strokeRow = colorRow("bStroke", "cNoStroke", bStroke, cNoStroke, strokeColor);
    cNoFill->setChecked(!values.fill);
    cNoStroke->setChecked(!values.stroke);

    eStrokeWidth = mmBox(this, "eStrokeWidth", kMaxStrokeMm, values.strokeWidth);
    eRadius = mmBox(this, "eRadius", kMaxRadiusMm, values.radius);

    auto *form = new QFormLayout;
    if (!line)
        form->addRow(QStringLiteral("塗りつぶし"), fillRow);
    form->addRow(QStringLiteral("線の色"), strokeRow);
    form->addRow(QStringLiteral("線の太さ"), eStrokeWidth);
    if (values.kind == ShapeObject::Kind::Rect)
        form->addRow(QStringLiteral("角の丸み"), eRadius);
    if (line) {
        // A line has no fill: its row is in no form, so nothing else would
        // delete it. A line without a colour or a width would vanish from
        // the card.
        delete fillRow;
        for (QWidget *w : {static_cast<QWidget *>(bFill), static_cast<QWidget *>(cNoFill)})
            w->hide();
        cNoStroke->hide();
        cNoStroke->setChecked(false);
        eStrokeWidth->setMinimum(0.1);
    }
    if (values.kind != ShapeObject::Kind::Rect)
        eRadius->hide();

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(makeOkCancel(this, bOK, bCancel));
    layout->setSizeConstraint(QLayout::SetFixedSize);
    showColors();
}

void TShapeDialog::showColors()
{
    bFill->setIcon(swatch(fillColor));
    bStroke->setIcon(swatch(strokeColor));
}

Dialogs::ShapeValues TShapeDialog::Values() const
{
    Dialogs::ShapeValues v = original;
    const bool line = original.kind == ShapeObject::Kind::Line;
    if (!line)
        v.fill = cNoFill->isChecked() ? std::nullopt : std::optional<std::int32_t>(fillColor);
    v.stroke = cNoStroke->isChecked() ? std::nullopt : std::optional<std::int32_t>(strokeColor);
    v.strokeWidth = toUnits(eStrokeWidth->value());
    if (original.kind == ShapeObject::Kind::Rect)
        v.radius = toUnits(eRadius->value());
    return v;
}

bool RunShapeDialog(QWidget *parent, Dialogs::ShapeValues &values,
                    const TShapeDialog::ChooseColor &choose)
{
    auto dialog = std::make_unique<TShapeDialog>(parent, values, choose);
    if (dialog->exec() != QDialog::Accepted)
        return false;
    values = dialog->Values();
    return true;
}
