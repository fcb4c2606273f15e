#include "card/cardoptions.h"
#include "card/defaultcard.h"
#include "card/kinds.h"
#include "card/object.h"
#include "card/picture.h"
#include "card/shape.h"
#include "card/sjis.h"
#include "editor/session.h"
#include "editor/templates.h"
#include "encode_image.h"
#include "qr/qrcode.h"

#include <QImage>
#include <gtest/gtest.h>

namespace {

std::unique_ptr<Picture> picture(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    return BitmapPicture::FromBytes(encodeImage(image, "BMP"));
}

TRect rectOf(const EditSession &s, const char *key)
{
    TRect r;
    s.Card().Find(key)->GetRect(r);
    return r;
}

// A template made as a user makes one: sample data typed, the name moved and
// set in 18 pt bold, furigana left out, a band added, the QR code shown as a
// vCard at its own size, a portrait picture box.
struct TemplateFixture : ::testing::Test
{
    EditSession tpl;
    Objects layout;
    const TRect box{50, 60, 250, 360};

    void SetUp() override
    {
        tpl.EditChanged("eName", QStringLiteral("見本 花子"));
        tpl.EditChanged("eFuri", QStringLiteral("みほん はなこ"));
        tpl.EditChanged("eCorp", QStringLiteral("見本商事"));
        tpl.SetSelection(tpl.Card().Find("eName"));
        Font font;
        static_cast<TextObject *>(tpl.Selection())->GetFont(font);
        font.height = -24;
        font.bold = true;
        tpl.SetFont(font);
        tpl.PlaceSelection({300, 250, 300, 250});
        tpl.SetSelection(tpl.Card().Find("eFuri"));
        tpl.SetFieldDesign(std::nullopt, true);
        auto band = std::make_unique<ShapeObject>(ShapeObject::Kind::Rect);
        band->SetFrame({0, 500, 910, 550});
        band->SetFill(0x6E3C1A);
        tpl.AddObject(std::move(band), "sBand");
        tpl.ShowQr(true);
        tpl.SetQrFormat(QrFormat::Vcard);
        tpl.SetSelection(tpl.Card().Find(kQrKey));
        tpl.PlaceSelection({700, 330, 850, 480});
        tpl.ChoosePicture(kPictureKey, picture(100, 150), QStringLiteral("/t/face.bmp"));
        tpl.SetSelection(tpl.Card().Find(kPictureKey));
        tpl.PlaceSelection(box);
        for (const auto &[key, obj] : tpl.Card())
            layout[key] = obj->Clone();
    }
};

} // namespace

TEST_F(TemplateFixture, TheCardKeepsItsDataTakesTheLayoutInOneStepAndUndoRestoresIt)
{
    EditSession card;
    card.EditChanged("eName", QStringLiteral("山田 太郎"));
    card.EditChanged("eFuri", QStringLiteral("やまだ たろう"));
    card.AddObject(std::make_unique<ShapeObject>(ShapeObject::Kind::Ellipse), "sMine");
    card.ChoosePicture(kPictureKey, picture(400, 100), QStringLiteral("/u/logo.bmp"));
    const QByteArray before = card.SaveBytes();
    const int steps = card.UndoStack().count();

    card.ApplyTemplate(layout, QStringLiteral("見本"), false);

    EXPECT_EQ(card.UndoStack().count(), steps + 1);
    EXPECT_EQ(card.UndoStack().undoText(), QStringLiteral("テンプレート「見本」"));
    EXPECT_EQ(card.FieldText("eName"), QStringLiteral("山田 太郎"));
    EXPECT_EQ(card.FieldText("eCorp"), QString());
    EXPECT_EQ(rectOf(card, "eName").left, 300);
    EXPECT_EQ(rectOf(card, "eName").top, 250);
    Font font;
    static_cast<TextObject *>(card.Card().Find("eName"))->GetFont(font);
    EXPECT_TRUE(font.bold);
    EXPECT_FALSE(card.Card().Find("eFuri")->IsVisible()) << "left out by design, text kept";
    EXPECT_EQ(card.FieldText("eFuri"), QStringLiteral("やまだ たろう"));
    EXPECT_EQ(CardQrText(card.Card()).find(sjis::fromUtf8("やまだ")), std::string::npos)
        << "the QR code says what the card says";
    EXPECT_NE(card.Card().Find("sBand"), nullptr);
    EXPECT_EQ(card.Card().Find("sMine"), nullptr);
    EXPECT_TRUE(card.Card().Find(kQrKey)->IsVisible());
    EXPECT_EQ(card.QrFormatOfCard(), QrFormat::Vcard);
    EXPECT_EQ(rectOf(card, kQrKey), (TRect{700, 330, 850, 480}));
    // The user's wide logo fits the template's tall box, centred.
    EXPECT_EQ(rectOf(card, kPictureKey), (TRect{50, 185, 250, 235}));
    EXPECT_EQ(card.PictureName(kPictureKey), QStringLiteral("logo.bmp"));

    // A picture chosen now fits the box too.
    card.ChoosePicture(kPictureKey, picture(100, 100), QStringLiteral("/u/square.bmp"));
    EXPECT_EQ(rectOf(card, kPictureKey), (TRect{50, 110, 250, 310}));

    card.UndoStack().undo();
    card.UndoStack().undo();
    EXPECT_EQ(card.SaveBytes(), before);
    EXPECT_EQ(card.FieldText("eFuri"), QStringLiteral("やまだ たろう"));
}

