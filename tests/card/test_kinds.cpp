// Added objects (texts, shapes, further pictures): kept in records every
// reader of the format shows, read back into the same objects, and known by
// kind in one table.
#include "card/cardfile.h"
#include "card/converter.h"
#include "card/defaultcard.h"
#include "card/freetext.h"
#include "card/kinds.h"
#include "card/objects.h"
#include "card/picture.h"
#include "card/shape.h"
#include "card/stream.h"
#include "support.h"

#include <QImage>
#include <gtest/gtest.h>
#include <map>

namespace {

// What a reader of the format without the additions reads: every record as
// its class tag makes it, nothing put together.
std::map<std::string, std::unique_ptr<Object>> plainRecords(const QByteArray &bytes)
{
    MemoryStream s(bytes);
    std::string magic;
    ReadShortString(&s, magic);
    std::map<std::string, std::unique_ptr<Object>> out;
    while (s.Remaining() > 0) {
        std::string key;
        ReadShortString(&s, key);
        out[key] = ReadObject(&s);
    }
    return out;
}

std::unique_ptr<ShapeObject> shape(ShapeObject::Kind k, TRect frame,
                                   std::optional<std::int32_t> fill,
                                   std::optional<std::int32_t> stroke, int width, int radius = 0)
{
    auto s = std::make_unique<ShapeObject>(k);
    s->SetFrame(frame);
    s->SetFill(fill);
    s->SetStroke(stroke);
    s->SetStrokeWidth(width);
    s->SetRadius(radius);
    s->SetOrder(20);
    return s;
}

// The default card with one of each addition.
void buildDesignedCard(Objects &card)
{
    BuildDefaultCard(card);
    auto qual = std::make_unique<FreeText>(TRect{80, 420, 80, 420});
    qual->SetText(sj("一級建築士\n\n宅地建物取引士"));
    qual->SetAlign(FreeText::Align::Center);
    qual->SetSpacing(120);
    qual->SetWidth(200);
    qual->SetOrder(18);
    card["tQual"] = std::move(qual);
    auto slogan = std::make_unique<FreeText>(TRect{80, 30, 80, 30});
    slogan->SetText(sj("まちの設計事務所"));
    slogan->SetOrder(19);
    card["tSlogan"] = std::move(slogan);
    card["sBand"] = shape(ShapeObject::Kind::Rect, {0, 500, 910, 550}, 0x6E3C1A, std::nullopt, 0);
    card["sRound"] = shape(ShapeObject::Kind::Rect, {10, 10, 200, 100}, std::nullopt, 0xC0, 3, 20);
    card["sOval"] = shape(ShapeObject::Kind::Ellipse, {300, 10, 400, 60}, 0xFF, 0, 2);
    card["sRule"] = shape(ShapeObject::Kind::Line, {80, 120, 830, 120}, std::nullopt, 0xC0, 3);
    card["sSlant"] = shape(ShapeObject::Kind::Line, {0, 0, 100, 50}, std::nullopt, 0, 2);
    auto logo = std::make_unique<GraphicObject>();
    QImage img(20, 10, QImage::Format_RGB32);
    img.fill(Qt::red);
    logo->SetPicture(BitmapPicture::FromImage(img), Converter(645), sj("/tmp/logo2.png"));
    logo->SetOrder(21);
    card["pLogo2"] = std::move(logo);
}

} // namespace

TEST(AddedObjects, ReadBackAsTheSameObjectsAndTheSameBytes)
{
    Objects card;
    buildDesignedCard(card);
    const QByteArray bytes = saveCard(card);
    Objects read;
    ASSERT_TRUE(loadCard(bytes, read));
    EXPECT_EQ(saveCard(read), bytes);
    struct Row
    {
        const char *key;
        KindId kind;
    };
    for (const Row &row : std::initializer_list<Row>{{"tQual", KindId::Text},
                                                     {"tSlogan", KindId::Text},
                                                     {"sBand", KindId::Rect},
                                                     {"sRound", KindId::Rect},
                                                     {"sOval", KindId::Ellipse},
                                                     {"sRule", KindId::Line},
                                                     {"sSlant", KindId::Line},
                                                     {"pLogo2", KindId::Picture},
                                                     {"eName", KindId::Field},
                                                     {"eTel", KindId::HeaderField},
                                                     {"QR", KindId::Qr}}) {
        const Object *obj = read.Find(row.key);
        ASSERT_NE(obj, nullptr) << row.key;
        EXPECT_EQ(KindOf(row.key, *obj).id, row.kind) << row.key;
        EXPECT_EQ(Deletable(row.key, *obj), !IsDescribedKey(row.key)) << row.key;
    }
    const auto &qual = dynamic_cast<const FreeText &>(*read.Find("tQual"));
    EXPECT_EQ(qual.GetText(), sj("一級建築士\n\n宅地建物取引士"));
    EXPECT_EQ(qual.GetAlign(), FreeText::Align::Center);
    EXPECT_EQ(qual.GetSpacing(), 120);
    EXPECT_EQ(qual.GetWidth(), 200);
    const auto &round = dynamic_cast<const ShapeObject &>(*read.Find("sRound"));
    EXPECT_EQ(round.Radius(), 20);
    EXPECT_FALSE(round.Fill().has_value());
    EXPECT_EQ(round.Stroke(), std::optional<std::int32_t>(0xC0));
    // The layout and extra line records are the text's own, not objects.
    EXPECT_EQ(read.Find("tQual#3"), nullptr);
    EXPECT_EQ(read.Find(LayoutKey("tQual")), nullptr);
}

