#pragma once
// The reading of a name typed through an input method (fcitx5, ibus): the
// kana composed before each conversion, and the spaces between, make the
// furigana of what was committed.

#include <QObject>
#include <QString>

class QLineEdit;

// Hiragana for the katakana in `text`; everything else as it is.
QString ToHiragana(const QString &text);
// Katakana for the hiragana in `text`; everything else as it is.
QString ToKatakana(const QString &text);
// Whether `text` holds katakana and no hiragana (blanks aside): a furigana
// the user writes in katakana.
bool IsKatakana(const QString &text);

// Watches one edit's input method events. A composition's last preedit that
// is all kana is its reading; when the composition is committed the reading
// (or the committed text itself, when it is kana) is added, and a blank
// typed or committed adds one blank. Emptying the edit starts afresh.
class ReadingTracker : public QObject
{
    Q_OBJECT

public:
    explicit ReadingTracker(QLineEdit *edit);
    // The reading of what was committed so far, hiragana.
    const QString &Reading() const { return reading; }
    // Whether the last change of the edit came from a committed composition
    // or a blank, so the reading follows it.
    bool FollowsEdit() const { return follows; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLineEdit *edit;
    QString reading;
    QString kana; // of the composition under way
    bool follows = false;
};
