// The postal code and the address filling each other, on the committed
// sample of the postal data.
#include "fixture.h"

#include "app/offerlist.h"
#include "card/object.h"
#include "card/sjis.h"
#include "postal/postal.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QUndoStack>

namespace {

class PostalTest : public MeishiTest
{
protected:
    void SetUp() override
    {
        qputenv(postal::kDictionaryVariable, PLAKURO_POSTAL_SAMPLE);
        MeishiTest::SetUp();
    }
    void TearDown() override
    {
        MeishiTest::TearDown();
        qunsetenv(postal::kDictionaryVariable);
    }
    QStringList offered(const OfferList *offer)
    {
        QStringList texts;
        for (int i = 0; !offer->isHidden() && i < offer->count(); ++i)
            texts << offer->item(i)->text();
        return texts;
    }
};

} // namespace

TEST_F(PostalTest, ACodeTypedOnANewCardFillsTheAddressAsOneStep)
{
    QTest::keyClicks(window->ePostNo, "1000001");
    const QString address = QStringLiteral("東京都千代田区千代田");
    EXPECT_EQ(window->eAddress->text(), address);
    EXPECT_EQ(window->eAddress->cursorPosition(), address.size());
    EXPECT_EQ(object<TextObject>("eAddress")->GetText(), sjis::fromUnicode(address));
    QUndoStack &stack = editor().UndoStack();
    EXPECT_EQ(stack.count(), 2); // the typing, the address
    EXPECT_EQ(stack.undoText(), QStringLiteral("郵便番号から住所の入力"));
    stack.undo();
    EXPECT_EQ(window->eAddress->text(), QString());
    EXPECT_EQ(object<TextObject>("eAddress")->GetText(), "");
    EXPECT_EQ(window->ePostNo->text(), QStringLiteral("1000001"));
    // The block number typed next is a step of its own.
    stack.redo();
    QTest::keyClicks(window->eAddress, "1-1");
    EXPECT_EQ(stack.count(), 3);
}

// An address typed already is never overwritten: the code's addresses are
// offered under it, and choosing one is one step.
TEST_F(PostalTest, WhereTheAddressCannotBeFilledItsChoicesAreOffered)
{
    const struct
    {
        const char *address;
        const char *code;
        QStringList offer;
    } cases[] = {
        {"大阪府大阪市", "100-0001", {"東京都千代田区千代田"}},
        {"", "0030022", {"北海道札幌市白石区南郷通", "北海道札幌市白石区南郷通南"}},
        {"東京都千代田区千代田1-1", "１００－０００１", {}}, // it agrees with the code
        {"", "9999990", {}},                                 // no such code
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.code);
        window->ClearCard();
        window->eAddress->setText(QString::fromUtf8(c.address));
        window->ePostNo->setText(QString::fromUtf8(c.code));
        EXPECT_EQ(window->eAddress->text(), QString::fromUtf8(c.address));
        EXPECT_EQ(offered(window->mAddressOffer), c.offer);
    }
    EXPECT_EQ(window->cDebug->currentMessage(),
              QStringLiteral("〒999-9990 は郵便番号の辞書にありません"));

    window->ClearCard();
    window->eAddress->setText("大阪府");
    window->ePostNo->setText("0030022");
    const int steps = editor().UndoStack().count();
    window->mAddressOffer->Choose(1);
    EXPECT_EQ(window->eAddress->text(), QStringLiteral("北海道札幌市白石区南郷通南"));
    EXPECT_TRUE(window->mAddressOffer->isHidden());
    EXPECT_EQ(editor().UndoStack().count(), steps + 1);
}

TEST_F(PostalTest, AnAddressTypedWithoutACodeOffersItsCode)
{
    window->eAddress->setText(QStringLiteral("東京都千代田区"));
    EXPECT_TRUE(offered(window->mPostNoOffer).isEmpty());
    window->eAddress->setText(QStringLiteral("東京都千代田区千代田1-1"));
    EXPECT_EQ(offered(window->mPostNoOffer),
              QStringList{QStringLiteral("〒100-0001  東京都千代田区千代田")});
    window->mPostNoOffer->Choose(0);
    EXPECT_EQ(window->ePostNo->text(), QStringLiteral("100-0001"));
    EXPECT_EQ(window->eAddress->text(), QStringLiteral("東京都千代田区千代田1-1"));
    EXPECT_EQ(editor().UndoStack().undoText(), QStringLiteral("住所から郵便番号の入力"));
}

TEST_F(PostalTest, WithoutTheDataTheStatusLineSaysSoOnceAndTypingGoesOn)
{
    qputenv(postal::kDictionaryVariable, path("absent.zipcode").toLocal8Bit());
    QSignalSpy said(window->cDebug, &QStatusBar::messageChanged);
    const QString message =
        QStringLiteral("郵便番号の辞書 (skkdic-extra) がないため、住所を自動で入れられません");
    window->ePostNo->setText("1000001");
    window->ePostNo->setText("100-0001");
    window->ePostNo->clear();
    window->eAddress->setText(QStringLiteral("東京都千代田区千代田1-1"));
    EXPECT_EQ(window->eAddress->text(), QStringLiteral("東京都千代田区千代田1-1"));
    int times = 0;
    for (const QList<QVariant> &args : said)
        times += args.at(0).toString() == message;
    EXPECT_EQ(times, 1);
}