TEST(AddedObjects, AReaderOfThePlainFormatShowsTextsBandAndRule)
{
    Objects card;
    buildDesignedCard(card);
    const auto records = plainRecords(saveCard(card));
    // Lines at their own places, one record each; the empty line has none.
    const auto *first = dynamic_cast<const TextObject *>(records.at("tQual").get());
    const auto *third = dynamic_cast<const TextObject *>(records.at("tQual#3").get());
    ASSERT_TRUE(first && third);
    EXPECT_EQ(first->GetText(), sj("一級建築士"));
    EXPECT_EQ(third->GetText(), sj("宅地建物取引士"));
    EXPECT_TRUE(first->IsVisible() && third->IsVisible());
    TRect r1, r3;
    first->GetRect(r1);
    third->GetRect(r3);
    EXPECT_GT(r3.top, r1.top);
    EXPECT_EQ(records.count("tQual#2"), 0u);
    EXPECT_FALSE(records.at(LayoutKey("tQual"))->IsVisible());
    // A shape is a picture record: visible where its stretched pixel is the
    // shape, hidden where it is not.
    struct Row
    {
        const char *key;
        bool visible;
        TRect rect;
    };
    for (const Row &row : std::initializer_list<Row>{{"sBand", true, {0, 500, 910, 550}},
                                                     {"sRule", true, {80, 119, 830, 122}},
                                                     {"sRound", false, {9, 9, 202, 102}},
                                                     {"sOval", false, {299, 9, 401, 61}},
                                                     {"sSlant", false, {-1, -1, 101, 51}}}) {
        const auto *g = dynamic_cast<const GraphicObject *>(records.at(row.key).get());
        ASSERT_NE(g, nullptr) << row.key;
        EXPECT_EQ(g->IsVisible(), row.visible) << row.key;
        TRect r;
        g->GetRect(r);
        EXPECT_EQ(r, row.rect) << row.key;
        ASSERT_NE(g->GetPicture(), nullptr) << row.key;
        EXPECT_EQ(g->GetPicture()->Width(), 1) << row.key;
    }
}

TEST(AddedObjects, ACardWithoutThemKeepsItsBytesAndForeignTextsBecomeTexts)
{
    Objects plain;
    buildSampleCard(plain);
    const QByteArray bytes = saveCard(plain);
    Objects read;
    ASSERT_TRUE(loadCard(bytes, read));
    EXPECT_EQ(saveCard(read), bytes);

    // A text record under a key of its own, as another program may write
    // it, is an added text of one line; a picture record is a picture.
    Objects foreign;
    auto line = std::make_unique<TextObject>(TRect{10, 20, 10, 20});
    line->SetText(sj("資格"));
    foreign["Memo3"] = std::move(line);
    Objects back;
    ASSERT_TRUE(loadCard(saveCard(foreign), back));
    ASSERT_NE(dynamic_cast<const FreeText *>(back.Find("Memo3")), nullptr);
    EXPECT_EQ(dynamic_cast<const FreeText &>(*back.Find("Memo3")).GetText(), sj("資格"));
    Objects again;
    ASSERT_TRUE(loadCard(saveCard(back), again));
    EXPECT_EQ(saveCard(again), saveCard(back));
}

TEST(AddedObjects, KeysAndShapeDescriptionsRefuseWhatTheyCannotHold)
{
    for (const char *key : {"tQual", "a1", "A_b"})
        EXPECT_TRUE(IsAddedKey(key)) << key;
    for (const char *key : {"", "eName", "QR", "zOptions", "1st", "t#2", "tQual ", "zText:t"})
        EXPECT_FALSE(IsAddedKey(key)) << key;
    Objects card;
    card["tText1"] = std::make_unique<FreeText>();
    EXPECT_EQ(NewKey(card, "tText"), "tText2");

    ShapeObject s;
    for (const char *bad : {"<<Shape>>k=star;x1=0;y1=0;x2=1;y2=1;f=-;s=-;w=0",
                            "<<Shape>>k=rect;x1=0;y1=0;x2=1;f=-;s=-;w=0",
                            "<<Shape>>k=rect;x1=0;y1=0;x2=1;y2=1;f=GG0000;s=-;w=0", "logo.png"})
        EXPECT_FALSE(s.FromDescription(bad)) << bad;
    EXPECT_TRUE(s.FromDescription("<<Shape>>k=ellipse;x1=1;y1=2;x2=30;y2=40;f=FF0000;s=-;w=500"));
    EXPECT_EQ(s.StrokeWidth(), 100); // clamped to 1 cm
    EXPECT_EQ(s.Fill(), std::optional<std::int32_t>(0x0000FF));
}
