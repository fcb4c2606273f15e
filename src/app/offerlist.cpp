#include "app/offerlist.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <algorithm>

namespace {
constexpr int kMostRows = 8;
constexpr int kWidth = 320;
} // namespace

OfferList::OfferList(QLineEdit *under, QWidget *window, const char *name)
    : QListWidget(window), under(under)
{
    setObjectName(name);
    setFocusPolicy(Qt::NoFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setUniformItemSizes(true);
    hide();
    connect(this, &QListWidget::itemClicked, this,
            [this](QListWidgetItem *item) { Choose(row(item)); });
    Watch(under);
}

void OfferList::Watch(QLineEdit *edit)
{
    watched.push_back(edit);
    edit->installEventFilter(this);
}

void OfferList::Offer(const QStringList &texts, const QStringList &newValues)
{
    clear();
    addItems(texts);
    values = newValues;
    if (texts.isEmpty()) {
        hide();
        return;
    }
    setCurrentRow(0);
    const int rows = std::min<int>(kMostRows, static_cast<int>(texts.size()));
    const QPoint at = under->mapTo(parentWidget(), QPoint(0, under->height()));
    setGeometry(at.x(), at.y(), kWidth, rows * sizeHintForRow(0) + 2 * frameWidth());
    raise();
    show();
}

void OfferList::Withdraw()
{
    hide();
    clear();
    values.clear();
}

void OfferList::Choose(int row)
{
    if (row < 0 || row >= values.size())
        return;
    const QString value = values[row];
    Withdraw();
    if (onChosen)
        onChosen(value);
}

bool OfferList::eventFilter(QObject *object, QEvent *event)
{
    if (!isVisible())
        return QListWidget::eventFilter(object, event);
    if (event->type() == QEvent::FocusOut) {
        const auto it = std::find(watched.begin(), watched.end(), QApplication::focusWidget());
        if (it == watched.end())
            Withdraw();
    } else if (event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent *>(event)->key()) {
        case Qt::Key_Down:
            setCurrentRow(std::min(currentRow() + 1, count() - 1));
            return true;
        case Qt::Key_Up:
            setCurrentRow(std::max(currentRow() - 1, 0));
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            Choose(currentRow());
            return true;
        case Qt::Key_Escape:
            Withdraw();
            return true;
        default:
            break;
        }
    }
    return QListWidget::eventFilter(object, event);
}
