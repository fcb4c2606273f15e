// Typing a Japanese card: the furigana follows the name's reading through an
// input method, and numbers and addresses typed full width become half
// width.

#include "app/reading.h"
#include "fixture.h"

#include <QInputMethodEvent>
#include <QLineEdit>
#include <QTest>

namespace {

// What an input method sends while a word is typed and converted: the kana
// composed one by one, the converted word composed, then committed.
void compose(QLineEdit *edit, const QStringList &preedits, const QString &commit)
{
    for (const QString &p : preedits) {
        QInputMethodEvent e(p, {});
        QCoreApplication::sendEvent(edit, &e);
    }
    QInputMethodEvent done;
    done.setCommitString(commit);
    QCoreApplication::sendEvent(edit, &done);
}

} // namespace

TEST_F(MeishiTest, TheFuriganaFollowsTheNamesReadingInItsOwnSyllabary)
{
    compose(window->eName, {"や", "やま", "やまだ", "山田"}, "山田");
    QTest::keyClick(window->eName, Qt::Key_Space);
    compose(window->eName, {"た", "たろ", "たろう", "太郎"}, "太郎");
    EXPECT_EQ(window->eName->text(), QStringLiteral("山田 太郎"));
    EXPECT_EQ(window->eFuri->text(), QStringLiteral("やまだ たろう"));
    EXPECT_EQ(editor().FieldText("eFuri"), QStringLiteral("やまだ たろう"));

    // The user writes it in katakana: the next name follows in katakana.
    window->eFuri->setText(QStringLiteral("ヤマダ タロウ"));
    window->eName->clear();
    compose(window->eName, {"さ", "さとう", "佐藤"}, "佐藤");
    EXPECT_EQ(window->eFuri->text(), QStringLiteral("サトウ"));

    // A furigana of the user's own stays.
    window->eFuri->setText(QStringLiteral("さとう"));
    window->eFuri->setText(QStringLiteral("サトウさん"));
    QTest::keyClick(window->eName, Qt::Key_Space);
    compose(window->eName, {"は", "はなこ", "花子"}, "花子");
    EXPECT_EQ(window->eFuri->text(), QStringLiteral("サトウさん"));
}

TEST_F(MeishiTest, NumbersAndAddressesTypedFullWidthBecomeHalfWidthAsTyped)
{
    const int steps = editor().UndoStack().count();
    for (QChar c : QStringLiteral("０３－１２３４ー５６７８"))
        window->eTel->insert(c); // as an input method commits each
    EXPECT_EQ(window->eTel->text(), QStringLiteral("03-1234-5678"));
    EXPECT_EQ(window->eTel->cursorPosition(), 12);
    EXPECT_EQ(editor().UndoStack().count(), steps + 1) << "the typing is one step";
    const struct
    {
        const char *key, *typed, *kept;
    } cases[] = {
        {"eMail", "ｙａｍａｄａ＠ｅｘ．ｊｐ", "yamada@ex.jp"},
        {"eURL", "ｗｗｗ．ｅｘ．ｊｐ／ａ", "www.ex.jp/a"},
        {"ePostNo", "１００ー０００１", "100-0001"},
        {"eMobile", "０９０−１２３４", "090-1234"},
        {"eName", "ＡＢＣ　０１", "ＡＢＣ　０１"}, // a name is as the user writes it
        {"eMail", "a－b", "a-b"},
    };
    for (const auto &c : cases) {
        QLineEdit *edit = window->findChild<QLineEdit *>(c.key);
        edit->setText(QString::fromUtf8(c.typed));
        EXPECT_EQ(editor().FieldText(c.key), QString::fromUtf8(c.kept)) << c.key;
        EXPECT_EQ(edit->text(), QString::fromUtf8(c.kept)) << c.key;
    }
}

TEST(Reading, SyllabariesConvert)
{
    EXPECT_EQ(ToHiragana(QStringLiteral("ヤマダ タロウ")), QStringLiteral("やまだ たろう"));
    EXPECT_EQ(ToKatakana(QStringLiteral("やまだ ー")), QStringLiteral("ヤマダ ー"));
    EXPECT_TRUE(IsKatakana(QStringLiteral("ヤマダ タロー")));
    EXPECT_FALSE(IsKatakana(QStringLiteral("ヤマだ")));
    EXPECT_FALSE(IsKatakana(QString()));
}
