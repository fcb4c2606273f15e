#include "app/placedialog.h"
#include "app/dialogs.h"
#include "card/converter.h"
#include "card/font.h"

#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <cmath>
#include <memory>

namespace {

// Model units are 0.1 mm: one decimal shows them exactly.
constexpr double kUnitsPerMm = 10.0;
// Well beyond the card either way; the session clamps what lies off it.
constexpr double kMaxMm = 999.9;
constexpr double kMinSizeMm = 2.0;

double toMm(long long units)
{
    return static_cast<double>(units) / kUnitsPerMm;
}

long long toUnits(double mm)
{
    return std::llround(mm * kUnitsPerMm);
}

} // namespace

QDoubleSpinBox *MillimetreBox(QWidget *parent, const char *name, double minimum, double maximum,
                              double mm)
{
    auto *box = new QDoubleSpinBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setDecimals(1);
    box->setSingleStep(0.1);
    box->setRange(minimum, maximum);
    box->setSuffix(QStringLiteral(" mm"));
    box->setValue(mm);
    // Digits go straight in, not through a Japanese input method.
    box->setAttribute(Qt::WA_InputMethodEnabled, false);
    return box;
}

TPlaceDialog::TPlaceDialog(QWidget *parent, const TRect &rect, Dialogs::Sizing s)
    : QDialog(parent), original(rect), sizing(s)
{
    setObjectName(QStringLiteral("TPlaceDialog"));
    setWindowTitle(QStringLiteral("位置とサイズ"));
    setFont(WindowFont());

    const long long w = static_cast<long long>(rect.right) - rect.left;
    const long long h = static_cast<long long>(rect.bottom) - rect.top;
    eLeft = MillimetreBox(this, "eLeft", -kMaxMm, kMaxMm, toMm(rect.left));
    eTop = MillimetreBox(this, "eTop", -kMaxMm, kMaxMm, toMm(rect.top));
    eWidth = MillimetreBox(this, "eWidth", kMinSizeMm, kMaxMm, toMm(w));
    eHeight = MillimetreBox(this, "eHeight", kMinSizeMm, kMaxMm, toMm(h));
    shownLeft = eLeft->value();
    shownTop = eTop->value();
    shownWidth = eWidth->value();
    shownHeight = eHeight->value();

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("左"), eLeft);
    form->addRow(QStringLiteral("上"), eTop);
    if (sizing == Dialogs::Sizing::None) {
        eWidth->hide();
        eHeight->hide();
    } else {
        form->addRow(QStringLiteral("幅"), eWidth);
        form->addRow(QStringLiteral("高さ"), eHeight);
    }
    if (sizing == Dialogs::Sizing::Square) {
        auto follow = [](QDoubleSpinBox *to) {
            return [to](double v) {
                const QSignalBlocker quiet(to);
                to->setValue(v);
            };
        };
        connect(eWidth, &QDoubleSpinBox::valueChanged, this, follow(eHeight));
        connect(eHeight, &QDoubleSpinBox::valueChanged, this, follow(eWidth));
    }

    QHBoxLayout *buttons = makeOkCancel(this, bOK, bCancel);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

TRect TPlaceDialog::Rect() const
{
    auto value = [](const QDoubleSpinBox *box, double shown, long long own) {
        return box->value() == shown ? own : toUnits(box->value());
    };
    const long long left = value(eLeft, shownLeft, original.left);
    const long long top = value(eTop, shownTop, original.top);
    long long w = static_cast<long long>(original.right) - original.left;
    long long h = static_cast<long long>(original.bottom) - original.top;
    if (sizing != Dialogs::Sizing::None) {
        w = value(eWidth, shownWidth, w);
        h = value(eHeight, shownHeight, h);
    }
    return TRect{Converter::Saturate(left), Converter::Saturate(top), Converter::Saturate(left + w),
                 Converter::Saturate(top + h)};
}

bool RunPlaceDialog(QWidget *parent, TRect &rect, Dialogs::Sizing sizing)
{
    auto dialog = std::make_unique<TPlaceDialog>(parent, rect, sizing);
    if (dialog->exec() != QDialog::Accepted)
        return false;
    rect = dialog->Rect();
    return true;
}
