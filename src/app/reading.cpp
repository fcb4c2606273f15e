#include "app/reading.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>

namespace {

bool isHiragana(char16_t u)
{
    return u >= 0x3041 && u <= 0x3096;
}

bool isKatakana(char16_t u)
{
    return (u >= 0x30A1 && u <= 0x30F6) || u == 0x30FC; // ー: both syllabaries use it
}

bool isBlank(const QString &text)
{
    return !text.isEmpty() && text.trimmed().isEmpty(); // an ideographic space too
}

// Kana only (either syllabary, the long vowel mark), at least one.
bool isKana(const QString &text)
{
    if (text.isEmpty())
        return false;
    for (QChar c : text)
        if (!isHiragana(c.unicode()) && !isKatakana(c.unicode()))
            return false;
    return true;
}

} // namespace

QString ToHiragana(const QString &text)
{
    QString out = text;
    for (QChar &c : out)
        if (c.unicode() >= 0x30A1 && c.unicode() <= 0x30F6)
            c = QChar(static_cast<char16_t>(c.unicode() - 0x60));
    return out;
}

QString ToKatakana(const QString &text)
{
    QString out = text;
    for (QChar &c : out)
        if (isHiragana(c.unicode()))
            c = QChar(static_cast<char16_t>(c.unicode() + 0x60));
    return out;
}

bool IsKatakana(const QString &text)
{
    bool any = false;
    for (QChar c : text) {
        if (isHiragana(c.unicode()))
            return false;
        any = any || (c.unicode() >= 0x30A1 && c.unicode() <= 0x30F6);
    }
    return any;
}

ReadingTracker::ReadingTracker(QLineEdit *edit) : QObject(edit), edit(edit)
{
    edit->installEventFilter(this);
    connect(edit, &QLineEdit::textChanged, this, [this](const QString &text) {
        if (text.isEmpty()) {
            reading.clear();
            kana.clear();
        }
    });
}

bool ReadingTracker::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != edit)
        return false;
    if (event->type() == QEvent::InputMethod) {
        const auto *e = static_cast<QInputMethodEvent *>(event);
        if (isKana(e->preeditString()))
            kana = e->preeditString();
        const QString commit = e->commitString();
        follows = !commit.isEmpty();
        if (isBlank(commit))
            reading += u' ';
        else if (isKana(commit))
            reading += ToHiragana(commit);
        else if (!commit.isEmpty() && !kana.isEmpty())
            reading += ToHiragana(kana);
        else if (!commit.isEmpty())
            follows = false; // letters typed straight in have no reading here
        if (!commit.isEmpty())
            kana.clear();
    } else if (event->type() == QEvent::KeyPress) {
        const auto *e = static_cast<QKeyEvent *>(event);
        follows = isBlank(e->text()) && !reading.isEmpty();
        if (follows)
            reading += u' ';
    }
    return false;
}