TEST_F(TemplateFixture, AnEmptyCardTakesTheSampleDataAndATemplateOfOnesOwnLeavesItOut)
{
    EditSession card;
    ASSERT_FALSE(HasFieldData(card.Card()));
    card.ApplyTemplate(layout, QStringLiteral("見本"), !HasFieldData(card.Card()));
    EXPECT_EQ(card.FieldText("eName"), QStringLiteral("見本 花子"));
    EXPECT_TRUE(card.Card().Find(kPictureKey)->IsVisible());
    EXPECT_EQ(LeftOutFields(layout), QStringList{QStringLiteral("ふりがな")});

    const TemplateMeta meta{QStringLiteral("わたしの形"), TemplateGroup::Own,
                            QStringLiteral("説明; = も入る")};
    for (bool keepData : {false, true}) {
        Objects copy;
        for (const auto &[key, obj] : layout)
            copy[key] = obj->Clone();
        MakeTemplateCard(copy, meta, keepData);
        EXPECT_EQ(ReadTemplateMeta(copy), meta);
        EXPECT_EQ(HasFieldData(copy), keepData);
        const auto *pic = dynamic_cast<const GraphicObject *>(copy.Find(kPictureKey));
        EXPECT_EQ(pic->GetPicture() != nullptr, keepData) << "the face stays out unless asked";
        // Either way the template keeps a place for a picture.
        EditSession user;
        user.EditChanged("eName", QStringLiteral("山田"));
        user.ApplyTemplate(copy, meta.title, false);
        EXPECT_EQ(ReadCardOptions(user.Card()).pictureBox, box);
        EXPECT_EQ(rectOf(user, kPictureKey), box);
    }
}

TEST(TemplateNames, CloseNamesIgnoreCaseAndWidthAndComeClosestFirst)
{
    std::vector<TemplateFile> all;
    for (const char *n : {"yoko-band", "yoko-rule", "yoko-minimal", "tate-classic", "en-simple"})
        all.push_back({QString::fromLatin1(n), {}, {}, false});
    const struct
    {
        const char *asked;
        QStringList close;
    } cases[] = {
        {"yoko-bnd", {"yoko-band"}},
        {"ＹＯＫＯ－ＲＵＬＥ", {"yoko-rule"}},
        {"minimal", {"yoko-minimal"}},
        {"yoko-ban", {"yoko-band"}},
        {"zzzzzz", {}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(CloseTemplateNames(all, QString::fromUtf8(c.asked)), c.close) << c.asked;
    EXPECT_EQ(FindTemplate(all, QStringLiteral("en-simple")), &all[4]);
    EXPECT_EQ(FindTemplate(all, QStringLiteral("en")), nullptr);
}
