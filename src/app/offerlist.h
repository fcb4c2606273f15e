#pragma once
#include <QListWidget>
#include <QStringList>
#include <functional>
#include <vector>

class QLineEdit;

// A short list shown just under a field's edit, offering values to put into
// it (the address of a postal code, the code of an address). It never takes
// the keyboard, so typing goes on where it was: a click on an entry chooses
// it, and so do Down/Up and Return in a watched edit; Esc, or the keyboard
// moving to an edit it does not watch, withdraws it.
class OfferList : public QListWidget
{
    Q_OBJECT
public:
    // A child of `window` placed under `under`; watches `under`.
    OfferList(QLineEdit *under, QWidget *window, const char *name);
    // Key presses in `edit` also move through and choose the entries.
    void Watch(QLineEdit *edit);
    // Shows one entry per text; choosing entry i hands on values[i].
    void Offer(const QStringList &texts, const QStringList &values);
    void Withdraw();
    // The value of the entry `row`; the list is withdrawn first.
    void Choose(int row);

    std::function<void(const QString &)> onChosen;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLineEdit *under;
    std::vector<QLineEdit *> watched;
    QStringList values;
};
