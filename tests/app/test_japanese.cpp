#include "app/japanese.h"
#include "app/lostmark.h"
#include "card/font.h"
#include "card/object.h"
#include "card/sjis.h"
#include "fixture.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>

TEST(Japanese, StandardButtonsSpeakJapaneseInTheWindowFace)
{
    ASSERT_TRUE(SpeakJapanese()) << "Qt's Japanese translation is not installed";
    QMessageBox box(QMessageBox::NoIcon, "Plakuro", "保存しますか？",
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    // Qt adds the mnemonic in brackets: 「はい(&Y)」.
    auto text = [&](QMessageBox::StandardButton b) {
        return box.button(b)->text().remove(QRegularExpression(QStringLiteral("\\(&.\\)")));
    };
    EXPECT_EQ(text(QMessageBox::Yes), QStringLiteral("はい"));
    EXPECT_EQ(text(QMessageBox::No), QStringLiteral("いいえ"));
    EXPECT_EQ(text(QMessageBox::Cancel), QStringLiteral("キャンセル"));
    EXPECT_EQ(box.button(QMessageBox::Yes)->font().family(), WindowFont().family());
    EXPECT_EQ(box.font().pixelSize(), WindowFont().pixelSize());
}

TEST_F(MeishiTest, AnEditSaysAtOnceWhichCharactersShiftJisLacks)
{
    QLineEdit *edit = window->eName;
    const QColor plain = edit->palette().color(QPalette::Base);
    struct Case
    {
        QString typed;
        QString tip; // empty: no mark
        QByteArray kept;
    };
    const Case cases[] = {
        {"𠮷田 太郎", "𠮷 は保存できません（Shift-JIS にない文字）", "?\x93\x63 \x91\xBE\x98\x59"},
        {"José 𠮷é", "é、𠮷 は保存できません（Shift-JIS にない文字）", "Jos? ??"},
        {"Jose", "", "Jose"},
        {QString(300, u'a'), "長すぎるため、保存されるのは先頭の 255 文字 (255 バイト) までです",
         QByteArray(300, 'a')},
        {"é" + QString(200, u'あ'),
         "é は保存できません（Shift-JIS にない文字）\n長すぎるため、保存されるのは先頭の 128 "
         "文字 (255 バイト) までです",
         "?" + QByteArray::fromStdString(sjis::fromUtf8(QString(200, u'あ').toStdString()))},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.typed.toStdString());
        edit->setText(k.typed);
        EXPECT_EQ(edit->toolTip(), k.tip);
        EXPECT_EQ(edit->palette().color(QPalette::Base), k.tip.isEmpty() ? plain : kLostBackground);
        EXPECT_EQ(dynamic_cast<TextObject &>(*editor().Card().Find("eName")).GetText(),
                  k.kept.toStdString());
    }
    EXPECT_TRUE(window->cDebug->currentMessage().contains("先頭の 128 文字"));
    // An undo that brings the text back or takes it away brings the mark
    // with it.
    window->eFuri->setText(QStringLiteral("ü"));
    EXPECT_EQ(window->eFuri->palette().color(QPalette::Base), kLostBackground);
    editor().UndoStack().undo();
    EXPECT_TRUE(window->eFuri->text().isEmpty());
    EXPECT_TRUE(window->eFuri->toolTip().isEmpty());
    EXPECT_EQ(window->eFuri->palette().color(QPalette::Base), plain);
}
